#include "f1ZS.h"

#include "fFindZS.h"
#include "ui_f1ZS.h"

#include <QPointer>

f1ZS* f1ZS::instance() {
    static QPointer<f1ZS> form;
    if (!form) form = new f1ZS;
    return form;
}

f1ZS::f1ZS(QWidget* parent) : EntryForm(certificateRegister(), parent), ui(new Ui::f1ZS) {
    ui->setupUi(this);
    Form_Load();
}

f1ZS::~f1ZS() {
    delete ui;
}

QWidget* f1ZS::queryForm() {
    return fFindZS::instance();
}
