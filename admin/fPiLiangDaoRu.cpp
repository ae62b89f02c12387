#include "fPiLiangDaoRu.h"

#include "ui_fPiLiangDaoRu.h"

#include "basGlobal.h"
#include "DataFolder.h"
#include "FileModes.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "ModSql.h"

#include <algorithm>
#include <QComboBox>
#include <QCoreApplication>

namespace {

const QStringList kTables = {QStringLiteral("DangAnKu"), QStringLiteral("CaoZuoZheng"), QStringLiteral("PeiXun")};
const QString kNotImported = QStringLiteral("（不导入）");
const QColor kProblem(255, 205, 205);
const QColor kStored(255, 244, 200);
constexpr int kWidestPreviewColumn = 240;

} // namespace

fPiLiangDaoRu::fPiLiangDaoRu(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::fPiLiangDaoRu>()) {
    ui->setupUi(this);
    optExisting = {ui->optExisting_0, ui->optExisting_1, ui->optExisting_2};
    connect(ui->cmdBrowse, &QPushButton::clicked, this, &fPiLiangDaoRu::cmdBrowse_Click);
    connect(ui->cmdAddOptions, &QPushButton::clicked, this, &fPiLiangDaoRu::cmdAddOptions_Click);
    connect(ui->cmdImport, &QPushButton::clicked, this, &fPiLiangDaoRu::cmdImport_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->cboRegister, &QComboBox::currentIndexChanged, this, [this] { loadFile(); });
    ui->grdMapping->horizontalHeader()->setStretchLastSection(true);
    ui->grdMapping->verticalHeader()->hide();
    for (QRadioButton* option : optExisting)
        option->setEnabled(false);
}

fPiLiangDaoRu::~fPiLiangDaoRu() = default;

QString fPiLiangDaoRu::table() const {
    return kTables.value(ui->cboRegister->currentIndex());
}

void fPiLiangDaoRu::setRegister(const QString& table) {
    ui->cboRegister->setCurrentIndex(int(std::max<qsizetype>(kTables.indexOf(table), 0)));
}

void fPiLiangDaoRu::setFile(const QString& path) {
    ui->txtFile->setText(path);
    loadFile();
}

QString fPiLiangDaoRu::reportText() const {
    return ui->txtReport->toPlainText();
}

void fPiLiangDaoRu::cmdBrowse_Click() {
    const auto chosen =
        ShowOpen(QStringLiteral("花名册|*.xlsx;*.ods;*.csv|Excel 工作簿|*.xlsx|OpenDocument 表格|*.ods|CSV 文本|*.csv|"), this);
    if (chosen) setFile(*chosen);
}

void fPiLiangDaoRu::loadFile() {
    m_check = {};
    ui->txtReport->clear();
    ui->prbImport->reset();
    if (ui->txtFile->text().isEmpty()) return;
    m_roster = loadRoster(ui->txtFile->text(), table());
    if (!m_roster.error.isEmpty()) {
        ui->grdMapping->setRowCount(0);
        ui->grdPreview->clear();
        ui->grdPreview->setRowCount(0);
        ui->grdPreview->setColumnCount(0);
        ui->lblSummary->setText(m_roster.error);
        ui->cmdImport->setEnabled(false);
        ui->cmdAddOptions->setEnabled(false);
        return;
    }
    fillMapping();
    recheck();
}

void fPiLiangDaoRu::fillMapping() {
    ui->grdMapping->setRowCount(int(m_roster.headings.size()));
    QStringList choices{kNotImported};
    for (const RosterField& field : rosterFields(m_roster.table))
        choices << field.column;
    for (int row = 0; row < m_roster.headings.size(); ++row) {
        auto* heading = new QTableWidgetItem(m_roster.headings[row]);
        heading->setFlags(Qt::ItemIsEnabled);
        ui->grdMapping->setItem(row, 0, heading);
        auto* box = new QComboBox(ui->grdMapping);
        box->setObjectName(QStringLiteral("cboField_%1").arg(row));
        box->addItems(choices);
        const QString mapped = m_roster.mapping.value(row);
        box->setCurrentIndex(mapped.isEmpty() ? 0 : int(choices.indexOf(mapped)));
        connect(box, &QComboBox::currentIndexChanged, this, [this, row, box](int index) {
            mappingChosen(row, index == 0 ? QString() : box->currentText());
        });
        ui->grdMapping->setCellWidget(row, 1, box);
    }
}

void fPiLiangDaoRu::mappingChosen(int row, const QString& column) {
    m_roster.mapColumn(m_roster.headings[row], column);
    // A field takes one column: the one it had before shows 不导入 now.
    for (int other = 0; other < m_roster.headings.size(); ++other) {
        auto* box = qobject_cast<QComboBox*>(ui->grdMapping->cellWidget(other, 1));
        if (!box || other == row) continue;
        const QSignalBlocker quiet(box);
        const QString mapped = m_roster.mapping.value(other);
        box->setCurrentIndex(mapped.isEmpty() ? 0 : box->findText(mapped));
    }
    recheck();
}

void fPiLiangDaoRu::recheck() {
    const bool checked = ShowErrorAndGoOn([&] { m_check = checkRoster(m_roster, gConn); });
    if (!checked) m_check = {};
    fillPreview();
    const int problems = m_check.rowsWithProblems();
    const int stored = m_check.rowsAlreadyStored();
    QString summary = QStringLiteral("共 %1 行：有问题 %2 行，已在登记表中 %3 人。")
                          .arg(m_check.rows.size()).arg(problems).arg(stored);
    if (m_roster.mappingWasSaved) summary += QStringLiteral("列的对应沿用上次同样标题的文件。");
    const QStringList unmapped = m_roster.unmappedHeadings();
    if (!unmapped.isEmpty()) summary += QStringLiteral("不导入的列：%1。").arg(unmapped.join(QStringLiteral("、")));
    ui->lblSummary->setText(summary);
    for (QRadioButton* option : optExisting)
        option->setEnabled(stored > 0);
    ui->cmdAddOptions->setEnabled(!m_check.unknownOptions.isEmpty() && HasRight(kEntryRight));
    ui->cmdImport->setEnabled(checked && m_check.rows.size() > problems);
}

