#include "SchemaUpgrade.h"

#include "AuditChain.h"
#include "DbConditions.h"
#include "NameCharacters.h"
#include "RegisterCounts.h"
#include "Schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

bool onServer(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL");
}

SqlDialect dialectOf(const QSqlDatabase& db) {
    return onServer(db) ? SqlDialect::Postgres : SqlDialect::Sqlite;
}

[[noreturn]] void fail(const QSqlQuery& q) {
    throw dbErrorFrom(q.lastError(), q.driver());
}

QStringList firstColumn(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql)) fail(q);
    QStringList values;
    while (q.next())
        values << q.value(0).toString().toLower();
    return values;
}

bool hasAuditTable(QSqlDatabase db) {
    return !firstColumn(db, onServer(db)
                                ? QStringLiteral("SELECT 1 FROM information_schema.tables WHERE "
                                                 "table_schema = 'public' AND table_name = 'auditlog'")
                                : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' "
                                                 "AND name = 'AuditLog'"))
                .isEmpty();
}

bool hasHashColumn(QSqlDatabase db) {
    return firstColumn(db, onServer(db)
                               ? QStringLiteral("SELECT column_name FROM information_schema.columns "
                                                "WHERE table_schema = 'public' AND table_name = 'auditlog'")
                               : QStringLiteral("SELECT name FROM pragma_table_info('AuditLog')"))
        .contains(AuditChain::kHashColumn);
}

bool hasAuditTriggers(QSqlDatabase db) {
    const QStringList names = firstColumn(
        db, onServer(db) ? QStringLiteral("SELECT tgname FROM pg_trigger WHERE NOT tgisinternal AND "
                                          "tgrelid = 'public.auditlog'::regclass")
                         : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger' "
                                          "AND tbl_name = 'AuditLog'"));
    const QStringList expected =
        onServer(db)
            ? QStringList{QStringLiteral("auditlog_no_change"), QStringLiteral("auditlog_no_truncate")}
            : QStringList{QStringLiteral("auditlog_no_update"), QStringLiteral("auditlog_no_delete")};
    for (const QString& name : expected)
        if (!names.contains(name)) return false;
    return true;
}

const QString kNoTrail = QStringLiteral("没有操作日志表");
const QString kNoChain = QStringLiteral("操作日志没有校验链");
const QString kNoTriggers = QStringLiteral("操作日志没有防修改、防删除的保护");
const QString kNoIndexes = QStringLiteral("缺少查询用的索引");
const QString kNoVerifyTokens = QStringLiteral("没有证书核验码表");
const QString kNoRegisterCounts = QStringLiteral("没有各登记表的记录数");

bool hasVerifyTokenTable(QSqlDatabase db) {
    return !firstColumn(db, onServer(db)
                                ? QStringLiteral("SELECT 1 FROM information_schema.tables WHERE "
                                                 "table_schema = 'public' AND table_name = 'verifytoken'")
                                : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' "
                                                 "AND name = 'VerifyToken'"))
                .isEmpty();
}

// The upgrade's statements for one gap; sealing the old rows runs between them.
void runAll(QSqlDatabase db, const QStringList& statements) {
    QSqlQuery q(db);
    for (const QString& statement : statements)
        if (!q.exec(statement)) fail(q);
}

void fillGaps(QSqlDatabase db) {
    const SqlDialect dialect = dialectOf(db);
    if (!hasAuditTable(db)) {
        runAll(db, missingTableStatements(tableDef(QStringLiteral("AuditLog")), dialect));
    } else if (!hasHashColumn(db)) {
        runAll(db, {QStringLiteral("ALTER TABLE AuditLog ADD COLUMN %1 %2")
                        .arg(AuditChain::kHashColumn, dialect == SqlDialect::Postgres
                                                          ? QStringLiteral("TEXT COLLATE \"C\"")
                                                          : QStringLiteral("TEXT"))});
        // The rows kept so far are chained as they stand: from now on they cannot change unseen.
        AuditChain::sealUnchainedRows(db);
    }
    if (!hasAuditTriggers(db)) runAll(db, auditTriggerStatements(dialect));
    if (!hasVerifyTokenTable(db)) runAll(db, verifyTokenTableStatements(dialect));
    runAll(db, missingIndexStatements(db));
    if (!RegisterCounts::present(db)) runAll(db, RegisterCounts::statements(dialect));
    if (!NameCharacters::present(db)) runAll(db, NameCharacters::statements(dialect));
}

