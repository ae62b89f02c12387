#pragma once
// Copying a database file with a progress display the user may cancel.

#include <QString>

class QWidget;

enum class CopyResult { Copied, Cancelled, Failed };

// Copies `source` to `target` in chunks under a cancellable progress dialog owned by `owner`.
// The target appears only complete: the bytes go to a temporary file that replaces the target at
// the end, so a cancelled or failed copy leaves the target as it was.
CopyResult CopyWithProgress(const QString& source, const QString& target, QWidget* owner,
                            QString* error = nullptr);
