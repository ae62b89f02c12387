#include "Schema.h"

#include "NameCharacters.h"
#include "RegisterCounts.h"

#include "DbConditions.h"
#include "DueDates.h"
#include "FileModes.h"
#include "Passwords.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

QVector<ColumnDef> rightsColumns() {
    QVector<ColumnDef> columns;
    for (const char* name :
         {"资料录入", "人员查询", "打印操作", "Tag1", "Tag2", "求职登记", "招聘登记", "职位查询", "职位速配"})
        columns.append({QString::fromUtf8(name), ColumnKind::Boolean});
    return columns;
}

QVector<TableDef> buildTables() {
    using K = ColumnKind;
    TableDef users{QStringLiteral("Users"),
                   {{QStringLiteral("编号"), K::Text},
                    {QStringLiteral("姓名"), K::Text},
                    {QStringLiteral("PWD"), K::Text}},
                   {},
                   {{QStringLiteral("姓名")}},
                   {},
                   {QStringLiteral("姓名")}};
    users.columns += rightsColumns();
    users.columns.append({QStringLiteral("备注"), K::Text});

    TableDef list{QStringLiteral("List"),
                  {{QStringLiteral("id"), K::Counter},
                   {QStringLiteral("content"), K::Text},
                   {QStringLiteral("leixing"), K::Text}},
                  {},
                  {{QStringLiteral("leixing")}},
                  {QStringLiteral("content"), QStringLiteral("leixing")},
                  {QStringLiteral("content"), QStringLiteral("leixing")}};

    // 备份密码 holds only the hash of the backup password; older databases get it when one is set.
    TableDef system{QStringLiteral("System"),
                    {{QStringLiteral("Ver"), K::Number}, {QStringLiteral("备份密码"), K::Text}},
                    {},
                    {},
                    {},
                    {}};

    TableDef dangAnKu{QStringLiteral("DangAnKu"),
                      {{QStringLiteral("证号"), K::Text},
                       {QStringLiteral("姓名"), K::Text},
                       {QStringLiteral("性别"), K::Text},
                       {QStringLiteral("出生年月"), K::Date},
                       {QStringLiteral("照片"), K::Binary},
                       {QStringLiteral("身份证号"), K::Text},
                       {QStringLiteral("理论成绩"), K::Text},
                       {QStringLiteral("证书编号"), K::Text},
                       {QStringLiteral("文化程度"), K::Text},
                       {QStringLiteral("实操成绩"), K::Text},
                       {QStringLiteral("评定成绩"), K::Text},
                       {QStringLiteral("发证日期"), K::Date},
                       {QStringLiteral("一次复审"), K::Date},
                       {QStringLiteral("二次复审"), K::Date},
                       {QStringLiteral("换证日期"), K::Date},
                       {QStringLiteral("职业工种"), K::Text},
                       {QStringLiteral("证书级别"), K::Text},
                       {QStringLiteral("备注"), K::Text}},
                      {QStringLiteral("证号")},
                      {{QStringLiteral("证号"), QStringLiteral("发证日期")},
                       {QStringLiteral("证书编号")},
                       {QStringLiteral("姓名")},
                       {QStringLiteral("发证日期")}},
                      {},
                      {QStringLiteral("证号")}};

    TableDef caoZuoZheng{QStringLiteral("CaoZuoZheng"),
                         {{QStringLiteral("证号"), K::Text},
                          {QStringLiteral("姓名"), K::Text},
                          {QStringLiteral("性别"), K::Text},
                          {QStringLiteral("出生年月"), K::Date},
                          {QStringLiteral("照片"), K::Binary},
                          {QStringLiteral("身份证号"), K::Text},
                          {QStringLiteral("联系电话"), K::Text},
                          {QStringLiteral("住址"), K::Text},
                          {QStringLiteral("作业类别"), K::Text},
                          {QStringLiteral("操作项目"), K::Text},
                          {QStringLiteral("其它"), K::Memo},
                          {QStringLiteral("初次领证"), K::Date},
                          {QStringLiteral("一次复审"), K::Date},
                          {QStringLiteral("二次复审"), K::Date},
                          {QStringLiteral("受理日期"), K::Date},
                          {QStringLiteral("换证日期"), K::Date},
                          {QStringLiteral("备注"), K::Text}},
                         {QStringLiteral("证号")},
                         {{QStringLiteral("证号"), QStringLiteral("受理日期")},
                          {QStringLiteral("姓名")},
                          {QStringLiteral("受理日期")}},
                         {},
                         {QStringLiteral("证号")}};

    TableDef peiXun{QStringLiteral("PeiXun"),
                    {{QStringLiteral("编号"), K::Text},
                     {QStringLiteral("姓名"), K::Text},
                     {QStringLiteral("性别"), K::Text},
                     {QStringLiteral("证书号码"), K::Text},
                     {QStringLiteral("照片"), K::Binary},
                     {QStringLiteral("身份证号"), K::Text},
                     {QStringLiteral("电话号码"), K::Text},
                     {QStringLiteral("生产经营单位"), K::Text},
                     {QStringLiteral("文化程度"), K::Text},
                     {QStringLiteral("职务"), K::Text},
                     {QStringLiteral("理论成绩"), K::Text},
                     {QStringLiteral("复审记录"), K::Text},
                     {QStringLiteral("一次复审"), K::Date},
                     {QStringLiteral("二次复审"), K::Date},
                     {QStringLiteral("换证日期"), K::Date},
                     {QStringLiteral("备注"), K::Text}},
                    {QStringLiteral("编号")},
                    {{QStringLiteral("证书号码"), QStringLiteral("生产经营单位"), QStringLiteral("编号")},
                     {QStringLiteral("姓名")}},
                    {},
                    {QStringLiteral("编号")}};

    // Only ever added to: one row per changed column, or one for an event without columns.
    TableDef auditLog{QStringLiteral("AuditLog"),
                      {{QStringLiteral("编号"), K::Counter},
                       {QStringLiteral("时间"), K::Text},
                       {QStringLiteral("操作员"), K::Text},
                       {QStringLiteral("工作站"), K::Text},
                       {QStringLiteral("表名"), K::Text},
                       {QStringLiteral("关键字"), K::Text},
                       {QStringLiteral("操作"), K::Text},
                       {QStringLiteral("字段"), K::Text},
                       {QStringLiteral("旧值"), K::Text},
                       {QStringLiteral("新值"), K::Text},
                       {QStringLiteral("校验"), K::Text}},
                      {},
                      {{QStringLiteral("时间")}, {QStringLiteral("表名"), QStringLiteral("关键字")}},
                      {},
                      {}};

    // The verification codes printed on the cards, one current per record; a revoked one keeps its
    // row (停用时间 set) so that it never comes back. A table of its own: older programs ignore it.
    TableDef verifyToken{kVerifyTokenTable,
                         {{QStringLiteral("表名"), K::Text},
                          {QStringLiteral("关键字"), K::Text},
                          {QStringLiteral("核验码"), K::Text},
                          {QStringLiteral("发码时间"), K::Text},
                          {QStringLiteral("停用时间"), K::Text}},
                         {QStringLiteral("核验码")},
                         {},
                         {},
                         {}};

    return {users, list, system, dangAnKu, caoZuoZheng, peiXun, auditLog, verifyToken};
}

