#include "VerifyLookup.h"

#include "DbConditions.h"
#include "DueDates.h"
#include "Schema.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

struct ShownRegister {
    QString table;
    QString registerName;
    QString keyColumn;
    QStringList columns; // the kind of certificate, then its dates
};

const QList<ShownRegister>& shownRegisters() {
    static const QList<ShownRegister> registers = {
        {QStringLiteral("DangAnKu"), QStringLiteral("特种作业人员证书"), QStringLiteral("证号"),
         {QStringLiteral("职业工种"), QStringLiteral("证书级别"), QStringLiteral("发证日期"),
          QStringLiteral("一次复审"), QStringLiteral("二次复审"), QStringLiteral("换证日期")}},
        {QStringLiteral("CaoZuoZheng"), QStringLiteral("特种作业操作证"), QStringLiteral("证号"),
         {QStringLiteral("作业类别"), QStringLiteral("操作项目"), QStringLiteral("初次领证"),
          QStringLiteral("一次复审"), QStringLiteral("二次复审"), QStringLiteral("换证日期")}},
        {QStringLiteral("PeiXun"), QStringLiteral("安全生产负责人培训合格证"), QStringLiteral("编号"),
         {QStringLiteral("证书号码"), QStringLiteral("职务"), QStringLiteral("一次复审"),
          QStringLiteral("二次复审"), QStringLiteral("换证日期")}},
    };
    return registers;
}

const ShownRegister* shownRegister(const QString& table) {
    for (const ShownRegister& shown : shownRegisters())
        if (shown.table == table) return &shown;
    return nullptr;
}

bool isDateColumn(const QString& table, const QString& column) {
    for (const ColumnDef& def : tableDef(table).columns)
        if (def.name == column) return def.kind == ColumnKind::Date;
    return false;
}

} // namespace

QString certificateStatusText(CertificateStatus status) {
    switch (status) {
    case CertificateStatus::Valid:
        return QStringLiteral("有效");
    case CertificateStatus::ReviewDue:
        return QStringLiteral("30 天内需复审");
    case CertificateStatus::Expired:
        return QStringLiteral("已过期");
    case CertificateStatus::Cancelled:
        return QStringLiteral("已注销");
    }
    return {};
}

CertificateStatus certificateStatus(const QList<QDate>& dueDates, const QDate& today) {
    QDate last;
    bool dueSoon = false;
    for (const QDate& date : dueDates) {
        if (!date.isValid() || date == dueItems().first().unsetMark) continue;
        if (!last.isValid() || date > last) last = date;
        if (date >= today && date <= today.addDays(30)) dueSoon = true;
    }
    if (last.isValid() && last < today) return CertificateStatus::Expired;
    return dueSoon ? CertificateStatus::ReviewDue : CertificateStatus::Valid;
}

QString maskedName(const QString& name) {
    const QList<uint> letters = name.trimmed().toUcs4();
    if (letters.isEmpty()) return {};
    if (letters.size() == 1) return QStringLiteral("*");
    QString masked = QString::fromUcs4(reinterpret_cast<const char32_t*>(&letters.first()), 1);
    masked += QString(letters.size() == 2 ? 1 : letters.size() - 2, QLatin1Char('*'));
    if (letters.size() > 2) masked += QString::fromUcs4(reinterpret_cast<const char32_t*>(&letters.last()), 1);
    return masked;
}

