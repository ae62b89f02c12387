#pragma once
// 证书查询: multi-criteria search over the certificate table DangAnKu.

#include "QueryForm.h"

namespace Ui {
class fFindZS;
}

class fFindZS : public QueryForm {
    Q_OBJECT
public:
    // Created on first use; closing the window discards it, the next call makes a fresh one.
    static fFindZS* instance();
    ~fFindZS() override;

protected:
    EntryForm* entryForm() override;

private:
    explicit fFindZS(QWidget* parent = nullptr);
    Ui::fFindZS* ui;
};