QString sqlText(const QString& text) {
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

} // namespace

QString columnType(ColumnKind kind, SqlDialect dialect) {
    const bool pg = dialect == SqlDialect::Postgres;
    switch (kind) {
    case ColumnKind::Text:
        // Byte order of UTF-8, as SQLite sorts, whatever the server's locale.
        return pg ? QStringLiteral("TEXT COLLATE \"C\"") : QStringLiteral("TEXT");
    case ColumnKind::Memo:
        return pg ? QStringLiteral("longtext") : QStringLiteral("LONGTEXT");
    case ColumnKind::Date:
        return QStringLiteral("DATE");
    case ColumnKind::Boolean:
        return pg ? QStringLiteral("BOOLEAN NOT NULL DEFAULT FALSE")
                  : QStringLiteral("BOOLEAN NOT NULL DEFAULT 0");
    case ColumnKind::Binary:
        return pg ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    case ColumnKind::Counter:
        return pg ? QStringLiteral("SERIAL UNIQUE") : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case ColumnKind::Number:
        return pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL");
    }
    return QStringLiteral("TEXT");
}

const QVector<TableDef>& databaseTables() {
    static const QVector<TableDef> tables = buildTables();
    return tables;
}

const TableDef& tableDef(const QString& name) {
    for (const TableDef& t : databaseTables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0) return t;
    static const TableDef none;
    return none;
}

