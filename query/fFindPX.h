#pragma once
// 安全生产负责人培训资料查询: multi-criteria search over the training table PeiXun.

#include "QueryForm.h"

namespace Ui {
class fFindPX;
}

class fFindPX : public QueryForm {
    Q_OBJECT
public:
    // Created on first use; closing the window discards it, the next call makes a fresh one.
    static fFindPX* instance();
    ~fFindPX() override;

protected:
    EntryForm* entryForm() override;

private:
    explicit fFindPX(QWidget* parent = nullptr);
    Ui::fFindPX* ui;
};
