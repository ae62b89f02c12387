#pragma once
// The command-line modes for scheduled jobs and administrators: `orvanta --mode [ARG] [--flag VALUE]...`.
// They run without a display and report in the system's words on standard error.

#include <optional>
#include <QString>
#include <QStringList>

class CommandLine {
public:
    explicit CommandLine(QStringList arguments);

    // The mode, e.g. "--backup"; empty when the program was started for its windows.
    QString mode() const;
    // The value right after the mode when it is not itself a flag ("--backup DIR").
    QString modeArgument() const;
    // The value after a flag ("--database PATH"); nullopt when the flag is absent.
    std::optional<QString> value(const QString& flag) const;
    // Every value of a flag that may be given several times ("--map A=B --map C=D").
    QStringList values(const QString& flag) const;
    bool has(const QString& flag) const;

private:
    QStringList m_arguments;
};

// Writes a message to standard error and returns the failing exit status.
int failCommand(const QString& message);
// Writes a message to standard error (progress and results of a mode).
void tellCommand(const QString& message);

// The local database file a mode works on: --database, else what the program would open
// (the file data.ini names, then MoLian.mdb beside the program).
QString commandDatabasePath(const CommandLine& commandLine);
// Opens gConn for a mode: --server "libpq conninfo" or the local database file.
// Returns an error text in the system's words, empty on success.
QString openCommandDatabase(const CommandLine& commandLine);

// The open database as a report names it: the file, or the server without its password.
QString commandDatabaseName(const CommandLine& commandLine);

// A password a scheduled job keeps in a file: its first line; nullopt with `error` set when the
// file cannot be read or holds none.
std::optional<QString> passwordInFile(const QString& path, QString& error);

// Runs the mode named on the command line; nullopt when there is none and the windows start.
std::optional<int> runCommand(const QStringList& arguments);
