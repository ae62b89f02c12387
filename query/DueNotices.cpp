#include "DueNotices.h"

#include "DueDates.h"
#include "NoticeTexts.h"

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

} // namespace

QStringList DueNotices::paragraphs(const QStringList& row) const {
    const QString item = row.value(DueColumn::Item);
    const QDate due = QDate::fromString(row.value(DueColumn::Date), Qt::ISODate);
    const int days = row.value(DueColumn::DaysLeft).toInt();
    QString certificate = row.value(DueColumn::Register);
    QStringList details;
    if (!row.value(DueColumn::Trade).isEmpty()) details << row.value(DueColumn::Trade);
    if (!row.value(DueColumn::Certificate).isEmpty())
        details << QStringLiteral("证书编号：") + row.value(DueColumn::Certificate);
    if (!details.isEmpty())
        certificate += QStringLiteral("（") + details.join(QStringLiteral("，")) + QStringLiteral("）");
    const QString when = days > 0    ? QStringLiteral("距今还有 %1 天").arg(days)
                         : days == 0 ? QStringLiteral("即为今日")
                                     : QStringLiteral("已过期 %1 天").arg(-days);
    const QString what = item == QLatin1String("换证") ? QStringLiteral("换证") : item;
    return {QStringLiteral("%1（身份证号：%2）：")
                .arg(row.value(DueColumn::Name), row.value(DueColumn::Identity)),
            QStringLiteral("　　您的%1%2日期为%3，%4。").arg(certificate, what, longDate(due), when),
            QStringLiteral("　　") + closingText};
}

void DueNotices::preparePrinter(QPrinter& printer) const {
    printer.setDocName(QStringLiteral("证书到期通知书"));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A5), QPageLayout::Portrait,
                                      QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
}

void DueNotices::paint(QPrinter* printer) const {
    QPainter painter(printer);
    const QRect area(QPoint(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
    for (int n = 0; n < rows.size(); ++n) {
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
        for (const QString& paragraph : paragraphs(rows[n]))
            line(paragraph, noticeFont(11), Qt::AlignLeft, 1.6);
        y = std::max(y, area.bottom() - area.height() / 4);
        line(officeTitle, noticeFont(11), Qt::AlignRight, 1.3);
        line(longDate(today), noticeFont(11), Qt::AlignRight, 1.0);
    }
}
