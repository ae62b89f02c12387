#include "ListPrinter.h"

#include "dialogs.h"
#include "ListTable.h"
#include "ListView.h"
#include "WidgetDialogs.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>

namespace {

constexpr double kDefaultMarginMm = 15;
constexpr double kDefaultFontSize = 10;
constexpr double kSmallestFontSize = 7;
constexpr double kFontStep = 0.5;
const QString kDefaultFontName = QStringLiteral("宋体");

QStringList noteTexts(const QVariantList& notes) {
    QStringList texts;
    for (const QVariant& note : notes) {
        const QString text = note.typeId() == QMetaType::QDate
                                 ? note.toDate().toString(QStringLiteral("yyyy-MM-dd"))
                                 : note.toString();
        if (!text.isEmpty()) texts << text;
    }
    return texts;
}

QFont headingFont(const QFont& body) {
    QFont font = body;
    font.setPointSizeF(body.pointSizeF() * 1.6);
    font.setBold(true);
    return font;
}

// The row of PrintSetup kept for a title; false when there is none.
bool findSettings(Recordset& setup, const QString& title) {
    if (setup.RecordCount() < 1) return false;
    setup.MoveFirst();
    setup.Find(QStringLiteral("Title = ") + QuoteLiteral(title));
    return !setup.IsEOF();
}

// Line breaks of any kind become the separator text layout breaks at.
QString printedText(const QString& text) {
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) return text;
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    lines.replace(QLatin1Char('\r'), QChar::LineSeparator);
    lines.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return lines;
}

// Where a line may break between characters: at blanks and around CJK characters.
bool breaksAround(QChar ch) {
    return ch.isSpace() || ch.unicode() >= 0x2E80;
}

// What a column needs: its widest line (natural), and the narrowest width it still reads well at
// (enough): no word broken, a name or a short remark on one line, a header on at most two lines.
struct ColumnNeed {
    qreal natural = 0;
    qreal enough = 0;
};

// A CJK character is the widest word of a CJK text; a text reads well at this many of them.
constexpr int kEnoughCharacters = 6;

struct TextWidths {
    qreal natural = 0;
    qreal widestWord = 0;
};

void measureText(const QString& text, const QFontMetricsF& metrics, qreal cjkWidth, TextWidths& widths) {
    for (const QString& line : text.split(QChar::LineSeparator)) {
        const qreal width = metrics.horizontalAdvance(line);
        widths.natural = std::max(widths.natural, width);
        if (width <= widths.widestWord) continue;
        if (std::none_of(line.begin(), line.end(), breaksAround)) {
            widths.widestWord = width;
            continue;
        }
        qsizetype wordStart = 0;
        for (qsizetype i = 0; i <= line.size(); ++i) {
            if (i < line.size() && !breaksAround(line[i])) continue;
            if (i < line.size() && !line[i].isSpace())
                widths.widestWord = std::max(widths.widestWord, cjkWidth);
            if (i > wordStart)
                widths.widestWord = std::max(widths.widestWord,
                                             metrics.horizontalAdvance(line.mid(wordStart, i - wordStart)));
            wordStart = i + 1;
        }
    }
}

// The needs of the columns, from the rows added one at a time: only the widest texts are kept.
class ColumnMeasure {
public:
    ColumnMeasure(const QStringList& headers, const QFontMetricsF& metrics)
        : m_headers(headers), m_metrics(metrics), m_cjkWidth(metrics.horizontalAdvance(QChar(0x4E2D))),
          m_cells(headers.size()) {}

    void add(const QStringList& row) {
        for (int column = 0; column < m_headers.size(); ++column)
            measureText(printedText(row.value(column)), m_metrics, m_cjkWidth, m_cells[column]);
    }

