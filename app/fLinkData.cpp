#include "fLinkData.h"

#include "sBeiFen.h"
#include "ui_fLinkData.h"

#include "basGlobal.h"
#include "DataFolder.h"
#include "ErrorTraps.h"
#include "ModSql.h"
#include "settings.h"
#include "StartUpHost.h"

#include <QFileInfo>
#include <QKeyEvent>

namespace {

const QString kSection = QStringLiteral("System");
const QString kKey = QStringLiteral("LinkData");

} // namespace

fLinkData::fLinkData(StartUpHost* host, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::fLinkData>()), m_host(host) {
    ui->setupUi(this);
    setFixedSize(size());
    optData = {ui->optData_0, ui->optData_1};

    connect(ui->OKButton, &QPushButton::clicked, this, &fLinkData::OKButton_Click);
    connect(ui->CancelButton, &QPushButton::clicked, this, &fLinkData::CancelButton_Click);
    connect(ui->cmdHuiFu, &QPushButton::clicked, this, &fLinkData::cmdHuiFu_Click);
    for (QRadioButton* option : optData)
        connect(option, &QRadioButton::toggled, this, &fLinkData::optData_Click);

    const bool server = SavedServerChoice();
    optData[0]->setChecked(server);
    optData[1]->setChecked(!server);
    optData_Click();
}

fLinkData::~fLinkData() = default;

void fLinkData::optData_Click() {
    ui->cmdHuiFu->setEnabled(optData[1]->isChecked());
}

void fLinkData::OKButton_Click() {
    gUseSqlServer = optData[0]->isChecked();
    accept();
}

void fLinkData::CancelButton_Click() {
    if (m_host) m_host->bUnload = true;
    reject();
}

void fLinkData::cmdHuiFu_Click() {
    ReadDataIni();
    if (gDbPath.isEmpty()) gDbPath = DataPath() + QStringLiteral("MoLian.mdb");
    sBeiFen restore(m_host, false, this);
    restore.setDirPath(QFileInfo(gDbPath).absolutePath());
    restore.DoSub();
    restore.exec();
    // A restore that was attempted ends the program; the next start opens the restored file.
    if (m_host && m_host->bUnload) reject();
}

void fLinkData::done(int result) {
    // Every way of closing, the close box included, remembers the choice.
    ReportAndGoOn([&] {
        SaveSetting(ExeName(), kSection, kKey,
                    optData[0]->isChecked() ? QStringLiteral("True") : QStringLiteral("False"));
    });
    QDialog::done(result);
}

void fLinkData::keyPressEvent(QKeyEvent* event) {
    // Esc belongs to the restore button, and does nothing while that is disabled.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (ui->cmdHuiFu->isEnabled()) ui->cmdHuiFu->click();
        return;
    }
    QDialog::keyPressEvent(event);
}
