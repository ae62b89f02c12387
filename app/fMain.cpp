#include "fMain.h"

#include "ui_fMain.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "DataFolder.h"
#include "DueDates.h"
#include "ErrorTraps.h"
#include "f1CZZ.h"
#include "f1PX.h"
#include "f1ZS.h"
#include "fAbout.h"
#include "fDaoQi.h"
#include "fDaoRu.h"
#include "fPiLiangDaoRu.h"
#include "fZhaoPianDaoRu.h"
#include "fFindCZZ.h"
#include "fFindPX.h"
#include "fFindZS.h"
#include "fmenu.h"
#include "fOptions.h"
#include "fPassword.h"
#include "fPView.h"
#include "fRiZhi.h"
#include "fTongJi.h"
#include "sBeiFen.h"
#include "fEnter.h"
#include "fLinkData.h"
#include "fUser.h"
#include "LockKeys.h"
#include "ModSql.h"
#include "RegisterCatalog.h"
#include "settings.h"
#include "StatusLabel.h"
#include "WindowHost.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTimer>

namespace {

// "cekAutoSize" is "1" or "0"; a value that cannot be read as a number leaves scaling on.
bool autoSizeSetting() {
    const QString saved = GetSetting(ProductTitle(), QStringLiteral("System"), QStringLiteral("cekAutoSize"),
                                     QStringLiteral("1"));
    bool isNumber = false;
    const double value = saved.trimmed().toDouble(&isNumber);
    return !isNumber || value == 1.0;
}

constexpr int pixels(int twips) {
    return twips / 15;
}

} // namespace

fMain::fMain(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::fMain>()) {
    ui->setupUi(this);
    // Every window and message box of the program carries its own icon, never the toolkit's.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orvanta.svg")));
    ui->mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ui->mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMdiArea(ui->mdiArea);
    buildStatusBar();

    const std::pair<QAction*, void (fMain::*)()> items[] = {
        {ui->mnuZLCZZ, &fMain::mnuZLCZZ_Click},
        {ui->mnuZLZS, &fMain::mnuZLZS_Click},
        {ui->mnuZLpx, &fMain::mnuZLpx_Click},
        {ui->mnuCZZCX, &fMain::mnuCZZCX_Click},
        {ui->mnuZSCX, &fMain::mnuZSCX_Click},
        {ui->mnuPxCX, &fMain::mnuPxCX_Click},
        {ui->mnuDaoQi, &fMain::mnuDaoQi_Click},
        {ui->mnuTJ, &fMain::mnuTJ_Click},
        {ui->mnuVczz, &fMain::mnuVczz_Click},
        {ui->mnuVzs, &fMain::mnuVzs_Click},
        {ui->mnuVpx, &fMain::mnuVpx_Click},
        {ui->mnuUser, &fMain::mnuUser_Click},
        {ui->mnuPassword, &fMain::mnuPassword_Click},
        {ui->mnuRiZhi, &fMain::mnuRiZhi_Click},
        {ui->mnuOption, &fMain::mnuOption_Click},
        {ui->mnuDaoRu, &fMain::mnuDaoRu_Click},
        {ui->mnuPiLiang, &fMain::mnuPiLiang_Click},
        {ui->mnuZhaoPian, &fMain::mnuZhaoPian_Click},
        {ui->mnuAbout, &fMain::mnuAbout_Click},
        {ui->mnuSysBackUp, &fMain::mnuSysBackUp_Click},
        {ui->mnuExit, &fMain::mnuExit_Click},
    };
    for (const auto& [action, slot] : items)
        connect(action, &QAction::triggered, this, slot);
}

fMain::~fMain() = default;