    QList<ColumnNeed> needs() const {
        QList<ColumnNeed> needs;
        for (int column = 0; column < m_headers.size(); ++column) {
            const QString header = printedText(m_headers[column]);
            const qreal headerWidth = m_metrics.horizontalAdvance(header);
            const bool breakable = std::any_of(header.begin(), header.end(), breaksAround);
            const qreal headerEnough =
                breakable ? m_metrics.horizontalAdvance(header.left((header.size() + 1) / 2)) : headerWidth;
            const TextWidths& cell = m_cells[column];
            const qreal cellEnough =
                std::min(cell.natural, std::max(cell.widestWord, m_cjkWidth * kEnoughCharacters));
            needs << ColumnNeed{std::max(headerWidth, cell.natural),
                                std::max({headerEnough, cellEnough, cell.widestWord})};
        }
        return needs;
    }

private:
    const QStringList& m_headers;
    const QFontMetricsF& m_metrics;
    qreal m_cjkWidth;
    QList<TextWidths> m_cells;
};

// Widths for `columns` in `available`, each at least what it needs to read well (no word wider
// than a third of the page is kept whole); empty when they cannot fit.
QList<int> allocateWidths(const QList<ColumnNeed>& needs, const QList<int>& columns, qreal scale,
                          qreal padding, int available) {
    const qreal widestWord = available / 3.0;
    QList<qreal> least, natural;
    for (int column : columns) {
        natural << needs[column].natural * scale + padding;
        least << std::min(needs[column].enough * scale, widestWord) + padding;
    }
    const qreal leastTotal = std::accumulate(least.begin(), least.end(), qreal(0));
    const qreal naturalTotal = std::accumulate(natural.begin(), natural.end(), qreal(0));
    if (leastTotal > available) return {};
    QList<int> widths;
    for (int i = 0; i < columns.size(); ++i) {
        // What is left beyond the least widths goes to the columns that would wrap, by how much.
        const qreal share = naturalTotal <= available ? natural[i] - least[i]
                                                      : (natural[i] - least[i]) * (available - leastTotal) /
                                                            (naturalTotal - leastTotal);
        widths << int(std::floor(least[i] + share));
    }
    return widths;
}

// The key column, with the row number before it when the list shows one.
QList<int> keyColumns(const QStringList& headers) {
    if (headers.size() > 1 && headers.first() == QStringLiteral("序号")) return {0, 1};
    return {0};
}

// Columns in page-wide groups, each starting with the key columns.
QList<QList<int>> columnGroups(const QList<ColumnNeed>& needs, const QStringList& headers, qreal padding,
                               int available) {
    QList<int> all(headers.size());
    std::iota(all.begin(), all.end(), 0);
    if (!allocateWidths(needs, all, 1, padding, available).isEmpty()) return {all};
    const QList<int> keys = keyColumns(headers);
    QList<QList<int>> groups;
    QList<int> group = keys;
    for (int column = int(keys.size()); column < headers.size(); ++column) {
        QList<int> wider = group;
        wider << column;
        if (group.size() > keys.size() && allocateWidths(needs, wider, 1, padding, available).isEmpty()) {
            groups << group;
            wider = keys;
            wider << column;
        }
        group = wider;
    }
    groups << group;
    return groups;
}

// Text may run into the right padding a little: laid-out glyphs come out slightly wider than
// measured, and a word must not break for that.
qreal lineWidth(int cellWidth, int padding) {
    return cellWidth - padding;
}

