#include "DueDates.h"

#include "ListTable.h"
#include "RegisterCounts.h"

#include <algorithm>
#include <functional>
#include <QHash>

namespace {

// The lower end of "before today": no certificate is older, and in SQLite it also keeps empty
// texts, which sort before every date, out of the overdue list.
const QDate kEarliest(1900, 1, 1);

QString orEmpty(const QString& column) {
    return column.isEmpty() ? QStringLiteral("''") : column;
}

QString daysLeft(const QString& column, Connection::Engine engine) {
    if (engine == Connection::Engine::Sqlite)
        return QStringLiteral("CAST(julianday(%1) - julianday(?) AS INTEGER)").arg(column);
    return QStringLiteral("(%1 - CAST(? AS DATE))").arg(column);
}

struct Part {
    const DueRegister* reg;
    const DueItem* item;
};

QList<Part> partsOf(const DueQuery& query) {
    QList<Part> parts;
    for (const DueRegister& reg : dueRegisters()) {
        if (!query.tables.isEmpty() && !query.tables.contains(reg.table)) continue;
        for (const DueItem& item : dueItems())
            if (query.columns.isEmpty() || query.columns.contains(item.column)) parts.append({&reg, &item});
    }
    return parts;
}

QString inWindow(const DueItem& item) {
    const QString range = QStringLiteral(" WHERE %1 BETWEEN ? AND ?").arg(item.column);
    if (!item.unsetMark.isValid()) return range;
    return range + QStringLiteral(" AND %1 <> '%2'").arg(item.column, item.unsetMark.toString(Qt::ISODate));
}

QString cellText(const QVariant& value) {
    if (value.isNull() || !value.isValid()) return {};
    if (value.typeId() == QMetaType::QDate) return value.toDate().toString(Qt::ISODate);
    return value.toString();
}

} // namespace

QVariant engineDate(const QDate& date, Connection::Engine engine) {
    return engine == Connection::Engine::Sqlite ? QVariant(date.toString(Qt::ISODate)) : QVariant(date);
}

const QList<DueRegister>& dueRegisters() {
    static const QList<DueRegister> registers = {
        {QStringLiteral("DangAnKu"), QStringLiteral("证书"), QStringLiteral("证号"), QString(), QString(),
         QStringLiteral("证书编号"), QStringLiteral("职业工种")},
        {QStringLiteral("CaoZuoZheng"), QStringLiteral("操作证"), QStringLiteral("证号"),
         QStringLiteral("联系电话"), QString(), QStringLiteral("证号"), QStringLiteral("作业类别")},
        {QStringLiteral("PeiXun"), QStringLiteral("安全生产培训"), QStringLiteral("编号"),
         QStringLiteral("电话号码"), QStringLiteral("生产经营单位"), QStringLiteral("证书号码"),
         QStringLiteral("职务")},
    };
    return registers;
}

const QList<DueItem>& dueItems() {
    // The earlier forms started every new record with its reviews on 2000-01-01, entered or not.
    const QDate unsetReview(2000, 1, 1);
    static const QList<DueItem> items = {
        {QStringLiteral("一次复审"), QStringLiteral("一次复审"), unsetReview},
        {QStringLiteral("二次复审"), QStringLiteral("二次复审"), unsetReview},
        {QStringLiteral("换证日期"), QStringLiteral("换证"), QDate()}};
    return items;
}

const DueRegister* dueRegisterByCaption(const QString& caption) {
    for (const DueRegister& reg : dueRegisters())
        if (reg.caption == caption) return &reg;
    return nullptr;
}

DueQuery DueQuery::preset(Preset preset, const QDate& today) {
    switch (preset) {
    case Overdue: {
        DueQuery query;
        query.from = kEarliest;
        query.to = today.addDays(-1);
        return query;
    }
    case Within30:
        return within(30, today);
    case Within90:
        return within(90, today);
    case Range:
        break;
    }
    DueQuery query;
    query.from = query.to = today;
    return query;
}

DueQuery DueQuery::within(int days, const QDate& today) {
    DueQuery query;
    query.from = today;
    query.to = today.addDays(days);
    return query;
}

QString DueQuery::windowText() const {
    if (from == kEarliest) return QStringLiteral("截至 %1 已过期").arg(to.toString(Qt::ISODate));
    return QStringLiteral("%1 至 %2").arg(from.toString(Qt::ISODate), to.toString(Qt::ISODate));
}

QString dueListTitle(const DueQuery& query) {
    return QStringLiteral("证书到期提醒 ") + query.windowText();
}

QStringList dueListHeaders() {
    return {QStringLiteral("类别"),         QStringLiteral("证号"),     QStringLiteral("姓名"),
            QStringLiteral("性别"),         QStringLiteral("身份证号"), QStringLiteral("联系电话"),
            QStringLiteral("生产经营单位"), QStringLiteral("证书编号"), QStringLiteral("工种类别"),
            QStringLiteral("到期项目"),     QStringLiteral("到期日期"), QStringLiteral("剩余天数")};
}

