#pragma once
// A class roster of many rows read, checked and imported into a new local database, timed.

#include <QTextStream>

// Writes a workbook of `rows` people and imports it `runs` times, each into a new SQLite
// database; prints the medians of reading, checking and importing. Returns the exit code.
int measureRosterImport(int rows, int runs, QTextStream& out);
