#pragma once
// The figures of one register, measured on the real windows in this process.

#include <QList>
#include <QString>
#include <QTextStream>

double median(QList<double> values);
// Prints the figures for the register in `path` as a table; returns the exit code.
int measureRegister(const QString& path, int runs, QTextStream& out);
// Prints the milliseconds from the start of this process to the data source dialog on screen.
int measureStartUp();
