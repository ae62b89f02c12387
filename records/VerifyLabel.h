#pragma once
// The "证书核验码" label: a small sticker for a card printed elsewhere, with the record's QR code,
// its key and where to verify it.

#include <QString>

class QPrinter;

struct VerifyLabel {
    QString keyLabel; // 证号 or 编号
    QString key;
    QString name;
    QString address;

    void preparePrinter(QPrinter& printer) const;
    void paint(QPrinter* printer) const;
};
