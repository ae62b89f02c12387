#pragma once
// A class roster from a spreadsheet into one register: columns matched by their headings, every
// row checked before anything is written, then the good rows added (numbered as a new record in
// the entry form is) or matched to the stored ones, in one transaction with a trail row each.
// No window: the import window and the command line ask the questions and show the progress.

#include "RosterFile.h"
#include "Schema.h"

#include <functional>
#include <optional>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class Connection;

// A register column a roster may fill (every one but the key and the photo).
struct RosterField {
    QString column;
    ColumnKind kind;
    QString optionCategory; // the option list its values must come from; empty: free text
    bool required = false;
};

QVector<RosterField> rosterFields(const QString& table);
// The register column a heading names, with the usual variants ("身份证号码" → 身份证号); empty
// when it names none.
QString fieldForHeading(const QString& table, const QString& heading);

struct Roster {
    QString file;
    QString table;
    QString encoding;
    QString error; // the file could not be read or holds no roster: nothing else is set
    int headingLine = 0; // the sheet's line of the headings, from 1
    QStringList headings;
    QVector<QVector<RosterCell>> rows; // the data rows below the headings, blank rows left out
    QVector<int> lines;                // each row's line in the sheet
    QVector<QString> mapping;          // per file column: the register column it fills, or empty
    bool mappingWasSaved = false;      // taken from an earlier file with the same headings

    QStringList unmappedHeadings() const;
    // Maps the column headed `heading` to `column` (empty: leave the column out). An error text
    // when the roster has no such heading or the register no such column.
    QString mapColumn(const QString& heading, const QString& column);
};

// Reads the file and maps its columns: by the mapping saved for the same headings when there is
// one, else by the headings themselves.
Roster loadRoster(const QString& path, const QString& table);
// Remembers the mapping for the next file with the same headings. Throws DbError when the
// settings cannot be written.
void saveRosterMapping(const Roster& roster);

struct RosterProblem {
    int column; // the file column, -1 for the row as a whole
    QString reason;
};

struct RosterRow {
    int line = 0;
    QString name;
    QString identity;
    QHash<QString, QVariant> values; // register column → text, or a QDate for dates (null: none)
    QVector<RosterProblem> problems;
    QVector<QPair<QString, QString>> unknownOptions; // category, value not in its list
    QStringList storedKeys;                          // records of the register with this identity number

    bool acceptable() const { return problems.isEmpty() && unknownOptions.isEmpty(); }
};

struct RosterCheck {
    QVector<RosterRow> rows;
    QVector<QPair<QString, QString>> unknownOptions; // each category and value once
    int rowsWithProblems() const;
    int rowsAlreadyStored() const;
};

// Checks every row against the rules and the register as it is stored. Throws DbError when the
// register or the option lists cannot be read.
RosterCheck checkRoster(const Roster& roster, Connection& conn);
// Adds a value to an option list (with its trail row); nothing when it is there already. Throws
// DbError.
void addOptionValue(Connection& conn, const QString& category, const QString& value);

// What to do with a person the register holds already (the same identity number).
enum class StoredPersonPolicy { Update, Skip, AddNew };

struct RosterReport {
    QString file;
    QString table;
    QString database;
    bool dryRun = false;
    int read = 0;
    int added = 0;
    int updated = 0;
    int skipped = 0;
    int refused = 0;  // among the skipped: rows with problems, or not telling which record to update
    QStringList rows; // what happened to each row, in the system's words
    QString fatal;    // nothing was written
    QString savedAs;

    QString text() const;
};

struct RosterImportHooks {
    std::optional<StoredPersonPolicy> policy; // needed once a row matches a stored person
    std::function<void(int done, int total)> progress;
};

// Writes the acceptable rows in one transaction (a dry run only tells what it would do). Rows
// with problems are skipped with their reasons.
RosterReport importRoster(const Roster& roster, const RosterCheck& check, Connection& conn,
                          const RosterImportHooks& hooks, bool dryRun);
// Saves the report beside the database and records where in `report.savedAs`.
void saveRosterReport(RosterReport& report, const QString& folder);

// A date as a roster may hold it: a date cell, a spreadsheet day number, 2024-03-05, 2024/3/5,
// 2024.3.5, 20240305, 2024年3月5日 (a time after it is ignored). Null when it is none.
QDate rosterDate(const RosterCell& cell);
