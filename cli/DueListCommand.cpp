#include "DueListCommand.h"

#include "CommandLine.h"
#include "DatabaseGlobals.h"
#include "DueDates.h"
#include "Schema.h"
#include "TableFiles.h"

#include <optional>

namespace {

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
    error = TableFileNameError(out);
    if (!error.isEmpty()) return failCommand(error);

    error = openCommandDatabase(commandLine);
    if (!error.isEmpty()) return failCommand(error);
    ensureAddedIndexes(gConn.database());
    // Read as the reminder window reads them, a page at a time while the file is written: the
    // overdue dates of a large register run into millions.
    std::optional<DuePages> pages;
    try {
        pages.emplace(gConn, *query, today);
    } catch (const DbError& e) {
        return failCommand(QStringLiteral("读取到期记录时出错：") + e.description);
    }
    const QString title = dueListTitle(*query);
    error = WriteTableFile(out, title, dueListTable({}), pages->count(),
                           [&](qint64 first, int count) { return pages->rows(first, count); }, QString(), false);
    if (!error.isEmpty()) return failCommand(QStringLiteral("无法写入文件%1：%2").arg(out, error));
    tellCommand(QStringLiteral("已写出 %1 条到期记录：%2").arg(pages->count()).arg(out));
    return 0;
}
