#include "ListPrinter.h"

#include "dialogs.h"
#include "ListTable.h"
#include "ListView.h"

#include <algorithm>
#include <numeric>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>

namespace {

constexpr double kDefaultMarginMm = 15;
constexpr double kDefaultFontSize = 10;
const QString kDefaultFontName = QStringLiteral("宋体");

QStringList noteTexts(const QVariantList& notes) {
    QStringList texts;
    for (const QVariant& note : notes) {
        const QString text = note.typeId() == QMetaType::QDate ? note.toDate().toString(QStringLiteral("yyyy-MM-dd"))
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

} // namespace

void ListPrinter::SetPageNotes(const QVariantList& footerNotes, const QVariantList& headNotes) {
    m_footerNotes = noteTexts(footerNotes);
    m_headNotes = noteTexts(headNotes);
}

bool ListPrinter::LoadList() {
    if (!m_list || m_list->columnCount() < 1) return false;
    const ListTable table = TableOfList(m_list);
    m_headers = table.headers;
    m_rows = table.rows;
    return true;
}

bool ListPrinter::LoadRows(const QStringList& headers, const QStringList& cells) {
    if (headers.isEmpty()) return false;
    m_headers = headers;
    m_rows.clear();
    // A short last row is padded rather than dropped.
    for (qsizetype first = 0; first < cells.size(); first += headers.size()) {
        QStringList row = cells.mid(first, headers.size());
        while (row.size() < headers.size())
            row << QString();
        m_rows << row;
    }
    return true;
}

bool ListPrinter::Execute(const RecordsetPtr& setup, const QString& title) {
    if (m_headers.isEmpty()) return false;
    m_setup = setup;
    m_pageLayout = QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                               QMarginsF(kDefaultMarginMm, kDefaultMarginMm, kDefaultMarginMm, kDefaultMarginMm),
                               QPageLayout::Millimeter);
    m_font = QFont(kDefaultFontName);
    m_font.setPointSizeF(kDefaultFontSize);
    if (m_setup && findSettings(*m_setup, title)) {
        const auto number = [&](const char* column) { return m_setup->Fields(QString::fromLatin1(column)).Value().toDouble(); };
        const QString paper = m_setup->Fields(QStringLiteral("PaperSize")).Value().toString();
        const QPageSize size = paper == QLatin1String("A3")   ? QPageSize(QPageSize::A3)
                               : paper == QLatin1String("B5") ? QPageSize(QPageSize::B5)
                               : paper == QLatin1String("Letter") ? QPageSize(QPageSize::Letter)
                                                                  : QPageSize(QPageSize::A4);
        m_pageLayout = QPageLayout(size, number("Orientation") == 1 ? QPageLayout::Landscape : QPageLayout::Portrait,
                                   QMarginsF(number("MarginLeft"), number("MarginTop"), number("MarginRight"),
                                             number("MarginBottom")),
                                   QPageLayout::Millimeter);
        m_font = QFont(m_setup->Fields(QStringLiteral("FontName")).Value().toString());
        m_font.setPointSizeF(std::max(4.0, number("FontSize")));
    }
    if (m_preview) {
        QPrinter printer(QPrinter::HighResolution);
        preparePrinter(printer);
        ShowPrintPreview(printer, [this](QPrinter* target) { paint(target); });
        keepSettings(printer);
    }
    return true;
}

bool ListPrinter::PrintOut(int copies) {
    if (m_headers.isEmpty()) return false;
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer);
    printer.setCopyCount(std::max(1, copies));
    if (!ShowPrinter(printer)) return false;
    paint(&printer);
    keepSettings(printer);
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
    m_setup->Fields(QStringLiteral("Orientation")).setValue(layout.orientation() == QPageLayout::Landscape ? 1 : 0);
    m_setup->Fields(QStringLiteral("PaperSize")).setValue(paper);
    m_setup->Fields(QStringLiteral("MarginLeft")).setValue(margins.left());
    m_setup->Fields(QStringLiteral("MarginTop")).setValue(margins.top());
    m_setup->Fields(QStringLiteral("MarginRight")).setValue(margins.right());
    m_setup->Fields(QStringLiteral("MarginBottom")).setValue(margins.bottom());
    m_setup->Fields(QStringLiteral("FontName")).setValue(m_font.family());
    m_setup->Fields(QStringLiteral("FontSize")).setValue(m_font.pointSizeF());
    m_setup->Update();
}

