#pragma once
// Every character of every name in the registers, kept by the engine beside the columns the query
// windows order by: a search for a fragment of a name reads the rows holding its characters from
// an index instead of testing every name, and a one-character search (a surname) reads its hits
// in the window's order from the index alone.
//
// An entry is numbered from its row and the character's place in the name (row * 256 + place),
// so the entries of one row are found by a range of numbers and no second index is needed; names
// are therefore limited to 255 characters, which the engine enforces.

#include "Connection.h"
#include "Schema.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>

namespace NameCharacters {

// The name-character table of a register ("NameChar_DangAnKu").
QString tableOf(const QString& registerTable);
// Those of every register.
QStringList tables();
// The server's functions that keep them.
QStringList serverFunctions();
// The table, its index, the triggers that keep it, and its filling from the rows there are; run in
// one transaction, they may be run again (the table is filled anew).
QStringList statements(SqlDialect dialect);
// The triggers and indexes gone (the tables stay), as a bulk load of the registers wants them;
// statements() then fills the tables and makes them again.
QStringList bulkLoadStatements(SqlDialect dialect);
// Whether every register has its table and triggers.
bool present(QSqlDatabase db);

// A condition on `registerTable`'s rows: those whose 姓名 holds every character of `fragment`,
// its values appended to `binds`. With more than one character it only narrows: the caller still
// tests the fragment itself.
QString rowsHoldingCharacters(const QString& registerTable, const QString& fragment, Connection::Engine engine,
                              QVariantList& binds);
// The identities of the rows whose 姓名 holds one character (one value to bind) and whose key is
// not empty, in the order of the register's query index: read from the index alone. Empty when the
// register's query index is not `order`.
QString identitiesInOrder(const QString& registerTable, const QStringList& order, Connection::Engine engine);

} // namespace NameCharacters
