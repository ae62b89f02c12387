#include "fAbout.h"
#include "ui_fAbout.h"

fAbout::fAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::fAbout>()) {
    ui->setupUi(this);
}

fAbout::~fAbout() = default;
