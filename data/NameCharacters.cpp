#include "NameCharacters.h"

#include "RegisterCounts.h"

#include <QSet>
#include <QSqlQuery>

namespace NameCharacters {

namespace {

constexpr int kLongestName = 255;
const QString kNameColumn = QStringLiteral("姓名");
const QString kPositionTable = QStringLiteral("CharPosition");

bool onServer(SqlDialect dialect) {
    return dialect == SqlDialect::Postgres;
}

QStringList orderColumns(const QString& registerTable) {
    return tableDef(registerTable).indexes.first();
}

// The character at place p.n of `name`, as both the entries and the searches fold it.
QString characterAt(const QString& name, SqlDialect dialect) {
    return onServer(dialect) ? QStringLiteral("lower(substr(%1, p.n, 1) COLLATE \"C\")").arg(name)
                             : QStringLiteral("lower(substr(%1, p.n, 1))").arg(name);
}

// Only a character's first place in a name makes an entry, so that a row is found once.
QString firstPlace(const QString& name, SqlDialect dialect) {
    return onServer(dialect)
               ? QStringLiteral("strpos(lower(left(%1, p.n - 1) COLLATE \"C\"), %2) = 0")
                     .arg(name, characterAt(name, dialect))
               : QStringLiteral("instr(lower(substr(%1, 1, p.n - 1)), %2) = 0").arg(name, characterAt(name, dialect));
}

// The entries of the rows `row` names ("t" over the register, or a trigger's NEW).
QString entriesOf(const QString& registerTable, const QString& row, SqlDialect dialect) {
    const QString name = row + QLatin1Char('.') + kNameColumn;
    QStringList values{QStringLiteral("%1.rowid * 256 + p.n").arg(row), characterAt(name, dialect)};
    for (const QString& column : orderColumns(registerTable))
        values << row + QLatin1Char('.') + column;
    const QString places =
        onServer(dialect)
            ? QStringLiteral("generate_series(1, least(length(%1), %2)) AS p(n)").arg(name).arg(kLongestName)
            : QStringLiteral("%1 p").arg(kPositionTable);
    QString from;
    if (row == QLatin1String("NEW"))
        from = places;
    else if (onServer(dialect))
        from = QStringLiteral("%1 t CROSS JOIN LATERAL %2").arg(registerTable, places);
    else
        from = QStringLiteral("%1 t JOIN %2 ON p.n <= length(t.%3)").arg(registerTable, places, kNameColumn);
    QString where = firstPlace(name, dialect);
    if (row == QLatin1String("NEW") && !onServer(dialect))
        where.prepend(QStringLiteral("p.n <= length(%1) AND ").arg(name));
    return QStringLiteral("INSERT INTO %1 (条目, 字, %2) SELECT %3 FROM %4 WHERE %5")
        .arg(tableOf(registerTable), orderColumns(registerTable).join(QStringLiteral(", ")),
             values.join(QStringLiteral(", ")), from, where);
}

QString entriesRemoved(const QString& registerTable, const QString& row) {
    return QStringLiteral("DELETE FROM %1 WHERE 条目 BETWEEN %2.rowid * 256 AND %2.rowid * 256 + 255")
        .arg(tableOf(registerTable), row);
}

const QString kTooLong = QStringLiteral("姓名不能超过%1个字。").arg(kLongestName);

QStringList localTriggers(const QString& t) {
    const QString tooLong = QStringLiteral("WHEN length(NEW.%1) > %2 BEGIN SELECT RAISE(ABORT, '%3'); END")
                                .arg(kNameColumn)
                                .arg(kLongestName)
                                .arg(kTooLong);
    const QString kept = orderColumns(t).join(QStringLiteral(", "));
    const QString lower = t.toLower();
    return {
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_name_length BEFORE INSERT ON %2 %3").arg(lower, t, tooLong),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_name_length_changed BEFORE UPDATE OF %2 ON %3 %4")
            .arg(lower, kNameColumn, t, tooLong),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_names_added AFTER INSERT ON %2 BEGIN %3; END")
            .arg(lower, t, entriesOf(t, QStringLiteral("NEW"), SqlDialect::Sqlite)),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_names_changed AFTER UPDATE OF %2, %3 ON %4 BEGIN %5; %6; END")
            .arg(lower, kNameColumn, kept, t, entriesRemoved(t, QStringLiteral("OLD")),
                 entriesOf(t, QStringLiteral("NEW"), SqlDialect::Sqlite)),
        QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1_names_removed AFTER DELETE ON %2 BEGIN %3; END")
            .arg(lower, t, entriesRemoved(t, QStringLiteral("OLD"))),
    };
}

QStringList localTriggerNames(const QString& t) {
    const QString lower = t.toLower();
    QStringList names;
    for (const char* suffix : {"name_length", "name_length_changed", "names_added", "names_changed", "names_removed"})
        names << lower + QLatin1Char('_') + QLatin1String(suffix);
    return names;
}

QString serverFunction(const QString& t) {
    return QStringLiteral("names_of_%1").arg(t.toLower());
}

// One function per register keeps its entries; it runs as its owner, so the desks only read them.
QStringList serverTriggers(const QString& t) {
    const QString kept = orderColumns(t).join(QStringLiteral(", "));
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
                       "SET search_path = public AS $f$ BEGIN "
                       "IF TG_OP <> 'DELETE' AND length(NEW.%2) > %3 THEN RAISE EXCEPTION '%4'; END IF; "
                       "IF TG_OP <> 'INSERT' THEN %5; END IF; "
                       "IF TG_OP <> 'DELETE' THEN %6; END IF; "
                       "RETURN NULL; END $f$")
            .arg(serverFunction(t), kNameColumn)
            .arg(kLongestName)
            .arg(kTooLong, entriesRemoved(t, QStringLiteral("OLD")),
                 entriesOf(t, QStringLiteral("NEW"), SqlDialect::Postgres)),
        QStringLiteral("CREATE OR REPLACE TRIGGER %1_names AFTER INSERT OR DELETE OR UPDATE OF %2, %3 ON %4 "
                       "FOR EACH ROW EXECUTE FUNCTION %5()")
            .arg(t.toLower(), kNameColumn, kept, t, serverFunction(t)),
    };
}

