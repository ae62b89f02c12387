#include "sAddUser.h"
#include "ui_sAddUser.h"

#include "basGlobal.h"
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

sAddUser::sAddUser(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::sAddUser>()) {
    ui->setupUi(this);
    for (QLineEdit* box : {ui->TxtID, ui->TxtID2})
        box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // shown as "*"
    connect(ui->CmdAdd, &QPushButton::clicked, this, &sAddUser::CmdAdd_Click);
    connect(ui->CmdCanCel, &QPushButton::clicked, this, &sAddUser::CmdCanCel_Click);
}

sAddUser::~sAddUser() = default;

void sAddUser::CmdAdd_Click() {
    const QString code = ui->txtBanMa->text();
    const QString name = ui->TxtUser->text();
    const QString password = ui->TxtID->text();
    if (code.isEmpty()) {
        ui->txtBanMa->setFocus();
        return;
    }
    if (name.isEmpty() || name.front() == QLatin1Char(' ')) {
        MsgBox(QStringLiteral("操作员名称不正确，第一个字不能为空！"), vb::Exclamation);
        focusAndSelect(ui->TxtUser);
        return;
    }
    if (nameOrCodeTaken(code, name)) {
        MsgBox(QStringLiteral("编号或姓名与已有的操作员重复！请重新输入！"), vb::Exclamation);
        ui->txtBanMa->setFocus();
        return;
    }
    if (password.isEmpty()) {
        MsgBox(QStringLiteral("必须输入密码!"), vb::Exclamation);
        ui->TxtID->setFocus();
        return;
    }
    if (password != ui->TxtID2->text()) {
        MsgBox(QStringLiteral("不能确认密码!"), vb::Exclamation);
        focusAndSelect(ui->TxtID2);
        return;
    }
    if (!storeOperator(code, name, password)) return;
    m_added = name;
    accept();
}

// True also when the check itself fails: an operator is only added after a clean check.
bool sAddUser::nameOrCodeTaken(const QString& code, const QString& name) {
    bool taken = true;
    ReportAndGoOn([&] {
        Recordset existing;
        existing.Open(Statement{QStringLiteral("SELECT * FROM Users WHERE (编号=%1) or (姓名=%2) ")
                                    .arg(QuoteLiteral(code), QuoteLiteral(name)),
                                QStringLiteral("SELECT * FROM Users WHERE (编号 = ?) OR (姓名 = ?)"),
                                {code, name}},
                      gConn);
        taken = !(existing.IsBOF() && existing.IsEOF());
    });
    return taken;
}

// A failed store is reported and dropped; the dialog keeps what was typed, so 确定 tries again.
bool sAddUser::storeOperator(const QString& code, const QString& name, const QString& password) {
    const bool stored = ReportAndGoOn([&] {
        if (!gUsersRs) throw DbError(DbErrorCode::NotOpen, QStringLiteral("操作员表没有打开。"));
        gUsersRs->AddNew();
        gUsersRs->Fields(QStringLiteral("编号")).setValue(code);
        gUsersRs->Fields(QStringLiteral("姓名")).setValue(name);
        storePassword(gUsersRs->Fields(QStringLiteral("PWD")), password);
        for (const char* right : {"求职登记", "招聘登记", "人员查询", "职位查询", "职位速配", "打印操作"})
            gUsersRs->Fields(QString::fromUtf8(right)).setValue(true);
        gUsersRs->Fields(QStringLiteral("备注")).setValue(QString());
        gUsersRs->Update();
    });
    if (!stored) SkipOnError([] { gUsersRs->CancelUpdate(); });
    return stored;
}

void sAddUser::CmdCanCel_Click() {
    reject();
}
