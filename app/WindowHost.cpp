#include "WindowHost.h"

#include <algorithm>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QStyle>

namespace {
QPointer<QMdiArea> mdiArea;

QMdiSubWindow* frameOf(QWidget* form) {
    return form ? qobject_cast<QMdiSubWindow*>(form->parentWidget()) : nullptr;
}

// Opens the frame where it is wholly in view; one reopened where it still is stays there. A window
// larger than the area (a small screen) opens at the area's size, as far as its layout can shrink;
// a form placed by hand has no layout to shrink, so it keeps its size and the area scrolls to it
// rather than cutting off controls the clerk could then not reach.
void placeInView(QMdiSubWindow* frame, bool isNew) {
    const QRect area(QPoint(0, 0), mdiArea->viewport()->size());
    if (!isNew && area.contains(frame->geometry())) return;
    const QWidget* form = frame->widget();
    if (isNew && form && form->layout())
        frame->resize(frame->size().boundedTo(area.size()).expandedTo(frame->minimumSizeHint()));
    QList<QPoint> taken;
    for (QMdiSubWindow* other : mdiArea->subWindowList())
        if (other != frame && other->isVisible()) taken.append(other->pos());
    frame->move(CascadePosition(area.size(), frame->size(), taken,
                                frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame)));
}

} // namespace

QPoint CascadePosition(QSize area, QSize window, const QList<QPoint>& taken, int step) {
    const int roomX = area.width() - window.width();
    const int roomY = area.height() - window.height();
    if (roomX < 0 || roomY < 0 || step <= 0) return {0, 0};
    const int steps = std::min(roomX, roomY) / step + 1;
    for (int i = 0; i < steps; ++i)
        if (!taken.contains(QPoint(i * step, i * step))) return {i * step, i * step};
    // Every step taken: the cascade goes round again.
    const int i = int(taken.size() % steps);
    return {i * step, i * step};
}

void setMdiArea(QMdiArea* area) {
    mdiArea = area;
}

QWidget* mainWindow() {
    return mdiArea ? mdiArea->window() : nullptr;
}

void ShowForm(QWidget* form) {
    if (!form) return;
    QMdiSubWindow* frame = frameOf(form);
    const bool isNew = !frame && mdiArea;
    if (isNew) {
        frame = mdiArea->addSubWindow(form);
        // The form decides about closing; the frame must not delete a single-instance window.
        frame->setAttribute(Qt::WA_DeleteOnClose, false);
        frame->resize(form->size() + (frame->size() - frame->contentsRect().size()));
    }
    if (frame) {
        if (mdiArea && (isNew || !frame->isVisible())) placeInView(frame, isNew);
        form->show();
        frame->show();
        mdiArea->setActiveSubWindow(frame);
        frame->raise();
    } else {
        form->show();
        form->raise();
        form->activateWindow();
    }
    form->setFocus();
}

void HideForm(QWidget* form) {
    if (QMdiSubWindow* frame = frameOf(form))
        frame->hide();
    else if (form)
        form->hide();
}
