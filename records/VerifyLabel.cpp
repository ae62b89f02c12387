#include "VerifyLabel.h"

#include "QrCode.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QUrl>

void VerifyLabel::preparePrinter(QPrinter& printer) const {
    printer.setDocName(QStringLiteral("证书核验码"));
    printer.setPageLayout(QPageLayout(QPageSize(QSizeF(70, 40), QPageSize::Millimeter, QStringLiteral("核验码标签")),
                                      QPageLayout::Portrait, QMarginsF(3, 3, 3, 3), QPageLayout::Millimeter));
}

void VerifyLabel::paint(QPrinter* printer) const {
    QPainter painter(printer);
    const QRect area(QPoint(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
    const QRect codeBox(area.left(), area.top(), area.height(), area.height());
    QrCode::encode(address).paint(painter, codeBox);
    const QRect text(codeBox.right() + area.height() / 20, area.top(), area.right() - codeBox.right(), area.height());
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(9);
    font.setBold(true);
    painter.setFont(font);
    const QString heading = QStringLiteral("证书核验码");
    painter.drawText(text, Qt::AlignLeft | Qt::AlignTop, heading);
    font.setBold(false);
    font.setPointSizeF(7);
    painter.setFont(font);
    const int top = painter.fontMetrics().height() * 2;
    painter.drawText(text.adjusted(0, top, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere,
                     QStringLiteral("%1：%2\n姓名：%3\n扫码或访问\n%4")
                         .arg(keyLabel, key, name, QUrl(address).host()));
}
