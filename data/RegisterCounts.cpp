#include "RegisterCounts.h"

#include <QSqlQuery>

namespace RegisterCounts {

const QStringList& countedTables() {
    static const QStringList tables{QStringLiteral("DangAnKu"), QStringLiteral("CaoZuoZheng"),
                                    QStringLiteral("PeiXun")};
    return tables;
}

namespace {

QString triggerName(const QString& table, const char* event) {
    return QStringLiteral("%1_count_%2").arg(table.toLower(), QLatin1String(event));
}

} // namespace

QStringList statements(SqlDialect dialect) {
    QStringList list;
    if (dialect == SqlDialect::Sqlite) {
        list << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (表名 TEXT PRIMARY KEY, 行数 INTEGER NOT NULL)")
                    .arg(kTable);
        for (const QString& table : countedTables()) {
            list << QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER INSERT ON %2 BEGIN UPDATE %3 SET "
                                   "行数 = 行数 + 1 WHERE 表名 = '%2'; END")
                        .arg(triggerName(table, "added"), table, kTable)
                 << QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 AFTER DELETE ON %2 BEGIN UPDATE %3 SET "
                                   "行数 = 行数 - 1 WHERE 表名 = '%2'; END")
                        .arg(triggerName(table, "removed"), table, kTable)
                 << QStringLiteral("INSERT OR REPLACE INTO %1 (表名, 行数) SELECT '%2', COUNT(*) FROM %2")
                        .arg(kTable, table);
        }
        return list;
    }
    // On the server a statement's rows are counted once, from its transition table; the function
    // runs as its owner, so the desks read the counts but cannot write them.
    list << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (表名 TEXT PRIMARY KEY, 行数 BIGINT NOT NULL)").arg(kTable);
    for (const char* change : {"added", "removed"})
        list << QStringLiteral("CREATE OR REPLACE FUNCTION register_count_%1() RETURNS trigger LANGUAGE plpgsql "
                               "SECURITY DEFINER SET search_path = public AS $f$ BEGIN UPDATE %2 SET 行数 = 行数 "
                               "%3 (SELECT COUNT(*) FROM changed) WHERE lower(表名) = TG_TABLE_NAME; "
                               "RETURN NULL; END $f$")
                    .arg(QLatin1String(change), kTable,
                         qstrcmp(change, "added") == 0 ? QStringLiteral("+") : QStringLiteral("-"));
    for (const QString& table : countedTables()) {
        list << QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER INSERT ON %2 REFERENCING NEW TABLE AS changed "
                               "FOR EACH STATEMENT EXECUTE FUNCTION register_count_added()")
                    .arg(triggerName(table, "added"), table)
             << QStringLiteral("CREATE OR REPLACE TRIGGER %1 AFTER DELETE ON %2 REFERENCING OLD TABLE AS changed "
                               "FOR EACH STATEMENT EXECUTE FUNCTION register_count_removed()")
                    .arg(triggerName(table, "removed"), table)
             << QStringLiteral("INSERT INTO %1 (表名, 行数) SELECT '%2', COUNT(*) FROM %2 ON CONFLICT (表名) DO "
                               "UPDATE SET 行数 = excluded.行数")
                    .arg(kTable, table);
    }
    return list;
}

bool present(QSqlDatabase db) {
    const bool server = db.driverName() == QLatin1String("QPSQL");
    QSqlQuery q(db);
    if (!q.exec(server ? QStringLiteral("SELECT tgname FROM pg_trigger WHERE NOT tgisinternal")
                       : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger'")))
        return false;
    QStringList names;
    while (q.next())
        names << q.value(0).toString().toLower();
    for (const QString& table : countedTables())
        for (const char* change : {"added", "removed"})
            if (!names.contains(triggerName(table, change))) return false;
    return true;
}

QString keptCountSql(const QString& table) {
    return QStringLiteral("(SELECT 行数 FROM %1 WHERE lower(表名) = lower('%2'))").arg(kTable, table);
}

std::optional<qint64> read(QSqlDatabase db, const QString& table) {
    if (!countedTables().contains(table, Qt::CaseInsensitive)) return std::nullopt;
    // Asked of the catalogue first: on the server a failed statement would spoil a transaction.
    const bool server = db.driverName() == QLatin1String("QPSQL");
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(server ? QStringLiteral("SELECT to_regclass('public.%1') IS NOT NULL").arg(kTable.toLower())
                       : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = '%1'").arg(kTable)) ||
        !q.next() || !q.value(0).toBool())
        return std::nullopt;
    if (!q.exec(QStringLiteral("SELECT ") + keptCountSql(table)) || !q.next() || q.isNull(0)) return std::nullopt;
    return q.value(0).toLongLong();
}

} // namespace RegisterCounts
