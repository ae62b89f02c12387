#pragma once
// Fills in a query window's criteria as an operator would and reads back what it listed.

#include <QDate>
#include <QStringList>

class QueryForm;

namespace QueryDriver {

// Types into a text box or an editable combo; picks the item of a list-only combo.
void setText(QueryForm* form, const QString& control, const QString& text);
// Ticks a date range and sets both ends.
void tickRange(QueryForm* form, const QString& box, const QString& from, QDate start, const QString& to,
               QDate end);
void find(QueryForm* form);
// The keys (first column) of the window's own result list, top to bottom.
QStringList hits(const QueryForm* form);

} // namespace QueryDriver
