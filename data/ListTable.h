#pragma once
// What a list shows, as texts: what printing and export hand on.

#include <functional>
#include <QList>
#include <QStringList>

struct ListTable {
    QStringList headers;
    QList<QStringList> rows;  // each row: its text, then its cells 1 .. column count - 1
    QList<int> dateColumns;   // columns holding dates as yyyy-MM-dd
    QList<int> numberColumns; // columns of days, counts or scores: a workbook keeps their numbers
};

// One row of a list read on demand: its text, then its cells, and the record it stands for.
struct ListRow {
    QStringList cells; // empty for a row that could no longer be read
    qint64 mark = -1;
};

// Reads up to `count` rows from position `first` (0 is the top row); fewer at the end.
using ListRowReader = std::function<QList<ListRow>(qint64 first, int count)>;
// Rows a pass over a whole list (print, export) reads at once: few enough to keep memory flat.
inline constexpr int kRowsPerRead = 2000;

// Every row `read` gives for positions 0 .. count - 1, kRowsPerRead at a time; rows that could no
// longer be read are skipped.
inline void ForEachReadRow(qint64 count, const ListRowReader& read,
                           const std::function<void(const QStringList&)>& visit) {
    for (qint64 first = 0; first < count; first += kRowsPerRead)
        for (const ListRow& row : read(first, kRowsPerRead))
            if (!row.cells.isEmpty()) visit(row.cells);
}