void fPiLiangDaoRu::fillPreview() {
    QTableWidget* grid = ui->grdPreview;
    grid->clear();
    grid->setColumnCount(int(m_roster.headings.size()) + 1);
    QStringList headers = m_roster.headings;
    headers << QStringLiteral("问题");
    grid->setHorizontalHeaderLabels(headers);
    grid->setRowCount(int(m_check.rows.size()));
    QStringList lines;
    for (int r = 0; r < m_check.rows.size(); ++r) {
        const RosterRow& row = m_check.rows[r];
        lines << QString::number(row.line);
        const QVector<RosterCell>& cells = m_roster.rows[r];
        for (int c = 0; c < cells.size(); ++c)
            grid->setItem(r, c, new QTableWidgetItem(cells[c].kind == RosterCell::Empty ? QString() : cells[c].text));
        QStringList reasons;
        for (const RosterProblem& problem : row.problems) {
            reasons << problem.reason;
            if (problem.column < 0) continue;
            QTableWidgetItem* item = grid->item(r, problem.column);
            if (!item) grid->setItem(r, problem.column, item = new QTableWidgetItem);
            item->setBackground(kProblem);
            item->setToolTip(item->toolTip().isEmpty() ? problem.reason
                                                       : item->toolTip() + QLatin1Char('\n') + problem.reason);
        }
        if (reasons.isEmpty() && !row.storedKeys.isEmpty())
            reasons << QStringLiteral("已在登记表中（%1）").arg(row.storedKeys.join(QStringLiteral("、")));
        auto* note = new QTableWidgetItem(reasons.join(QStringLiteral("；")));
        note->setToolTip(note->text());
        if (!row.problems.isEmpty()) note->setBackground(kProblem);
        else if (!row.storedKeys.isEmpty()) note->setBackground(kStored);
        grid->setItem(r, int(m_roster.headings.size()), note);
    }
    grid->setVerticalHeaderLabels(lines);
    // Identity numbers are read whole; a long remark is not allowed to push the rest away.
    grid->resizeColumnsToContents();
    for (int c = 0; c < grid->columnCount(); ++c)
        grid->setColumnWidth(c, std::min(grid->columnWidth(c), kWidestPreviewColumn));
}

void fPiLiangDaoRu::cmdAddOptions_Click() {
    if (!CheckRight(kEntryRight)) return;
    QStringList values;
    for (const auto& [category, value] : m_check.unknownOptions)
        values << QStringLiteral("%1：%2").arg(category, value);
    if (MsgBox(QStringLiteral("把这些值加入选项？\n") + values.join(QLatin1Char('\n')), vb::YesNo | vb::Question) != vb::Yes)
        return;
    for (const auto& [category, value] : m_check.unknownOptions)
        if (!ShowErrorAndGoOn([&] { addOptionValue(gConn, category, value); })) break;
    recheck();
}

void fPiLiangDaoRu::cmdImport_Click() {
    // The right the menu item asked for may have been taken away since the window opened.
    if (!CheckRight(kEntryRight)) return;
    RosterImportHooks hooks;
    if (m_check.rowsAlreadyStored() > 0) {
        for (int i = 0; i < 3; ++i)
            if (optExisting[i]->isChecked()) hooks.policy = StoredPersonPolicy(i);
        if (!hooks.policy) {
            MsgBox(QStringLiteral("有 %1 人已在登记表中，请先选择更新原记录、跳过还是另加新证。")
                       .arg(m_check.rowsAlreadyStored()),
                   vb::Exclamation);
            return;
        }
    }
    const int problems = m_check.rowsWithProblems();
    if (problems > 0 &&
        MsgBox(QStringLiteral("有 %1 行有问题，这些行不会导入。要导入其余 %2 行吗？")
                   .arg(problems).arg(m_check.rows.size() - problems),
               vb::YesNo | vb::Question | vb::DefaultButton2) != vb::Yes)
        return;
    ui->cmdImport->setEnabled(false);
    ui->cmdClose->setEnabled(false);
    ui->prbImport->setMaximum(std::max<int>(int(m_check.rows.size()), 1));
    hooks.progress = [this](int done, int total) {
        ui->prbImport->setValue(done);
        // One thread does the work: let the bar repaint now and then, but take no clicks meanwhile.
        if (done % 100 == 0 || done == total) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    RosterReport report = importRoster(m_roster, m_check, gConn, hooks, false);
    report.database = ReportDatabaseName();
    saveRosterReport(report, ReportFolder());
    if (report.fatal.isEmpty()) SkipOnError([&] { saveRosterMapping(m_roster); });
    const QString text = report.text();
    ui->cmdClose->setEnabled(true);
    recheck();
    ui->txtReport->setPlainText(text);
    const QString saved = reportSavedText(report.savedAs);
    if (!report.fatal.isEmpty())
        MsgBox(QStringLiteral("花名册没有导入，没有写入任何记录：%1\n").arg(report.fatal) + saved, vb::Exclamation);
    else
        MsgBox(QStringLiteral("新增 %1 条，更新 %2 条，跳过 %3 行。\n")
                       .arg(report.added).arg(report.updated).arg(report.skipped) + saved,
               vb::Information);
}
