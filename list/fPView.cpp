#include "fPView.h"
#include "ui_fPView.h"

#include "basGlobal.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "FillResultList.h"
#include "fToList.h"
#include "fmenu.h"
#include "ListTable.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "WindowHost.h"

#include <cmath>
#include <QCloseEvent>
#include <QMdiSubWindow>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>

namespace {

constexpr qint64 kMostRows = 5000;

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
    m_afterPage = 0;
    if (bR) {
        rFill = R;
    } else {
        // A set of our own: reopening the caller's object would pull it from under its owner.
        auto opened = std::make_shared<Recordset>();
        rFill = opened;
        SkipOnError([&] { opened->Open(rName, gConn, ado::adOpenStatic); });
    }
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
    if (recordCount() > 0) SkipOnError([&] { rFill->MoveFirst(); });
    fillFromCursor();
    unsetCursor();
    Lvw->setTag(m_title);
}

void fPView::BuildColumns() {
    Lvw->clearColumns();
    if (bXuHao) Lvw->setNumberColumn(Lvw->addColumn(QStringLiteral("序号")));
    SkipOnError([&] {
        if (!rFill) return;
        for (int i = 0; i < rFill->FieldCount(); ++i) {
            Field field = rFill->Fields(i);
            if (!IsListedField(i, field.Type())) continue;
            const int column = Lvw->addColumn(field.Name());
            if (field.Type() == ado::adDate) Lvw->setDateColumn(column);
            if (IsNumberField(field.Name(), field.Type())) Lvw->setNumberColumn(column);
        }
    });
}

void fPView::FillPage() {
    gStatusPanel.setText(QStringLiteral("正在加载数据..."));
    nMoved = 0;
    QProgressBar* bar = Prb();
    bar->setVisible(true);
    setCursor(Qt::WaitCursor);
    progressStep = float(bar->maximum()) / nListNum;
    Lvw->clearRows();
    qint64 firstRecord = 0;
    SkipOnError([&] {
        if (rFill && !rFill->IsEOF() && !rFill->IsBOF()) firstRecord = rFill->AbsolutePosition();
    });

    // Which fields give the row text and the cells: the same rule BuildColumns used.
    QVector<int> types;
    SkipOnError([&] {
        if (rFill)
            for (int i = 0; i < rFill->FieldCount(); ++i)
                types.append(rFill->Fields(i).Type());
    });
    QVector<int> listed;
    for (int i = 0; i < types.size(); ++i)
        if (IsListedField(i, types[i])) listed.append(i);
    const int textField = bXuHao || listed.isEmpty() ? -1 : listed.takeFirst();

    const auto cellOf = [&](int field) {
        QString text;
        SkipOnError([&] { text = CellText(rFill->Fields(field).Value(), types[field]); });
        return text;
    };
    const auto atEnd = [&] {
        bool end = true;
        SkipOnError([&] { end = !rFill || rFill->IsEOF() || rFill->IsBOF(); });
        return end;
    };

    bool reachedEnd = false;
    const int rows = pageRows();
    Lvw->beginBatch();
    for (int r = 1; r <= rows; ++r) {
        if (atEnd()) {
            reachedEnd = true;
            break;
        }
        const int row = Lvw->addRow(bXuHao           ? QString::number(r)
                                    : textField >= 0 ? cellOf(textField)
                                                     : QString());
        SkipOnError([&] { Lvw->setRowMark(row, rFill->bookmark()); });
        for (int k = 0; k < listed.size(); ++k)
            Lvw->setSubItem(row, k + 1, cellOf(listed[k]));
        bar->setValue(int(progressStep * float(r)));
        SkipOnError([&] { rFill->MoveNext(); });
        nMoved++;
        if (atEnd()) {
            // The page ends with the last record; the cursor stays on it.
            SkipOnError([&] { rFill->MoveLast(); });
            nMoved--;
            reachedEnd = true;
            break;
        }
    }
    Lvw->endBatch();
    // A sorted list puts new rows in order; their numbers must still read 1..n from the top.
    if (bXuHao && Lvw->sorted()) renumberRows();
    const qint64 count = recordCount();
    Lvw->setCountNote(firstRecord > 0 && Lvw->rowCount() > 0
                          ? QStringLiteral("第 %1–%2 条，共 %3 条")
                                .arg(firstRecord)
                                .arg(firstRecord + Lvw->rowCount() - 1)
                                .arg(count)
                          : QString());
    SkipOnError([&] { m_afterPage = rFill ? rFill->AbsolutePosition() : 0; });
    endPage(!reachedEnd);
    Lvw->makeCurrent(0);
}

void fPView::followCurrentRow(int row) {
    const qint64 mark = Lvw->rowMark(row);
    if (mark >= 0) SkipOnError([&] { rFill->setBookmark(mark); });
}

void fPView::endPage(bool moreToCome) {
    cmdNext->setEnabled(moreToCome);
    unsetCursor();
    gStatusPanel.setText(QStringLiteral("就绪"));
    Prb()->hide();
}

void fPView::cmdNext_Click() {
    // The cursor follows the list's rows; the next page starts where this one stopped.
    if (m_afterPage > 0) SkipOnError([&] { rFill->setAbsolutePosition(m_afterPage); });
    fillFromCursor();
}

void fPView::fillFromCursor() {
    FillPage();
    if (m_afterPage > pageRows()) cmdPre->setEnabled(true);
}

void fPView::cmdPre_Click() {
    const qint64 start = m_afterPage - nMoved - pageRows();
    if (start < 1) {
        cmdPre->setEnabled(false);
        return;
    }
    SkipOnError([&] { rFill->setAbsolutePosition(start); });
    FillPage();
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
    SkipOnError([&] { rFill->MoveFirst(); });
    fillFromCursor();
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
    SkipOnError([&] {
        if (rFill) rFill->MoveFirst();
    });
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
    // One order for the whole list: every click flips it, whichever column was clicked before.
    const Qt::SortOrder order =
        Lvw->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    Lvw->setSorted(false);
    Lvw->setSortOrder(order);
    Lvw->setSortKey(column);
    Lvw->setSorted(true);
    if (bXuHao) renumberRows();
}

void fPView::renumberRows() {
    for (int row = 0; row < Lvw->rowCount(); ++row)
        Lvw->setText(row, QString::number(row + 1));
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
    const ListTable table = TableOfList(Lvw);
    QStringList cells; // the selected rows one after the other; the header count gives the width
    for (int row : Lvw->selectedRows())
        cells << table.rows[row];
    PrintRows(bShow, table.headers, cells, m_title, 1);
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