void fMain::buildStatusBar() {
    struct PanelDef {
        const char* name;
        QString text;
        int twips;
    };
    const PanelDef defs[7] = {
        {"Panel1", QStringLiteral("就绪"), 10584},
        {"Panel2", QStringLiteral("当前操作员:"), 2117},
        {"Panel3", QString(), 1764},
        {"Panel4", QString(), 1764},
        {"Panel5", QString(), 1235},
        {"Panel6", QStringLiteral("CAPS"), 1235},
        {"Panel7", QStringLiteral("NUM"), 1235},
    };
    QStatusBar* bar = ui->StatusBAR;
    for (int i = 0; i < 7; ++i) {
        auto* label = i == 0 ? new StatusLabel(defs[i].text, bar) : new QLabel(defs[i].text, bar);
        label->setObjectName(QLatin1String(defs[i].name));
        label->setTextFormat(Qt::PlainText);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panels[i] = label;
    }
    m_panels[0]->setToolTip(QStringLiteral("就绪"));
    m_panels[0]->installEventFilter(this);
    m_panels[1]->setToolTip(QStringLiteral("当前操作员:"));
    for (QLabel* label : {m_panels[5], m_panels[6]})
        label->setAlignment(Qt::AlignCenter);

    // The status panel takes what the window's width leaves; the others keep their widths.
    m_panels[0]->setMinimumWidth(pixels(2000));
    bar->addWidget(m_panels[0], 1);

    auto* pic = new QWidget(bar);
    pic->setObjectName(QStringLiteral("Pic"));
    auto* picLayout = new QHBoxLayout(pic);
    picLayout->setContentsMargins(0, 0, 0, 0);
    auto* prb = new QProgressBar(pic);
    prb->setObjectName(QStringLiteral("Prb"));
    prb->setRange(0, 1000);
    prb->setTextVisible(false);
    prb->setFixedWidth(pixels(3000));
    prb->hide();
    picLayout->addWidget(prb);
    bar->addWidget(pic);
    setPrb(prb);

    for (int i = 1; i < 7; ++i) {
        m_panels[i]->setFixedWidth(pixels(defs[i].twips));
        bar->addPermanentWidget(m_panels[i]);
    }

    m_lockKeys = new LockKeys(this);
    connect(m_lockKeys, &LockKeys::changed, this, &fMain::refreshLockKeys);
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, [this] {
        refreshClock();
        refreshLockKeys();
    });
    clock->start(1000);
    refreshClock();
    refreshLockKeys();
}

QLabel* fMain::panel(int index) const {
    return index >= 1 && index <= 7 ? m_panels[index - 1] : nullptr;
}

void fMain::showOperator(const QString& name) {
    m_panels[2]->setText(name);
}

void fMain::refreshClock() {
    const QDateTime now = QDateTime::currentDateTime();
    m_panels[3]->setText(now.toString(QStringLiteral("yyyy-MM-dd")));
    m_panels[4]->setText(now.toString(QStringLiteral("HH:mm")));
}

void fMain::refreshLockKeys() {
    // Like the classic key panels: the text stays, greyed while the lock is off.
    m_panels[5]->setEnabled(m_lockKeys->capsLock());
    m_panels[6]->setEnabled(m_lockKeys->numLock());
}

bool fMain::startUp() {
    ReportAndGoOn([&] { setWindowTitle(OfficeTitle()); });
    ReportAndGoOn([&] { showMaximized(); });
    ReportAndGoOn([&] { gStatusPanel.attach(m_panels[0]); });
    gStatusPanel.setReadyText({}); // what a session reminds of comes after its login
    ReportAndGoOn([&] {
        fLinkData dialog(this, this);
        dialog.exec();
    });
    if (bUnload) {
        close();
        return false;
    }

    bool opened = false;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ReportAndGoOn([&] { opened = OpenDatabase(); });
    QGuiApplication::restoreOverrideCursor();
    if (!opened) {
        close();
        return false;
    }

    // An error in reading the option counts as the option switched on.
    gAutoSize = true;
    ReportAndGoOn([&] { gAutoSize = autoSizeSetting(); });

    bool deliveredPassword = false;
    ReportAndGoOn([&] {
        fEnter dialog(this, this);
        dialog.exec();
        deliveredPassword = dialog.usedDeliveredPassword();
    });
    if (bUnload || !bEnter) {
        close();
        return false;
    }
    // An operator deleted at another desk has been told so at his next action; his work here ends.
    OnOperatorGone([this] {
        bUnload = true;
        QCoreApplication::exit(0);
    });
    if (deliveredPassword) askForNewAdministratorPassword();
    showDueReminder();
    return true;
}

void fMain::askForNewAdministratorPassword() {
    if (MsgBox(QStringLiteral("管理员仍在使用初始密码，任何人都能以管理员身份进入系统。现在修改密码吗?"),
               vb::YesNo | vb::Exclamation) == vb::Yes) {
        fPassword dialog(gOperator, fPassword::SetForOperator, this);
        if (dialog.exec() == QDialog::Accepted) return;
    }
    m_passwordWarning = QStringLiteral("管理员仍在使用初始密码");
    gStatusPanel.setReadyText(m_passwordWarning);
}

void fMain::showDueReminder() {
    // Counting is a courtesy: a database that cannot count leaves the panel as it was.
    SkipOnError([&] {
        const DueCounts counts = countReminders(gConn, QDate::currentDate());
        m_reminder = reminderText(counts);
        m_anythingDueSoon = counts.within30 > 0;
    });
    if (m_reminder.isEmpty()) return;
    // The warning alone would hide what is due from the administrator. Both stay while other
    // windows come and go (they say 就绪 when done).
    gStatusPanel.setReadyText(
        m_passwordWarning.isEmpty() ? m_reminder : m_passwordWarning + QStringLiteral("；") + m_reminder);
    m_panels[0]->setToolTip(QStringLiteral("单击查看到期证书"));
}