VerifyRegisters::VerifyRegisters()
    : m_name(QStringLiteral("verify-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

VerifyRegisters::~VerifyRegisters() {
    if (!QSqlDatabase::contains(m_name)) return;
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

QString VerifyRegisters::openLocal(const QString& path) {
    if (!QFileInfo(path).isFile()) return QStringLiteral("找不到数据库文件 '%1'。").arg(path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(path);
    // Read-only at the engine: the service can never change the office's data.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open())
        return QStringLiteral("无法打开数据库 '%1'：").arg(path) + describeDbFailure(db.lastError(), db.driver());
    return checkTables();
}

namespace {

bool makeReadOnly(QSqlDatabase db) {
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"));
}

} // namespace

QString VerifyRegisters::openServer(const QString& libpqConnection) {
    m_serverConnection = libpqConnection;
    QSqlDatabase db = openServerDatabase(libpqConnection, m_name);
    if (!db.isOpen()) return describeDbFailure(db.lastError(), db.driver());
    if (!makeReadOnly(db)) return describeDbFailure(db.lastError(), db.driver());
    return checkTables();
}

QString VerifyRegisters::checkTables() {
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(kVerifyTokenTable)))
        return QStringLiteral("数据库中没有证书核验码表（%1），请先用 orvanta --upgrade-schema 升级数据库。")
            .arg(describeDbFailure(probe.lastError(), probe.driver()));
    for (const ShownRegister& shown : shownRegisters())
        if (!probe.exec(QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(shown.table)))
            return describeDbFailure(probe.lastError(), probe.driver());
    return {};
}

void VerifyRegisters::run(QSqlQuery& query, const QString& sql, const QVariantList& values) {
    for (int attempt = 0;; ++attempt) {
        query = QSqlQuery(QSqlDatabase::database(m_name, false));
        query.prepare(sql);
        for (const QVariant& value : values)
            query.addBindValue(value);
        if (query.exec()) return;
        if (attempt > 0 || m_serverConnection.isEmpty()) break;
        // The server restarted or dropped the session: one fresh session, then give up.
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
        if (!db.open() || !makeReadOnly(db)) break;
    }
    throw dbErrorFrom(query.lastError(), query.driver());
}

std::optional<VerifiedCertificate> VerifyRegisters::certificate(const QString& table, const QString& keyColumn,
                                                                const QVariantList& where,
                                                                const QString& nameColumn, bool withPhoto,
                                                                const QDate& today) {
    const ShownRegister* shown = shownRegister(table);
    if (!shown) return std::nullopt;
    QStringList columns{keyColumn, QStringLiteral("姓名")};
    columns += shown->columns;
    if (withPhoto) columns << QStringLiteral("照片");
    QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(columns.join(QStringLiteral(", ")), table, keyColumn);
    if (!nameColumn.isEmpty()) sql += QStringLiteral(" AND %1 = ?").arg(nameColumn);
    QSqlQuery q;
    run(q, sql, where);
    if (!q.next()) return std::nullopt;
    VerifiedCertificate found;
    found.table = table;
    found.key = q.value(0).toString();
    found.registerName = shown->registerName;
    found.keyLabel = keyColumn;
    found.maskedName = maskedName(q.value(1).toString());
    QList<QDate> dueDates;
    for (int i = 0; i < shown->columns.size(); ++i) {
        const QString& column = shown->columns[i];
        const QVariant value = q.value(i + 2);
        QString text = value.toString();
        if (isDateColumn(table, column)) {
            const QDate date = value.toDate();
            const bool entered = date.isValid() && date != dueItems().first().unsetMark;
            text = entered ? date.toString(Qt::ISODate) : QString();
            for (const DueItem& item : dueItems())
                if (item.column == column) dueDates << date;
        }
        found.lines.append({column, text});
    }
    found.status = certificateStatus(dueDates, today);
    if (withPhoto) found.photo = q.value(columns.size() - 1).toByteArray();
    return found;
}

std::optional<VerifiedCertificate> VerifyRegisters::byToken(const QString& token, bool withPhoto,
                                                            const QDate& today) {
    QSqlQuery q;
    run(q, QStringLiteral("SELECT 表名, 关键字 FROM %1 WHERE 核验码 = ? AND 停用时间 IS NULL").arg(kVerifyTokenTable),
        {token});
    if (!q.next()) return std::nullopt;
    const QString table = q.value(0).toString(), key = q.value(1).toString();
    const ShownRegister* shown = shownRegister(table);
    if (!shown) return std::nullopt;
    if (auto found = certificate(table, shown->keyColumn, {key}, {}, withPhoto, today)) return found;
    VerifiedCertificate removed;
    removed.table = table;
    removed.key = key;
    removed.registerName = shown->registerName;
    removed.keyLabel = shown->keyColumn;
    removed.status = CertificateStatus::Cancelled;
    return removed;
}

QList<VerifiedCertificate> VerifyRegisters::byKeyAndName(const QString& key, const QString& name, bool withPhoto,
                                                         const QDate& today) {
    QList<VerifiedCertificate> found;
    for (const ShownRegister& shown : shownRegisters())
        if (auto one = certificate(shown.table, shown.keyColumn, {key, name}, QStringLiteral("姓名"), withPhoto, today))
            found << *one;
    return found;
}
