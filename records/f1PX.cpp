#include "f1PX.h"

#include "fFindPX.h"
#include "ui_f1PX.h"

#include <QPointer>

f1PX* f1PX::instance() {
    static QPointer<f1PX> form;
    if (!form) form = new f1PX;
    return form;
}

f1PX::f1PX(QWidget* parent) : EntryForm(trainingRegister(), parent), ui(new Ui::f1PX) {
    ui->setupUi(this);
    Form_Load();
}

f1PX::~f1PX() {
    delete ui;
}

QWidget* f1PX::queryForm() {
    return fFindPX::instance();
}
