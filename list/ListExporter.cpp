#include "ListExporter.h"

#include "dialogs.h"
#include "FileModes.h"
#include "ListView.h"

#include <algorithm>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringEncoder>
#include <xlsxwriter.h>

namespace {

const QString kFilters = QStringLiteral("Excel 工作簿|*.xlsx|CSV 文本 (UTF-8)|*.csv|CSV 文本 (GBK)|*.csv|");

QString extensionOf(int format) {
    return format == ListExporter::ExcelWorkbook ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
}

QString defaultFileName(const QString& title) {
    QString name = title;
    name.remove(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\r\\n\\t]")));
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("列表") : name;
}

// Excel refuses sheet names longer than 31 characters or with any of []:*?/\ in them.
QString sheetName(const QString& title) {
    QString name = title;
    name.remove(QRegularExpression(QStringLiteral("[\\[\\]:*?/\\\\]")));
    name = name.left(31).trimmed();
    return name.isEmpty() ? QStringLiteral("Sheet1") : name;
}

// An integer or decimal, negative ones too (days overdue).
bool isPlainNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^-?[0-9]+(\\.[0-9]+)?$"));
    return number.match(text).hasMatch();
}

// A plain number a spreadsheet's number keeps exactly: at most 15 digits.
bool isExactNumber(const QString& text) {
    return isPlainNumber(text) &&
           std::count_if(text.begin(), text.end(), [](QChar ch) { return ch.isDigit(); }) <= 15;
}

// A spreadsheet would take a cell starting like this for a formula; a plain number it reads as
// the number it is.
bool startsLikeFormula(const QString& text) {
    if (text.isEmpty() || isPlainNumber(text)) return false;
    const QChar first = text.front();
    return first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-') ||
           first == QLatin1Char('@') || first == QLatin1Char('\t') || first == QLatin1Char('\r');
}

void appendCsvField(QString& out, const QString& text) {
    const bool quoted = std::any_of(text.begin(), text.end(), [](QChar ch) {
        return ch == QLatin1Char('"') || ch == QLatin1Char(',') || ch == QLatin1Char('\r') ||
               ch == QLatin1Char('\n');
    });
    if (quoted) out += QLatin1Char('"');
    if (startsLikeFormula(text)) out += QLatin1Char('\'');
    if (!quoted) {
        out += text;
        return;
    }
    for (const QChar ch : text) {
        if (ch == QLatin1Char('"')) out += QLatin1Char('"');
        out += ch;
    }
    out += QLatin1Char('"');
}

// Column width in Excel's units: CJK characters take two.
double displayWidth(const QString& text) {
    double widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        double width = 0;
        for (const QChar ch : line)
            width += ch.unicode() >= 0x2E80 ? 2 : 1;
        widest = std::max(widest, width);
    }
    return widest;
}

constexpr double kWidestColumn = 50;

} // namespace

namespace {

// Rows from this many on are written in libxlsxwriter's constant-memory mode.
constexpr qint64 kRowsHeldInMemory = 50000;

// The formats of a workbook, made once.
struct WorkbookFormats {
    lxw_format* heading;
    lxw_format* header;
    lxw_format* date;
    lxw_format* wrapped;
};

// A sheet with the title over its columns and the header row below it, frozen; returns the first
// row for data.
lxw_row_t beginSheet(lxw_worksheet* worksheet, const QString& sheetTitle, const QStringList& headers,
                     const WorkbookFormats& formats) {
    const int columns = int(headers.size());
    lxw_row_t row = 0;
    if (!sheetTitle.isEmpty()) {
        const QByteArray title = sheetTitle.toUtf8();
        if (columns > 1)
            worksheet_merge_range(worksheet, 0, 0, 0, lxw_col_t(columns - 1), title.constData(),
                                  formats.heading);
        else
            worksheet_write_string(worksheet, 0, 0, title.constData(), formats.heading);
        ++row;
    }
    for (int column = 0; column < columns; ++column)
        worksheet_write_string(worksheet, row, lxw_col_t(column), headers[column].toUtf8().constData(),
                               formats.header);
    worksheet_freeze_panes(worksheet, row + 1, 0);
    return row + 1;
}

} // namespace

QString WriteWorkbook(const QString& path, const QString& sheetTitle, const ListTable& table) {
    return WriteWorkbook(
        path, sheetTitle, table,
        [&](const auto& visit) {
            for (const QStringList& row : table.rows)
                visit(row);
        },
        table.rows.size());
}

