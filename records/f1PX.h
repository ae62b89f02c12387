#pragma once
// The safety-production training entry form (table PeiXun).

#include "EntryForm.h"

namespace Ui {
class f1PX;
}

class f1PX : public EntryForm {
    Q_OBJECT

public:
    // The one instance, created and loaded on first use.
    static f1PX* instance();
    ~f1PX() override;

protected:
    QWidget* queryForm() override;

private:
    explicit f1PX(QWidget* parent = nullptr);
    Ui::f1PX* ui;
};
