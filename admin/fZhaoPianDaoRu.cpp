#include "fZhaoPianDaoRu.h"

#include "ui_fZhaoPianDaoRu.h"

#include "basGlobal.h"
#include "basSub.h"
#include "DataFolder.h"
#include "FileModes.h"
#include "dialogs.h"
#include "ModSql.h"
#include "PhotoFit.h"
#include "PhotoImport.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {
const QStringList kTables = {QStringLiteral("DangAnKu"), QStringLiteral("CaoZuoZheng"), QStringLiteral("PeiXun")};
}

fZhaoPianDaoRu::fZhaoPianDaoRu(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::fZhaoPianDaoRu>()) {
    ui->setupUi(this);
    connect(ui->cmdBrowse, &QPushButton::clicked, this, &fZhaoPianDaoRu::cmdBrowse_Click);
    connect(ui->cmdImport, &QPushButton::clicked, this, &fZhaoPianDaoRu::cmdImport_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

fZhaoPianDaoRu::~fZhaoPianDaoRu() = default;

void fZhaoPianDaoRu::setRegister(const QString& table) {
    ui->cboRegister->setCurrentIndex(int(std::max<qsizetype>(kTables.indexOf(table), 0)));
}

void fZhaoPianDaoRu::setFolder(const QString& folder) {
    ui->txtFolder->setText(folder);
    const int files = int(photoFilesIn(folder).size());
    ui->txtReport->setPlainText(QStringLiteral("文件夹中有 %1 张照片。").arg(files));
    ui->cmdImport->setEnabled(files > 0);
}

QString fZhaoPianDaoRu::reportText() const {
    return ui->txtReport->toPlainText();
}

void fZhaoPianDaoRu::cmdBrowse_Click() {
    const auto chosen = ShowOpen(QStringLiteral("照片|*.jpg;*.jpeg;*.png;*.bmp|"), this);
    if (chosen) setFolder(QFileInfo(*chosen).absolutePath());
}

void fZhaoPianDaoRu::cmdImport_Click() {
    // The right the menu item asked for may have been taken away since the window opened.
    if (!CheckRight(kEntryRight)) return;
    PhotoImportOptions options;
    options.replaceExisting = ui->cekReplace->isChecked();
    if (ui->cekFit->isChecked()) options.fit = &FitToIdPhoto;
    options.progress = [this](int done, int total) {
        ui->prbImport->setMaximum(std::max(total, 1));
        ui->prbImport->setValue(done);
        if (done % 20 == 0 || done == total) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    ui->cmdImport->setEnabled(false);
    ui->cmdClose->setEnabled(false);
    PhotoImportReport report =
        importPhotos(ui->txtFolder->text(), kTables.value(ui->cboRegister->currentIndex()), gConn, options);
    report.database = ReportDatabaseName();
    savePhotoReport(report, ReportFolder());
    ui->txtReport->setPlainText(report.text());
    ui->cmdImport->setEnabled(true);
    ui->cmdClose->setEnabled(true);
    const QString saved = reportSavedText(report.savedAs);
    if (!report.fatal.isEmpty())
        MsgBox(QStringLiteral("照片没有导入：%1\n").arg(report.fatal) + saved, vb::Exclamation);
    else
        MsgBox(QStringLiteral("导入照片 %1 张，跳过 %2 个文件。\n").arg(report.attached).arg(report.skipped) + saved,
               vb::Information);
}
