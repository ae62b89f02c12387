#include "AuditLog.h"
#include "AuditChain.h"
#include "DbConditions.h"

#include "adodb.h"
#include "Schema.h"
#include "SessionState.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

namespace AuditLog {

namespace {

const QString kTable = QStringLiteral("AuditLog");

QString& operatorName() {
    static QString name;
    return name;
}

bool hasTable(QSqlDatabase db) {
    QSqlQuery q(db);
    const bool server = db.driverName() == QLatin1String("QPSQL");
    q.prepare(server
                  ? QStringLiteral("SELECT 1 FROM information_schema.tables WHERE table_name = 'auditlog'")
                  : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'AuditLog'"));
    return q.exec() && q.next();
}

} // namespace

void setOperator(const QString& name) {
    operatorName() = name;
}

QString currentOperator() {
    if (!operatorName().isEmpty()) return operatorName();
    // Command-line runs have no login: the system account that ran them stands in.
    QString account = qEnvironmentVariable("USER");
    if (account.isEmpty()) account = qEnvironmentVariable("USERNAME");
    return QStringLiteral("(%1)").arg(account);
}

void ensureTable(QSqlDatabase db) {
    if (hasTable(db)) return;
    const SqlDialect dialect =
        db.driverName() == QLatin1String("QPSQL") ? SqlDialect::Postgres : SqlDialect::Sqlite;
    QSqlQuery q(db);
    for (const QString& statement :
         missingTableStatements(tableDef(kTable), dialect) + auditTriggerStatements(dialect))
        if (!q.exec(statement)) throw dbErrorFrom(q.lastError(), q.driver());
}

namespace {

void insertChained(QSqlDatabase db, const QString& action, const QString& table, const QString& key,
                   const QVector<ColumnChange>& rows) {
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString workstation = QSysInfo::machineHostName();
    AuditChain::ChainEnd end = AuditChain::lockChainEnd(db);
    QSqlQuery q(db);
    q.prepare(
        QStringLiteral("INSERT INTO AuditLog (编号, 时间, 操作员, 工作站, 表名, 关键字, 操作, 字段, 旧值, "
                       "新值, %1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
            .arg(AuditChain::kHashColumn));
    for (const ColumnChange& row : rows) {
        QVariantList fields{QString::number(end.number + 1)};
        for (const QString& value : {time, currentOperator(), workstation, table, key, action, row.column,
                                     row.oldValue, row.newValue})
            fields << (value.isNull() ? QStringLiteral("") : value);
        const QString hash = AuditChain::rowHash(end.hash, fields);
        q.addBindValue(end.number + 1);
        for (qsizetype i = 1; i < fields.size(); ++i)
            q.addBindValue(fields[i]);
        q.addBindValue(hash);
        if (!q.exec())
            throw DbError(DbErrorCode::Driver, QStringLiteral("操作日志无法写入，本次操作没有保存：") +
                                                   describeDbFailure(q.lastError(), q.driver()));
        end = {end.number + 1, hash};
    }
}

} // namespace

void record(QSqlDatabase db, const QString& action, const QString& table, const QString& key,
            const QVector<ColumnChange>& changes, const QString& detail) {
    ensureTable(db);
    QVector<ColumnChange> rows = changes;
    if (rows.isEmpty()) rows.append({QString(), QString(), detail});
    if (inTransaction(db)) {
        insertChained(db, action, table, key, rows);
        return;
    }
    // Reading the chain's end and adding to it must be one transaction, or two desks would hang
    // their rows on the same end. SQLite takes the write lock at once instead of on the insert.
    QSqlQuery q(db);
    const bool begun = db.driverName() == QLatin1String("QSQLITE") ? q.exec(QStringLiteral("BEGIN IMMEDIATE"))
                                                                   : db.transaction();
    if (!begun) throw dbErrorFrom(q.lastError().isValid() ? q.lastError() : db.lastError(), db.driver());
    try {
        insertChained(db, action, table, key, rows);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const DbError failure = dbErrorFrom(q.lastError(), db.driver());
        db.rollback();
        throw failure;
    }
}

bool isSecret(const QString& column) {
    return column.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0;
}

QString valueText(const QString& column, const QVariant& value, int adoType) {
    if (value.isNull() || !value.isValid()) return {};
    if (isSecret(column)) return value.toString().isEmpty() ? QString() : QStringLiteral("******");
    switch (adoType) {
    case ado::adBoolean:
        return value.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    case ado::adDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case ado::adLongVarBinary: {
        const QByteArray bytes = value.toByteArray();
        if (bytes.isEmpty()) return {};
        return QStringLiteral("%1 字节 SHA-256 %2")
            .arg(bytes.size())
            .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    }
    default:
        return value.toString();
    }
}

} // namespace AuditLog
