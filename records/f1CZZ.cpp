#include "f1CZZ.h"

#include "fFindCZZ.h"
#include "ui_f1CZZ.h"

#include <QPointer>

f1CZZ* f1CZZ::instance() {
    static QPointer<f1CZZ> form;
    if (!form) form = new f1CZZ;
    return form;
}

f1CZZ::f1CZZ(QWidget* parent) : EntryForm(operationCertificateRegister(), parent), ui(new Ui::f1CZZ) {
    ui->setupUi(this);
    Form_Load();
}

f1CZZ::~f1CZZ() {
    delete ui;
}

QWidget* f1CZZ::queryForm() {
    return fFindCZZ::instance();
}
