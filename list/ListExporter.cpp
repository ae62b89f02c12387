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

QString WriteWorkbook(const QString& path, const QString& sheetTitle, const ListTable& table) {
    NewPrivateFile target(path);
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook* workbook = workbook_new(file.constData());
    if (!workbook) return QStringLiteral("无法创建文件");
    const QByteArray sheet = sheetName(sheetTitle).toUtf8();
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.constData());
    lxw_format* heading = workbook_add_format(workbook);
    format_set_bold(heading);
    format_set_font_size(heading, 14);
    format_set_align(heading, LXW_ALIGN_CENTER);
    lxw_format* header = workbook_add_format(workbook);
    format_set_bold(header);
    format_set_border(header, LXW_BORDER_THIN);
    format_set_bg_color(header, 0xE1E1E1);
    lxw_format* date = workbook_add_format(workbook);
    format_set_num_format(date, "yyyy-mm-dd");
    format_set_align(date, LXW_ALIGN_LEFT);
    lxw_format* wrapped = workbook_add_format(workbook);
    format_set_text_wrap(wrapped);
    format_set_align(wrapped, LXW_ALIGN_VERTICAL_TOP);

    const int columns = int(table.headers.size());
    lxw_row_t row = 0;
    if (!sheetTitle.isEmpty()) {
        const QByteArray title = sheetTitle.toUtf8();
        if (columns > 1)
            worksheet_merge_range(worksheet, 0, 0, 0, lxw_col_t(columns - 1), title.constData(), heading);
        else
            worksheet_write_string(worksheet, 0, 0, title.constData(), heading);
        ++row;
    }
    QList<double> widths(columns, 0);
    for (int column = 0; column < columns; ++column) {
        worksheet_write_string(worksheet, row, lxw_col_t(column), table.headers[column].toUtf8().constData(),
                               header);
        widths[column] = displayWidth(table.headers[column]);
    }
    worksheet_freeze_panes(worksheet, row + 1, 0);
    ++row;

    // Dates become real dates and the plain numbers of number columns numbers; every other cell
    // stays the text stored, so identity numbers and keys are never reinterpreted as numbers.
    for (const QStringList& cells : table.rows) {
        for (int column = 0; column < columns && column < cells.size(); ++column) {
            const QString& text = cells[column];
            if (text.isEmpty()) continue;
            const QDate day = table.dateColumns.contains(column)
                                  ? QDate::fromString(text, QStringLiteral("yyyy-MM-dd"))
                                  : QDate();
            if (day.isValid()) {
                lxw_datetime value{day.year(), day.month(), day.day(), 0, 0, 0};
                worksheet_write_datetime(worksheet, row, lxw_col_t(column), &value, date);
                widths[column] = std::max(widths[column], 10.0);
                continue;
            }
            const double width = displayWidth(text);
            if (table.numberColumns.contains(column) && isExactNumber(text)) {
                worksheet_write_number(worksheet, row, lxw_col_t(column), text.toDouble(), nullptr);
                widths[column] = std::max(widths[column], width);
                continue;
            }
            const bool wraps = width > kWidestColumn || text.contains(QLatin1Char('\n'));
            worksheet_write_string(worksheet, row, lxw_col_t(column), text.toUtf8().constData(),
                                   wraps ? wrapped : nullptr);
            widths[column] = std::max(widths[column], std::min(width, kWidestColumn));
        }
        ++row;
    }
    for (int column = 0; column < columns; ++column)
        worksheet_set_column(worksheet, lxw_col_t(column), lxw_col_t(column), widths[column] + 2, nullptr);
    const lxw_error result = workbook_close(workbook);
    if (result != LXW_NO_ERROR) return QString::fromUtf8(lxw_strerror(result));
    target.keep();
    return QString();
}

QString WriteCsv(const QString& path, const ListTable& table, bool gbk) {
    QString text;
    const auto line = [&](const QStringList& cells) {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0) text += QLatin1Char(',');
            appendCsvField(text, cells[i]);
        }
        text += QLatin1String("\r\n");
    };
    line(table.headers);
    for (const QStringList& row : table.rows)
        line(row);

    QByteArray bytes;
    if (gbk) {
        QStringEncoder encoder("GB18030");
        if (!encoder.isValid()) return QStringLiteral("不支持GBK编码");
        bytes = encoder.encode(text);
    } else {
        // The byte-order mark lets spreadsheet programs recognise UTF-8.
        bytes = QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
    }
    NewPrivateFile target(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
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
    const ListTable table = TableOfList(m_list);
    const QString error =
        chosen == ExcelWorkbook ? WriteWorkbook(path, title, table) : WriteCsv(path, table, chosen == CsvGbk);
    if (!error.isEmpty()) {
        MsgBox(QStringLiteral("无法写入文件") + path + QStringLiteral("：") + error + QStringLiteral("\n") +
                   m_helpText,
               vb::OKOnly | vb::Exclamation);
        return QString();
    }
    return path;
}
