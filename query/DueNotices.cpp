#include "DueNotices.h"

#include "DueDates.h"
#include "NoticeTexts.h"

#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

namespace {

QString longDate(const QDate& date) {
    return date.toString(QStringLiteral("yyyy年M月d日"));
}

QFont noticeFont(double points, bool bold = false) {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The record a row of the due list comes from.
QString recordOf(const QStringList& row) {
    return row.value(DueColumn::Register) + QLatin1Char('\n') + row.value(DueColumn::Key);
}

} // namespace

QString DueNotices::personOf(const QStringList& row) {
    const QString identity = row.value(DueColumn::Identity).trimmed().toUpper();
    return identity.isEmpty() ? recordOf(row) : identity;
}

QList<QList<QStringList>> DueNotices::byPerson() const {
    QList<QList<QStringList>> people;
    QHash<QString, qsizetype> positions;
    for (const QStringList& row : rows) {
        const QString person = personOf(row);
        const auto found = positions.constFind(person);
        if (found != positions.cend()) {
            people[*found] << row;
            continue;
        }
        positions.insert(person, people.size());
        people.append({row});
    }
    return people;
}

namespace {

QString certificateOf(const QStringList& row) {
    QString certificate = row.value(DueColumn::Register);
    QStringList details;
    if (!row.value(DueColumn::Trade).isEmpty()) details << row.value(DueColumn::Trade);
    if (!row.value(DueColumn::Certificate).isEmpty())
        details << QStringLiteral("证书编号：") + row.value(DueColumn::Certificate);
    if (!details.isEmpty())
        certificate += QStringLiteral("（") + details.join(QStringLiteral("，")) + QStringLiteral("）");
    return certificate;
}

QString dueDateOf(const QStringList& row) {
    const QDate due = QDate::fromString(row.value(DueColumn::Date), Qt::ISODate);
    const int days = row.value(DueColumn::DaysLeft).toInt();
    const QString when = days > 0    ? QStringLiteral("距今还有 %1 天").arg(days)
                         : days == 0 ? QStringLiteral("即为今日")
                                     : QStringLiteral("已过期 %1 天").arg(-days);
    return QStringLiteral("%1日期为%2，%3").arg(row.value(DueColumn::Item), longDate(due), when);
}

} // namespace

QStringList DueNotices::paragraphs(const QList<QStringList>& personRows) const {
    if (personRows.isEmpty()) return {};
    const QStringList& first = personRows.first();
    QStringList lines{QStringLiteral("%1（身份证号：%2）：")
                          .arg(first.value(DueColumn::Name), first.value(DueColumn::Identity))};
    // The certificates in the order their first date comes, each with all of its dates.
    QStringList certificates;
    QList<QStringList> dates;
    for (const QStringList& row : personRows) {
        const QString record = recordOf(row);
        qsizetype at = certificates.indexOf(record);
        if (at < 0) {
            at = certificates.size();
            certificates << record;
            dates.append({certificateOf(row)});
        }
        dates[at] << dueDateOf(row);
    }
    for (const QStringList& certificate : dates)
        lines << QStringLiteral("　　您的%1%2。")
                     .arg(certificate.first(), certificate.mid(1).join(QStringLiteral("；")));
    lines << QStringLiteral("　　") + closingText;
    return lines;
}

void DueNotices::preparePrinter(QPrinter& printer) const {
    printer.setDocName(QStringLiteral("证书到期通知书"));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A5), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

void DueNotices::paint(QPrinter* printer) const {
    QPainter painter(printer);
    const QRect area(QPoint(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
    const QList<QList<QStringList>> people = byPerson();
    for (int n = 0; n < people.size(); ++n) {
        if (n > 0) printer->newPage();
        int y = area.top();
        const auto line = [&](const QString& text, const QFont& font, int flags, double spacing) {
            painter.setFont(font);
            const QRect box = painter.boundingRect(QRect(area.left(), y, area.width(), area.height()),
                                                   flags | Qt::TextWordWrap, text);
            painter.drawText(QRect(area.left(), y, area.width(), box.height()), flags | Qt::TextWordWrap,
                             text);
            y += int(box.height() * spacing);
        };
        line(officeTitle, noticeFont(16, true), Qt::AlignHCenter, 1.3);
        line(QStringLiteral("证书到期通知书"), noticeFont(14, true), Qt::AlignHCenter, 2.0);
        for (const QString& paragraph : paragraphs(people[n]))
            line(paragraph, noticeFont(11), Qt::AlignLeft, 1.6);
        y = std::max(y, area.bottom() - area.height() / 4);
        line(officeTitle, noticeFont(11), Qt::AlignRight, 1.3);
        line(longDate(today), noticeFont(11), Qt::AlignRight, 1.0);
    }
}
