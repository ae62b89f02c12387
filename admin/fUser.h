#pragma once
// 操作员管理: lists the operators, edits the rights of the chosen one on gUsersRs, deletes and adds
// operators. On leaving, gUsersRs stands again on the logged-in operator.

#include <array>
#include <memory>
#include <QDialog>

class QCheckBox;

namespace Ui {
class fUser;
}

class fUser : public QDialog {
    Q_OBJECT

public:
    explicit fUser(QWidget* parent = nullptr);
    ~fUser() override;

public slots:
    void cboSysUser_Change();
    void cmdNewSysUser_Click();
    void cmdDel_Click();
    // A new password for the chosen operator (his own asks for the old one first).
    void cmdPassword_Click();
    void cmdClose_Click();
    // Refused while the logged-in operator has no row.
    void reject() override;

private:
    void refillOperators();
    void showRights();
    void storeRight(QCheckBox* box, const QString& column);
    bool onLoggedInOperator();

    std::unique_ptr<Ui::fUser> ui;
    // The right boxes and the Users columns they edit.
    std::array<std::pair<QCheckBox*, QString>, 5> m_rights;
};
