#pragma once
// Filling a report-view list with a whole record set, and the cell text rule every list shares.

#include "adodb.h"

class ListView;
struct ListTable;

// The text a list shows for a field of the current record: empty for Null, "是"/"否" for a
// Boolean, otherwise the value's plain conversion (dates as yyyy-MM-dd).
QString CellText(const QVariant& value, int type);

// Whether a list gives the field at this position a column: not hidden, not the photo.
bool IsListedField(int fieldIndex, int type);

// Whether a field holds numbers an export keeps as numbers: a numeric column, or a score (成绩),
// which is stored as text because some are words (合格).
bool IsNumberField(const QString& name, int type);

// Rebuilds the list's columns and rows from every record of `rs`: field 0 always first, then
// each listed field. False when the set is empty (the list is then left without columns or rows).
bool FillResultList(Recordset& rs, ListView* list);

// Rebuilds the list's columns and rows from texts: the headers, then each row's text and cells.
void FillListFromTable(const ListTable& table, ListView* list);
