#pragma once
// The photo box of the entry forms: stretches whatever picture it shows to its own size.

#include <QLabel>
#include <QPixmap>

class PhotoBox : public QLabel {
    Q_OBJECT

public:
    explicit PhotoBox(QWidget* parent = nullptr);

    bool hasPicture() const { return !m_picture.isNull(); }
    // A photo is held: one shown, or stored bytes that cannot be shown here.
    bool holdsPhoto() const { return hasPicture() || m_unreadable; }
    QPixmap picture() const { return m_picture; }
    void setPicture(const QPixmap& picture);
    // Stored bytes no reader here can decode: a plain notice instead of any picture.
    void showUnreadable();
    void clearPicture();

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
    bool m_unreadable = false;
};
