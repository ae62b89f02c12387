#include "fUser.h"
#include "ui_fUser.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "sAddUser.h"

#include <QCheckBox>
#include <QSignalBlocker>

namespace {

const QString kName = QStringLiteral("姓名");
const QString kAdministrator = QStringLiteral("管理员");

bool hasRows(Recordset& records) {
    return !(records.IsBOF() && records.IsEOF());
}

// Moves to the first row and searches forward for the name; False when it is not there.
bool findOperator(const QString& name) {
    if (!gUsersRs || !hasRows(*gUsersRs)) return false;
    gUsersRs->MoveFirst();
    gUsersRs->Find(kName + QStringLiteral(" = ") + QuoteLiteral(name));
    return !gUsersRs->IsEOF();
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
    showRights();
}

void fUser::cboSysUser_Change() {
    const QString name = ui->cboSysUser->currentText();
    if (name.isEmpty()) return;
    bool found = false;
    SkipOnError([&] { found = findOperator(name); });
    ui->cmdDel->setEnabled(found);
    showRights();
}

// The boxes follow the current row; without one they are cleared and locked, so a tick cannot
// go astray.
void fUser::showRights() {
    bool current = false;
    SkipOnError([&] { current = gUsersRs && !gUsersRs->IsBOF() && !gUsersRs->IsEOF(); });
    ui->Frame1->setEnabled(current);
    for (const auto& [box, column] : m_rights) {
        bool granted = false;
        if (current) SkipOnError([&] { granted = RightGranted(gUsersRs->Fields(column).Value()); });
        box->setChecked(granted);
    }
}

// Stored at once, so a right check made while the form is still open already sees it. A tick the
// database refuses is taken back on screen.
void fUser::storeRight(QCheckBox* box, const QString& column) {
    const bool stored = SkipOnError([&] {
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

void fUser::cmdDel_Click() {
    const QString name = ui->cboSysUser->currentText();
    QString rowName = name;
    SkipOnError([&] { rowName = gUsersRs->Fields(kName).Value().toString(); });
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
    SkipOnError([&] { found = findOperator(gOperator); });
    return found;
}

void fUser::reject() {
    if (!onLoggedInOperator()) return;
    QDialog::reject();
}
