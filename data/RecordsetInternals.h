#pragma once
// What the record set's own files share: the row identity and the size of a page.

#include <QString>

namespace RecordsetInternals {

// Both engines call the row identity so: SQLite's own, an identity column on the server.
inline const QString kRowId = QStringLiteral("rowid");
// Rows a page of the lazy mode holds.
inline constexpr qint64 kPageRows = 128;

} // namespace RecordsetInternals