QTextOption cellOption() {
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Lays the text out in lines of `width`; returns the height the lines take.
qreal layOutLines(QTextLayout& layout, qreal width) {
    layout.setTextOption(cellOption());
    layout.beginLayout();
    qreal height = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

} // namespace

// The column needs of the loaded rows in one font on one resolution.
struct ListPrinter::Measured {
    QFont font;
    int resolution = 0;
    QList<ColumnNeed> needs;
};

struct ListPrinter::Layout {
    QFont font;
    int padding = 0;         // left and right of a cell's text
    int verticalPadding = 0; // above and below it
    int lineHeight = 0;      // a one-line row
    QList<QList<int>> groups;
    QList<QList<int>> widths; // per group, in the group's column order
    int headerHeight = 0;
    QList<Page> pages;
};

void ListPrinter::SetPageNotes(const QVariantList& footerNotes, const QVariantList& headNotes) {
    m_footerNotes = noteTexts(footerNotes);
    m_headNotes = noteTexts(headNotes);
}

bool ListPrinter::LoadList() {
    if (!m_list || m_list->columnCount() < 1) return false;
    m_list->loadAllRows();
    load(ColumnsOfList(m_list).headers, m_list->rowCount(), RowReaderOfList(m_list));
    return true;
}

bool ListPrinter::LoadRows(const QStringList& headers, const QStringList& cells) {
    if (headers.isEmpty()) return false;
    const qsizetype width = headers.size();
    m_note.clear();
    load(headers, int((cells.size() + width - 1) / width), [cells, width](qint64 first, int count) {
        QList<ListRow> rows;
        for (qint64 row = first; row < first + count && row * width < cells.size(); ++row) {
            // A short last row is padded rather than dropped.
            QStringList cellsOfRow = cells.mid(row * width, width);
            while (cellsOfRow.size() < width)
                cellsOfRow << QString();
            rows << ListRow{cellsOfRow};
        }
        return rows;
    });
    return true;
}

bool ListPrinter::LoadRows(const QStringList& headers, int rowCount, ListRowReader read) {
    if (headers.isEmpty()) return false;
    m_note.clear();
    load(headers, rowCount, std::move(read));
    return true;
}

void ListPrinter::load(const QStringList& headers, int rowCount, ListRowReader read) {
    m_headers = headers;
    m_rowCount = rowCount;
    m_read = std::move(read);
    m_measured.reset();
}

void ListPrinter::forEachRow(int first, int count,
                             const std::function<void(int row, const QStringList& cells)>& visit) const {
    const int end = std::min(first + count, m_rowCount);
    for (int chunk = first; chunk < end; chunk += kRowsPerRead) {
        const QList<ListRow> rows = m_read(chunk, std::min(kRowsPerRead, end - chunk));
        for (int i = 0; i < int(rows.size()); ++i)
            if (!rows[i].cells.isEmpty()) visit(chunk + i, rows[i].cells);
    }
}

QList<QStringList> ListPrinter::rows(int first, int count) const {
    QList<QStringList> rows;
    forEachRow(first, count, [&](int, const QStringList& cells) { rows << cells; });
    return rows;
}

std::shared_ptr<const ListPrinter::Measured> ListPrinter::measured(const QFont& font,
                                                                   const QPrinter& printer) const {
    if (m_measured && m_measured->font == font && m_measured->resolution == printer.resolution())
        return m_measured;
    const QFontMetricsF metrics(font, &printer);
    ColumnMeasure measure(m_headers, metrics);
    forEachRow(0, m_rowCount, [&](int, const QStringList& cells) { measure.add(cells); });
    return std::make_shared<const Measured>(Measured{font, printer.resolution(), measure.needs()});
}

bool ListPrinter::Execute(const RecordsetPtr& setup, const QString& title) {
    if (m_headers.isEmpty()) return false;
    m_setup = setup;
    m_pageLayout =
        QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                    QMarginsF(kDefaultMarginMm, kDefaultMarginMm, kDefaultMarginMm, kDefaultMarginMm),
                    QPageLayout::Millimeter);
    m_font = QFont(kDefaultFontName);
    m_font.setPointSizeF(kDefaultFontSize);
    if (m_setup && findSettings(*m_setup, title)) {
        const auto number = [&](const char* column) {
            return m_setup->Fields(QString::fromLatin1(column)).Value().toDouble();
        };
        const QString paper = m_setup->Fields(QStringLiteral("PaperSize")).Value().toString();
        const QPageSize size = paper == QLatin1String("A3")       ? QPageSize(QPageSize::A3)
                               : paper == QLatin1String("B5")     ? QPageSize(QPageSize::B5)
                               : paper == QLatin1String("Letter") ? QPageSize(QPageSize::Letter)
                                                                  : QPageSize(QPageSize::A4);
        m_pageLayout =
            QPageLayout(size, number("Orientation") == 1 ? QPageLayout::Landscape : QPageLayout::Portrait,
                        QMarginsF(number("MarginLeft"), number("MarginTop"), number("MarginRight"),
                                  number("MarginBottom")),
                        QPageLayout::Millimeter);
        m_font = QFont(m_setup->Fields(QStringLiteral("FontName")).Value().toString());
        m_font.setPointSizeF(std::max(4.0, number("FontSize")));
        fitToPage(true);
    } else {
        fitToPage(false);
    }
    if (m_preview) {
        QPrinter printer(QPrinter::HighResolution);
        preparePrinter(printer);
        ShowPrintPreview(printer, [this](QPrinter* target) { paint(target); });
        keepSettings(printer);
    }
    return true;
}

