#pragma once
// The first dialog of every start: server database or the local file, restore, or leave.

#include <array>
#include <memory>
#include <QDialog>

class QRadioButton;
class StartUpHost;

namespace Ui {
class fLinkData;
}

class fLinkData : public QDialog {
    Q_OBJECT

public:
    // `host` receives bUnload when the user leaves the program; it may be null.
    explicit fLinkData(StartUpHost* host, QWidget* parent = nullptr);
    ~fLinkData() override;

    // optData[0]: server database, optData[1]: the local file.
    std::array<QRadioButton*, 2> optData{};

public slots:
    void OKButton_Click();
    void CancelButton_Click();
    void cmdHuiFu_Click();
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void optData_Click();

    std::unique_ptr<Ui::fLinkData> ui;
    StartUpHost* m_host;
};