// A character of a search as the entries hold it.
QString foldedValue(Connection::Engine engine) {
    return engine == Connection::Engine::Postgres ? QStringLiteral("lower(CAST(? AS TEXT) COLLATE \"C\")")
                                                  : QStringLiteral("lower(?)");
}

} // namespace

QString tableOf(const QString& registerTable) {
    return QStringLiteral("NameChar_") + registerTable;
}

QStringList tables() {
    QStringList list;
    for (const QString& t : RegisterCounts::countedTables())
        list << tableOf(t);
    return list;
}

QStringList serverFunctions() {
    QStringList list;
    for (const QString& t : RegisterCounts::countedTables())
        list << serverFunction(t);
    return list;
}

QStringList statements(SqlDialect dialect) {
    const bool pg = onServer(dialect);
    QStringList list;
    if (!pg)
        list << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (n INTEGER PRIMARY KEY)").arg(kPositionTable)
             << QStringLiteral("INSERT OR IGNORE INTO %1 (n) WITH RECURSIVE p(n) AS (SELECT 1 UNION ALL "
                               "SELECT n + 1 FROM p WHERE n < %2) SELECT n FROM p")
                    .arg(kPositionTable)
                    .arg(kLongestName);
    for (const QString& t : RegisterCounts::countedTables()) {
        const TableDef& def = tableDef(t);
        QStringList columns{pg ? QStringLiteral("条目 BIGINT PRIMARY KEY") : QStringLiteral("条目 INTEGER PRIMARY KEY"),
                            QStringLiteral("字 %1 NOT NULL").arg(columnType(ColumnKind::Text, dialect))};
        QStringList indexed{QStringLiteral("字")};
        for (const QString& column : orderColumns(t)) {
            for (const ColumnDef& c : def.columns)
                if (c.name == column) columns << column + QLatin1Char(' ') + columnType(c.kind, dialect);
            // The server sorts empty values first only from an index built so.
            indexed << column + (pg ? QStringLiteral(" NULLS FIRST") : QString());
        }
        indexed << QStringLiteral("条目");
        // Filled before its index is built: a sort instead of ten million inserts into it.
        list << QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)").arg(tableOf(t), columns.join(QStringLiteral(", ")))
             << QStringLiteral("DELETE FROM %1").arg(tableOf(t)) << entriesOf(t, QStringLiteral("t"), dialect)
             << QStringLiteral("CREATE INDEX IF NOT EXISTS ix_%1 ON %1 (%2)")
                    .arg(tableOf(t), indexed.join(QStringLiteral(", ")));
        list << (pg ? serverTriggers(t) : localTriggers(t));
    }
    return list;
}