QString PrintDestination(const QPrinter& printer) {
    return printer.outputFileName().isEmpty() ? QStringLiteral("打印机 ") + printer.printerName()
                                              : QStringLiteral("文件 ") + printer.outputFileName();
}

bool ListPrinter::PrintOut(int copies) {
    if (m_headers.isEmpty()) return false;
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer);
    printer.setCopyCount(std::max(1, copies));
    if (!ShowPrinter(printer)) return false;
    paint(&printer);
    keepSettings(printer);
    m_printedTo = PrintDestination(printer);
    return true;
}

void ListPrinter::preparePrinter(QPrinter& printer) const {
    printer.setDocName(m_title);
    printer.setPageLayout(m_pageLayout);
}

void ListPrinter::keepSettings(const QPrinter& printer) {
    if (!m_adminMode || !m_setup) return;
    const QPageLayout layout = printer.pageLayout();
    const QMarginsF margins = layout.margins(QPageLayout::Millimeter);
    if (!findSettings(*m_setup, m_title)) {
        m_setup->AddNew();
        m_setup->Fields(QStringLiteral("Title")).setValue(m_title);
    }
    const QString paper = layout.pageSize().id() == QPageSize::A3       ? QStringLiteral("A3")
                          : layout.pageSize().id() == QPageSize::B5     ? QStringLiteral("B5")
                          : layout.pageSize().id() == QPageSize::Letter ? QStringLiteral("Letter")
                                                                        : QStringLiteral("A4");
    m_setup->Fields(QStringLiteral("Orientation"))
        .setValue(layout.orientation() == QPageLayout::Landscape ? 1 : 0);
    m_setup->Fields(QStringLiteral("PaperSize")).setValue(paper);
    m_setup->Fields(QStringLiteral("MarginLeft")).setValue(margins.left());
    m_setup->Fields(QStringLiteral("MarginTop")).setValue(margins.top());
    m_setup->Fields(QStringLiteral("MarginRight")).setValue(margins.right());
    m_setup->Fields(QStringLiteral("MarginBottom")).setValue(margins.bottom());
    m_setup->Fields(QStringLiteral("FontName")).setValue(m_font.family());
    m_setup->Fields(QStringLiteral("FontSize")).setValue(m_font.pointSizeF());
    m_setup->Update();
}

