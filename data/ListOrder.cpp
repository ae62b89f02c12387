#include "ListOrder.h"

#include <QRegularExpression>
#include <QSqlQuery>

namespace {

QString quotedName(QString name) {
    name.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

OrderedStatement orderedBy(const Statement& statement, const QString& column, bool descending) {
    // One table's rows, filtered and maybe ordered: its own ORDER BY is replaced. An ORDER BY with
    // brackets or quotes after it may belong to a condition, and such statements are wrapped instead.
    static const QRegularExpression oneTable(
        QStringLiteral("^\\s*(SELECT\\s+(?:\\*|[\\w\"]+(?:\\s*,\\s*[\\w\"]+)*)\\s+FROM\\s+([\\w\"]+)"
                       "(?:\\s+WHERE\\b.*?)?)(?:\\s+ORDER\\s+BY\\s+[^()']*)?\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption |
            QRegularExpression::UseUnicodePropertiesOption);
    const QString direction = descending ? QStringLiteral(" DESC") : QString();
    OrderedStatement ordered;
    ordered.statement = statement;
    ordered.statement.identitySql.clear();
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = oneTable.match(statement.sql);
    if (match.hasMatch() && !orderBy.match(match.captured(1)).hasMatch()) {
        ordered.statement.sql =
            match.captured(1) + QStringLiteral(" ORDER BY %1%2, rowid%2").arg(quotedName(column), direction);
        ordered.sameBookmarks = true;
        ordered.table = match.captured(2).remove(QLatin1Char('"'));
    } else {
        QString inner = statement.sql.trimmed();
        if (inner.endsWith(QLatin1Char(';'))) inner.chop(1);
        ordered.statement.sql = QStringLiteral("SELECT * FROM (%1) AS listed ORDER BY %2%3")
                                    .arg(inner, quotedName(column), direction);
    }
    return ordered;
}

bool hasLeadingIndex(Connection& conn, const QString& table, const QString& column) {
    QSqlQuery q(conn.database());
    if (conn.engine() == Connection::Engine::Sqlite) {
        // The first column of each index of the table.
        q.prepare(QStringLiteral("SELECT 1 FROM pragma_index_list(?) AS list, pragma_index_info(list.name) "
                                 "AS info WHERE info.seqno = 0 AND info.name = ? COLLATE NOCASE"));
    } else {
        q.prepare(
            QStringLiteral("SELECT 1 FROM pg_index i JOIN pg_class t ON t.oid = i.indrelid "
                           "JOIN pg_attribute a ON a.attrelid = t.oid AND a.attnum = i.indkey[0] "
                           "WHERE t.relname = lower(?) AND a.attname = ? AND pg_table_is_visible(t.oid)"));
    }
    q.addBindValue(table);
    q.addBindValue(column);
    return q.exec() && q.next();
}
