#pragma once
// The record card: one record on one A4 page, as the entry form shows it — the title, every
// field with its label, the photo at its own proportions, the verification code and the date it
// was printed.

#include <QDate>
#include <QImage>
#include <QList>
#include <QString>

class QPrinter;

struct RecordCard {
    struct Line {
        QString label;
        QString value;
    };
    QString title;
    QList<Line> lines;
    QImage photo;
    QString photoNote; // shown instead of a photo that cannot be shown
    // The record's verification address, printed as a QR code under the photo; none when empty.
    QString verifyAddress;
    QDate printed;

    void preparePrinter(QPrinter& printer) const;
    void paint(QPrinter* printer) const;
};
