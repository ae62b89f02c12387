#pragma once
// What a database session is doing and may be asked, read from the engine itself.

#include <QSqlDatabase>
#include <QStringList>

// True while the connection is inside a transaction, whoever opened it.
bool inTransaction(const QSqlDatabase& db);

// The values libpq takes for sslmode; a server string gives one as "SSL Mode=require".
const QStringList& sslModes();