QList<ListPrinter::Page> ListPrinter::layOut(QPrinter& printer) const {
    const QRect area = printer.pageLayout().paintRectPixels(printer.resolution());
    const QFontMetrics body(m_font, &printer);
    const QFontMetrics heading(headingFont(m_font), &printer);
    const int line = body.height() * 3 / 2;
    int headHeight = heading.height() * 2 + line; // heading and the header row
    if (!m_note.isEmpty()) headHeight += line;
    if (!m_headNotes.isEmpty()) headHeight += line;
    const int bodyHeight = area.height() - headHeight - line * 2; // the footer and a gap
    const int perPage = std::max(1, bodyHeight / line);

    const int pages = std::max(1, int((m_rows.size() + perPage - 1) / perPage));
    const QString notes = m_footerNotes.join(QLatin1Char(' '));
    QList<Page> result;
    for (int page = 0; page < pages; ++page) {
        Page p;
        p.firstRow = page * perPage;
        p.rowCount = std::min<int>(perPage, int(m_rows.size()) - p.firstRow);
        p.rowCount = std::max(0, p.rowCount);
        p.footer = QStringLiteral("%1    第%2页 共%3页").arg(notes).arg(page + 1).arg(pages).trimmed();
        result << p;
    }
    return result;
}

QList<int> ListPrinter::columnWidths(const QFontMetrics& metrics, int available) const {
    const int padding = metrics.averageCharWidth() * 2;
    QList<int> widths;
    for (int column = 0; column < m_headers.size(); ++column) {
        int width = metrics.horizontalAdvance(m_headers[column]);
        for (const QStringList& row : m_rows)
            width = std::max(width, metrics.horizontalAdvance(row.value(column)));
        widths << width + padding;
    }
    // Too wide for the page: every column gives up the same share, long texts are elided.
    int total = 0;
    for (int width : widths)
        total += width;
    if (total > available)
        for (int& width : widths)
            width = int(qint64(width) * available / total);
    return widths;
}

void ListPrinter::paint(QPrinter* printer) const {
    QPainter painter(printer);
    const QList<Page> pages = layOut(*printer);
    const QRect area = printer->pageLayout().paintRectPixels(printer->resolution());
    painter.setFont(m_font);
    const QList<int> widths = columnWidths(QFontMetrics(m_font, printer), area.width());
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0) printer->newPage();
        // The painter draws relative to the printable area.
        paintPage(painter, QRect(QPoint(0, 0), area.size()), pages[i], widths);
    }
}

void ListPrinter::paintPage(QPainter& painter, const QRect& area, const Page& page, const QList<int>& widths) const {
    const QFontMetrics body(m_font, painter.device());
    const int line = body.height() * 3 / 2;
    int y = area.top();

    const QFont heading = headingFont(m_font);
    painter.setFont(heading);
    const int headingHeight = QFontMetrics(heading, painter.device()).height() * 2;
    painter.drawText(QRect(area.left(), y, area.width(), headingHeight), Qt::AlignCenter, m_title);
    y += headingHeight;
    painter.setFont(m_font);
    if (!m_note.isEmpty()) {
        painter.drawText(QRect(area.left(), y, area.width(), line), Qt::AlignCenter, m_note);
        y += line;
    }
    if (!m_headNotes.isEmpty()) {
        painter.drawText(QRect(area.left(), y, area.width(), line), Qt::AlignRight | Qt::AlignVCenter,
                         m_headNotes.join(QLatin1Char(' ')));
        y += line;
    }

    const int tableWidth = std::accumulate(widths.begin(), widths.end(), 0);
    const auto drawRow = [&](const QStringList& cells, bool header) {
        int x = area.left();
        if (header) painter.fillRect(QRect(x, y, tableWidth, line), QColor(225, 225, 225));
        for (int column = 0; column < widths.size(); ++column) {
            const QRect cell(x, y, widths[column], line);
            const int pad = body.averageCharWidth() / 2;
            const QString text = body.elidedText(cells.value(column), Qt::ElideRight, cell.width() - pad * 2);
            painter.drawText(cell.adjusted(pad, 0, -pad, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
            if (m_mode == RuledMode) painter.drawRect(cell);
            x += widths[column];
        }
        if (m_mode != RuledMode && header) painter.drawLine(area.left(), y + line, x, y + line);
        y += line;
    };
    drawRow(m_headers, true);
    for (int row = page.firstRow; row < page.firstRow + page.rowCount; ++row)
        drawRow(m_rows[row], false);

    painter.drawText(QRect(area.left(), area.bottom() - line, area.width(), line), Qt::AlignRight | Qt::AlignVCenter,
                     page.footer);
}
