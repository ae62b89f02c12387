#include "Statistics.h"

#include "DueDates.h"
#include "ListTable.h"

#include <algorithm>
#include <QHash>

namespace {

struct Source {
    QString table;
    QString caption;
    QString column;
};

// The column each register counts a dimension by; a register without one is left out.
QList<Source> sourcesOf(StatDimension dimension) {
    QList<Source> sources;
    for (const DueRegister& reg : dueRegisters()) {
        QString column;
        switch (dimension) {
        case StatDimension::IssueYear:
            column = reg.table == QLatin1String("DangAnKu")      ? QStringLiteral("发证日期")
                     : reg.table == QLatin1String("CaoZuoZheng") ? QStringLiteral("初次领证")
                                                                 : QString();
            break;
        case StatDimension::Trade:
            column = reg.tradeColumn;
            break;
        case StatDimension::Level:
            if (reg.table == QLatin1String("DangAnKu")) column = QStringLiteral("证书级别");
            break;
        case StatDimension::Education:
            if (reg.table != QLatin1String("CaoZuoZheng")) column = QStringLiteral("文化程度");
            break;
        case StatDimension::Sex:
            column = QStringLiteral("性别");
            break;
        case StatDimension::DueMonth:
            column = dueItems().first().column; // all three are counted, see dueMonthCounts
            break;
        }
        if (!column.isEmpty()) sources.append({reg.table, reg.caption, column});
    }
    return sources;
}

QString monthOf(const QString& column, Connection::Engine engine) {
    return engine == Connection::Engine::Sqlite ? QStringLiteral("substr(%1, 1, 7)").arg(column)
                                                : QStringLiteral("to_char(%1, 'YYYY-MM')").arg(column);
}

// Adds the counts of `SELECT key, COUNT(*) ... GROUP BY key` to `into`, by key text.
void addGroupCounts(Connection& conn, const QString& sql, const QVariantList& binds,
                    QHash<QString, qint64>& into) {
    ForEachRow(conn, Statement{sql, sql, binds}, [&](const QVariantList& row) {
        const QString key = row.value(0).toString();
        into[key.isEmpty() ? unfilledLabel() : key] += row.value(1).toLongLong();
    });
}

// Counts per year of a date column as one range count per year over its index, which the engines
// answer from the index alone; grouping by a part of the date would sort every row first.
QHash<QString, qint64> yearCounts(Connection& conn, const QString& table, const QString& column) {
    const Connection::Engine engine = conn.engine();
    QHash<QString, qint64> counts;
    const QString spanSql =
        QStringLiteral("SELECT MIN(%1), MAX(%1), (SELECT COUNT(*) FROM %2) FROM %2 WHERE %1 >= '1900-01-01'")
            .arg(column, table);
    QVariantList span;
    ForEachRow(conn, Statement{spanSql, spanSql, {}}, [&](const QVariantList& row) { span = row; });
    const qint64 rows = span.value(2).toLongLong();
    qint64 dated = 0;
    if (!span.value(0).isNull()) {
        const int first = span.value(0).toString().left(4).toInt(),
                  last = span.value(1).toString().left(4).toInt();
        QStringList parts;
        QVariantList binds;
        for (int year = first; year <= last; ++year) {
            parts << QStringLiteral("SELECT '%1', COUNT(*) FROM %2 WHERE %3 BETWEEN ? AND ?")
                         .arg(year)
                         .arg(table, column);
            binds << engineDate(QDate(year, 1, 1), engine) << engineDate(QDate(year, 12, 31), engine);
        }
        addGroupCounts(conn, parts.join(QStringLiteral(" UNION ALL ")), binds, counts);
        for (auto it = counts.begin(); it != counts.end();) {
            dated += it.value();
            it = it.value() == 0 ? counts.erase(it) : std::next(it);
        }
    }
    if (rows > dated) counts[unfilledLabel()] = rows - dated;
    return counts;
}

} // namespace

