#pragma once
// 操作证查询: multi-criteria search over the operation-certificate table CaoZuoZheng.

#include "QueryForm.h"

namespace Ui {
class fFindCZZ;
}

class fFindCZZ : public QueryForm {
    Q_OBJECT
public:
    // Created on first use; closing the window discards it, the next call makes a fresh one.
    static fFindCZZ* instance();
    ~fFindCZZ() override;

protected:
    EntryForm* entryForm() override;

private:
    explicit fFindCZZ(QWidget* parent = nullptr);
    Ui::fFindCZZ* ui;
};