namespace {

// The SQL of one list column in one part of the union.
QString columnSql(const Part& part, int column, Connection::Engine engine) {
    const DueRegister& reg = *part.reg;
    switch (column) {
    case DueColumn::Register:
        return QStringLiteral("'%1'").arg(reg.caption);
    case DueColumn::Key:
        return orEmpty(reg.keyColumn);
    case DueColumn::Name:
        return QStringLiteral("姓名");
    case DueColumn::Sex:
        return QStringLiteral("性别");
    case DueColumn::Identity:
        return QStringLiteral("身份证号");
    case DueColumn::Phone:
        return orEmpty(reg.phoneColumn);
    case DueColumn::Employer:
        return orEmpty(reg.employerColumn);
    case DueColumn::Certificate:
        return orEmpty(reg.certificateColumn);
    case DueColumn::Trade:
        return orEmpty(reg.tradeColumn);
    case DueColumn::Item:
        return QStringLiteral("'%1'").arg(part.item->caption);
    case DueColumn::Date:
        return part.item->column;
    }
    return daysLeft(part.item->column, engine);
}

// The list's order: the chosen column, then the date, the register, the key and the date's
// caption, so every run gives the same order.
QList<int> orderColumns(const DueQuery& query) {
    return {std::clamp(query.orderColumn, 0, int(DueColumn::DaysLeft)), DueColumn::Date, DueColumn::Register,
            DueColumn::Key, DueColumn::Item};
}

// The union of the parts, each selecting `columns`, ordered by the selected columns at the
// (1-based) `positions`, the first in the query's direction. Both engines put empty values
// first, as every other list does.
Statement dueUnion(const DueQuery& query, Connection::Engine engine, const QDate& today,
                   const std::function<QStringList(const Part&)>& columns, const QList<int>& positions) {
    Statement st;
    QStringList selects;
    QList<Part> parts = partsOf(query);
    // No register or no date chosen: the same columns, no rows.
    const bool nothing = parts.isEmpty();
    if (nothing) parts = {{&dueRegisters().first(), &dueItems().first()}};
    for (const Part& part : parts) {
        const QString selected = columns(part).join(QStringLiteral(", "));
        selects << QStringLiteral("SELECT %1 FROM %2").arg(selected, part.reg->table) +
                       (nothing ? QStringLiteral(" WHERE 1 = 0") : inWindow(*part.item));
        for (qsizetype n = selected.count(QLatin1Char('?')); n > 0; --n)
            st.binds << engineDate(today, engine);
        if (!nothing) st.binds << engineDate(query.from, engine) << engineDate(query.to, engine);
    }
    const bool server = engine == Connection::Engine::Postgres;
    QStringList terms;
    for (int position : positions) {
        const bool descending = query.descending && terms.isEmpty();
        terms << QString::number(position) + (descending ? QStringLiteral(" DESC") : QString()) +
                     (!server      ? QString()
                      : descending ? QStringLiteral(" NULLS LAST")
                                   : QStringLiteral(" NULLS FIRST"));
    }
    st.sql = selects.join(QStringLiteral(" UNION ALL ")) + QStringLiteral(" ORDER BY ") +
             terms.join(QStringLiteral(", "));
    st.text = st.sql;
    return st;
}

// Adds up counting statements of one column each, the first naming it n.
qint64 sumOfCounts(Connection& conn, const QStringList& counts, const QVariantList& binds) {
    if (counts.isEmpty()) return 0;
    const QString sql =
        QStringLiteral("SELECT SUM(n) FROM (%1) AS parts").arg(counts.join(QStringLiteral(" UNION ALL ")));
    qint64 total = 0;
    ForEachRow(conn, Statement{sql, sql, binds},
               [&](const QVariantList& row) { total = row.value(0).toLongLong(); });
    return total;
}

} // namespace

Statement dueStatement(const DueQuery& query, Connection::Engine engine, const QDate& today) {
    const QStringList headers = dueListHeaders();
    QList<int> positions;
    for (int column : orderColumns(query))
        positions << column + 1;
    return dueUnion(
        query, engine, today,
        [&](const Part& part) {
            QStringList columns;
            for (int column = 0; column < headers.size(); ++column)
                columns << columnSql(part, column, engine) + QStringLiteral(" AS ") + headers[column];
            return columns;
        },
        positions);
}

