#pragma once
// Many desks on one database at once: each desk a process of its own working through the real
// entry form, query form and list window, and afterwards the check that nothing a desk was told
// it saved has been lost.

#include <QString>
#include <QStringList>
#include <QTextStream>

struct LoadOptions {
    QString database; // a file, or with `server` a libpq connection string
    bool server = false;
    int desks = 8;
    int seconds = 60;
};

// Starts the desks on `database` (which they change), waits for them and prints the figures and
// the check; not 0 when a desk failed, an update was lost or an engine error reached a desk raw.
int runLoad(const LoadOptions& options, QTextStream& out);

// One desk, a child process of runLoad: works until its time is up and writes what it did, and
// what it was told it saved, to `logPath`.
int runDesk(const LoadOptions& options, int desk, const QStringList& sharedKeys, const QString& logPath);
