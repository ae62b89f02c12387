#include "fPView.h"
#include "ui_fPView.h"

#include "basGlobal.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "FillResultList.h"
#include "fmenu.h"
#include "fToList.h"
#include "ListOrder.h"
#include "ListTable.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "WindowHost.h"

#include <cmath>
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableView>

namespace {

constexpr qint64 kMostRows = 5000;
// Up to this many rows the database sorts a column without an index in a moment.
constexpr qint64 kQuickSortRows = 100000;

// The office's forms were measured in twips: 15 to a pixel.
constexpr int px(int twips) {
    return (twips + 7) / 15;
}

// Rounds to the nearest whole number, halves to the even one (2.5 gives 2, 3.5 gives 4).
int roundHalfEven(float value) {
    const double lower = std::floor(double(value));
    const double fraction = double(value) - lower;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0)) return int(lower + 1);
    return int(lower);
}

// The leading number of an answer, blanks ignored; 0 when it does not start with one.
double leadingNumber(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const auto match = number.match(text);
    return match.hasMatch() ? match.captured(0).toDouble() : 0.0;
}

QPointer<fPView> theInstance;

} // namespace

fPView* fPView::instance() {
    if (!theInstance) theInstance = new fPView;
    return theInstance;
}

fPView::fPView(QWidget* parent) : QWidget(parent), ui(new Ui::fPView) {
    ui->setupUi(this);
    Lvw = ui->Lvw;
    LblTitle = {ui->LblTitle_0, ui->LblTitle_1, ui->LblTitle_2};
    lblNUM = {ui->lblNUM_0, ui->lblNUM_1};
    LblBackColor = ui->LblBackColor;
    cmdPrV = ui->cmdPrV;
    cmdPrint = ui->cmdPrint;
    cmdSet = ui->cmdSet;
    CmdToOut = ui->CmdToOut;
    cmdNext = ui->cmdNext;
    cmdPre = ui->cmdPre;
    cmdAll = ui->cmdAll;
    cmdListCount = ui->cmdListCount;
    cmdListCol = ui->cmdListCol;
    LblBackColor->lower();

    connect(cmdNext, &QPushButton::clicked, this, &fPView::cmdNext_Click);
    connect(cmdPre, &QPushButton::clicked, this, &fPView::cmdPre_Click);
    connect(cmdAll, &QPushButton::clicked, this, &fPView::cmdAll_Click);
    connect(cmdListCount, &QPushButton::clicked, this, &fPView::cmdListCount_Click);
    connect(cmdListCol, &QPushButton::clicked, this, &fPView::cmdListCol_Click);
    connect(Lvw, &ListView::shownRowsChanged, this, &fPView::shownRowsChanged);
    connect(Lvw, &ListView::columnClicked, this, &fPView::Lvw_ColumnClick);
    connect(Lvw, &ListView::rowDoubleClicked, this, &fPView::Lvw_DblClick);
    connect(Lvw, &ListView::currentRowChanged, this, &fPView::followCurrentRow);
    connect(Lvw, &ListView::rightButtonPressed, this, &fPView::makeCurrentList);
    connect(Lvw, &ListView::rightButtonReleased, fmenu::instance(), &fmenu::popUpAt);
    connect(cmdPrV, &QPushButton::clicked, this, &fPView::cmdPrV_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &fPView::cmdPrint_Click);
    connect(cmdSet, &QPushButton::clicked, this, [this] { DoSelPrint(true); });
    connect(CmdToOut, &QPushButton::clicked, this, &fPView::CmdToOut_Click);
}

fPView::~fPView() {
    delete ui;
}

void fPView::setStitle(const QString& NewTitle) {
    for (QLabel* label : LblTitle)
        label->setText(NewTitle);
    m_title = NewTitle;
}

qint64 fPView::recordCount() const {
    qint64 count = 0;
    SkipOnError([&] {
        if (rFill) count = rFill->RecordCount();
    });
    return count;
}

int fPView::pageRows() const {
    return roundHalfEven(nListNum);
}

void fPView::setCountLine(const QString& text) {
    lblNUM[0]->setText(text);
    lblNUM[1]->setText(lblNUM[0]->text());
}

void fPView::doFill(bool bR, const RecordsetPtr& R) {
    if (bR) {
        rFill = R;
    } else {
        // A set of our own: reopening the caller's object would pull it from under its owner.
        auto opened = std::make_shared<Recordset>();
        rFill = opened;
        SkipOnError([&] { opened->Open(rName, gConn, ado::adOpenStatic); });
    }
    // A new set comes in its own order.
    m_orderField = -1;
    m_descending = false;
    const qint64 count = recordCount();
    if (count < 1) {
        Lvw->clearRows();
        setCountLine(m_title + QStringLiteral("  总数: 0 "));
        return;
    }
    SkipOnError([&] {
        rFill->MoveLast();
        rFill->MoveFirst();
    });
    setCountLine(m_title + QStringLiteral("  总数: ") + QString::number(count));
    ShowForm(this);
    SkipOnError([&] { resetHiddenColumns(rFill->FieldCount() + 1); });
    doListFill();
    setFocus();
}

