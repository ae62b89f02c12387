#include "fOptions.h"
#include "ui_fOptions.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "NoticeTexts.h"
#include "settings.h"
#include "VerifyTokens.h"
#include "WindowHost.h"

#include <QPointer>
#include <QSignalBlocker>

namespace {

const QString kSystem = QStringLiteral("System");
const QString kTitle = QStringLiteral("Title");
const QString kAutoSize = QStringLiteral("cekAutoSize");
const QString kPrompt = QStringLiteral("在此输入备选内容");

QPointer<fOptions> theInstance;

} // namespace

fOptions* fOptions::instance() {
    if (!theInstance) theInstance = new fOptions(mainWindow());
    return theInstance;
}

fOptions::fOptions(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::fOptions>()) {
    ui->setupUi(this);
    // Every way out unloads the form.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    // No category is proposed: the user picks one.
    ui->cboLX->setCurrentIndex(-1);
    loadSettings();
    loadOptions();
    // Without the entry right the lists are shown, not changed.
    m_viewOnly = LacksRight(kEntryRight);
    if (m_viewOnly) {
        setWindowTitle(windowTitle() + QStringLiteral("（只能查看）"));
        for (QWidget* changing : std::initializer_list<QWidget*>{ui->cboLX, ui->txtAdd, ui->cmdAdd, ui->cmdDel, ui->cmdAllDel})
            changing->setEnabled(false);
    }

    connect(ui->cmdAdd, &QPushButton::clicked, this, &fOptions::cmdAdd_Click);
    connect(ui->cmdDel, &QPushButton::clicked, this, &fOptions::cmdDel_Click);
    connect(ui->cmdAllDel, &QPushButton::clicked, this, &fOptions::cmdAllDel_Click);
    connect(ui->List1, &QListWidget::itemClicked, this, &fOptions::List1_Click);
    connect(ui->List1, &QListWidget::currentRowChanged, this, &fOptions::List1_Click);
    connect(ui->cmdOk, &QPushButton::clicked, this, &fOptions::cmdOk_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &fOptions::cmdCancel_Click);
}

fOptions::~fOptions() = default;

void fOptions::loadSettings() {
    SkipOnError([&] {
        const QString saved = GetSetting(ProductTitle(), kSystem, kAutoSize, QStringLiteral("1"));
        ui->cekAutoSize->setChecked(saved.trimmed().toDouble() != 0);
    });
    SkipOnError([&] {
        ui->txtTitle->setText(GetSetting(ProductTitle(), kSystem, kTitle, QStringLiteral("Kestrova")));
    });
    SkipOnError([&] { ui->txtNotice->setPlainText(noticeClosingText()); });
    SkipOnError([&] { ui->txtVerifyHost->setText(verifyHost()); });
}

void fOptions::loadOptions() {
    SkipOnError([&] {
        Recordset options;
        options.Open(QStringLiteral("List"), gConn);
        for (; !options.IsEOF(); options.MoveNext())
            appendLine(options.Fields(QStringLiteral("content")).Value().toString(),
                       options.Fields(QStringLiteral("leixing")).Value().toString(),
                       options.Fields(QStringLiteral("id")).Value().toLongLong());
    });
}

void fOptions::appendLine(const QString& content, const QString& category, qint64 id) {
    ui->List1->addItem(content + QLatin1Char('[') + category + QLatin1Char(']'));
    m_ids.append(id);
}

void fOptions::cmdAdd_Click() {
    if (!CheckRight(kEntryRight)) return;
    const QString category = ui->cboLX->currentText();
    if (category.isEmpty()) {
        ui->cboLX->setFocus();
        ui->cboLX->setCurrentIndex(0);
        return;
    }
    const QString value = ui->txtAdd->text();
    if (value.isEmpty()) {
        ui->txtAdd->setText(kPrompt);
        ui->txtAdd->selectAll();
        ui->txtAdd->setFocus();
        return;
    }
    ReportAndGoOn([&] {
        // Bound, so a quote in the value is stored like any other character.
        Recordset same;
        same.Open(Statement{QStringLiteral("SELECT * FROM List WHERE content=%1 AND leixing=%2")
                                .arg(QuoteLiteral(value), QuoteLiteral(category)),
                            QStringLiteral("SELECT * FROM List WHERE content = ? AND leixing = ?"),
                            {value, category}},
                  gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        if (!(same.IsBOF() && same.IsEOF())) {
            MsgBox(QStringLiteral("此内容已存在！"), vb::Information);
            return;
        }
        same.AddNew();
        same.Fields(QStringLiteral("content")).setValue(value);
        same.Fields(QStringLiteral("leixing")).setValue(category);
        same.Update();
        appendLine(value, category, same.Fields(QStringLiteral("id")).Value().toLongLong());
    });
}

void fOptions::cmdDel_Click() {
    const int row = ui->List1->currentRow();
    if (row < 0 || row >= m_ids.size() || !CheckRight(kEntryRight)) return;
    // A line whose row could not be deleted stays, so the list keeps telling the truth.
    if (!SkipOnError(
            [&] { DeleteWhere(gConn, QStringLiteral("List"), QStringLiteral("id = ?"), {m_ids[row]}); }))
        return;
    ui->cmdDel->setEnabled(false);
    m_ids.remove(row);
    {
        const QSignalBlocker blocker(ui->List1);
        delete ui->List1->takeItem(row);
    }
    if (ui->List1->count() == 0) return;
    ui->List1->setCurrentRow(row < ui->List1->count() ? row : 0);
    List1_Click();
}

void fOptions::cmdAllDel_Click() {
    if (!CheckRight(kEntryRight)) return;
    if (MsgBox(QStringLiteral("确实要删除全部备选项目吗?"), vb::YesNo | vb::Question | vb::DefaultButton2) != vb::Yes)
        return;
    if (!SkipOnError([] { DeleteWhere(gConn, QStringLiteral("List")); })) return;
    ui->List1->clear();
    m_ids.clear();
    ui->cmdAllDel->setEnabled(false);
}

void fOptions::List1_Click() {
    const QListWidgetItem* item = ui->List1->currentItem();
    ui->cmdDel->setEnabled(!m_viewOnly && item && item->isSelected());
}

void fOptions::cmdOk_Click() {
    // A host the cards could not carry is refused before anything is saved; the form stays open.
    if (const QString problem = verifyHostProblem(ui->txtVerifyHost->text()); !problem.isEmpty()) {
        MsgBox(problem, vb::Exclamation);
        ui->txtVerifyHost->setFocus();
        ui->txtVerifyHost->selectAll();
        return;
    }
    const QString title = ui->txtTitle->text();
    ReportAndGoOn([&] { SaveSetting(ProductTitle(), kSystem, kTitle, title); });
    if (QWidget* main = mainWindow()) main->setWindowTitle(title);
    ReportAndGoOn([&] {
        SaveSetting(ProductTitle(), kSystem, kAutoSize,
                    ui->cekAutoSize->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    });
    ReportAndGoOn([&] { saveNoticeClosingText(ui->txtNotice->toPlainText()); });
    ReportAndGoOn([&] { saveVerifyHost(ui->txtVerifyHost->text()); });
    accept();
}

void fOptions::cmdCancel_Click() {
    reject();
}