void ListPrinter::fitToPage(bool orientationSaved) {
    // Measured once at the set size; smaller sizes scale the widths with the size.
    QPrinter printer(QPrinter::HighResolution);
    const QFontMetricsF metrics(m_font, &printer);
    m_measured = measured(m_font, printer);
    const QList<ColumnNeed> needs = m_measured->needs;
    QList<int> all(m_headers.size());
    std::iota(all.begin(), all.end(), 0);
    const double setSize = m_font.pointSizeF();
    QList<QPageLayout::Orientation> orientations{m_pageLayout.orientation()};
    if (!orientationSaved) orientations = {QPageLayout::Portrait, QPageLayout::Landscape};
    m_printFont = m_font;
    for (const QPageLayout::Orientation orientation : orientations) {
        m_pageLayout.setOrientation(orientation);
        const int available = m_pageLayout.paintRectPixels(printer.resolution()).width();
        // The set size first in each orientation; shrinking only once landscape is taken.
        const double smallest =
            orientation == orientations.last() ? std::min(setSize, kSmallestFontSize) : setSize;
        for (double size = setSize; size >= smallest - 1e-9; size -= kFontStep) {
            const qreal scale = size / setSize;
            if (!allocateWidths(needs, all, scale, std::ceil(metrics.height() * scale / 4) * 2, available)
                     .isEmpty()) {
                m_printFont.setPointSizeF(size);
                // The pages are laid out in that size: measured now, once.
                m_measured = measured(m_printFont, printer);
                return;
            }
        }
    }
    // Too wide even so: the smallest size, and the columns continue on following pages.
    m_printFont.setPointSizeF(std::min(setSize, kSmallestFontSize));
    m_measured = measured(m_printFont, printer);
}

ListPrinter::Layout ListPrinter::layOutTable(QPrinter& printer) const {
    Layout layout;
    layout.font = m_printFont;
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QFontMetricsF metrics(layout.font, &printer);
    layout.padding = int(std::ceil(metrics.height() / 4));
    layout.verticalPadding = int(std::ceil(metrics.height() / 4));
    layout.lineHeight = int(std::ceil(metrics.height())) + layout.verticalPadding * 2;
    const QList<ColumnNeed> needs = measured(layout.font, printer)->needs;
    layout.groups = columnGroups(needs, m_headers, layout.padding * 2, area.width());
    for (const QList<int>& group : layout.groups) {
        QList<int> widths = allocateWidths(needs, group, 1, layout.padding * 2, area.width());
        if (widths.isEmpty()) // wider than the page even alone: each column gets its share
            for (int i = 0; i < group.size(); ++i)
                widths << area.width() / int(group.size());
        layout.widths << widths;
    }
    layout.headerHeight = rowHeight(layout, metrics, printer, m_headers);

    const QFontMetrics heading(headingFont(layout.font), &printer);
    int headHeight = heading.height() * 2 + layout.headerHeight;
    if (!m_note.isEmpty()) headHeight += layout.lineHeight;
    if (!m_headNotes.isEmpty()) headHeight += layout.lineHeight;
    const int bodyHeight = area.height() - headHeight - layout.lineHeight * 2; // the footer and a gap

    // Rows by page, as many as fit (a page's first row however high it is); every band of rows is
    // printed once per column group, one page after the other. Only the bands are kept.
    QList<std::pair<int, int>> bands;
    int first = 0;
    int used = 0;
    bool started = false; // the band has a row
    forEachRow(0, m_rowCount, [&](int row, const QStringList& cells) {
        const int height = rowHeight(layout, metrics, printer, cells);
        if (started && used + height > bodyHeight) {
            bands << std::pair{first, row - first};
            first = row;
            used = 0;
        }
        used += height;
        started = true;
    });
    bands << std::pair{first, m_rowCount - first};
    const int pages = int(bands.size() * layout.groups.size());
    const QString notes = m_footerNotes.join(QLatin1Char(' '));
    for (const auto& [firstRow, rowCount] : bands)
        for (const QList<int>& group : layout.groups) {
            Page page;
            page.firstRow = firstRow;
            page.rowCount = rowCount;
            page.columns = group;
            page.footer = QStringLiteral("%1    第%2页 共%3页")
                              .arg(notes)
                              .arg(layout.pages.size() + 1)
                              .arg(pages)
                              .trimmed();
            layout.pages << page;
        }
    return layout;
}

