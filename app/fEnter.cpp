#include "fEnter.h"
#include "ui_fEnter.h"

#include "AuditLog.h"
#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "OperatorAccess.h"
#include "Passwords.h"
#include "ReportDbError.h"
#include "settings.h"
#include "StartUpHost.h"

#include <QKeyEvent>

namespace {

const QString kName = QStringLiteral("姓名");

QString hintText() {
    return QStringLiteral("1、以管理员(初始密码736)身份进入后，首先应设置系统参数(系统设置)和操作员；\n"
                          "2、进入系统后请即更改管理员密码；\n"
                          "3、选项设置可增加或删除备选项目；");
}

const QString kLastOperatorKey = QStringLiteral("LastOperator");

QString lastOperator() {
    QString name;
    SkipOnError([&] { name = GetSetting(ExeName(), QStringLiteral("System"), kLastOperatorKey); });
    return name;
}

} // namespace

fEnter::fEnter(StartUpHost* host, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::fEnter>()), m_host(host) {
    ui->setupUi(this);
    ui->Label3->setText(hintText());
    ui->txtId->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // shown as "*"
    SetControlTag(ui->cmdHelp, QString());
    setHeightTwips(kCollapsedTwips);

    if (gUsersRs) FillComboFromField(*gUsersRs, ui->cboCZY, kName);
    connect(ui->cboCZY, &QComboBox::activated, this, &fEnter::cboCZY_Click);
    // The operator who last logged in at this workstation is proposed, so most starts are the
    // password and Enter; without one (or when he is gone) nobody is chosen.
    const QString last = lastOperator();
    ui->cboCZY->setCurrentIndex(last.isEmpty() ? -1 : ui->cboCZY->findText(last));
    if (ui->cboCZY->currentIndex() >= 0) {
        cboCZY_Click();
        ui->txtId->setFocus();
    }

    connect(ui->cmdOk, &QPushButton::clicked, this, &fEnter::cmdOk_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &fEnter::cmdCancel_Click);
    connect(ui->cmdHelp, &QPushButton::clicked, this, &fEnter::cmdHelp_Click);
}

fEnter::~fEnter() = default;

void fEnter::setHeightTwips(int twips) {
    setFixedSize(width(), twips / 15);
}

void fEnter::cboCZY_Click() {
    const QString name = ui->cboCZY->currentText();
    if (name.isEmpty()) return;
    try {
        if (!gUsersRs) throw DbError(DbErrorCode::NotOpen, QStringLiteral("操作员表没有打开。"));
        if (!(gUsersRs->IsBOF() && gUsersRs->IsEOF())) gUsersRs->MoveFirst();
        // Quoted as a literal, so a name with an apostrophe is found like any other.
        gUsersRs->Find(kName + QStringLiteral(" = ") + QuoteLiteral(name));
        if (gUsersRs->IsEOF()) {
            Beep();
            ui->cmdOk->setEnabled(false);
            MsgBox(QStringLiteral("没有找到操作员!"), vb::Critical);
        } else {
            ui->cmdOk->setEnabled(true);
        }
    } catch (...) {
        ReportDbError();
    }
}

void fEnter::cmdOk_Click() {
    const QString typed = ui->txtId->text();
    if (typed.isEmpty()) {
        ui->txtId->setFocus();
        return;
    }
    const QString name = ui->cboCZY->currentText();
    // Guessing is slowed down across desks: the failures are counted in the database's trail.
    LoginGuard::Standing standing;
    SkipOnError([&] { standing = LoginGuard::standing(gConn.database(), name, m_clock); });
    if (standing.secondsToWait > 0) {
        Beep();
        MsgBox(LoginGuard::waitText(standing), vb::Exclamation);
        return;
    }
    QVariant stored;
    try {
        if (!gUsersRs) throw DbError(DbErrorCode::NotOpen, QStringLiteral("操作员表没有打开。"));
        stored = gUsersRs->Fields(QStringLiteral("PWD")).Value();
        if (!passwordMatches(stored, typed)) {
            // A trail that cannot take the row must not let the dialog end: the refusal stands.
            SkipOnError([&] { LoginGuard::recordFailure(gConn.database(), name, QStringLiteral("登录窗口")); });
            SkipOnError([&] { standing = LoginGuard::standing(gConn.database(), name, m_clock); });
            Beep();
            MsgBox(standing.secondsToWait > 0 ? QStringLiteral("密码错误!\n") + LoginGuard::waitText(standing)
                                              : QStringLiteral("密码错误!"),
                   vb::Critical);
            ui->txtId->setFocus();
            ui->txtId->selectAll();
            return;
        }
    } catch (...) {
        ReportDbError();
        return;
    }
    gOperator = name;
    // Only a convenience for the next start: a settings file that cannot be written keeps nobody out.
    SkipOnError([] { SaveSetting(ExeName(), QStringLiteral("System"), kLastOperatorKey, gOperator); });
    m_deliveredPassword = gOperator == kAdministrator && typed == kDeliveredPassword;
    recordLogin(!isPasswordHash(stored.toString()), typed);
    if (m_host) {
        m_host->showOperator(gOperator);
        m_host->bEnter = true;
    }
    accept();
}

// The login goes into the trail; a password still kept readable is replaced by its hash on the
// way. Neither may keep the operator out: a database that refuses them is reported.
void fEnter::recordLogin(bool rehash, const QString& typed) {
    AuditLog::setOperator(gOperator);
    ReportAndGoOn([&] {
        WriteScope scope(gConn);
        if (rehash) {
            try {
                storePassword(gUsersRs->Fields(QStringLiteral("PWD")), typed);
                gUsersRs->Update();
            } catch (...) {
                SkipOnError([] { gUsersRs->CancelUpdate(); });
                throw;
            }
        }
        AuditLog::record(gConn.database(), AuditLog::kLogin, QStringLiteral("Users"), gOperator);
        scope.commit();
    });
}

void fEnter::cmdCancel_Click() {
    if (m_host) m_host->bUnload = true;
    reject();
}

void fEnter::cmdHelp_Click() {
    if (!ControlTag(ui->cmdHelp).isEmpty()) {
        SetControlTag(ui->cmdHelp, QString());
        setHeightTwips(kCollapsedTwips);
    } else {
        SetControlTag(ui->cmdHelp, QStringLiteral("T"));
        setHeightTwips(kExpandedTwips);
    }
}

void fEnter::keyPressEvent(QKeyEvent* event) {
    // Esc opens or closes the hint; it never cancels the login.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ui->cmdHelp->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
