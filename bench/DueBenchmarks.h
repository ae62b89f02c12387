#pragma once
// Figures of the reminder window, the login reminder and the statistics on one register.

#include <QString>
#include <QTextStream>

// `database` is a local file, or a libpq connection string when `server` is set.
int measureDueAndStatistics(const QString& database, bool server, int runs, QTextStream& out);
