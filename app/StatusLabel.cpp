#include "StatusLabel.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

StatusLabel::StatusLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
}

bool StatusLabel::elided() const {
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QSize StatusLabel::minimumSizeHint() const {
    // The text never holds the panel wider: it is shortened instead.
    return {0, QLabel::minimumSizeHint().height()};
}

void StatusLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect();
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shownText(),
                          foregroundRole());
}

QString StatusLabel::shownText() const {
    if (!elided()) return text();
    const QString ellipsis = QStringLiteral("…");
    const int width = contentsRect().width();
    const QString phraseEnds = QStringLiteral("，；。");
    for (qsizetype end = text().size() - 1; end > 0; --end) {
        // A phrase ends after Chinese punctuation, a word before a blank.
        if (text().at(end) != QLatin1Char(' ') && !phraseEnds.contains(text().at(end - 1))) continue;
        const QString shown = text().left(end) + ellipsis;
        if (fontMetrics().horizontalAdvance(shown) <= width) return shown;
    }
    // Not even the first word fits.
    return fontMetrics().elidedText(text(), Qt::ElideRight, width);
}

bool StatusLabel::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QLabel::event(event);
    QStringList lines;
    if (elided()) lines << text();
    if (!toolTip().isEmpty()) lines << toolTip();
    if (lines.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), lines.join(QLatin1Char('\n')), this);
    return true;
}
