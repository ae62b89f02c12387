#pragma once
// The database's tables, created on either engine, with the content the program is delivered with.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

enum class ColumnKind { Text, Memo, Date, Boolean, Binary, Counter, Number };

struct ColumnDef {
    QString name;
    ColumnKind kind;
};

struct TableDef {
    QString name;
    QVector<ColumnDef> columns;
    QStringList uniqueColumns;    // each one unique on its own
    QVector<QStringList> indexes; // columns the searches filter and order by
    QStringList uniqueTogether;   // one combined unique constraint, when set
    QStringList auditKey;         // columns that name a row in the audit trail; empty: not audited
};

inline const QString kVerifyTokenTable = QStringLiteral("VerifyToken");

const QVector<TableDef>& databaseTables();
const TableDef& tableDef(const QString& name);

enum class SqlDialect { Sqlite, Postgres };

// How a column of this kind is declared on the engine.
QString columnType(ColumnKind kind, SqlDialect dialect);

// Statements that create every table and index on an empty database.
QStringList schemaStatements(SqlDialect dialect);
// The indexes added since the first databases were made (review and renewal dates, the counted
// columns, the keys' leading numbers, the server's sort orders), and the removal of those they
// replaced; they may be run again.
QStringList addedIndexStatements(SqlDialect dialect);
// Those of them a database made earlier still lacks.
QStringList missingIndexStatements(QSqlDatabase db);
// Gives a database made before those indexes existed its missing ones. A server role that may not
// create indexes keeps working without them, only slower.
void ensureAddedIndexes(QSqlDatabase db);
// Triggers that refuse every UPDATE and DELETE (on the server also TRUNCATE) of AuditLog rows.
QStringList auditTriggerStatements(SqlDialect dialect);
// The leading number of a key column as the next-number rule reads it, served by an index.
QString keyNumberExpression(const QString& column, SqlDialect dialect);
// The table of verification codes with the index that keeps one current code per record; they
// may be run again.
QStringList verifyTokenTableStatements(SqlDialect dialect);
// Statements that create one table and its indexes, skipping what already exists.
QStringList missingTableStatements(const TableDef& table, SqlDialect dialect);
// Statements that fill a new database with its delivered content (the administrator's password
// as a fresh hash).
QStringList deliveredContentStatements();

// Runs the statements in one transaction; returns the first error text, empty on success.
QString runStatements(QSqlDatabase db, const QStringList& statements);

// Creates a new local database file with the whole schema and its delivered content.
// Refuses an existing file. Returns an error text, empty on success.
QString createLocalDatabase(const QString& path);
// Creates the print-settings file with its table. Refuses an existing file.
QString createPrintSettingsFile(const QString& path);
// Opens a PostgreSQL database from a libpq connection string under the given connection name.
QSqlDatabase openServerDatabase(const QString& libpqConnection, const QString& connectionName);
