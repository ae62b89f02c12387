#include "fRiZhi.h"
#include "ui_fRiZhi.h"

#include "AuditChain.h"
#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "FillResultList.h"
#include "fmenu.h"
#include "fPView.h"
#include "ListView.h"
#include "WindowHost.h"

#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPointer>

namespace {

QPointer<fRiZhi> theInstance;
const QString kEveryone = QStringLiteral("全部");

} // namespace

fRiZhi* fRiZhi::instance() {
    if (!theInstance) theInstance = new fRiZhi;
    return theInstance;
}

fRiZhi::fRiZhi(QWidget* parent) : QWidget(parent), ui(new Ui::fRiZhi) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // A morning's work is today's.
    ui->dtpFrom->setDate(QDate::currentDate());
    ui->dtpTo->setDate(QDate::currentDate());
    connect(ui->cekDate, &QCheckBox::toggled, ui->dtpFrom, &QWidget::setEnabled);
    connect(ui->cekDate, &QCheckBox::toggled, ui->dtpTo, &QWidget::setEnabled);
    ui->cboBiao->addItem(kEveryone);
    for (const AuditTable& table : auditTables())
        ui->cboBiao->addItem(table.caption, table.table);
    loadOperators();
    ui->LV->setGridLines(true);
    ui->LV->setTag(kTitle);

    connect(ui->cmdFind, &QPushButton::clicked, this, &fRiZhi::cmdFind_Click);
    connect(ui->txtKey, &QLineEdit::returnPressed, this, &fRiZhi::cmdFind_Click);
    connect(ui->cmdView, &QPushButton::clicked, this, &fRiZhi::cmdView_Click);
    connect(ui->cmdVerify, &QPushButton::clicked, this, &fRiZhi::cmdVerify_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &fRiZhi::cmdClose_Click);
    OnEscape(this, [this] { cmdClose_Click(); });
    connect(ui->LV, &ListView::mousePressed, this, [this] { gCurList = ui->LV; });
    connect(ui->LV, &ListView::rightButtonReleased, fmenu::instance(), &fmenu::popUpAt);
}

fRiZhi::~fRiZhi() {
    delete ui;
}

ListView* fRiZhi::resultList() const {
    return ui->LV;
}

void fRiZhi::loadOperators() {
    ui->cboCZY->addItem(kEveryone);
    // The choice is a convenience: without it every operator is shown.
    SkipOnError([&] { ui->cboCZY->addItems(auditOperators(gConn)); });
}

AuditFilter fRiZhi::currentFilter() const {
    AuditFilter filter;
    if (ui->cekDate->isChecked()) {
        filter.from = ui->dtpFrom->date();
        filter.to = ui->dtpTo->date();
    }
    if (ui->cboCZY->currentIndex() > 0) filter.operatorName = ui->cboCZY->currentText();
    filter.table = ui->cboBiao->currentData().toString();
    filter.key = ui->txtKey->text().trimmed();
    return filter;
}

void fRiZhi::cmdFind_Click() {
    const AuditFilter filter = currentFilter();
    if (filter.from && *filter.from > *filter.to) {
        MsgBox(QStringLiteral("起始日期不能晚于结束日期!"), vb::OKOnly | vb::Exclamation);
        return;
    }
    setCursor(Qt::WaitCursor);
    try {
        m_result = std::make_shared<Recordset>();
        m_result->Open(auditStatement(filter), gConn);
        const qint64 count = m_result->RecordCount();
        ui->lblNum->setText(kTitle + QStringLiteral("  总数: ") + QString::number(count));
        if (count == 0) {
            ui->LV->clearRows();
        } else if (count <= kOwnListLimit) {
            FillResultList(*m_result, ui->LV);
            ui->LV->setColumnWidth(0, 140); // the whole time, to the second
        } else {
            ui->LV->clearRows();
            cmdView_Click();
        }
    } catch (const DbError& e) {
        unsetCursor();
        MsgBox(e.description, vb::OKOnly | vb::Critical);
        return;
    }
    unsetCursor();
}

void fRiZhi::cmdView_Click() {
    if (!m_result) cmdFind_Click();
    if (!m_result) return;
    fPView* view = fPView::instance();
    view->setStitle(kTitle);
    view->doFill(true, m_result);
    // The list window's refresh reopens the same rows.
    gViewTable = m_result->Source();
    ShowForm(view);
}

void fRiZhi::cmdVerify_Click() {
    setCursor(Qt::WaitCursor);
    AuditChain::Verification result;
    try {
        result = AuditChain::verify(gConn.database());
    } catch (const DbError& e) {
        unsetCursor();
        MsgBox(QStringLiteral("无法读取操作日志：") + e.description, vb::OKOnly | vb::Critical);
        return;
    }
    unsetCursor();
    MsgBox(result.message, vb::OKOnly | (result.intact ? vb::Information : vb::Critical));
}

void fRiZhi::cmdClose_Click() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

void fRiZhi::closeEvent(QCloseEvent* event) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) frame->setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}