// The server's roles, made once for the whole server; LOGIN without a password cannot log in
// until the administrator gives it one.
QStringList roleStatements() {
    return {QStringLiteral(
                "DO $$ BEGIN "
                "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %1 LOGIN; "
                "END IF; "
                "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%2') THEN CREATE ROLE %2 LOGIN; "
                "END IF; "
                "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '%3') THEN CREATE ROLE %3 LOGIN; "
                "END IF; "
                "IF NOT has_schema_privilege('%1', 'public', 'CREATE') THEN "
                "GRANT USAGE, CREATE ON SCHEMA public TO %1; END IF; END $$")
                .arg(kOwnerRole, kDeskRole, kVerifyRole)};
}

// A schema made by an earlier version belongs to whoever made it (often the superuser): it goes
// to the owner role, so that only the owner role changes it.
QString handOverStatement() {
    QStringList tables;
    for (const TableDef& table : databaseTables())
        tables << QLatin1Char('\'') + table.name.toLower() + QLatin1Char('\'');
    for (const QString& table : QStringList{RegisterCounts::kTable} + NameCharacters::tables())
        tables << QLatin1Char('\'') + table.toLower() + QLatin1Char('\'');
    QStringList functions;
    for (const QString& function : QStringList{QStringLiteral("leading_number"), QStringLiteral("auditlog_append_only"),
                                               QStringLiteral("register_count_added"),
                                               QStringLiteral("register_count_removed")} +
                                       NameCharacters::serverFunctions())
        functions << QLatin1Char('\'') + function + QLatin1Char('\'');
    return QStringLiteral(
               "DO $$ DECLARE item record; BEGIN "
               "FOR item IN SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
               "WHERE n.nspname = 'public' AND c.relkind = 'r' AND c.relname IN (%1) "
               "AND pg_get_userbyid(c.relowner) <> '%2' LOOP "
               "EXECUTE format('ALTER TABLE public.%I OWNER TO %2', item.relname); END LOOP; "
               "FOR item IN SELECT p.oid::regprocedure AS name FROM pg_proc p "
               "WHERE p.proname IN (%3) "
               "AND pg_get_userbyid(p.proowner) <> '%2' LOOP "
               "EXECUTE format('ALTER FUNCTION %s OWNER TO %2', item.name); END LOOP; "
               "IF EXISTS (SELECT 1 FROM pg_type WHERE typname = 'longtext' "
               "AND pg_get_userbyid(typowner) <> '%2') THEN ALTER DOMAIN longtext OWNER TO %2; END IF; END "
               "$$")
        .arg(tables.join(QStringLiteral(", ")), kOwnerRole, functions.join(QStringLiteral(", ")));
}

