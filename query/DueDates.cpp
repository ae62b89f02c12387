#include "DueDates.h"

#include "DbConditions.h"
#include "ListTable.h"

#include <algorithm>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// The lower end of "before today": no certificate is older, and in SQLite it also keeps empty
// texts, which sort before every date, out of the overdue list.
const QDate kEarliest(1900, 1, 1);

QString textOrEmpty(const QString& column, const QString& alias) {
    return (column.isEmpty() ? QStringLiteral("''") : column) + QStringLiteral(" AS ") + alias;
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

QString inWindow(const QString& column) {
    return QStringLiteral(" WHERE %1 BETWEEN ? AND ?").arg(column);
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
    static const QList<DueItem> items = {{QStringLiteral("一次复审"), QStringLiteral("一次复审")},
                                         {QStringLiteral("二次复审"), QStringLiteral("二次复审")},
                                         {QStringLiteral("换证日期"), QStringLiteral("换证")}};
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

Statement dueStatement(const DueQuery& query, Connection::Engine engine, const QDate& today) {
    const QStringList headers = dueListHeaders();
    const QVariant from = engineDate(query.from, engine), to = engineDate(query.to, engine),
                   now = engineDate(today, engine);
    Statement st;
    QStringList selects;
    QList<Part> parts = partsOf(query);
    // No register or no date chosen: the same columns, no rows.
    const bool nothing = parts.isEmpty();
    if (nothing) parts = {{&dueRegisters().first(), &dueItems().first()}};
    for (const Part& part : parts) {
        const DueRegister& reg = *part.reg;
        const QStringList columns = {
            QStringLiteral("'%1' AS %2").arg(reg.caption, headers[DueColumn::Register]),
            textOrEmpty(reg.keyColumn, headers[DueColumn::Key]),
            textOrEmpty(QStringLiteral("姓名"), headers[DueColumn::Name]),
            textOrEmpty(QStringLiteral("性别"), headers[DueColumn::Sex]),
            textOrEmpty(QStringLiteral("身份证号"), headers[DueColumn::Identity]),
            textOrEmpty(reg.phoneColumn, headers[DueColumn::Phone]),
            textOrEmpty(reg.employerColumn, headers[DueColumn::Employer]),
            textOrEmpty(reg.certificateColumn, headers[DueColumn::Certificate]),
            textOrEmpty(reg.tradeColumn, headers[DueColumn::Trade]),
            QStringLiteral("'%1' AS %2").arg(part.item->caption, headers[DueColumn::Item]),
            textOrEmpty(part.item->column, headers[DueColumn::Date]),
            daysLeft(part.item->column, engine) + QStringLiteral(" AS ") + headers[DueColumn::DaysLeft]};
        selects << QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QStringLiteral(", ")), reg.table) +
                       (nothing ? QStringLiteral(" WHERE 1 = 0") : inWindow(part.item->column));
        st.binds << now;
        if (!nothing) st.binds << from << to;
    }
    const QString direction = query.descending ? QStringLiteral(" DESC") : QString();
    const int order = std::clamp(query.orderColumn, 0, int(headers.size()) - 1) + 1;
    // The date, the register and the key break ties, so the order is the same on every run.
    st.sql = selects.join(QStringLiteral(" UNION ALL ")) +
             QStringLiteral(" ORDER BY %1%2, %3, 1, 2").arg(order).arg(direction).arg(DueColumn::Date + 1);
    st.text = st.sql;
    return st;
}

qint64 countDue(Connection& conn, const DueQuery& query) {
    QStringList counts;
    QVariantList binds;
    for (const Part& part : partsOf(query)) {
        counts << QStringLiteral("SELECT COUNT(*) AS n FROM %1").arg(part.reg->table) +
                      inWindow(part.item->column);
        binds << engineDate(query.from, conn.engine()) << engineDate(query.to, conn.engine());
    }
    if (counts.isEmpty()) return 0;
    QSqlQuery q(conn.database());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT SUM(n) FROM (%1) AS parts")
                       .arg(counts.join(QStringLiteral(" UNION ALL ")))))
        throw dbErrorFrom(q.lastError(), q.driver());
    for (const QVariant& value : binds)
        q.addBindValue(value);
    if (!q.exec() || !q.next()) throw dbErrorFrom(q.lastError(), q.driver());
    return q.value(0).toLongLong();
}

RecordsetPtr openDueList(Connection& conn, const DueQuery& query, const QDate& today) {
    auto rs = std::make_shared<Recordset>();
    rs->Open(dueStatement(query, conn.engine(), today), conn);
    return rs;
}

ListTable dueTable(Connection& conn, const DueQuery& query, const QDate& today) {
    ListTable table;
    table.headers = dueListHeaders();
    table.dateColumns = {DueColumn::Date};
    ForEachRow(conn, dueStatement(query, conn.engine(), today), [&](const QVariantList& values) {
        QStringList row;
        for (const QVariant& value : values)
            row << cellText(value);
        table.rows << row;
    });
    return table;
}

DueCounts countReminders(Connection& conn, const QDate& today) {
    return {countDue(conn, DueQuery::preset(DueQuery::Within30, today)),
            countDue(conn, DueQuery::preset(DueQuery::Overdue, today))};
}

QString reminderText(const DueCounts& counts) {
    if (counts.within30 == 0 && counts.overdue == 0) return {};
    return QStringLiteral("%1 条证书30天内到期，%2 条已过期").arg(counts.within30).arg(counts.overdue);
}
