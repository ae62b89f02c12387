#include "fPic.h"

#include "ui_fPic.h"
#include "WindowHost.h"

#include <QPainter>
#include <QPointer>

fPic* fPic::instance() {
    static QPointer<fPic> form;
    if (!form) form = new fPic;
    return form;
}

fPic::fPic(QWidget* parent) : QWidget(parent), ui(new Ui::fPic) {
    ui->setupUi(this);
}

fPic::~fPic() {
    delete ui;
}

void fPic::setPicture(const QPixmap& picture) {
    m_picture = picture;
    if (!picture.isNull()) resize(picture.size());
    update();
}

void fPic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!m_picture.isNull()) painter.drawPixmap(0, 0, m_picture);
}

void fPic::mouseDoubleClickEvent(QMouseEvent*) {
    HideForm(this);
}