namespace {

QStringList tableStatements(const TableDef& table, SqlDialect dialect, bool skipExisting) {
    const bool pg = dialect == SqlDialect::Postgres;
    const QString ifMissing = skipExisting ? QStringLiteral("IF NOT EXISTS ") : QString();
    QStringList columns;
    // Every server table carries a hidden row identity; SQLite has its own rowid.
    if (pg) columns << QStringLiteral("rowid BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
    for (const ColumnDef& column : table.columns) {
        QString definition = column.name + QLatin1Char(' ') + columnType(column.kind, dialect);
        if (table.uniqueColumns.contains(column.name)) definition += QStringLiteral(" UNIQUE");
        columns << definition;
    }
    if (!table.uniqueTogether.isEmpty())
        columns << QStringLiteral("UNIQUE (%1)").arg(table.uniqueTogether.join(QLatin1Char(',')));
    QStringList statements{QStringLiteral("CREATE TABLE %1%2 (%3)")
                               .arg(ifMissing, table.name, columns.join(QStringLiteral(", ")))};
    int n = 0;
    for (const QStringList& index : table.indexes)
        statements << QStringLiteral("CREATE INDEX %1ix_%2_%3 ON %2 (%4)")
                          .arg(ifMissing, table.name)
                          .arg(++n)
                          .arg(index.join(QLatin1Char(',')));
    return statements;
}

} // namespace

QStringList schemaStatements(SqlDialect dialect) {
    QStringList statements;
    if (dialect == SqlDialect::Postgres)
        statements << QStringLiteral(
            "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_type WHERE typname = 'longtext') "
            "THEN CREATE DOMAIN longtext AS text; END IF; END $$");
    for (const TableDef& table : databaseTables())
        if (table.name != kVerifyTokenTable) statements << tableStatements(table, dialect, false);
    return statements + verifyTokenTableStatements(dialect) + auditTriggerStatements(dialect) +
           addedIndexStatements(dialect) + RegisterCounts::statements(dialect) +
           NameCharacters::statements(dialect);
}

QStringList verifyTokenTableStatements(SqlDialect dialect) {
    // The partial index lets two desks printing the same card at once end with one code.
    return missingTableStatements(tableDef(kVerifyTokenTable), dialect)
           << QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS ux_%1_current ON %1 (表名, 关键字) "
                             "WHERE 停用时间 IS NULL")
                  .arg(kVerifyTokenTable);
}

QStringList auditTriggerStatements(SqlDialect dialect) {
    const QString refusal = QStringLiteral("操作日志只能添加，不能修改或删除。");
    if (dialect == SqlDialect::Sqlite) {
        QStringList statements;
        for (const char* event : {"UPDATE", "DELETE"})
            statements << QStringLiteral("CREATE TRIGGER IF NOT EXISTS AuditLog_no_%1 BEFORE %2 ON AuditLog "
                                         "BEGIN SELECT RAISE(ABORT, '%3'); END")
                              .arg(QString::fromLatin1(event).toLower(), QString::fromLatin1(event), refusal);
        return statements;
    }
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION auditlog_append_only() RETURNS trigger LANGUAGE plpgsql "
                       "AS $f$ BEGIN RAISE EXCEPTION '%1'; END $f$")
            .arg(refusal),
        QStringLiteral("CREATE OR REPLACE TRIGGER auditlog_no_change BEFORE UPDATE OR DELETE ON AuditLog "
                       "FOR EACH ROW EXECUTE FUNCTION auditlog_append_only()"),
        QStringLiteral("CREATE OR REPLACE TRIGGER auditlog_no_truncate BEFORE TRUNCATE ON AuditLog "
                       "FOR EACH STATEMENT EXECUTE FUNCTION auditlog_append_only()")};
}

