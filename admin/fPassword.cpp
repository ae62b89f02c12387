#include "fPassword.h"
#include "ui_fPassword.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "Passwords.h"

#include <QLineEdit>

namespace {

void focusAndSelect(QLineEdit* box) {
    box->setFocus();
    box->selectAll();
}

} // namespace

fPassword::fPassword(const QString& operatorName, Mode mode, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::fPassword>()), m_operator(operatorName), m_mode(mode) {
    ui->setupUi(this);
    ui->lblName->setText(operatorName);
    for (QLineEdit* box : {ui->txtOld, ui->txtNew, ui->txtNew2})
        box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // shown as "*"
    if (mode == SetForOperator) {
        setWindowTitle(QStringLiteral("设置密码"));
        ui->Label2->hide();
        ui->txtOld->hide();
        // The two new-password rows move up into the gap.
        ui->Label4->setGeometry(ui->Label3->geometry());
        ui->txtNew2->setGeometry(ui->txtNew->geometry());
        ui->Label3->setGeometry(ui->Label2->geometry());
        ui->txtNew->setGeometry(ui->txtOld->geometry());
        resize(width(), height() - (ui->txtNew2->y() - ui->txtNew->y()));
    }
    (mode == SetForOperator ? ui->txtNew : ui->txtOld)->setFocus();
    connect(ui->cmdOk, &QPushButton::clicked, this, &fPassword::cmdOk_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

fPassword::~fPassword() = default;

void fPassword::cmdOk_Click() {
    if (m_mode == ChangeOwn && !oldPasswordRight()) {
        Beep();
        MsgBox(QStringLiteral("旧密码错误!"), vb::Critical);
        focusAndSelect(ui->txtOld);
        return;
    }
    const QString password = ui->txtNew->text();
    if (password.isEmpty()) {
        MsgBox(QStringLiteral("必须输入密码!"), vb::Exclamation);
        ui->txtNew->setFocus();
        return;
    }
    if (password != ui->txtNew2->text()) {
        MsgBox(QStringLiteral("不能确认密码!"), vb::Exclamation);
        focusAndSelect(ui->txtNew2);
        return;
    }
    if (!storeNewPassword(password)) return;
    MsgBox(QStringLiteral("密码已修改!"), vb::Information);
    accept();
}

bool fPassword::oldPasswordRight() {
    bool right = false;
    ReportAndGoOn([&] {
        right = FindOperator(m_operator) &&
                passwordMatches(gUsersRs->Fields(QStringLiteral("PWD")).Value(), ui->txtOld->text());
    });
    return right;
}

// A refused store is reported; the dialog keeps what was typed, so 确定 tries again.
bool fPassword::storeNewPassword(const QString& password) {
    const bool stored = ReportAndGoOn([&] {
        if (!FindOperator(m_operator)) throw DbError(DbErrorCode::NoCurrentRecord, QString());
        storePassword(gUsersRs->Fields(QStringLiteral("PWD")), password);
        gUsersRs->Update();
    });
    if (!stored) SkipOnError([] { gUsersRs->CancelUpdate(); });
    return stored;
}