const QList<StatDimensionDef>& statDimensions() {
    static const QList<StatDimensionDef> dimensions = {
        {StatDimension::IssueYear, QStringLiteral("按发证年份（操作证按初次领证）"), QStringLiteral("年份")},
        {StatDimension::Trade, QStringLiteral("按工种/作业类别/职务"), QStringLiteral("工种/作业类别/职务")},
        {StatDimension::Level, QStringLiteral("按证书级别"), QStringLiteral("证书级别")},
        {StatDimension::Education, QStringLiteral("按文化程度"), QStringLiteral("文化程度")},
        {StatDimension::Sex, QStringLiteral("按性别"), QStringLiteral("性别")},
        {StatDimension::DueMonth, QStringLiteral("今后12个月每月到期"), QStringLiteral("月份")},
    };
    return dimensions;
}

QString unfilledLabel() {
    return QStringLiteral("未填");
}

qint64 StatTable::total(int category) const {
    qint64 sum = 0;
    for (qint64 n : counts.value(category))
        sum += n;
    return sum;
}

ListTable StatTable::asListTable() const {
    ListTable table;
    table.headers << firstHeader << series << QStringLiteral("合计");
    for (int column = 1; column < table.headers.size(); ++column)
        table.numberColumns << column;
    QVector<qint64> columnTotals(series.size(), 0);
    for (int row = 0; row < categories.size(); ++row) {
        QStringList cells{categories[row]};
        for (int s = 0; s < series.size(); ++s) {
            cells << QString::number(counts[row][s]);
            columnTotals[s] += counts[row][s];
        }
        cells << QString::number(total(row));
        table.rows << cells;
    }
    QStringList totals{QStringLiteral("合计")};
    qint64 all = 0;
    for (qint64 n : columnTotals) {
        totals << QString::number(n);
        all += n;
    }
    table.rows << (totals << QString::number(all));
    return table;
}

StatTable computeStatistics(Connection& conn, StatDimension dimension, const QDate& today) {
    StatTable result;
    for (const StatDimensionDef& def : statDimensions())
        if (def.dimension == dimension) {
            result.title = QStringLiteral("统计：") + def.caption;
            result.firstHeader = def.firstHeader;
        }
    const Connection::Engine engine = conn.engine();
    const QList<Source> sources = sourcesOf(dimension);

    QList<QHash<QString, qint64>> perSeries;
    if (dimension == StatDimension::DueMonth) {
        // This month from today on, then eleven whole months.
        const QDate first(today.year(), today.month(), 1);
        const QDate last = first.addMonths(12).addDays(-1);
        for (int m = 0; m < 12; ++m)
            result.categories << first.addMonths(m).toString(QStringLiteral("yyyy-MM"));
        for (const Source& source : sources) {
            QHash<QString, qint64> counts;
            for (const DueItem& item : dueItems()) {
                const QString key = monthOf(item.column, engine);
                addGroupCounts(
                    conn,
                    QStringLiteral("SELECT %1, COUNT(*) FROM %2 WHERE %3 BETWEEN ? AND ? GROUP BY %1")
                        .arg(key, source.table, item.column),
                    {engineDate(today, engine), engineDate(last, engine)}, counts);
            }
            perSeries << counts;
        }
    } else {
        const bool byYear = dimension == StatDimension::IssueYear;
        QHash<QString, qint64> totals;
        for (const Source& source : sources) {
            QHash<QString, qint64> counts;
            if (byYear)
                counts = yearCounts(conn, source.table, source.column);
            else
                addGroupCounts(conn,
                               QStringLiteral("SELECT %1, COUNT(*) FROM %2 GROUP BY %1")
                                   .arg(source.column, source.table),
                               {}, counts);
            for (auto it = counts.cbegin(); it != counts.cend(); ++it)
                totals[it.key()] += it.value();
            perSeries << counts;
        }
        result.categories = totals.keys();
        // Years in their order; other values the most frequent first, the unfilled ones last.
        std::sort(result.categories.begin(), result.categories.end(),
                  [&](const QString& a, const QString& b) {
                      const bool aUnfilled = a == unfilledLabel(), bUnfilled = b == unfilledLabel();
                      if (aUnfilled != bUnfilled) return bUnfilled;
                      if (byYear || totals[a] == totals[b]) return a < b;
                      return totals[a] > totals[b];
                  });
    }

    for (const Source& source : sources)
        result.series << source.caption;
    for (const QString& category : result.categories) {
        QVector<qint64> row;
        for (const QHash<QString, qint64>& counts : perSeries)
            row << counts.value(category);
        result.counts << row;
    }
    return result;
}
