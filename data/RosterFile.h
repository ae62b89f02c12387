#pragma once
// The first sheet of a roster (.xlsx, .ods or .csv) as a grid of cells, read through liborcus.
// CSV text may be UTF-8 or GBK; the encoding is told from the bytes.

#include <QDate>
#include <QString>
#include <QVector>

struct RosterCell {
    enum Kind { Empty, Text, Number, Date };
    Kind kind = Empty;
    QString text; // Text: as written; Number: the number written out
    double number = 0;
    QDate date;

    bool isEmpty() const { return kind == Empty || (kind == Text && text.trimmed().isEmpty()); }
};

struct RosterGrid {
    QVector<QVector<RosterCell>> rows; // every row of the sheet, blank ones included
    QString encoding;                  // CSV only: "UTF-8" or "GBK"
    QString error;                     // the file could not be read, in the system's words
};

RosterGrid readRosterFile(const QString& path);