void fPView::doListFill() {
    setCursor(Qt::WaitCursor);
    BuildColumns();
    readRows();
    unsetCursor();
    Lvw->setTag(m_title);
}

void fPView::BuildColumns() {
    Lvw->clearColumns();
    m_shownFields.clear();
    m_types.clear();
    if (bXuHao) Lvw->setNumberColumn(Lvw->addColumn(QStringLiteral("序号")));
    SkipOnError([&] {
        if (!rFill) return;
        for (int i = 0; i < rFill->FieldCount(); ++i) {
            Field field = rFill->Fields(i);
            m_types.append(field.Type());
            if (!IsListedField(i, field.Type())) continue;
            m_shownFields.append(i);
            const int column = Lvw->addColumn(field.Name());
            if (field.Type() == ado::adDate) Lvw->setDateColumn(column);
            if (IsNumberField(field.Name(), field.Type())) Lvw->setNumberColumn(column);
        }
    });
}

void fPView::readRows() {
    gStatusPanel.setText(QStringLiteral("正在加载数据..."));
    auto reader = std::make_shared<Recordset>();
    m_sameBookmarks = true;
    QString slowOrder;
    SkipOnError([&] {
        if (!rFill) return;
        // In the set's own order the list reads beside the form's cursor, from the rows found.
        if (m_orderField < 0) {
            reader = rFill->Clone();
            return;
        }
        const QString column = rFill->Fields(m_orderField).Name();
        const OrderedStatement ordered = orderedBy(rFill->statement(), column, m_descending);
        m_sameBookmarks = ordered.sameBookmarks;
        // A long list ordered by a column no index leads with is sorted whole by the database.
        if (recordCount() > kQuickSortRows &&
            (ordered.table.isEmpty() || !hasLeadingIndex(gConn, ordered.table, column)))
            slowOrder = QStringLiteral("该列没有索引，排序较慢");
        if (!slowOrder.isEmpty()) gStatusPanel.setText(slowOrder);
        reader->Open(ordered.statement, gConn, ado::adOpenStatic);
    });
    qint64 count = 0;
    SkipOnError([&] {
        if (reader->State() == ado::adStateOpen) count = reader->RecordCount();
    });
    // The list holds the set it reads from, and lets go of it with its rows.
    Lvw->setVirtualRows(count,
                        [this, reader](qint64 first, int rows) { return rowsFrom(*reader, first, rows); });
    showFrom(0);
    gStatusPanel.setText(slowOrder.isEmpty() ? QStringLiteral("就绪") : slowOrder);
}

QList<ListRow> fPView::rowsFrom(Recordset& reader, qint64 first, int count) const {
    QList<ListRow> rows;
    bool placed = false;
    SkipOnError([&] {
        reader.setAbsolutePosition(first + 1);
        placed = true;
    });
    if (!placed) return rows;
    // The row's text is the row number or the first field shown, its cells the other fields.
    const QVector<int> cellFields = bXuHao ? m_shownFields : m_shownFields.mid(1);
    const auto cellOf = [&](int field) {
        QString text;
        SkipOnError([&] { text = CellText(reader.Fields(field).Value(), m_types.value(field)); });
        return text;
    };
    const auto atEnd = [&] {
        bool end = true;
        SkipOnError([&] { end = reader.IsEOF(); });
        return end;
    };
    for (int r = 0; r < count && !atEnd(); ++r) {
        ListRow row;
        row.cells << (bXuHao                    ? QString::number(first + r + 1)
                      : m_shownFields.isEmpty() ? QString()
                                                : cellOf(m_shownFields.first()));
        for (int field : cellFields)
            row.cells << cellOf(field);
        if (m_sameBookmarks) SkipOnError([&] { row.mark = reader.bookmark(); });
        rows << row;
        SkipOnError([&] { reader.MoveNext(); });
    }
    return rows;
}

void fPView::showFrom(qint64 row) {
    const int rows = Lvw->rowCount();
    if (rows > 0) {
        const int first = int(std::clamp<qint64>(row, 0, rows - 1));
        Lvw->scrollToTop(first);
        Lvw->makeCurrent(first);
    }
    shownRowsChanged();
}

int fPView::pageStart() const {
    // The page the operator is on starts at the current row while it is in sight; after scrolling
    // away from it, at the top row.
    const int current = Lvw->currentRow();
    const int top = Lvw->topRow();
    return current >= top && current <= Lvw->bottomRow() ? current : top;
}

