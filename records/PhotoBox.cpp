#include "PhotoBox.h"

PhotoBox::PhotoBox(QWidget* parent) : QLabel(parent) {
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setScaledContents(true);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setToolTip(QStringLiteral("双击显示全图"));
}

void PhotoBox::setPicture(const QPixmap& picture) {
    m_picture = picture;
    m_unreadable = false;
    setPixmap(picture);
}

void PhotoBox::showUnreadable() {
    m_picture = QPixmap();
    m_unreadable = true;
    setText(QStringLiteral("无法显示照片"));
}

void PhotoBox::clearPicture() {
    m_picture = QPixmap();
    m_unreadable = false;
    clear();
}

void PhotoBox::mouseDoubleClickEvent(QMouseEvent*) {
    emit doubleClicked();
}