QStringList bulkLoadStatements(SqlDialect dialect) {
    QStringList list;
    for (const QString& t : RegisterCounts::countedTables()) {
        if (onServer(dialect)) {
            list << QStringLiteral("DROP TRIGGER IF EXISTS %1_names ON %2").arg(t.toLower(), t);
        } else {
            for (const QString& trigger : localTriggerNames(t))
                list << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(trigger);
        }
        list << QStringLiteral("DROP INDEX IF EXISTS ix_%1").arg(tableOf(t));
    }
    return list;
}

bool present(QSqlDatabase db) {
    const bool server = db.driverName() == QLatin1String("QPSQL");
    QSqlQuery q(db);
    if (!q.exec(server ? QStringLiteral("SELECT tgname FROM pg_trigger WHERE NOT tgisinternal UNION ALL "
                                        "SELECT tablename FROM pg_tables WHERE schemaname = 'public'")
                       : QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('trigger', 'table')")))
        return false;
    QSet<QString> names;
    while (q.next())
        names << q.value(0).toString().toLower();
    for (const QString& t : RegisterCounts::countedTables()) {
        const QStringList needed =
            server ? QStringList{t.toLower() + QStringLiteral("_names")} : localTriggerNames(t);
        for (const QString& name : needed + QStringList{tableOf(t).toLower()})
            if (!names.contains(name)) return false;
    }
    return server || names.contains(kPositionTable.toLower());
}

QString rowsHoldingCharacters(const QString& registerTable, const QString& fragment, Connection::Engine engine,
                              QVariantList& binds) {
    // A few characters narrow a search enough; the engines refuse a compound of hundreds.
    constexpr int kMostCharacters = 16;
    QStringList characters;
    for (const char32_t c : fragment.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        if (!characters.contains(character)) characters << character;
        if (characters.size() == kMostCharacters) break;
    }
    QStringList selects;
    for (const QString& character : characters) {
        selects << QStringLiteral("SELECT 条目 / 256 FROM %1 WHERE 字 = %2")
                       .arg(tableOf(registerTable), foldedValue(engine));
        binds << character;
    }
    return QStringLiteral("rowid IN (%1)").arg(selects.join(QStringLiteral(" INTERSECT ")));
}

QString identitiesInOrder(const QString& registerTable, const QStringList& order, Connection::Engine engine) {
    if (order != orderColumns(registerTable)) return {};
    QStringList terms;
    for (const QString& column : order)
        terms << column + (engine == Connection::Engine::Postgres ? QStringLiteral(" NULLS FIRST") : QString());
    terms << QStringLiteral("条目");
    return QStringLiteral("SELECT 条目 / 256 FROM %1 WHERE 字 = %2 AND %3 <> '' ORDER BY %4")
        .arg(tableOf(registerTable), foldedValue(engine), tableDef(registerTable).uniqueColumns.first(),
             terms.join(QStringLiteral(", ")));
}

} // namespace NameCharacters
