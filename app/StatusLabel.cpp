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
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
    style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown, foregroundRole());
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
