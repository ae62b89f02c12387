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
// The most memory this process has held, in MB.
double peakMemory();
// Drops the local file's pages from the operating system's cache, as after a restart.
void evictFromCache(const QString& path);
// Prints the figures for the register in `database` (a file, or with `server` a libpq string) as a
// table; returns the exit code, not 0 when any step failed.
int measureRegister(const QString& database, bool server, int runs, QTextStream& out);
// Prints the milliseconds from the start of this process to the data source dialog on screen.
int measureStartUp();
