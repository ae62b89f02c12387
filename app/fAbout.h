#pragma once
// The about box: product, version and what the program is for. Shown modeless.

#include <memory>
#include <QDialog>

namespace Ui {
class fAbout;
}

class fAbout : public QDialog {
    Q_OBJECT

public:
    explicit fAbout(QWidget* parent = nullptr);
    ~fAbout() override;

private:
    std::unique_ptr<Ui::fAbout> ui;
};
