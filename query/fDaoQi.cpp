#include "fDaoQi.h"
#include "ui_fDaoQi.h"

#include "basGlobal.h"
#include "basSub.h"
#include "DueNotices.h"
#include "ErrorTraps.h"
#include "f1CZZ.h"
#include "f1PX.h"
#include "f1ZS.h"
#include "FillResultList.h"
#include "fmenu.h"
#include "fPView.h"
#include "ListTable.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "settings.h"
#include "WidgetDialogs.h"
#include "WindowHost.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPrinter>
#include <QSet>
#include <QTimer>

namespace {

QPointer<fDaoQi> theInstance;

EntryForm* entryFormOf(const QString& table) {
    if (table == QLatin1String("DangAnKu")) return f1ZS::instance();
    if (table == QLatin1String("CaoZuoZheng")) return f1CZZ::instance();
    return f1PX::instance();
}

} // namespace

fDaoQi* fDaoQi::instance() {
    if (!theInstance) theInstance = new fDaoQi;
    return theInstance;
}

fDaoQi::fDaoQi(QWidget* parent) : QWidget(parent), ui(new Ui::fDaoQi) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    const QDate today = QDate::currentDate();
    ui->dtpFrom->setDate(today);
    ui->dtpTo->setDate(today.addDays(90));
    ui->LV->setMultiSelect(true);
    ui->LV->setGridLines(true);
    ui->LV->setTag(QStringLiteral("证书到期提醒"));

    const auto rangeChosen = [this] {
        const bool own = preset() == DueQuery::Range;
        ui->dtpFrom->setEnabled(own);
        ui->dtpTo->setEnabled(own);
    };
    for (QRadioButton* option : {ui->optData_0, ui->optData_1, ui->optData_2, ui->optData_3})
        connect(option, &QRadioButton::toggled, this, rangeChosen);
    rangeChosen();

    connect(ui->cmdFind, &QPushButton::clicked, this, &fDaoQi::cmdFind_Click);
    connect(ui->cmdView, &QPushButton::clicked, this, &fDaoQi::cmdView_Click);
    connect(ui->cmdNotice, &QPushButton::clicked, this, &fDaoQi::cmdNotice_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &fDaoQi::cmdClose_Click);
    OnEscape(this, [this] { cmdClose_Click(); });

    connect(ui->LV, &ListView::mousePressed, this, [this] { gCurList = ui->LV; });
    connect(ui->LV, &ListView::rightButtonReleased, fmenu::instance(), &fmenu::popUpAt);
    connect(ui->LV, &ListView::rowDoubleClicked, this, &fDaoQi::LV_DblClick);
    connect(ui->LV, &ListView::columnClicked, this, &fDaoQi::LV_ColumnClick);
    // Coming back to the window (from the entry form a row was opened in) reads the rows again
    // when something was saved meanwhile; after the click that brought the focus has been handled,
    // so that it acts on the row the clerk saw.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now && isAncestorOf(now) && !(old && isAncestorOf(old)))
            QTimer::singleShot(0, this, &fDaoQi::refreshIfChanged);
    });
}

fDaoQi::~fDaoQi() {
    delete ui;
}

ListView* fDaoQi::resultList() const {
    return ui->LV;
}

DueQuery::Preset fDaoQi::preset() const {
    if (ui->optData_0->isChecked()) return DueQuery::Overdue;
    if (ui->optData_2->isChecked()) return DueQuery::Within90;
    if (ui->optData_3->isChecked()) return DueQuery::Range;
    return DueQuery::Within30;
}

void fDaoQi::showPreset(DueQuery::Preset preset) {
    QRadioButton* options[] = {ui->optData_0, ui->optData_1, ui->optData_2, ui->optData_3};
    options[preset]->setChecked(true);
    cmdFind_Click();
}

DueQuery fDaoQi::currentQuery() const {
    DueQuery query = DueQuery::preset(preset(), QDate::currentDate());
    if (preset() == DueQuery::Range) {
        query.from = ui->dtpFrom->date();
        query.to = ui->dtpTo->date();
    }
    // The combos list the registers and the dates in the catalogue's order, after 全部.
    if (const int reg = ui->cboLeiBie->currentIndex(); reg > 0)
        query.tables = {dueRegisters()[reg - 1].table};
    if (const int item = ui->cboXiangMu->currentIndex(); item > 0)
        query.columns = {dueItems()[item - 1].column};
    query.orderColumn = m_orderColumn;
    query.descending = m_descending;
    return query;
}

void fDaoQi::cmdFind_Click() {
    const DueQuery query = currentQuery();
    if (query.from > query.to) {
        MsgBox(QStringLiteral("起始日期不能晚于结束日期!"), vb::OKOnly | vb::Exclamation);
        return;
    }
    listRows(query);
}

