#pragma once
// Notices to the people whose review or renewal falls due: one A5 page each, headed with the
// office's title and closed with the text the administrator keeps in the options.

#include "NoticeTexts.h"

#include <QDate>
#include <QList>
#include <QStringList>

class QPrinter;

struct DueNotices {
    QList<QStringList> rows; // rows of the due list, one notice each
    QString officeTitle;
    QString closingText;
    QDate today;

    // The text of one notice, paragraph by paragraph (without the heading lines).
    QStringList paragraphs(const QStringList& row) const;
    void preparePrinter(QPrinter& printer) const;
    void paint(QPrinter* printer) const;
};
