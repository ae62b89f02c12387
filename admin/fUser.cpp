#include "fUser.h"
#include "ui_fUser.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "fPassword.h"
#include "Passwords.h"
#include "sAddUser.h"

#include <QCheckBox>
#include <QSignalBlocker>

namespace {

const QString kName = QStringLiteral("姓名");

// The operator on the current row of gUsersRs; empty without one.
QString currentOperatorName() {
    QString name;
    SkipOnError([&] {
        if (gUsersRs && !gUsersRs->IsBOF() && !gUsersRs->IsEOF())
            name = gUsersRs->Fields(kName).Value().toString();
    });
    return name;
}

} // namespace

fUser::fUser(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::fUser>()) {
    ui->setupUi(this);
    m_rights = {{{ui->cekUser, QStringLiteral("资料录入")},
                 {ui->cekSysSetup, QStringLiteral("人员查询")},
                 {ui->cheUpdateShuju, QStringLiteral("打印操作")},
                 {ui->Check1, QStringLiteral("Tag1")},
                 {ui->cekPrint, QStringLiteral("Tag2")}}};
    refillOperators();

    connect(ui->cboSysUser, &QComboBox::currentTextChanged, this, &fUser::cboSysUser_Change);
    connect(ui->cboSysUser, &QComboBox::activated, this, &fUser::cboSysUser_Change);
    connect(ui->cmdNewSysUser, &QPushButton::clicked, this, &fUser::cmdNewSysUser_Click);
    connect(ui->cmdDel, &QPushButton::clicked, this, &fUser::cmdDel_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &fUser::cmdClose_Click);
    connect(ui->cmdPassword, &QPushButton::clicked, this, &fUser::cmdPassword_Click);
    for (const auto& [box, column] : m_rights)
        connect(box, &QCheckBox::clicked, this, [this, box, column] { storeRight(box, column); });
}

fUser::~fUser() = default;

// Nobody is chosen after a fill: the boxes wait for a name.
void fUser::refillOperators() {
    {
        const QSignalBlocker blocker(ui->cboSysUser);
        ui->cboSysUser->clear();
        if (gUsersRs) FillComboFromField(*gUsersRs, ui->cboSysUser, kName);
        ui->cboSysUser->setCurrentIndex(-1);
        ui->cboSysUser->setEditText(QString());
    }
    ui->cmdDel->setEnabled(false);
    ui->cmdPassword->setEnabled(false);
    showRights();
}

void fUser::cboSysUser_Change() {
    const QString name = ui->cboSysUser->currentText();
    if (name.isEmpty()) return;
    bool found = false;
    SkipOnError([&] { found = FindOperator(name); });
    ui->cmdDel->setEnabled(found);
    ui->cmdPassword->setEnabled(found);
    showRights();
}

// The boxes follow the current row; without one they are cleared and locked, so a tick cannot
// go astray. Nobody's own rights can be ticked: they stay as another administrator set them.
void fUser::showRights() {
    const QString shown = currentOperatorName();
    const bool current = !shown.isEmpty();
    ui->Frame1->setEnabled(current && shown != gOperator);
    for (const auto& [box, column] : m_rights) {
        bool granted = false;
        if (current) SkipOnError([&] { granted = RightGranted(gUsersRs->Fields(column).Value()); });
        box->setChecked(granted);
    }
}

// Stored at once, so a right check made while the form is still open already sees it. A tick the
// database refuses is taken back on screen.
void fUser::storeRight(QCheckBox* box, const QString& column) {
    const bool stored = currentOperatorName() != gOperator && SkipOnError([&] {
                            gUsersRs->Fields(column).setValue(box->isChecked());
                            gUsersRs->Update();
                        });
    if (!stored) {
        SkipOnError([] { gUsersRs->CancelUpdate(); });
        showRights();
    }
}

void fUser::cmdNewSysUser_Click() {
    sAddUser dialog(this);
    if (dialog.exec() != QDialog::Accepted) return;
    // gUsersRs stands on the new operator; choosing the name shows that very row.
    ui->cboSysUser->addItem(dialog.addedName());
    ui->cboSysUser->setCurrentIndex(ui->cboSysUser->count() - 1);
}

void fUser::cmdPassword_Click() {
    const QString name = currentOperatorName();
    if (name.isEmpty()) return;
    fPassword dialog(name, name == gOperator ? fPassword::ChangeOwn : fPassword::SetForOperator, this);
    dialog.exec();
}

void fUser::cmdDel_Click() {
    const QString name = ui->cboSysUser->currentText();
    const QString rowName = currentOperatorName();
    if (name == kAdministrator || rowName == kAdministrator) {
        MsgBox(QStringLiteral("系统管理员不能删除!"), vb::Exclamation);
        return;
    }
    if (MsgBox(QStringLiteral("是否真的删除 '") + name + QStringLiteral("'?"), vb::YesNo | vb::Question) !=
        vb::Yes)
        return;
    SkipOnError([] { gUsersRs->Delete(); });
    refillOperators();
}

void fUser::cmdClose_Click() {
    reject();
}

bool fUser::onLoggedInOperator() {
    bool found = false;
    SkipOnError([&] { found = FindOperator(gOperator); });
    return found;
}

void fUser::reject() {
    if (!onLoggedInOperator()) return;
    QDialog::reject();
}