// What the workstations may do: read and write the registers, operators and option lists, read the
// version, read and add to the trail, issue and revoke verification codes (never delete one), read
// the sequences. The verification service only reads the registers and the codes. No DDL, no
// TRUNCATE, nothing owned.
QStringList grantStatements() {
    QStringList tables;
    for (const TableDef& table : databaseTables())
        tables << table.name;
    tables << RegisterCounts::kTable << NameCharacters::tables();
    return {
        QStringLiteral("REVOKE ALL ON %1 FROM PUBLIC, %2, %3")
            .arg(tables.join(QStringLiteral(", ")), kDeskRole, kVerifyRole),
        QStringLiteral(
            "GRANT SELECT, INSERT, UPDATE, DELETE ON DangAnKu, CaoZuoZheng, PeiXun, Users, List TO %1")
            .arg(kDeskRole),
        QStringLiteral("GRANT SELECT ON System, %1, %2 TO %3")
            .arg(RegisterCounts::kTable, NameCharacters::tables().join(QStringLiteral(", ")), kDeskRole),
        QStringLiteral("GRANT SELECT, INSERT ON AuditLog TO %1").arg(kDeskRole),
        QStringLiteral("GRANT SELECT, INSERT, UPDATE ON %1 TO %2").arg(kVerifyTokenTable, kDeskRole),
        QStringLiteral("GRANT SELECT ON DangAnKu, CaoZuoZheng, PeiXun, %1 TO %2").arg(kVerifyTokenTable, kVerifyRole),
        // Reading the sequences as well lets a desk's backup (pg_dump) take all it can read anyway.
        QStringLiteral("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA public TO %1").arg(kDeskRole)};
}

enum class ServerSetup { Create, CreateWithContent, Upgrade };

QString setUpServer(const QString& libpqConnection, ServerSetup setup) {
    const QString name = QStringLiteral("schema-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString error;
    {
        QSqlDatabase db = openServerDatabase(libpqConnection, name);
        if (!db.isOpen()) {
            error = describeDbFailure(db.lastError(), db.driver());
        } else if (!db.transaction()) {
            error = describeDbFailure(db.lastError(), db.driver());
        } else {
            try {
                runAll(db, roleStatements() + QStringList{handOverStatement(),
                                                          QStringLiteral("SET LOCAL ROLE ") + kOwnerRole});
                if (setup == ServerSetup::Upgrade)
                    fillGaps(db);
                else
                    runAll(db, schemaStatements(SqlDialect::Postgres) +
                                   (setup == ServerSetup::CreateWithContent ? deliveredContentStatements()
                                                                            : QStringList()));
                runAll(db, grantStatements());
                if (!db.commit()) error = describeDbFailure(db.lastError(), db.driver());
            } catch (const DbError& e) {
                error = e.description;
                db.rollback();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

} // namespace

QStringList schemaGaps(QSqlDatabase db) {
    QStringList gaps;
    if (!hasAuditTable(db)) {
        gaps << kNoTrail;
    } else {
        if (!hasHashColumn(db)) gaps << kNoChain;
        if (!hasAuditTriggers(db)) gaps << kNoTriggers;
    }
    if (!hasVerifyTokenTable(db)) gaps << kNoVerifyTokens;
    if (!missingIndexStatements(db).isEmpty() || !NameCharacters::present(db)) gaps << kNoIndexes;
    if (!RegisterCounts::present(db)) gaps << kNoRegisterCounts;
    return gaps;
}

void upgradeSchema(QSqlDatabase db) {
    if (schemaGaps(db).isEmpty()) return;
    if (!db.transaction()) throw dbErrorFrom(db.lastError(), db.driver());
    try {
        fillGaps(db);
    } catch (...) {
        db.rollback();
        throw;
    }
    QSqlQuery commit(db);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        const DbError failure = dbErrorFrom(commit.lastError(), db.driver());
        db.rollback();
        throw failure;
    }
}

QString olderSchemaMessage(const QStringList& gaps) {
    return QStringLiteral("服务器上的数据库结构比本程序旧（%1）。请管理员用数据库所有者的账号运行 "
                          "orvanta --upgrade-schema 升级数据库。在此之前本工作站只能有限地使用："
                          "没有操作日志就不能保存修改，缺少索引时查询较慢。")
        .arg(gaps.join(QStringLiteral("；")));
}

QString createServerSchema(const QString& libpqConnection, bool withContent) {
    return setUpServer(libpqConnection, withContent ? ServerSetup::CreateWithContent : ServerSetup::Create);
}

QString upgradeServerSchema(const QString& libpqConnection) {
    return setUpServer(libpqConnection, ServerSetup::Upgrade);
}
