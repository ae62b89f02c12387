#pragma once
// What a list shows, as texts: what printing and export hand on.

#include <QList>
#include <QStringList>

struct ListTable {
    QStringList headers;
    QList<QStringList> rows; // each row: its text, then its cells 1 .. column count - 1
    QList<int> dateColumns;   // columns holding dates as yyyy-MM-dd
    QList<int> numberColumns; // columns of days, counts or scores: a workbook keeps their numbers
};
