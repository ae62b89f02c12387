#pragma once
// The figures of one register, measured on the real windows in this process.

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QTextStream>

// Milliseconds one run of the action takes.
template <class Action> double timed(Action&& action) {
    QElapsedTimer timer;
    timer.start();
    action();
    return timer.nsecsElapsed() / 1e6;
}

double median(QList<double> values);
// Prints the figures for the register in `path` as a table; returns the exit code.
int measureRegister(const QString& path, int runs, QTextStream& out);
// Prints the milliseconds from the start of this process to the data source dialog on screen.
int measureStartUp();
