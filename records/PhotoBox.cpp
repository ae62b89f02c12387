#include "PhotoBox.h"

PhotoBox::PhotoBox(QWidget* parent) : QLabel(parent) {
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setScaledContents(true);
    setToolTip(QStringLiteral("双击显示全图"));
}

void PhotoBox::setPicture(const QPixmap& picture) {
    m_picture = picture;
    setPixmap(picture);
}

void PhotoBox::clearPicture() {
    m_picture = QPixmap();
    clear();
}

void PhotoBox::mouseDoubleClickEvent(QMouseEvent*) {
    emit doubleClicked();
}
