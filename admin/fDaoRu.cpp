#include "fDaoRu.h"

#include "ui_fDaoRu.h"

#include "basGlobal.h"
#include "DataFolder.h"
#include "FileModes.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "LegacyImport.h"
#include "ModSql.h"

#include <QCoreApplication>

fDaoRu::fDaoRu(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::fDaoRu>()) {
    ui->setupUi(this);
    prbTable = {ui->prbTable_0, ui->prbTable_1, ui->prbTable_2, ui->prbTable_3, ui->prbTable_4};
    connect(ui->cmdBrowse, &QPushButton::clicked, this, &fDaoRu::cmdBrowse_Click);
    connect(ui->cmdImport, &QPushButton::clicked, this, &fDaoRu::cmdImport_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

fDaoRu::~fDaoRu() = default;

void fDaoRu::setFile(const QString& path) {
    ui->txtFile->setText(path);
    ui->cmdImport->setEnabled(!path.isEmpty());
}

QString fDaoRu::reportText() const {
    return ui->txtReport->toPlainText();
}

void fDaoRu::cmdBrowse_Click() {
    const auto chosen = ShowOpen(QStringLiteral("旧版Access数据库|*.mdb|所有文件|*.*|"), this);
    if (chosen) setFile(*chosen);
}

void fDaoRu::showProgress(const QString& table, int done, int total) {
    const int index = int(legacyImportTables().indexOf(table));
    if (index < 0) return;
    prbTable[index]->setMaximum(qMax(total, 1));
    prbTable[index]->setValue(done);
    // One thread does the work: let the bars repaint now and then, but take no clicks meanwhile.
    if (done % 100 == 0 || done == total) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void fDaoRu::cmdImport_Click() {
    for (QProgressBar* bar : prbTable)
        bar->reset();
    ui->txtReport->setPlainText(QStringLiteral("正在检查旧数据文件，请稍候...."));
    ui->cmdImport->setEnabled(false);
    ui->cmdBrowse->setEnabled(false);
    ui->cmdClose->setEnabled(false);

    LegacyImportHooks hooks;
    hooks.askDuplicate = [](const QString& table, const QString& key) {
        const int answer = MsgBox(QStringLiteral("数据库中已经有旧数据中的记录（%1 中的 '%2' 等）。\n"
                                                 "对本次导入中所有已有的记录：\n"
                                                 "是：用旧数据替换它们；\n否：跳过它们，保留数据库中的记录。")
                                      .arg(table, key),
                                  vb::YesNo | vb::Question | vb::DefaultButton2);
        return answer == vb::Yes ? DuplicatePolicy::Replace : DuplicatePolicy::Skip;
    };
    // Operators are a question of their own: taking over a password and rights is never a side effect.
    hooks.replaceOperators = [](const QStringList& names) {
        return MsgBox(QStringLiteral("旧数据中的这些操作员在数据库中已有同名的：\n%1\n\n"
                                     "是：用旧数据中的密码和权限替换他们；\n否：保留他们现有的密码和权限。")
                          .arg(names.join(QStringLiteral("、"))),
                      vb::YesNo | vb::Exclamation | vb::DefaultButton2) == vb::Yes;
    };
    hooks.progress = [this](const QString& table, int done, int total) { showProgress(table, done, total); };
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    LegacyImportReport report = importLegacyFile(
        ui->txtFile->text(), gConn, ReportDatabaseName(), hooks);
    saveImportReport(report, ReportFolder());
    ui->txtReport->setPlainText(report.text());

    // The shared record sets show the imported operators and options from now on.
    SkipOnError([] {
        auto users = std::make_shared<Recordset>();
        users->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        users->Find(QStringLiteral("姓名 = ") + QuoteLiteral(gOperator));
        if (!users->IsEOF()) gUsersRs = users;
        auto options = std::make_shared<Recordset>();
        options->Open(QStringLiteral("list"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gListRs = options;
    });

    ui->cmdBrowse->setEnabled(true);
    ui->cmdClose->setEnabled(true);
    ui->cmdImport->setEnabled(true);
    const QString saved = reportSavedText(report.savedAs);
    MsgBox(report.outcome() + saved, report.complete() ? vb::Information : vb::Exclamation);
}
