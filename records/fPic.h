#pragma once
// The photo at its natural size, drawn from the top-left corner; a double-click closes it.

#include <QPixmap>
#include <QWidget>

namespace Ui {
class fPic;
}

class fPic : public QWidget {
    Q_OBJECT

public:
    static fPic* instance();
    ~fPic() override;

    void setPicture(const QPixmap& picture);
    QPixmap picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    explicit fPic(QWidget* parent = nullptr);
    Ui::fPic* ui;
    QPixmap m_picture;
};
