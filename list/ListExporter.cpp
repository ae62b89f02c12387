#include "ListExporter.h"

#include "dialogs.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringEncoder>
#include <xlsxwriter.h>

namespace {

const QString kFilters =
    QStringLiteral("Excel 工作簿|*.xlsx|CSV 文本 (UTF-8)|*.csv|CSV 文本 (GBK)|*.csv|");

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

QString csvField(const QString& text) {
    if (!text.contains(QRegularExpression(QStringLiteral("[\",\\r\\n]")))) return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QString WriteWorkbook(const QString& path, const QString& sheetTitle, const ListTable& table) {
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook* workbook = workbook_new(file.constData());
    if (!workbook) return QStringLiteral("无法创建文件");
    const QByteArray sheet = sheetName(sheetTitle).toUtf8();
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.constData());
    lxw_format* bold = workbook_add_format(workbook);
    format_set_bold(bold);
    // Every cell is written as the text the list shows, so nothing is reinterpreted.
    const auto write = [&](int row, const QStringList& cells, lxw_format* format) {
        for (int column = 0; column < cells.size(); ++column)
            worksheet_write_string(worksheet, lxw_row_t(row), lxw_col_t(column), cells[column].toUtf8().constData(),
                                   format);
    };
    write(0, table.headers, bold);
    for (int row = 0; row < table.rows.size(); ++row)
        write(row + 1, table.rows[row], nullptr);
    const lxw_error result = workbook_close(workbook);
    return result == LXW_NO_ERROR ? QString() : QString::fromUtf8(lxw_strerror(result));
}

QString WriteCsv(const QString& path, const ListTable& table, bool gbk) {
    QString text;
    const auto line = [&](const QStringList& cells) {
        QStringList fields;
        for (const QString& cell : cells)
            fields << csvField(cell);
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
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
        MsgBox(QStringLiteral("无法写入文件") + path + QStringLiteral("：") + error + QStringLiteral("\n") + m_helpText,
               vb::OKOnly | vb::Exclamation);
        return QString();
    }
    return path;
}
