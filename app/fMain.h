#pragma once
// The main window: the menu that opens every form, the status bar, and the start-up sequence.

#include "StartUpHost.h"

#include <array>
#include <memory>
#include <QMainWindow>
#include <QPointer>

class fAbout;
class LockKeys;
class QLabel;

namespace Ui {
class fMain;
}

class fMain : public QMainWindow, public StartUpHost {
    Q_OBJECT

public:
    explicit fMain(QWidget* parent = nullptr);
    ~fMain() override;

    // Caption, data source, database, login. False when the program is to end; the window has then
    // been closed.
    bool startUp();

    // Status-bar panel 3.
    void showOperator(const QString& name) override;
    // Status-bar panels 1 to 7; nullptr outside that range.
    QLabel* panel(int index) const;

public slots:
    void mnuZLCZZ_Click();
    void mnuZLZS_Click();
    void mnuZLpx_Click();
    void mnuCZZCX_Click();
    void mnuZSCX_Click();
    void mnuPxCX_Click();
    void mnuDaoQi_Click();
    void mnuTJ_Click();
    void mnuVczz_Click();
    void mnuVzs_Click();
    void mnuVpx_Click();
    void mnuUser_Click();
    void mnuPassword_Click();
    void mnuRiZhi_Click();
    void mnuOption_Click();
    void mnuDaoRu_Click();
    void mnuPiLiang_Click();
    void mnuZhaoPian_Click();
    void mnuAbout_Click();
    void mnuSysBackUp_Click();
    void mnuExit_Click();

    // After login: what falls due within 30 days or is overdue, in status panel 1.
    void showDueReminder();
    // The reminder window for a click on the reminder in status panel 1.
    void Panel1_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showRegisterList(const QString& table);
    void buildStatusBar();
    void refreshClock();
    void refreshLockKeys();
    // The administrator logged in with the delivered password: change it now, or be reminded.
    void askForNewAdministratorPassword();

    std::unique_ptr<Ui::fMain> ui;
    std::array<QLabel*, 7> m_panels{};
    LockKeys* m_lockKeys = nullptr;
    QPointer<fAbout> m_about;
    QString m_reminder;        // the reminder panel 1 shows; a click there opens the reminder window
    QString m_passwordWarning; // shown in front of the reminder while the delivered password stays
    bool m_anythingDueSoon = false;
};
