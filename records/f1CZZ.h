#pragma once
// The operation-certificate entry form (table CaoZuoZheng).

#include "EntryForm.h"

namespace Ui {
class f1CZZ;
}

class f1CZZ : public EntryForm {
    Q_OBJECT

public:
    // The one instance, created and loaded on first use.
    static f1CZZ* instance();
    ~f1CZZ() override;

protected:
    QWidget* queryForm() override;

private:
    explicit f1CZZ(QWidget* parent = nullptr);
    Ui::f1CZZ* ui;
};
