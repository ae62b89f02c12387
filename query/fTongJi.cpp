#include "fTongJi.h"
#include "ui_fTongJi.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "FillResultList.h"
#include "fmenu.h"
#include "ListTable.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "WidgetDialogs.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QGraphicsScene>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QValueAxis>

namespace {

QPointer<fTongJi> theInstance;

} // namespace

fTongJi* fTongJi::instance() {
    if (!theInstance) theInstance = new fTongJi;
    return theInstance;
}

fTongJi::fTongJi(QWidget* parent) : QWidget(parent), ui(new Ui::fTongJi) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    m_chartView = new QChartView(new QChart, ui->picChart);
    m_chartView->setObjectName(QStringLiteral("chartView"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    ui->layChart->addWidget(m_chartView);
    ui->splMain->setStretchFactor(0, 2);
    ui->splMain->setStretchFactor(1, 3);
    ui->LV->setGridLines(true);

    for (const StatDimensionDef& def : statDimensions())
        ui->cboXiangMu->addItem(def.caption);
    connect(ui->cboXiangMu, &QComboBox::activated, this, &fTongJi::cboXiangMu_Click);
    connect(ui->cmdPrV, &QPushButton::clicked, this, &fTongJi::cmdPrV_Click);
    connect(ui->cmdPrint, &QPushButton::clicked, this, &fTongJi::cmdPrint_Click);
    connect(ui->CmdToOut, &QPushButton::clicked, this, &fTongJi::CmdToOut_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &fTongJi::cmdClose_Click);
    OnEscape(this, [this] { cmdClose_Click(); });
    connect(ui->LV, &ListView::mousePressed, this, [this] { gCurList = ui->LV; });
    connect(ui->LV, &ListView::rightButtonReleased, fmenu::instance(), &fmenu::popUpAt);

    showDimension(statDimensions().first().dimension);
}

fTongJi::~fTongJi() {
    delete ui;
}

ListView* fTongJi::resultList() const {
    return ui->LV;
}

QChart* fTongJi::chart() const {
    return m_chartView->chart();
}

void fTongJi::cboXiangMu_Click(int index) {
    if (index >= 0 && index < statDimensions().size()) showDimension(statDimensions()[index].dimension);
}

void fTongJi::showDimension(StatDimension dimension) {
    for (int i = 0; i < statDimensions().size(); ++i)
        if (statDimensions()[i].dimension == dimension) ui->cboXiangMu->setCurrentIndex(i);
    setCursor(Qt::WaitCursor);
    const bool counted =
        ReportAndGoOn([&] { m_table = computeStatistics(gConn, dimension, QDate::currentDate()); });
    unsetCursor();
    if (!counted) return;
    fillList();
    buildChart();
}

void fTongJi::fillList() {
    FillListFromTable(m_table.asListTable(), ui->LV);
    ui->LV->setTag(m_table.title);
}

void fTongJi::buildChart() {
    auto* chart = new QChart;
    chart->setTitle(m_table.title);
    auto* series = new QBarSeries;
    qint64 highest = 0;
    for (int s = 0; s < m_table.series.size(); ++s) {
        auto* set = new QBarSet(m_table.series[s]);
        for (int row = 0; row < m_table.categories.size(); ++row) {
            *set << double(m_table.counts[row][s]);
            highest = std::max(highest, m_table.counts[row][s]);
        }
        series->append(set);
    }
    chart->addSeries(series);
    auto* categories = new QBarCategoryAxis;
    categories->append(m_table.categories);
    // Twelve months or twenty years do not fit side by side.
    if (m_table.categories.size() > 6) categories->setLabelsAngle(-90);
    // Qt would shorten a turned year to "…" when a bar is narrower than the label is high; a
    // smaller type keeps thirty years apart.
    categories->setTruncateLabels(false);
    if (m_table.categories.size() > 20) {
        QFont small = categories->labelsFont();
        small.setPixelSize(9);
        categories->setLabelsFont(small);
    }
    chart->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
    // Whole-number ticks, about six of them, 1, 2 or 5 times a power of ten apart.
    qint64 step = 1;
    for (qint64 power = 1; highest / step > 6; power *= 10)
        for (qint64 multiple : {1, 2, 5})
            if (highest / step > 6) step = multiple * power;
    const qint64 top = std::max<qint64>(1, (highest + step - 1) / step) * step;
    auto* counts = new QValueAxis;
    counts->setRange(0, double(top));
    counts->setTickType(QValueAxis::TicksDynamic);
    counts->setTickAnchor(0);
    counts->setTickInterval(double(step));
    counts->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(counts, Qt::AlignLeft);
    series->attachAxis(counts);
    chart->legend()->setAlignment(Qt::AlignBottom);
    QChart* old = m_chartView->chart();
    m_chartView->setChart(chart);
    delete old;
}

void fTongJi::paint(QPrinter* printer) {
    QPainter painter(printer);
    const QRect area(QPoint(0, 0), printer->pageLayout().paintRectPixels(printer->resolution()).size());
    QFont body(QStringLiteral("宋体"));
    body.setPointSizeF(10);
    QFont heading = body;
    heading.setPointSizeF(16);
    heading.setBold(true);
    const int line = QFontMetrics(body, printer).height() * 3 / 2;

    int y = 0;
    painter.setFont(heading);
    const int headingHeight = QFontMetrics(heading, printer).height() * 2;
    painter.drawText(QRect(0, y, area.width(), headingHeight), Qt::AlignCenter, m_table.title);
    y += headingHeight;

    // The chart as it is on screen, drawn at the printer's resolution.
    const QRect chartArea(0, y, area.width(), area.height() * 2 / 5);
    // Laid out once more in the page's proportions, so it fills the width instead of shrinking.
    QChart* shown = m_chartView->chart();
    const QSizeF onScreen = shown->size();
    shown->resize(QSizeF(900, 900.0 * chartArea.height() / chartArea.width()));
    m_chartView->scene()->render(&painter, chartArea, shown->sceneBoundingRect());
    shown->resize(onScreen);
    y = chartArea.bottom() + line;

    const ListTable table = m_table.asListTable();
    const int columnWidth = area.width() / std::max<int>(1, int(table.headers.size()));
    painter.setFont(body);
    const auto drawRow = [&](const QStringList& cells, bool header) {
        if (header)
            painter.fillRect(QRect(0, y, columnWidth * int(cells.size()), line), QColor(225, 225, 225));
        for (int column = 0; column < cells.size(); ++column) {
            const QRect cell(column * columnWidth, y, columnWidth, line);
            painter.drawRect(cell);
            painter.drawText(
                cell.adjusted(line / 4, 0, -line / 4, 0),
                (column == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter,
                QFontMetrics(body, printer).elidedText(cells[column], Qt::ElideRight, cell.width()));
        }
        y += line;
    };
    drawRow(table.headers, true);
    for (const QStringList& row : table.rows) {
        // A long table goes on over further pages, its header row repeated.
        if (y + line > area.height()) {
            printer->newPage();
            y = 0;
            drawRow(table.headers, true);
        }
        drawRow(row, false);
    }
}

void fTongJi::cmdPrV_Click() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_table.title);
    PreviewPages(
        printer, [this](QPrinter* target) { paint(target); }, m_table.title, int(m_table.categories.size()), this);
}

void fTongJi::cmdPrint_Click() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(m_table.title);
    PrintPages(
        printer, [this](QPrinter* target) { paint(target); }, m_table.title, int(m_table.categories.size()), this);
}

void fTongJi::CmdToOut_Click() {
    SkipOnError([&] { ExportList(ui->LV, m_table.title); });
}

void fTongJi::cmdClose_Click() {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

void fTongJi::closeEvent(QCloseEvent* event) {
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget())) frame->setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}
