#include "RecordCard.h"

#include "QrCode.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

namespace {

QFont cardFont(double points, bool bold = false) {
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWrapAnywhere;

} // namespace

void RecordCard::preparePrinter(QPrinter& printer) const {
    printer.setDocName(title);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
                                      QPageLayout::Millimeter));
}

void RecordCard::paint(QPrinter* printer) const {
    QPainter painter(printer);
    const QRect area(QPoint(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
    const double dotsPerMm = printer->resolution() / 25.4;
    const auto mm = [&](double length) { return int(length * dotsPerMm); };

    painter.setFont(cardFont(18, true));
    const int headingHeight = painter.fontMetrics().height() * 2;
    painter.drawText(QRect(area.left(), area.top(), area.width(), headingHeight), Qt::AlignCenter, title);
    int y = area.top() + headingHeight + mm(4);

    // The photo stands at the top right, the fields run beside and below it.
    const QRect photoBox(area.right() - mm(40), y, mm(40), mm(52));
    const int tableWidth = photoBox.left() - mm(6) - area.left();
    const int labelWidth = mm(30);
    painter.setFont(cardFont(11));
    const QFontMetrics metrics = painter.fontMetrics();
    const int pad = mm(2);
    for (const Line& line : lines) {
        const QRect valueRoom(area.left() + labelWidth + pad, y, tableWidth - labelWidth - pad * 2, area.height());
        const int valueHeight = metrics.boundingRect(valueRoom, kTextFlags, line.value).height();
        const int height = std::max(metrics.height(), valueHeight) + pad * 2;
        const QRect label(area.left(), y, labelWidth, height);
        const QRect value(label.right() + 1, y, tableWidth - labelWidth, height);
        painter.fillRect(label, QColor(235, 235, 235));
        painter.drawRect(label);
        painter.drawRect(value);
        painter.drawText(label.adjusted(pad, 0, -pad, 0), kTextFlags, line.label);
        painter.drawText(value.adjusted(pad, pad, -pad, -pad), kTextFlags, line.value);
        y += height;
    }

    painter.drawRect(photoBox);
    if (!photo.isNull()) {
        const QSize shown = photo.size().scaled(photoBox.size() - QSize(pad * 2, pad * 2), Qt::KeepAspectRatio);
        const QRect target(QPoint(photoBox.center().x() - shown.width() / 2, photoBox.center().y() - shown.height() / 2),
                           shown);
        painter.drawImage(target, photo);
    } else {
        painter.drawText(photoBox, Qt::AlignCenter | Qt::TextWordWrap,
                         photoNote.isEmpty() ? QStringLiteral("无照片") : photoNote);
    }

    if (const QrCode code = QrCode::encode(verifyAddress); !code.isEmpty()) {
        const QRect codeBox(photoBox.left() + mm(5), photoBox.bottom() + mm(4), mm(30), mm(30));
        code.paint(painter, codeBox);
        painter.setFont(cardFont(9));
        painter.drawText(QRect(photoBox.left(), codeBox.bottom(), photoBox.width(), painter.fontMetrics().height() * 2),
                         Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("证书核验码\n扫码核验"));
        painter.setFont(cardFont(11));
    }

    painter.drawText(QRect(area.left(), area.bottom() - metrics.height() * 2, area.width(), metrics.height() * 2),
                     Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("打印日期：") + printed.toString(QStringLiteral("yyyy-MM-dd")));
}
