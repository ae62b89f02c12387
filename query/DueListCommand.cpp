#include "DueListCommand.h"

#include "basGlobal.h"
#include "CommandLine.h"
#include "dialogs.h"
#include "DueDates.h"
#include "ListExporter.h"
#include "ListPrinter.h"
#include "ListTable.h"
#include "Schema.h"

#include <QFileInfo>
#include <QPrinter>

namespace {

// Stands in for the dialogs while a mode runs: the print dialog "chooses" a PDF file, messages
// go to standard error.
class PdfOnlyDialogs : public DialogService {
public:
    explicit PdfOnlyDialogs(QString path) : m_path(std::move(path)) {}
    int msgBox(const QString& prompt, int, const QString&) override {
        tellCommand(prompt);
        return vb::OK;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> showOpen(const QString&, QWidget*) override { return std::nullopt; }
    void beep() override {}
    bool printDialog(QPrinter& printer, QWidget*) override {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_path);
        return true;
    }

private:
    QString m_path;
};

QString writePdf(const QString& path, const QString& title, const ListTable& table) {
    PdfOnlyDialogs dialogs(path);
    setDialogService(&dialogs);
    ListPrinter printer;
    printer.SetMode(ListPrinter::RuledMode);
    printer.SetPreview(false);
    printer.SetTitle(title);
    QStringList cells;
    for (const QStringList& row : table.rows)
        cells << row;
    const bool written =
        printer.LoadRows(table.headers, cells) && printer.Execute(nullptr, title) && printer.PrintOut(1);
    setDialogService(nullptr);
    return written && QFileInfo(path).size() > 0 ? QString() : QStringLiteral("无法创建文件");
}

// The window the command line asks for; an error text in `error` when it asks wrongly.
std::optional<DueQuery> windowAsked(const CommandLine& commandLine, const QDate& today, QString& error) {
    if (const auto within = commandLine.value(QStringLiteral("--within"))) {
        bool number = false;
        const int days = within->toInt(&number);
        if (!number || days < 0) {
            error = QStringLiteral("--within 后应为天数（0 或正整数）：%1").arg(*within);
            return std::nullopt;
        }
        return DueQuery::within(days, today);
    }
    const auto from = commandLine.value(QStringLiteral("--from"));
    const auto to = commandLine.value(QStringLiteral("--to"));
    if (!from || !to) {
        error = QStringLiteral("请用 --within 天数 或 --from yyyy-MM-dd --to yyyy-MM-dd 指定到期范围。");
        return std::nullopt;
    }
    DueQuery query = DueQuery::preset(DueQuery::Range, today);
    query.from = QDate::fromString(*from, QStringLiteral("yyyy-MM-dd"));
    query.to = QDate::fromString(*to, QStringLiteral("yyyy-MM-dd"));
    if (!query.from.isValid() || !query.to.isValid()) {
        error = QStringLiteral("日期应写成 yyyy-MM-dd：%1 %2").arg(*from, *to);
        return std::nullopt;
    }
    if (query.from > query.to) {
        error = QStringLiteral("起始日期不能晚于结束日期!");
        return std::nullopt;
    }
    return query;
}

} // namespace

std::optional<int> runDueList(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--due-list")) return std::nullopt;
    const QDate today = QDate::currentDate();
    QString error;
    const auto query = windowAsked(commandLine, today, error);
    if (!query) return failCommand(error);
    const QString out = commandLine.value(QStringLiteral("--out")).value_or(QString());
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (out.isEmpty() || !QStringList{"pdf", "xlsx", "csv"}.contains(suffix))
        return failCommand(
            QStringLiteral("请用 --out 指定以 .pdf、.xlsx 或 .csv 结尾的输出文件：%1").arg(out));

    error = openCommandDatabase(commandLine);
    if (!error.isEmpty()) return failCommand(error);
    ensureAddedIndexes(gConn.database());
    ListTable table;
    try {
        table = dueTable(gConn, *query, today);
    } catch (const DbError& e) {
        return failCommand(QStringLiteral("读取到期记录时出错：") + e.description);
    }
    const QString title = dueListTitle(*query);
    error = suffix == QLatin1String("pdf")    ? writePdf(out, title, table)
            : suffix == QLatin1String("xlsx") ? WriteWorkbook(out, title, table)
                                              : WriteCsv(out, table, false);
    if (!error.isEmpty()) return failCommand(QStringLiteral("无法写入文件%1：%2").arg(out, error));
    tellCommand(QStringLiteral("已写出 %1 条到期记录：%2").arg(table.rows.size()).arg(out));
    return 0;
}