// A row is as high as its tallest cell on any of its pages.
int ListPrinter::rowHeight(const Layout& layout, const QFontMetricsF& metrics, QPaintDevice& device,
                           const QStringList& cells) const {
    qreal height = 0;
    for (int g = 0; g < layout.groups.size(); ++g)
        for (int i = 0; i < layout.groups[g].size(); ++i) {
            const QString text = printedText(cells.value(layout.groups[g][i]));
            const qreal inner = lineWidth(layout.widths[g][i], layout.padding);
            if (text.isEmpty()) continue;
            if (!text.contains(QChar::LineSeparator) && metrics.horizontalAdvance(text) <= inner) {
                height = std::max(height, metrics.height());
                continue;
            }
            QTextLayout lines(text, layout.font, &device);
            height = std::max(height, layOutLines(lines, inner));
        }
    return std::max(layout.lineHeight, int(std::ceil(height)) + layout.verticalPadding * 2);
}

QList<ListPrinter::Page> ListPrinter::layOut(QPrinter& printer) const {
    return layOutTable(printer).pages;
}

void ListPrinter::paint(QPrinter* printer) const {
    QPainter painter(printer);
    const Layout layout = layOutTable(*printer);
    const QRect area = printer->pageLayout().paintRectPixels(printer->resolution());
    for (int i = 0; i < layout.pages.size(); ++i) {
        if (i > 0) printer->newPage();
        // The painter draws relative to the printable area.
        paintPage(painter, QRect(QPoint(0, 0), area.size()), layout, layout.pages[i]);
    }
}

void ListPrinter::paintPage(QPainter& painter, const QRect& area, const Layout& layout,
                            const Page& page) const {
    const int line = layout.lineHeight;
    int y = area.top();

    const QFont heading = headingFont(layout.font);
    painter.setFont(heading);
    const int headingHeight = QFontMetrics(heading, painter.device()).height() * 2;
    painter.drawText(QRect(area.left(), y, area.width(), headingHeight), Qt::AlignCenter, m_title);
    y += headingHeight;
    painter.setFont(layout.font);
    if (!m_note.isEmpty()) {
        painter.drawText(QRect(area.left(), y, area.width(), line), Qt::AlignCenter, m_note);
        y += line;
    }
    if (!m_headNotes.isEmpty()) {
        painter.drawText(QRect(area.left(), y, area.width(), line), Qt::AlignRight | Qt::AlignVCenter,
                         m_headNotes.join(QLatin1Char(' ')));
        y += line;
    }

    const int group = int(layout.groups.indexOf(page.columns));
    const QList<int>& widths = layout.widths[group];
    const int tableWidth = std::accumulate(widths.begin(), widths.end(), 0);
    const int verticalPadding = (line - QFontMetrics(layout.font, painter.device()).height()) / 2;
    const auto drawRow = [&](const QStringList& cells, int height, bool header) {
        int x = area.left();
        if (header) painter.fillRect(QRect(x, y, tableWidth, height), QColor(225, 225, 225));
        for (int i = 0; i < page.columns.size(); ++i) {
            const QRect cell(x, y, widths[i], height);
            QTextLayout text(printedText(cells.value(page.columns[i])), layout.font, painter.device());
            layOutLines(text, lineWidth(widths[i], layout.padding));
            text.draw(&painter, QPointF(x + layout.padding, y + verticalPadding));
            if (m_mode == RuledMode) painter.drawRect(cell);
            x += widths[i];
        }
        if (m_mode != RuledMode && header) painter.drawLine(area.left(), y + height, x, y + height);
        y += height;
    };
    drawRow(m_headers, layout.headerHeight, true);
    const QFontMetricsF metrics(layout.font, painter.device());
    forEachRow(page.firstRow, page.rowCount, [&](int, const QStringList& cells) {
        drawRow(cells, rowHeight(layout, metrics, *painter.device(), cells), false);
    });

    painter.drawText(QRect(area.left(), area.bottom() - line, area.width(), line),
                     Qt::AlignRight | Qt::AlignVCenter, page.footer);
}
