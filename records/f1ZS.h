#pragma once
// The certificate entry form (table DangAnKu).

#include "EntryForm.h"

namespace Ui {
class f1ZS;
}

class f1ZS : public EntryForm {
    Q_OBJECT

public:
    // The one instance, created and loaded on first use.
    static f1ZS* instance();
    ~f1ZS() override;

protected:
    QWidget* queryForm() override;

private:
    explicit f1ZS(QWidget* parent = nullptr);
    Ui::f1ZS* ui;
};
