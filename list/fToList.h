#pragma once
// 输出列表项: which fields of the list window's record set become columns, whether a "序号"
// column leads, and a saved choice per record source.

#include "adodb.h"

#include <memory>
#include <QDialog>

namespace Ui {
class fToList;
}

// The key prefix a column choice is saved under: a short table name itself, else the list's title.
QString ColumnChoicePrefix(const QString& source, const QString& title);
// The saved tick of field `index` under `prefix`; ticked when nothing was saved.
bool SavedColumnTick(const QString& prefix, int index);

class fToList : public QDialog {
    Q_OBJECT

public:
    // Created when opened, unloaded when closed, so each opening lists the fields afresh.
    static fToList* instance();
    ~fToList() override;

    void DoSel(bool bSel);
    bool DoAddFieldName(Recordset& R);
    // The settings keys of a choice are this prefix followed by the entry's index.
    QString keyPrefix() const;

public slots:
    void CmdList_Click();
    void CmdOk_Click();
    void CmdCanCel_Click();
    void cmdSave_Click();
    void cmdGet_Click();

protected:
    // Esc recalls the saved choice instead of closing.
    void keyPressEvent(QKeyEvent* event) override;

private:
    explicit fToList(QWidget* parent = nullptr);
    bool ownerIsListWindow() const;

    std::unique_ptr<Ui::fToList> ui;
};
