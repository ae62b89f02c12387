#pragma once
// Importing an office's old Access database into a new database, timed and with peak memory.

#include <QString>
#include <QTextStream>

// Imports `legacyFile` `runs` times into a new SQLite database (and, when `libpq` is set, into
// that PostgreSQL database made anew each run); prints the medians. Returns the exit code.
int measureImport(const QString& legacyFile, const QString& libpq, int runs, QTextStream& out);
