#include "WindowHost.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

namespace {
QPointer<QMdiArea> mdiArea;

QMdiSubWindow* frameOf(QWidget* form) {
    return form ? qobject_cast<QMdiSubWindow*>(form->parentWidget()) : nullptr;
}
} // namespace

void setMdiArea(QMdiArea* area) {
    mdiArea = area;
}

QWidget* mainWindow() {
    return mdiArea ? mdiArea->window() : nullptr;
}

void ShowForm(QWidget* form) {
    if (!form) return;
    QMdiSubWindow* frame = frameOf(form);
    if (!frame && mdiArea) {
        frame = mdiArea->addSubWindow(form);
        // The form decides about closing; the frame must not delete a single-instance window.
        frame->setAttribute(Qt::WA_DeleteOnClose, false);
        frame->resize(form->size() + (frame->size() - frame->contentsRect().size()));
    }
    if (frame) {
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
