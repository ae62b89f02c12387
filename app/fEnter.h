#pragma once
// Operator login: pick a name, type the password; wrong passwords may be retried without limit.

#include <memory>
#include <QDialog>

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
};
