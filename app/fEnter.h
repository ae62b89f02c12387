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

public slots:
    void cboCZY_Click();
    void cmdOk_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setHeightTwips(int twips);

    std::unique_ptr<Ui::fEnter> ui;
    StartUpHost* m_host;
};
