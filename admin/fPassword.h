#pragma once
// 修改密码: the logged-in operator changes his own password (old one first), or the administrator
// sets a new one for the operator chosen in 操作员管理 (设置密码, no old one asked).

#include <memory>
#include <QDialog>

namespace Ui {
class fPassword;
}

class fPassword : public QDialog {
    Q_OBJECT

public:
    enum Mode { ChangeOwn, SetForOperator };

    fPassword(const QString& operatorName, Mode mode, QWidget* parent = nullptr);
    ~fPassword() override;

public slots:
    void cmdOk_Click();

private:
    bool oldPasswordRight();
    bool storeNewPassword(const QString& password);

    std::unique_ptr<Ui::fPassword> ui;
    QString m_operator;
    Mode m_mode;
};
