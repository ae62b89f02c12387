#pragma once
// Who may read the files the system writes: the database, its print settings, backups and
// reports hold personal data, so only the owner may (0600), or the owner's group too (0660, the
// folder's group) when the folder is shared by a group.

#include <QFile>
#include <QString>

// Creates an empty file that no one but those may read; fails when it exists. Returns an error
// text, empty on success.
QString createPrivateFile(const QString& path);
// Opens a new file for writing as createPrivateFile makes it; `extra` adds to the open mode
// (Truncate replaces a file that exists, which keeps its own mode).
bool openPrivateFile(QFile& file, QIODevice::OpenMode extra = QIODevice::NewOnly);
// For a file that other code writes by truncating it (a spreadsheet library, QSaveFile, the
// printer): a path that does not exist yet becomes an empty private file first, so what is
// written there is never readable by others, and is removed again unless keep() is called once
// the writing succeeded. An existing file keeps its own mode.
class NewPrivateFile {
public:
    explicit NewPrivateFile(const QString& path);
    ~NewPrivateFile();
    NewPrivateFile(const NewPrivateFile&) = delete;
    NewPrivateFile& operator=(const NewPrivateFile&) = delete;
    void keep() { m_kept = true; }

private:
    QString m_path;
    bool m_created = false;
    bool m_kept = false;
};
// Saves a report as "NAME-yyyyMMdd-HHmmss.txt" in `folder`, a new private file that never
// replaces another report. Returns its path, empty when it could not be written.
QString saveReportFile(const QString& folder, const QString& name, const QString& text);
// What an import window tells of its report: where it was saved, or that it could not be.
QString reportSavedText(const QString& savedAs);
// Gives an existing file the mode and group a new file beside it would get.
bool protectFile(const QString& path);
// Gives `to` the mode and group of `from` (a restored database takes those of the replaced one).
bool copyModeAndGroup(const QString& from, const QString& to);
