#include "TableFiles.h"

#include "AuditLog.h"
#include "CommandLine.h"
#include "DatabaseGlobals.h"
#include "DataFolder.h"
#include "dialogs.h"
#include "FileModes.h"
#include "ListExporter.h"
#include "ListPrinter.h"
#include "ModSql.h"

#include <optional>
#include <QFile>
#include <QFileInfo>

PdfOnlyDialogs::PdfOnlyDialogs(QString path) : m_path(std::move(path)) {}

int PdfOnlyDialogs::msgBox(const QString& prompt, int, const QString&) {
    tellCommand(prompt);
    return vb::OK;
}

std::optional<QString> PdfOnlyDialogs::inputBox(const QString&, const QString&, const QString&) {
    return std::nullopt;
}

std::optional<QString> PdfOnlyDialogs::showOpen(const QString&, QObject*) {
    return std::nullopt;
}

void PdfOnlyDialogs::beep() {}

PrintRoute PdfOnlyDialogs::printDialog(const QString&, QObject*) {
    return {false, m_path};
}

namespace {

QString writePdf(const QString& path, const QString& title, const QStringList& headers, qint64 rowCount,
                 const ListRowReader& read, const QString& note) {
    NewPrivateFile target(path);
    PdfOnlyDialogs dialogs(path);
    setDialogService(&dialogs);
    ListPrinter printer;
    printer.SetMode(ListPrinter::RuledMode);
    printer.SetPreview(false);
    printer.SetTitle(title);
    bool written = printer.LoadRows(headers, int(rowCount), read);
    printer.SetNote(note);
    // The page set up for this title in the window is the page here too.
    if (!gPrintSetup) OpenPrintSettings(DataPath());
    written = written && printer.Execute(gPrintSetup, title) && printer.PrintOut(1);
    setDialogService(nullptr);
    if (!written || QFileInfo(path).size() == 0) return QStringLiteral("无法创建文件");
    target.keep();
    return QString();
}

QString suffixOf(const QString& path) {
    return QFileInfo(path).suffix().toLower();
}

} // namespace

QString TableFileNameError(const QString& path) {
    if (!path.isEmpty() && QStringList{"pdf", "xlsx", "csv"}.contains(suffixOf(path))) return {};
    return QStringLiteral("请用 --out 指定以 .pdf、.xlsx 或 .csv 结尾的输出文件：%1").arg(path);
}

QString WriteTableFile(const QString& path, const QString& title, const ListTable& columns, qint64 rowCount,
                       const ListRowReader& read, const QString& note, bool gbk) {
    // A failed read ends the rows there; the file then holds only some of them and is not kept.
    std::optional<QString> failure;
    const ListRowReader guarded = [&](qint64 first, int count) {
        QList<ListRow> rows;
        if (failure) return rows;
        try {
            rows = read(first, count);
        } catch (const DbError& e) {
            failure = e.description;
        }
        return rows;
    };
    const RowStream rows = [&](const auto& visit) { ForEachReadRow(rowCount, guarded, visit); };
    const QString suffix = suffixOf(path);
    const QString error = suffix == QLatin1String("pdf")
                              ? writePdf(path, title, columns.headers, rowCount, guarded, note)
                          : suffix == QLatin1String("xlsx") ? WriteWorkbook(path, title, columns, rows, rowCount)
                                                            : WriteCsv(path, columns, rows, gbk);
    if (failure) {
        QFile::remove(path);
        return *failure;
    }
    if (!error.isEmpty()) return error;
    // No export leaves the office unrecorded: a file the trail cannot name is taken back.
    try {
        AuditLog::record(gConn.database(), AuditLog::kExport, QString(), title, {},
                         QStringLiteral("%1 行，文件 %2").arg(rowCount).arg(QFileInfo(path).absoluteFilePath()));
    } catch (const DbError& e) {
        QFile::remove(path);
        return e.description;
    }
    return {};
}