qint64 countDue(Connection& conn, const DueQuery& query) {
    const Connection::Engine engine = conn.engine();
    QStringList counts;
    QVariantList binds;
    for (const Part& part : partsOf(query)) {
        const QString& table = part.reg->table;
        const QString& column = part.item->column;
        counts << QStringLiteral("SELECT COUNT(*) AS n FROM %1 WHERE %2 BETWEEN ? AND ?").arg(table, column);
        binds << engineDate(query.from, engine) << engineDate(query.to, engine);
        // The placeholder is taken off by a count of its own: testing every date of a range of a
        // million for it would cost more than the range's count itself.
        const QDate mark = part.item->unsetMark;
        if (mark.isValid() && query.from <= mark && mark <= query.to) {
            counts << QStringLiteral("SELECT -COUNT(*) FROM %1 WHERE %2 = ?").arg(table, column);
            binds << engineDate(mark, engine);
        }
    }
    return sumOfCounts(conn, counts, binds);
}

DuePages::DuePages(Connection& conn, const DueQuery& query, const QDate& today)
    : m_conn(conn), m_query(query), m_today(today) {
    const int ordered = std::clamp(query.orderColumn, 0, int(DueColumn::DaysLeft));
    // The days left follow the date; ordering by either needs no more than the date's index.
    const int first = ordered == DueColumn::DaysLeft ? int(DueColumn::Date) : ordered;
    int index = 0;
    const Statement identities =
        dueUnion(query, conn.engine(), today,
                 [&](const Part& part) {
                     QStringList columns{QString::number(index++), QStringLiteral("rowid")};
                     QList<int> order = orderColumns(query);
                     order[0] = first;
                     for (int column : order)
                         columns << columnSql(part, column, conn.engine());
                     return columns;
                 },
                 {3, 4, 5, 6, 7});
    ForEachRow(conn, identities, [this](const QVariantList& row) {
        m_rows.append({row.value(0).toInt(), row.value(1).toLongLong()});
    });
}

qint64 DuePages::markOf(const Identity& identity) {
    // Row identities stay far below 2^40, and there are nine parts.
    return (qint64(identity.part) << 40) | identity.rowid;
}

QList<qint64> DuePages::positionsOf(const QList<qint64>& marks) const {
    QHash<qint64, qint64> wanted;
    for (qint64 mark : marks)
        wanted.insert(mark, -1);
    for (qint64 i = 0; i < m_rows.size(); ++i)
        if (auto found = wanted.find(markOf(m_rows[i])); found != wanted.end()) *found = i;
    QList<qint64> positions;
    for (qint64 mark : marks)
        positions << wanted.value(mark, -1);
    return positions;
}

QList<ListRow> DuePages::rows(qint64 first, int count) const {
    const QList<Part> parts = partsOf(m_query);
    first = std::clamp<qint64>(first, 0, m_rows.size());
    const qint64 end = std::min<qint64>(first + std::max(count, 0), m_rows.size());
    // Each register's rows of the run in one statement: the columns the list shows, and the dates.
    QHash<QString, QHash<qint64, QVariantList>> values;
    for (const DueRegister& reg : dueRegisters()) {
        QVariantList ids;
        for (qint64 i = first; i < end; ++i)
            if (parts[m_rows[i].part].reg == &reg) ids << m_rows[i].rowid;
        if (ids.isEmpty()) continue;
        const Part part{&reg, &dueItems().first()};
        QStringList columns{QStringLiteral("rowid")};
        for (int column = DueColumn::Key; column <= DueColumn::Trade; ++column)
            columns << columnSql(part, column, m_conn.engine());
        for (const DueItem& item : dueItems())
            columns << item.column;
        const QString sql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid IN (%3)")
                                .arg(columns.join(QStringLiteral(", ")), reg.table,
                                     QStringList(ids.size(), QStringLiteral("?")).join(QLatin1Char(',')));
        QHash<qint64, QVariantList>& byId = values[reg.table];
        ForEachRow(m_conn, Statement{sql, sql, ids},
                   [&](const QVariantList& row) { byId.insert(row.value(0).toLongLong(), row.mid(1)); });
    }
    QList<ListRow> rows;
    for (qint64 i = first; i < end; ++i) {
        const Part& part = parts[m_rows[i].part];
        ListRow row;
        row.mark = markOf(m_rows[i]);
        const auto found = values[part.reg->table].constFind(m_rows[i].rowid);
        // A row deleted since the list was counted keeps its place, without cells.
        if (found != values[part.reg->table].cend()) {
            row.cells << part.reg->caption;
            for (int column = DueColumn::Key; column <= DueColumn::Trade; ++column)
                row.cells << cellText(found->at(column - DueColumn::Key));
            const QVariant date = found->at(DueColumn::Trade + int(part.item - &dueItems().first()));
            const QDate due = date.typeId() == QMetaType::QDate
                                  ? date.toDate()
                                  : QDate::fromString(date.toString().left(10), Qt::ISODate);
            row.cells << part.item->caption << cellText(date) << QString::number(m_today.daysTo(due));
        }
        rows << row;
    }
    return rows;
}

