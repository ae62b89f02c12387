#pragma once
// Notices to the people whose review or renewal falls due: one A5 page a person, listing all of
// that person's due dates, headed with the office's title and closed with the text the
// administrator keeps in the options.

#include "NoticeTexts.h"

#include <QDate>
#include <QList>
#include <QStringList>

class QPrinter;

struct DueNotices {
    QList<QStringList> rows; // rows of the due list, any number a person
    QString officeTitle;
    QString closingText;
    QDate today;

    // Who a row of the due list is about: the identity number, or, without one, the record.
    static QString personOf(const QStringList& row);
    // The rows of each person, in the order the people first come.
    QList<QList<QStringList>> byPerson() const;
    // The text of one person's notice, paragraph by paragraph (without the heading lines): a
    // paragraph for each certificate, naming each of its dates.
    QStringList paragraphs(const QList<QStringList>& personRows) const;
    void preparePrinter(QPrinter& printer) const;
    void paint(QPrinter* printer) const;
};
