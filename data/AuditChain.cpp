#include "AuditChain.h"

#include "DbConditions.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace AuditChain {

namespace {

bool onServer(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL");
}

[[noreturn]] void fail(const QSqlQuery& q) {
    throw dbErrorFrom(q.lastError(), q.driver());
}

QString selectChain() {
    return QStringLiteral("SELECT %1, %2 FROM AuditLog ORDER BY 编号")
        .arg(chainedColumns().join(QStringLiteral(", ")), kHashColumn);
}

QVariantList fieldsOf(const QSqlQuery& q) {
    QVariantList fields;
    for (int i = 0; i < chainedColumns().size(); ++i)
        fields << q.value(i);
    return fields;
}

// Where the chain breaks, told with the row so that the auditor can find it.
QString breakMessage(qint64 position, const QSqlQuery& q, qint64 previousNumber) {
    const qint64 number = q.value(0).toLongLong();
    QString what =
        QStringLiteral("操作日志校验未通过：第 %1 条（编号 %2，%3 %4 %5 %6）与校验链不符，")
            .arg(position)
            .arg(number)
            .arg(q.value(1).toString(), q.value(2).toString(), q.value(6).toString(), q.value(5).toString());
    if (q.value(chainedColumns().size()).isNull())
        what += QStringLiteral("它没有校验值，是在程序之外添加的。");
    else if (previousNumber > 0 && number != previousNumber + 1)
        what += QStringLiteral("在它之前（编号 %1 之后）有记录被删除，或它被改过。").arg(previousNumber);
    else
        what += QStringLiteral("这一条被修改过，或在它之前有记录被删除或插入。");
    return what;
}

} // namespace

const QStringList& chainedColumns() {
    static const QStringList columns = {
        QStringLiteral("编号"), QStringLiteral("时间"),   QStringLiteral("操作员"), QStringLiteral("工作站"),
        QStringLiteral("表名"), QStringLiteral("关键字"), QStringLiteral("操作"),   QStringLiteral("字段"),
        QStringLiteral("旧值"), QStringLiteral("新值")};
    return columns;
}

QString rowHash(const QString& previousHash, const QVariantList& fields) {
    QByteArray canonical = QByteArrayLiteral("OrvantaAuditLog/1\n") + previousHash.toLatin1() + '\n';
    for (const QVariant& field : fields) {
        if (field.isNull()) {
            canonical += "-\n";
            continue;
        }
        const QByteArray bytes = field.toString().toUtf8();
        canonical += QByteArray::number(bytes.size()) + ':' + bytes + '\n';
    }
    return QString::fromLatin1(QCryptographicHash::hash(canonical, QCryptographicHash::Sha256).toHex());
}

QString Anchor::text() const {
    return QString::number(count) + QLatin1Char(':') + hash;
}

std::optional<Anchor> Anchor::parse(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^\\s*(\\d+)\\s*:\\s*([0-9a-fA-F]{64})\\s*$"));
    const auto match = form.match(text);
    if (!match.hasMatch()) return std::nullopt;
    return Anchor{match.captured(1).toLongLong(), match.captured(2).toLower()};
}

Verification verify(QSqlDatabase db, const std::optional<Anchor>& noted) {
    Verification result;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(selectChain())) fail(q);
    QString previous = kGenesis;
    qint64 previousNumber = 0;
    bool anchorSeen = !noted || noted->count == 0;
    while (q.next()) {
        const QString stored = q.value(chainedColumns().size()).toString();
        if (q.value(chainedColumns().size()).isNull() || rowHash(previous, fieldsOf(q)) != stored) {
            result.intact = false;
            result.brokenNumber = q.value(0).toLongLong();
            result.message = breakMessage(result.rowsChecked + 1, q, previousNumber);
            return result;
        }
        previous = stored;
        previousNumber = q.value(0).toLongLong();
        ++result.rowsChecked;
        if (noted && result.rowsChecked == noted->count) {
            if (stored != noted->hash) {
                result.intact = false;
                result.brokenNumber = previousNumber;
                result.message =
                    QStringLiteral("操作日志校验未通过：第 %1 条（编号 %2）的校验值与记下的锚点不符，"
                                   "锚点之前的记录被整体改写过。")
                        .arg(noted->count)
                        .arg(previousNumber);
                return result;
            }
            anchorSeen = true;
        }
    }
    if (q.lastError().isValid()) fail(q);
    result.anchor = Anchor{result.rowsChecked, previous};
    if (!anchorSeen) {
        result.intact = false;
        result.message = QStringLiteral("操作日志校验未通过：记下锚点时有 %1 条记录，现在只有 %2 条，"
                                        "最后的记录被删除了。")
                             .arg(noted->count)
                             .arg(result.rowsChecked);
        return result;
    }
    result.message =
        QStringLiteral("操作日志校验通过：共 %1 条记录，校验链完整。锚点（记录数:最新校验值）：%2")
            .arg(result.rowsChecked)
            .arg(result.anchor.text());
    return result;
}

ChainEnd lockChainEnd(QSqlDatabase db) {
    QSqlQuery q(db);
    // Any number of the system's own serves as the lock's name; every desk uses the same one.
    if (onServer(db) && !q.exec(QStringLiteral("SELECT pg_advisory_xact_lock(7245170301)"))) fail(q);
    if (!q.exec(QStringLiteral("SELECT 编号, %1 FROM AuditLog ORDER BY 编号 DESC LIMIT 1").arg(kHashColumn)))
        fail(q);
    if (!q.next()) return {0, kGenesis};
    return {q.value(0).toLongLong(), q.value(1).toString()};
}

void sealUnchainedRows(QSqlDatabase db) {
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    if (!rows.exec(selectChain())) fail(rows);
    QString previous = kGenesis;
    QVector<std::pair<qint64, QString>> sealed;
    while (rows.next()) {
        if (!rows.value(chainedColumns().size()).isNull()) {
            previous = rows.value(chainedColumns().size()).toString();
            continue;
        }
        previous = rowHash(previous, fieldsOf(rows));
        sealed.append({rows.value(0).toLongLong(), previous});
    }
    rows.finish();
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE AuditLog SET %1 = ? WHERE 编号 = ?").arg(kHashColumn));
    for (const auto& [number, hash] : sealed) {
        update.addBindValue(hash);
        update.addBindValue(number);
        if (!update.exec()) fail(update);
    }
}

} // namespace AuditChain