QString WriteWorkbook(const QString& path, const QString& sheetTitle, const ListTable& columnsOf,
                      const RowStream& rows, qint64 rowCount) {
    NewPrivateFile target(path);
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook_options options{};
    options.constant_memory = rowCount >= kRowsHeldInMemory ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* workbook = workbook_new_opt(file.constData(), &options);
    if (!workbook) return QStringLiteral("无法创建文件");
    WorkbookFormats formats{workbook_add_format(workbook), workbook_add_format(workbook),
                            workbook_add_format(workbook), workbook_add_format(workbook)};
    format_set_bold(formats.heading);
    format_set_font_size(formats.heading, 14);
    format_set_align(formats.heading, LXW_ALIGN_CENTER);
    format_set_bold(formats.header);
    format_set_border(formats.header, LXW_BORDER_THIN);
    format_set_bg_color(formats.header, 0xE1E1E1);
    format_set_num_format(formats.date, "yyyy-mm-dd");
    format_set_align(formats.date, LXW_ALIGN_LEFT);
    format_set_text_wrap(formats.wrapped);
    format_set_align(formats.wrapped, LXW_ALIGN_VERTICAL_TOP);

    const QStringList& headers = columnsOf.headers;
    const int columns = int(headers.size());
    const QString name = sheetName(sheetTitle);
    QList<lxw_worksheet*> sheets{workbook_add_worksheet(workbook, name.toUtf8().constData())};
    lxw_row_t row = beginSheet(sheets.last(), sheetTitle, headers, formats);
    QList<double> widths(columns, 0);
    for (int column = 0; column < columns; ++column)
        widths[column] = displayWidth(headers[column]);

    // Dates become real dates and the plain numbers of number columns numbers; every other cell
    // stays the text stored, so identity numbers and keys are never reinterpreted as numbers.
    rows([&](const QStringList& cells) {
        if (row >= LXW_ROW_MAX) {
            const QString next = QStringLiteral(" (%1)").arg(sheets.size() + 1);
            sheets << workbook_add_worksheet(workbook,
                                             (name.left(31 - next.size()) + next).toUtf8().constData());
            row = beginSheet(sheets.last(), sheetTitle, headers, formats);
        }
        lxw_worksheet* worksheet = sheets.last();
        for (int column = 0; column < columns && column < cells.size(); ++column) {
            const QString& text = cells[column];
            if (text.isEmpty()) continue;
            const QDate day = columnsOf.dateColumns.contains(column)
                                  ? QDate::fromString(text, QStringLiteral("yyyy-MM-dd"))
                                  : QDate();
            if (day.isValid()) {
                lxw_datetime value{day.year(), day.month(), day.day(), 0, 0, 0};
                worksheet_write_datetime(worksheet, row, lxw_col_t(column), &value, formats.date);
                widths[column] = std::max(widths[column], 10.0);
                continue;
            }
            const double width = displayWidth(text);
            if (columnsOf.numberColumns.contains(column) && isExactNumber(text)) {
                worksheet_write_number(worksheet, row, lxw_col_t(column), text.toDouble(), nullptr);
                widths[column] = std::max(widths[column], width);
                continue;
            }
            const bool wraps = width > kWidestColumn || text.contains(QLatin1Char('\n'));
            worksheet_write_string(worksheet, row, lxw_col_t(column), text.toUtf8().constData(),
                                   wraps ? formats.wrapped : nullptr);
            widths[column] = std::max(widths[column], std::min(width, kWidestColumn));
        }
        ++row;
    });
    for (lxw_worksheet* worksheet : sheets)
        for (int column = 0; column < columns; ++column)
            worksheet_set_column(worksheet, lxw_col_t(column), lxw_col_t(column), widths[column] + 2,
                                 nullptr);
    const lxw_error result = workbook_close(workbook);
    if (result != LXW_NO_ERROR) return QString::fromUtf8(lxw_strerror(result));
    target.keep();
    return QString();
}

QString WriteCsv(const QString& path, const ListTable& table, bool gbk) {
    return WriteCsv(
        path, table,
        [&](const auto& visit) {
            for (const QStringList& row : table.rows)
                visit(row);
        },
        gbk);
}

QString WriteCsv(const QString& path, const ListTable& columns, const RowStream& rows, bool gbk) {
    QStringEncoder encoder(gbk ? "GB18030" : "UTF-8");
    if (!encoder.isValid()) return QStringLiteral("不支持GBK编码");
    NewPrivateFile target(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    bool written = true;
    QString text;
    const auto flush = [&] {
        const QByteArray bytes = encoder.encode(text);
        written = written && file.write(bytes) == bytes.size();
        text.clear();
    };
    const auto line = [&](const QStringList& cells) {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0) text += QLatin1Char(',');
            appendCsvField(text, cells[i]);
        }
        text += QLatin1String("\r\n");
        // Written a piece at a time: a long list is never held whole.
        if (text.size() >= 1 << 16) flush();
    };
    // The byte-order mark lets spreadsheet programs recognise UTF-8.
    if (!gbk) written = file.write(QByteArrayLiteral("\xEF\xBB\xBF")) == 3;
    line(columns.headers);
    rows(line);
    flush();
    if (!written || !file.commit()) return file.errorString();
    target.keep();
    return QString();
}

QString ListExporter::RunExport(int format, const QString& folder, const QString& title) {
    const int firstFilter = format == CsvUtf8 ? 1 : format == CsvGbk ? 2 : 0;
    const QString suggested = QDir(folder).filePath(defaultFileName(title) + extensionOf(format));
    const auto choice = ShowSave(kFilters, suggested, firstFilter);
    if (!choice) return QString();

    const int chosen = choice->filterIndex == 1 ? CsvUtf8 : choice->filterIndex == 2 ? CsvGbk : ExcelWorkbook;
    QString path = choice->path;
    if (QFileInfo(path).suffix().isEmpty()) path += extensionOf(chosen);
    const ListTable columns = ColumnsOfList(m_list);
    const RowStream rows = [this](const auto& visit) { ForEachListRow(m_list, visit); };
    const QString error = chosen == ExcelWorkbook
                              ? WriteWorkbook(path, title, columns, rows, m_list ? m_list->rowCount() : 0)
                              : WriteCsv(path, columns, rows, chosen == CsvGbk);
    if (!error.isEmpty()) {
        MsgBox(QStringLiteral("无法写入文件") + path + QStringLiteral("：") + error + QStringLiteral("\n") +
                   m_helpText,
               vb::OKOnly | vb::Exclamation);
        return QString();
    }
    return path;
}
