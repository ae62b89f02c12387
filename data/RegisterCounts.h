#pragma once
// The number of rows of each register, kept by the engine itself: triggers add and subtract in the
// same transaction as every insert and delete, so a whole register is counted by reading one row
// instead of walking ten million.

#include "Schema.h"

#include <optional>
#include <QSqlDatabase>
#include <QStringList>

namespace RegisterCounts {

inline const QString kTable = QStringLiteral("RegisterCount");

// The registers counted so.
const QStringList& countedTables();
// The table, the triggers and the first counts; run in one transaction with the registers' writers
// held off (the triggers are made before the counting).
QStringList statements(SqlDialect dialect);
// Whether the table and every trigger are there.
bool present(QSqlDatabase db);
// A subquery giving the kept count of `table`, for a statement that reads it beside the rows.
QString keptCountSql(const QString& table);
// The kept count of `table`; nullopt when the database keeps none for it.
std::optional<qint64> read(QSqlDatabase db, const QString& table);

} // namespace RegisterCounts