bool fDaoQi::listRows(const DueQuery& query) {
    setCursor(Qt::WaitCursor);
    try {
        const quint64 writesBefore = gConn.committedWrites();
        auto pages = std::make_shared<DuePages>(gConn, query, QDate::currentDate());
        FillListFromTable(dueListTable({}), ui->LV);
        // A list that cannot be read says so once, not for every block scrolled to.
        ui->LV->setVirtualRows(pages->count(),
                               [pages, told = std::make_shared<bool>(false)](qint64 first, int count) {
                                   QList<ListRow> rows;
                                   const auto read = [&] { rows = pages->rows(first, count); };
                                   if (*told)
                                       SkipOnError(read);
                                   else if (!ReportAndGoOn(read))
                                       *told = true;
                                   return rows;
                               });
        // Narrow columns for the short values, so that every column, the due date and the days
        // left too, stays in view on a screen 1024 pixels wide.
        const int widths[] = {56, 90, 64, 36, 150, 92, 100, 96, 80, 60, 84, 60};
        for (int column = 0; column < ui->LV->columnCount() && column < int(std::size(widths)); ++column)
            ui->LV->setColumnWidth(column, widths[column]);
        m_shown = query;
        m_readAtWrites = writesBefore;
        m_pages = pages;
        m_title = dueListTitle(query);
        ui->LV->setTag(m_title);
        ui->lblNum->setText(m_title + QStringLiteral("  总数: ") + QString::number(pages->count()));
    } catch (const DbError& e) {
        unsetCursor();
        MsgBox(e.description, vb::OKOnly | vb::Critical);
        return false;
    }
    unsetCursor();
    return true;
}

void fDaoQi::refreshIfChanged() {
    if (m_title.isEmpty() || gConn.committedWrites() == m_readAtWrites) return;
    // Once a change: a list that cannot be read again says so once, not at every return of the focus.
    m_readAtWrites = gConn.committedWrites();
    ListView* list = ui->LV;
    // The rows the clerk had chosen are chosen again where they now stand, when still due.
    QList<qint64> chosen;
    for (int row : list->selectedRows())
        chosen << list->rowMark(row);
    const int current = list->currentRow();
    chosen << (current >= 0 ? list->rowMark(current) : -1);
    if (!listRows(m_shown)) return;
    const QList<qint64> positions = m_pages->positionsOf(chosen);
    for (qsizetype i = 0; i + 1 < positions.size(); ++i)
        if (positions[i] >= 0) list->selectRow(int(positions[i]));
    if (positions.last() >= 0) list->makeCurrent(int(positions.last()));
}

void fDaoQi::LV_ColumnClick(int column) {
    // The database orders the rows, so days and dates sort as numbers and dates.
    m_descending = column == m_orderColumn ? !m_descending : false;
    m_orderColumn = column;
    cmdFind_Click();
}

void fDaoQi::cmdView_Click() {
    refreshIfChanged();
    if (m_title.isEmpty()) cmdFind_Click();
    if (m_title.isEmpty()) return;
    ReportAndGoOn([&] {
        const RecordsetPtr rows = openDueList(gConn, m_shown, QDate::currentDate());
        fPView* view = fPView::instance();
        view->setStitle(m_title);
        view->doFill(true, rows);
        ShowForm(view);
    });
}

void fDaoQi::cmdNotice_Click() {
    // A notice never prints a date changed since the list was read.
    refreshIfChanged();
    const QList<int> selected = ui->LV->selectedRows();
    if (selected.isEmpty()) {
        MsgBox(QStringLiteral("请先在列表中选择要打印通知书的人员。"), vb::OKOnly | vb::Exclamation);
        return;
    }
    // Each person chosen gets one notice with every date of theirs the list holds.
    QSet<QString> people;
    for (const QStringList& row : RowsOfList(ui->LV, selected))
        people << DueNotices::personOf(row);
    QList<QStringList> rows;
    ForEachListRow(ui->LV, [&](const QStringList& row) {
        if (people.contains(DueNotices::personOf(row))) rows << row;
    });
    const DueNotices notices{rows, OfficeTitle(), noticeClosingText(), QDate::currentDate()};
    QPrinter printer(QPrinter::HighResolution);
    notices.preparePrinter(printer);
    PreviewPages(
        printer, [&](QPrinter* target) { notices.paint(target); }, QStringLiteral("到期通知书"),
        int(rows.size()), this);
}

void fDaoQi::LV_DblClick() {
    const int row = ui->LV->currentRow();
    if (row < 0) return;
    const DueRegister* reg = dueRegisterByCaption(ui->LV->text(row));
    if (!reg) return;
    const QString key = ui->LV->subItem(row, DueColumn::Key);
    SkipOnError([&] {
        EntryForm* entry = entryFormOf(reg->table);
        if (!entry->bFind(key)) return;
        entry->Splash();
        ShowForm(entry);
    });
}

void fDaoQi::cmdClose_Click() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

void fDaoQi::closeEvent(QCloseEvent* event) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) frame->setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}
