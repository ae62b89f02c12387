#pragma once
// What the record set asks of the engines themselves: reads that bypass the driver's row-at-a-time
// path, where registers of a million rows make it too slow, the column kinds the engines declare,
// and the order they give empty values.

#include "Connection.h"

#include <functional>
#include <optional>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVector>

struct sqlite3_stmt;

namespace RecordsetInternals {

// The ADO kind of a column from the type it was declared with (an SQLite declaration, a server
// data type or domain).
int typeFromDeclaration(const QString& declared);
// The ADO kind of a value the driver hands back, for columns no table declares.
int typeFromMetaType(const QMetaType& type);

// Runs a local statement straight on SQLite, handing each result row to `visit`: registers of a
// million rows are read whole many times a day, and the generic row-by-row path costs several
// times more. False when the connection is not SQLite; raises when the statement failed.
bool stepSqlite(const QSqlDatabase& db, const QString& sql, const QVariantList& binds,
                const std::function<void(sqlite3_stmt*)>& visit);

// Reads the row identities of a server statement with libpq itself: the driver's row-at-a-time
// results cost more than the server's whole scan on a register of a million rows. False when the
// connection is not PostgreSQL or the identities are not BIGINT; `failure` is set when the
// statement failed.
bool loadPostgresIds(const QSqlDatabase& db, const QString& sql, const QVariantList& binds,
                     QVector<qint64>& ids, std::optional<DbError>& failure);

// SQLite sorts empty values before all others, as the office's engines did; the server sorts
// them last unless told. A trailing ORDER BY of plain columns is told so on the server.
QString withEmptyValuesFirst(const QString& sql, Connection::Engine engine);

} // namespace RecordsetInternals
