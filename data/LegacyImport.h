#pragma once
// Brings an office's old Access database over into the open database: the three registers, the
// operators and the option values, each table in one transaction. No window: the import window
// and the command line give it a question to ask and a place to show progress.

#include <functional>
#include <optional>
#include <QString>
#include <QStringList>
#include <QVector>

class Connection;

enum class DuplicatePolicy { Skip, Replace };

struct TableImport {
    QString table;
    int read = 0;
    int imported = 0; // replaced ones included
    int replaced = 0;
    int skipped = 0;
    QStringList problems; // in the system's words, one a line
    QStringList notes;    // what changed that the office should know, not a fault
    bool failed = false;  // rolled back: nothing of this table was written
};

struct LegacyImportReport {
    QString file;
    QString database;
    std::optional<DuplicatePolicy> policy; // unset when no record already existed
    QString fatal;                         // the file could not be read: nothing was written
    QVector<TableImport> tables;
    QStringList otherTables;    // tables of the old file this program does not import
    QStringList readerMessages; // what the file reading library itself said, in its own words
    QString savedAs; // the text file the report was saved in, empty when it could not be saved

    // Every row imported or deliberately skipped.
    bool complete() const;
    // Not one row was written.
    bool nothingImported() const;
    // The one line that tells the operator how it went: "旧数据已导入。" or what went wrong.
    QString outcome() const;
    QString text() const;
};

struct LegacyImportHooks {
    // Asked once, at the first record of a register whose key exists already (the table as the
    // report names it); the answer holds for the whole import. Operators are asked apart.
    std::function<DuplicatePolicy(const QString& table, const QString& key)> askDuplicate;
    // Asked once, before the operators are imported, with the names the database has already: true
    // replaces their passwords and rights with the old file's. Without it they are kept.
    std::function<bool(const QStringList& names)> replaceOperators;
    // Rows done of the table so far, and the table's row count.
    std::function<void(const QString& table, int done, int total)> progress;
};

// The tables imported, in order.
QStringList legacyImportTables();

// Imports `file` over `conn`; `databaseName` only names the target in the report.
LegacyImportReport importLegacyFile(const QString& file, Connection& conn, const QString& databaseName,
                                    const LegacyImportHooks& hooks);

// Saves the report's text beside the database (the local file's folder, else the program's) and
// records where in `report.savedAs`.
void saveImportReport(LegacyImportReport& report, const QString& folder);
