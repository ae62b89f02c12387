#include "Popups.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>

void openPopup(QWidget* control) {
    if (auto* combo = qobject_cast<QComboBox*>(control))
        combo->showPopup();
    else
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(control->width() - 6, control->height() / 2));
    QTRY_VERIFY(QApplication::activePopupWidget());
}

void activateAfterPopup(QWidget* window) {
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}