QStringList missingTableStatements(const TableDef& table, SqlDialect dialect) {
    return tableStatements(table, dialect, true);
}

QString keyNumberExpression(const QString& column, SqlDialect dialect) {
    if (dialect == SqlDialect::Postgres) return QStringLiteral("leading_number(%1)").arg(column);
    // SQLite reads the longest leading real number of a text cast to REAL, as the office's rule
    // does once the blanks are gone and the old exponent letter d reads as e.
    return QStringLiteral("CAST(replace(replace(replace(replace(replace(%1, ' ', ''), char(9), ''), "
                          "char(10), ''), 'd', 'e'), 'D', 'e') AS REAL)")
        .arg(column);
}

namespace {

// The server's twin of the SQLite cast above; a number beyond the range of a double counts as 0.
// Not parallel safe: its exception block needs a subtransaction, which no parallel worker may start.
const QString kLeadingNumberFunction = QStringLiteral(
    "CREATE OR REPLACE FUNCTION leading_number(key text) RETURNS double precision "
    "LANGUAGE plpgsql IMMUTABLE PARALLEL RESTRICTED AS $f$ DECLARE number text; BEGIN "
    "number := substring(regexp_replace(translate(key, E' \\t\\n', ''), '[dD]', 'e', 'g') "
    "FROM '^[+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?'); "
    "RETURN coalesce(number::double precision, 0); "
    "EXCEPTION WHEN numeric_value_out_of_range OR invalid_text_representation THEN RETURN 0; END $f$");

QString indexStatement(const QString& name, const QString& table, const QString& columns) {
    return QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)").arg(name, table, columns);
}

} // namespace

QStringList addedIndexStatements(SqlDialect dialect) {
    const bool pg = dialect == SqlDialect::Postgres;
    QStringList statements;
    if (pg) statements << kLeadingNumberFunction;
    const QVector<QPair<QString, QStringList>> counted = {
        {QStringLiteral("DangAnKu"),
         {QStringLiteral("职业工种"), QStringLiteral("证书级别"), QStringLiteral("文化程度"),
          QStringLiteral("性别")}},
        {QStringLiteral("CaoZuoZheng"), {QStringLiteral("作业类别"), QStringLiteral("性别")}},
        {QStringLiteral("PeiXun"),
         {QStringLiteral("职务"), QStringLiteral("文化程度"), QStringLiteral("性别")}},
    };
    QStringList dates;
    for (const DueItem& item : dueItems())
        dates << item.column;
    for (const auto& [table, columns] : counted) {
        const TableDef& def = tableDef(table);
        const QString key = def.uniqueColumns.first();
        // The due list reads its rows' order from these alone (the row identity is part of every
        // SQLite index, the server needs it included). In SQLite they replace the earlier
        // date-only ones; the server keeps those for the counts: it stores a repeated date once,
        // so they take a fifth of the pages.
        for (const QString& date : dates) {
            statements << indexStatement(QStringLiteral("ix_%1_due_%2").arg(table, date), table,
                                         date + QLatin1Char(',') + key +
                                             (pg ? QStringLiteral(") INCLUDE (rowid") : QString()));
            statements << (pg ? indexStatement(QStringLiteral("ix_%1_%2").arg(table, date), table, date)
                              : QStringLiteral("DROP INDEX IF EXISTS ix_%1_%2").arg(table, date));
        }
        // The login reminder counts the records with a date overdue from their earliest date. The
        // dates come along so that both engines read the count from the index alone.
        statements << indexStatement(
            QStringLiteral("ix_%1_overdue").arg(table), table,
            QStringLiteral("(%1)%2%3")
                .arg(earliestDueDateSql(pg ? Connection::Engine::Postgres : Connection::Engine::Sqlite),
                     pg ? QStringLiteral(") INCLUDE (") : QStringLiteral(","), dates.join(QLatin1Char(','))));
        for (const QString& column : columns)
            statements << indexStatement(QStringLiteral("ix_%1_%2").arg(table, column), table, column);
        statements << indexStatement(QStringLiteral("ix_%1_keynumber").arg(table), table,
                                     keyNumberExpression(key, dialect));
        if (!pg) continue;
        // SQLite sorts empty values first; the server does the same only from indexes built so.
        statements << indexStatement(QStringLiteral("ix_%1_keyorder").arg(table), table,
                                     key + QStringLiteral(" NULLS FIRST, rowid"));
        statements << indexStatement(QStringLiteral("ix_%1_queryorder").arg(table), table,
                                     def.indexes.first().join(QStringLiteral(" NULLS FIRST, ")) +
                                         QStringLiteral(" NULLS FIRST) INCLUDE (rowid"));
    }
    return statements;
}

