#pragma once
// Who may read the files the system writes: the database, its print settings, backups and
// reports hold personal data, so only the owner may (0600), or the owner's group too (0660, the
// folder's group) when the folder is shared by a group.

#include <QFile>
#include <QString>

// The mode a new file in `folder` gets: 0660 when the folder is group-writable, else 0600.
unsigned privateFileMode(const QString& folder);

// Creates an empty file that no one but those may read; fails when it exists. Returns an error
// text, empty on success.
QString createPrivateFile(const QString& path);
// Opens a new file for writing as createPrivateFile makes it; `extra` adds to the open mode
// (Truncate replaces a file that exists, which keeps its own mode).
bool openPrivateFile(QFile& file, QIODevice::OpenMode extra = QIODevice::NewOnly);
// Gives an existing file the mode and group a new file beside it would get.
bool protectFile(const QString& path);
// Gives `to` the mode and group of `from` (a restored database takes those of the replaced one).
bool copyModeAndGroup(const QString& from, const QString& to);
