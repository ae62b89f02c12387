#pragma once
// The photo box of the entry forms: stretches whatever picture it shows to its own size.

#include <QLabel>
#include <QPixmap>

class PhotoBox : public QLabel {
    Q_OBJECT

public:
    explicit PhotoBox(QWidget* parent = nullptr);

    bool hasPicture() const { return !m_picture.isNull(); }
    QPixmap picture() const { return m_picture; }
    void setPicture(const QPixmap& picture);
    void clearPicture();

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPixmap m_picture;
};
