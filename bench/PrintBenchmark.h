#pragma once
// A long list printed to a PDF file, timed, with the memory it took.

#include <QTextStream>

// Prints a list of `rows` certificate rows, read on demand as the list window reads a register,
// `runs` times to a PDF file; prints the median time, the pages and the peak memory. Returns the
// exit code.
int measureListPrint(int rows, int runs, QTextStream& out);