void fPView::shownRowsChanged() {
    const int rows = Lvw->rowCount();
    const int start = pageStart();
    cmdNext->setEnabled(rows > 0 && start + pageRows() < rows);
    cmdPre->setEnabled(start > 0);
    // Which rows are in sight, told where the eye is when scrolling: on the scroll bar and the count.
    const QString note = rows > 0 ? QStringLiteral("第 %1–%2 条，共 %3 条")
                                        .arg(Lvw->topRow() + 1)
                                        .arg(Lvw->bottomRow() + 1)
                                        .arg(rows)
                                  : QString();
    Lvw->reportView()->verticalScrollBar()->setToolTip(note);
    for (QLabel* label : lblNUM)
        label->setToolTip(note);
}

void fPView::followCurrentRow(int row) {
    const qint64 mark = Lvw->rowMark(row);
    if (mark >= 0) SkipOnError([&] { rFill->setBookmark(mark); });
    shownRowsChanged();
}

void fPView::cmdNext_Click() {
    showFrom(qint64(pageStart()) + pageRows());
}

void fPView::cmdPre_Click() {
    const int start = pageStart();
    if (start < 1) {
        cmdPre->setEnabled(false);
        return;
    }
    showFrom(std::max(0, start - pageRows()));
}

void fPView::cmdAll_Click() {
    const qint64 count = recordCount();
    if (count > kMostRows) {
        MsgBox(QStringLiteral("列表内容太多"), vb::OKOnly | vb::Exclamation);
        return;
    }
    // A page size of 0 would leave every later list empty.
    if (count < 1) return;
    nListNum = float(count);
    showFrom(0);
}

void fPView::cmdListCount_Click() {
    const auto answer = InputBox(QStringLiteral("请输入列表数目:"), QString(), QString::number(nListNum));
    const double number = answer ? leadingNumber(*answer) : 0.0;
    if (number > double(kMostRows)) {
        MsgBox(QStringLiteral("数值太大"), vb::OKOnly | vb::Exclamation);
        return;
    }
    if (number <= 1) return;
    nListNum = float(number);
    doListFill();
}

void fPView::cmdListCol_Click() {
    gListOwner = QStringLiteral("fPView");
    fToList* chooser = fToList::instance();
    chooser->show();
    chooser->raise();
    chooser->activateWindow();
}

void fPView::Lvw_ColumnClick(int column) {
    // One order for the whole list: every click flips it, whichever column was clicked before. The
    // database orders the rows, so numbers and dates sort as such; 序号 stands for the set's own order.
    const int field = m_shownFields.value(bXuHao ? column - 1 : column, -1);
    if (column < 0 || column >= Lvw->columnCount()) return;
    m_descending = !m_descending;
    m_orderField = field;
    setCursor(Qt::WaitCursor);
    readRows();
    unsetCursor();
}

void fPView::Lvw_DblClick(int row) {
    if (row < 0 || row >= Lvw->rowCount()) return;
    QString details;
    const int cells = std::min(Lvw->cellCount(row), Lvw->columnCount() - 1);
    for (int i = 1; i <= cells; ++i)
        details += QLatin1Char('\n') + Lvw->columnText(i) + QStringLiteral(" :  ") + Lvw->subItem(row, i);
    MsgBox(details, vb::OKOnly | vb::Information, Lvw->text(row));
}

void fPView::cmdPrV_Click() {
    PrintList(true, Lvw, m_title);
}

void fPView::cmdPrint_Click() {
    PrintList(false, Lvw, m_title);
}

void fPView::CmdToOut_Click() {
    SkipOnError([&] { ExportList(Lvw, m_title); });
}

void fPView::DoSelPrint(bool bShow) {
    const QList<int> selected = Lvw->selectedRows();
    if (!ConfirmLongAction(selected.size(), kLongPrintRows, QStringLiteral("打印所选"))) return;
    PrintRows(bShow, ColumnsOfList(Lvw).headers, int(selected.size()), RowReaderOfRows(Lvw, selected), m_title,
              1);
}

void fPView::makeCurrentList() {
    gCurList = Lvw;
    Lvw->setTag(m_title);
}

bool fPView::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        makeCurrentList();
        break;
    case QEvent::ParentChange:
        // As an MDI child the window is activated through its frame.
        if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
            connect(frame, &QMdiSubWindow::aboutToActivate, this, &fPView::makeCurrentList,
                    Qt::UniqueConnection);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void fPView::closeEvent(QCloseEvent* event) {
    // The close box only hides: the set, page size and column choice wait for the next use.
    event->ignore();
    HideForm(this);
}

void fPView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    LblBackColor->setGeometry(0, 0, w, h);
    const int top = Lvw->y();
    const int listHeight = std::max(0, h - top - cmdPrint->height() - px(200));
    Lvw->setGeometry(0, top, w, listHeight);
    const int buttonTop = top + listHeight + px(100);
    for (QPushButton* button :
         {cmdPrV, cmdPrint, cmdSet, CmdToOut, cmdNext, cmdPre, cmdAll, cmdListCount, cmdListCol})
        button->move(button->x(), buttonTop);
}