RecordsetPtr openDueList(Connection& conn, const DueQuery& query, const QDate& today) {
    auto rs = std::make_shared<Recordset>();
    rs->Open(dueStatement(query, conn.engine(), today), conn);
    return rs;
}

ListTable dueListTable(QList<QStringList> rows) {
    ListTable table;
    table.headers = dueListHeaders();
    table.dateColumns = {DueColumn::Date};
    table.numberColumns = {DueColumn::DaysLeft};
    table.rows = std::move(rows);
    return table;
}

ListTable dueTable(Connection& conn, const DueQuery& query, const QDate& today) {
    QList<QStringList> rows;
    ForEachRow(conn, dueStatement(query, conn.engine(), today), [&](const QVariantList& values) {
        QStringList row;
        for (const QVariant& value : values)
            row << cellText(value);
        rows << row;
    });
    return dueListTable(std::move(rows));
}

qint64 countDueCertificates(Connection& conn, const DueQuery& query) {
    const Connection::Engine engine = conn.engine();
    QStringList counts;
    QVariantList binds;
    for (const DueRegister& reg : dueRegisters()) {
        // A record with two dates in the window is one certificate: the union drops the second.
        QStringList rows;
        for (const Part& part : partsOf(query)) {
            if (part.reg != &reg) continue;
            rows << QStringLiteral("SELECT rowid FROM %1").arg(reg.table) + inWindow(*part.item);
            binds << engineDate(query.from, engine) << engineDate(query.to, engine);
        }
        if (!rows.isEmpty())
            counts << QStringLiteral("SELECT COUNT(*) AS n FROM (%1) AS %2")
                          .arg(rows.join(QStringLiteral(" UNION ")), reg.table + QStringLiteral("_due"));
    }
    return sumOfCounts(conn, counts, binds);
}

QString earliestDueDateSql(Connection::Engine engine) {
    QStringList dates;
    for (const DueItem& item : dueItems()) {
        QString counted = QStringLiteral("%1 >= '%2'").arg(item.column, kEarliest.toString(Qt::ISODate));
        if (item.unsetMark.isValid())
            counted += QStringLiteral(" AND %1 <> '%2'").arg(item.column, item.unsetMark.toString(Qt::ISODate));
        dates << QStringLiteral("CASE WHEN %1 THEN %2 ELSE '9999-12-31' END").arg(counted, item.column);
    }
    // SQLite's min() of several values is the server's LEAST().
    return (engine == Connection::Engine::Sqlite ? QStringLiteral("min(%1)") : QStringLiteral("LEAST(%1)"))
        .arg(dates.join(QStringLiteral(", ")));
}

namespace {

// The records of `reg` with a date in the overdue window, from the index of their earliest date.
// When more of its dates are overdue than half its records, most records have one and those
// without are fewer: they are counted instead and taken from the register's kept row count, in
// the same statement, so that both see the same rows.
qint64 countOverdueCertificates(Connection& conn, const DueRegister& reg, const DueQuery& overdue,
                                qint64 overdueDates) {
    const QString earliest = earliestDueDateSql(conn.engine());
    const std::optional<qint64> records = RegisterCounts::read(conn.database(), reg.table);
    const QString count =
        records && 2 * overdueDates > *records
            ? QStringLiteral("SELECT %1 - COUNT(*) AS n FROM %2 WHERE %3 > ?")
                  .arg(RegisterCounts::keptCountSql(reg.table), reg.table, earliest)
            : QStringLiteral("SELECT COUNT(*) AS n FROM %1 WHERE %2 <= ?").arg(reg.table, earliest);
    return sumOfCounts(conn, {count}, {engineDate(overdue.to, conn.engine())});
}

} // namespace

DueCounts countReminders(Connection& conn, const QDate& today) {
    const DueQuery soon = DueQuery::preset(DueQuery::Within30, today);
    DueCounts counts;
    counts.within30 = countDue(conn, soon);
    counts.certificatesWithin30 = countDueCertificates(conn, soon);
    for (const DueRegister& reg : dueRegisters()) {
        DueQuery overdue = DueQuery::preset(DueQuery::Overdue, today);
        overdue.tables = {reg.table};
        const qint64 dates = countDue(conn, overdue);
        counts.overdue += dates;
        if (dates > 0) counts.certificatesOverdue += countOverdueCertificates(conn, reg, overdue, dates);
    }
    return counts;
}

QString reminderText(const DueCounts& counts) {
    if (counts.within30 == 0 && counts.overdue == 0) return {};
    return QStringLiteral("%1 张证书 %2 项30天内到期，%3 张证书 %4 项已过期")
        .arg(counts.certificatesWithin30)
        .arg(counts.within30)
        .arg(counts.certificatesOverdue)
        .arg(counts.overdue);
}