QStringList missingIndexStatements(QSqlDatabase db) {
    // Read the catalogue first: on the server even a CREATE INDEX IF NOT EXISTS waits for the
    // table's writers, and every workstation passes here at each start.
    QSqlQuery existing(db);
    const bool server = db.driverName() == QLatin1String("QPSQL");
    // A leading_number() still declared parallel safe, as servers made before were, is made again.
    if (!existing.exec(server ? QStringLiteral("SELECT indexname FROM pg_indexes UNION ALL "
                                               "SELECT proname FROM pg_proc WHERE proname = 'leading_number' "
                                               "AND proparallel <> 's'")
                              : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index'")))
        return {};
    QStringList names;
    while (existing.next())
        names << existing.value(0).toString().toLower();
    static const QRegularExpression named(
        QStringLiteral("^(CREATE (?:INDEX IF NOT EXISTS|OR REPLACE FUNCTION)|DROP INDEX IF EXISTS) (\\w+)"),
        QRegularExpression::UseUnicodePropertiesOption);
    QStringList missing;
    for (const QString& statement :
         addedIndexStatements(server ? SqlDialect::Postgres : SqlDialect::Sqlite)) {
        const auto match = named.match(statement);
        const bool dropping = match.captured(1).startsWith(QLatin1String("DROP"));
        if (names.contains(match.captured(2).toLower()) == dropping) missing << statement;
    }
    return missing;
}

void ensureAddedIndexes(QSqlDatabase db) {
    for (const QString& statement : missingIndexStatements(db)) {
        QSqlQuery q(db);
        if (!q.exec(statement)) return;
    }
}

QStringList deliveredContentStatements() {
    QStringList statements;
    statements << QStringLiteral("INSERT INTO System (Ver) VALUES (2.0)");
    statements
        << QStringLiteral(
               "INSERT INTO Users (编号, 姓名, PWD, 资料录入, 人员查询, 打印操作, Tag1, Tag2, 求职登记, "
               "招聘登记, 职位查询, 职位速配, 备注) VALUES ('001', %1, %2, "
               "TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, '')")
               .arg(sqlText(kAdministrator), sqlText(hashPassword(kDeliveredPassword)));
    const QVector<QPair<QString, QStringList>> options = {
        {QStringLiteral("文化程度"),
         {QStringLiteral("小学"), QStringLiteral("初中"), QStringLiteral("高中"), QStringLiteral("中专"),
          QStringLiteral("技校"), QStringLiteral("大专"), QStringLiteral("本科"), QStringLiteral("研究生")}},
        {QStringLiteral("作业类别"),
         {QStringLiteral("电工作业"), QStringLiteral("焊接与热切割作业"), QStringLiteral("高处作业"),
          QStringLiteral("制冷与空调作业"), QStringLiteral("煤矿安全作业"),
          QStringLiteral("金属非金属矿山安全作业"), QStringLiteral("石油天然气安全作业"),
          QStringLiteral("冶金（有色）生产安全作业"), QStringLiteral("危险化学品安全作业"),
          QStringLiteral("烟花爆竹安全作业")}},
        {QStringLiteral("证书级别"),
         {QStringLiteral("初级"), QStringLiteral("中级"), QStringLiteral("高级"), QStringLiteral("技师"),
          QStringLiteral("高级技师")}},
        {QStringLiteral("职业工种"),
         {QStringLiteral("电工"), QStringLiteral("焊工"), QStringLiteral("架子工"), QStringLiteral("起重工"),
          QStringLiteral("司炉工"), QStringLiteral("电梯操作工"), QStringLiteral("压力容器操作工"),
          QStringLiteral("场（厂）内机动车辆驾驶员")}},
        {QStringLiteral("职务"),
         {QStringLiteral("主要负责人"), QStringLiteral("法定代表人"), QStringLiteral("总经理"),
          QStringLiteral("厂长"), QStringLiteral("安全管理人员"), QStringLiteral("安全科长"),
          QStringLiteral("安全员")}},
    };
    for (const auto& [category, values] : options)
        for (const QString& value : values)
            statements << QStringLiteral("INSERT INTO List (content, leixing) VALUES (%1, %2)")
                              .arg(sqlText(value), sqlText(category));
    return statements;
}

QString runStatements(QSqlDatabase db, const QStringList& statements) {
    if (!db.transaction()) return describeDbFailure(db.lastError(), db.driver());
    QSqlQuery q(db);
    for (const QString& statement : statements) {
        if (!q.exec(statement)) {
            const QString error = describeDbFailure(q.lastError(), q.driver()) + QStringLiteral(" [") +
                                  statement + QLatin1Char(']');
            q = QSqlQuery();
            db.rollback();
            return error;
        }
    }
    if (!db.commit()) return describeDbFailure(db.lastError(), db.driver());
    return {};
}

namespace {

QString withNewSqliteFile(const QString& path, const QStringList& statements) {
    if (QFileInfo::exists(path)) return QStringLiteral("文件 '%1' 已经存在，不能覆盖。").arg(path);
    // Made private before SQLite writes anything into it; its journals take the same mode.
    if (const QString error = createPrivateFile(path); !error.isEmpty())
        return QStringLiteral("无法建立文件 '%1'：%2").arg(path, error);
    const QString name = QStringLiteral("create-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            error = describeDbFailure(db.lastError(), db.driver());
        else
            error = runStatements(db, statements);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty()) QFile::remove(path); // never leave a half-made database behind
    return error;
}

} // namespace

QString createLocalDatabase(const QString& path) {
    return withNewSqliteFile(path, schemaStatements(SqlDialect::Sqlite) + deliveredContentStatements());
}

QString createPrintSettingsFile(const QString& path) {
    return withNewSqliteFile(
        path, {QStringLiteral(
                  "CREATE TABLE PrintSetup (Title TEXT PRIMARY KEY, Orientation INTEGER NOT NULL DEFAULT 0, "
                  "PaperSize TEXT NOT NULL DEFAULT 'A4', MarginLeft REAL NOT NULL DEFAULT 15, "
                  "MarginTop REAL NOT NULL DEFAULT 15, MarginRight REAL NOT NULL DEFAULT 15, "
                  "MarginBottom REAL NOT NULL DEFAULT 15, FontName TEXT NOT NULL DEFAULT '宋体', "
                  "FontSize REAL NOT NULL DEFAULT 10)")});
}

QSqlDatabase openServerDatabase(const QString& libpqConnection, const QString& connectionName) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    for (const QString& item : libpqConnection.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = item.section(QLatin1Char('='), 0, 0).trimmed();
        const QString value = item.section(QLatin1Char('='), 1).trimmed();
        if (key == QLatin1String("host"))
            db.setHostName(value);
        else if (key == QLatin1String("port"))
            db.setPort(value.toInt());
        else if (key == QLatin1String("dbname"))
            db.setDatabaseName(value);
        else if (key == QLatin1String("user"))
            db.setUserName(value);
        else if (key == QLatin1String("password"))
            db.setPassword(value);
        else if (key == QLatin1String("sslmode"))
            db.setConnectOptions(QStringLiteral("sslmode=") + value);
    }
    db.open();
    return db;
}
