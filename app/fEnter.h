#pragma once
// Operator login: pick a name, type the password. After five wrong passwords in a row for one name
// each further attempt waits longer (2, 4, 8 ... s, at most 5 min); every failure is in the trail.

#include <memory>
#include <QDialog>

#include "OperatorAccess.h"

class StartUpHost;

namespace Ui {
class fEnter;
}

class fEnter : public QDialog {
    Q_OBJECT

public:
    // Dialog heights with the hint hidden and shown, in twips.
    static constexpr int kCollapsedTwips = 2235;
    static constexpr int kExpandedTwips = 3915;

    // `host` receives bEnter (logged in) or bUnload (cancelled) and shows the operator; may be null.
    explicit fEnter(StartUpHost* host, QWidget* parent = nullptr);
    ~fEnter() override;

    // The time the waits after failed logins are measured by.
    void setClock(LoginGuard::Clock clock) { m_clock = std::move(clock); }

    // The administrator has just logged in with the password the database was delivered with.
    bool usedDeliveredPassword() const { return m_deliveredPassword; }

public slots:
    void cboCZY_Click();
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setHeightTwips(int twips);
    void recordLogin(bool rehash, const QString& typed);

    std::unique_ptr<Ui::fEnter> ui;
    StartUpHost* m_host;
    bool m_deliveredPassword = false;
    LoginGuard::Clock m_clock = &QDateTime::currentDateTime;
};