void fMain::Panel1_Click() {
    if (m_reminder.isEmpty() || !m_panels[0]->text().endsWith(m_reminder)) return;
    if (!CheckRight(kQueryRight)) return;
    fDaoQi* form = fDaoQi::instance();
    ShowForm(form);
    form->showPreset(m_anythingDueSoon ? DueQuery::Within30 : DueQuery::Overdue);
}

bool fMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panels[0] && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        Panel1_Click();
    return QMainWindow::eventFilter(watched, event);
}

// Entry and query items ask for their right every time: an administrator may change it meanwhile.
void fMain::mnuZLCZZ_Click() {
    if (!CheckRight(kEntryRight)) return;
    ShowForm(f1CZZ::instance());
}

void fMain::mnuZLZS_Click() {
    if (!CheckRight(kEntryRight)) return;
    ShowForm(f1ZS::instance());
}

void fMain::mnuZLpx_Click() {
    if (!CheckRight(kEntryRight)) return;
    ShowForm(f1PX::instance());
}

void fMain::mnuCZZCX_Click() {
    if (!CheckRight(kQueryRight)) return;
    ShowForm(fFindCZZ::instance());
}

void fMain::mnuZSCX_Click() {
    if (!CheckRight(kQueryRight)) return;
    ShowForm(fFindZS::instance());
}

void fMain::mnuPxCX_Click() {
    if (!CheckRight(kQueryRight)) return;
    ShowForm(fFindPX::instance());
}

void fMain::mnuDaoQi_Click() {
    if (!CheckRight(kQueryRight)) return;
    fDaoQi* form = fDaoQi::instance();
    ShowForm(form);
    form->cmdFind_Click();
}

void fMain::mnuTJ_Click() {
    if (!CheckRight(kQueryRight)) return;
    ShowForm(fTongJi::instance());
}

// The list items need no right: the list window's refresh reopens the table named here, under
// the register's list title.
void fMain::showRegisterList(const QString& table) {
    gViewTable = table;
    if (const RegisterDef* shown = registerOfTable(table)) fPView::instance()->setStitle(shown->listTitle);
    fmenu::instance()->mnuRerush_Click();
}

void fMain::mnuVczz_Click() {
    showRegisterList(QStringLiteral("CaoZuoZheng"));
}

void fMain::mnuVzs_Click() {
    showRegisterList(QStringLiteral("DangAnKu"));
}

void fMain::mnuVpx_Click() {
    showRegisterList(QStringLiteral("PeiXun"));
}

void fMain::mnuUser_Click() {
    if (!CheckAdministrator(QStringLiteral("操作员设置"))) return;
    fUser dialog(this);
    dialog.exec();
}

void fMain::mnuPassword_Click() {
    fPassword dialog(gOperator, fPassword::ChangeOwn, this);
    dialog.exec();
}

void fMain::mnuRiZhi_Click() {
    if (!CheckAdministrator(QStringLiteral("操作日志"))) return;
    ShowForm(fRiZhi::instance());
}

void fMain::mnuOption_Click() {
    fOptions* form = fOptions::instance();
    form->show();
    form->raise();
    form->activateWindow();
}

// Importing replaces operators and records: the administrator's own business.
void fMain::mnuDaoRu_Click() {
    if (!CheckAdministrator(QStringLiteral("导入旧数据"))) return;
    fDaoRu dialog(this);
    dialog.exec();
}

// A roster or a folder of photos writes records: the entry right's business.
void fMain::mnuPiLiang_Click() {
    if (!CheckRight(kEntryRight)) return;
    fPiLiangDaoRu dialog(this);
    dialog.exec();
}

void fMain::mnuZhaoPian_Click() {
    if (!CheckRight(kEntryRight)) return;
    fZhaoPianDaoRu dialog(this);
    dialog.exec();
}

void fMain::mnuAbout_Click() {
    if (!m_about) m_about = new fAbout(this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

void fMain::mnuSysBackUp_Click() {
    sBeiFen backup(this, true, this);
    backup.setStartPath(gUseSqlServer ? DataPath() : gDbPath);
    backup.exec();
    if (bUnload) close(); // the backup has ended the program
}

void fMain::mnuExit_Click() {
    close();
}

void fMain::closeEvent(QCloseEvent* event) {
    delete m_about.data();
    QMainWindow::closeEvent(event);
}
