#pragma once
// 操作员: adds one operator to gUsersRs after checking code, name, uniqueness and password.

#include <memory>
#include <QDialog>

namespace Ui {
class sAddUser;
}

class sAddUser : public QDialog {
    Q_OBJECT

public:
    explicit sAddUser(QWidget* parent = nullptr);
    ~sAddUser() override;

    // The name of the operator stored by the last successful 确定; empty before.
    QString addedName() const { return m_added; }

public slots:
    void CmdAdd_Click();
    void CmdCanCel_Click();

private:
    bool nameOrCodeTaken(const QString& code, const QString& name);
    bool storeOperator(const QString& code, const QString& name, const QString& password);

    std::unique_ptr<Ui::sAddUser> ui;
    QString m_added;
};
