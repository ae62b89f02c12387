#pragma once
// What `orvanta --help`, `--version` and the manual page say. The tables here are the one list of
// the command-line modes and options: a new mode or option adds its line to them, and the
// dispatcher refuses a mode that is not listed.
// Qt Core only, so the manual page can be written at build time without the program.

#include <QList>
#include <QString>

struct CommandHelpEntry {
    QString usage;       // "--backup 目录"
    QString description; // one paragraph
    // The flag itself: the first word of the usage.
    QString flag() const;
};

QList<CommandHelpEntry> commandModes();
QList<CommandHelpEntry> commandOptions();
// True when `flag` is one of commandModes().
bool isListedMode(const QString& flag);

// The text of --help and of --version.
QString helpText();
QString versionText();
// The manual page in roff, saying what --help says and where the data lives.
QString manualPage();

// A manual page of this system's programs: its name and summary, synopsis, description, then a
// section per table of flags.
struct ManualSection {
    QString heading;
    QList<CommandHelpEntry> entries;
};
QString manualPageOf(const QString& program, const QString& summary, const QString& synopsis,
                     const QString& description, const QList<ManualSection>& sections);
