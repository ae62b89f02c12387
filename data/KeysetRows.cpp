#include "KeysetRows.h"

#include "DbConditions.h"
#include "RegisterCounts.h"
#include "Schema.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

namespace {

// Rows one window holds, and windows kept: what a list page or a step through a form needs, and
// room to come back.
constexpr qint64 kWindowRows = 128;
constexpr int kKeptWindows = 64;

// Numberings of rows found by identity lie far beyond any place, each with room to walk both ways.
constexpr qint64 kFirstSpace = qint64(1) << 60;
constexpr qint64 kSpaceSize = qint64(1) << 40;

// "(证号 <> '')": the register without its empty keys, as the query forms ask for it.
const QRegularExpression& nonEmptyColumn() {
    static const QRegularExpression pattern(QStringLiteral("^\\s*\\(?\\s*([\\w\"]+)\\s*<>\\s*''\\s*\\)?\\s*$"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    return pattern;
}

QString unquoted(QString name) {
    return name.remove(QLatin1Char('"'));
}

} // namespace

KeysetRows::KeysetRows(Connection& conn, QString table, QString condition, QVector<OrderTerm> order,
                       QStringList fetched)
    : m_conn(conn), m_table(std::move(table)), m_condition(std::move(condition)), m_order(std::move(order)),
      m_fetched(std::move(fetched)) {
    m_count = countRows();
    m_goneRow.values.resize(m_fetched.size());
}

bool KeysetRows::serves(const QString& table, const QString& condition, const QVector<OrderTerm>& order) {
    const TableDef& def = tableDef(table);
    // Both engines index the key (the server with empty values first) and the query order.
    const auto indexed = [&](const QString& column) {
        const auto leads = [&](const QStringList& columns) {
            return !columns.isEmpty() && columns.first().compare(unquoted(column), Qt::CaseInsensitive) == 0;
        };
        return leads(def.uniqueColumns) || (!def.indexes.isEmpty() && leads(def.indexes.first()));
    };
    if (!condition.trimmed().isEmpty()) {
        const auto nonEmpty = nonEmptyColumn().match(condition);
        if (!nonEmpty.hasMatch() || !indexed(nonEmpty.captured(1))) return false;
    }
    return order.isEmpty() || indexed(order.first().column); // empty: the row identity alone
}

qint64 KeysetRows::countRows() const {
    if (m_condition.trimmed().isEmpty()) {
        if (const auto kept = RegisterCounts::read(m_conn.database(), m_table)) return *kept;
        return countWhere({}, {});
    }
    // The register less its empty keys: three counts the key's index answers at once.
    const QString column = nonEmptyColumn().match(m_condition).captured(1);
    const auto whole = RegisterCounts::read(m_conn.database(), m_table);
    if (!whole) return countWhere(m_condition, {});
    return *whole - countWhere(column + QStringLiteral(" IS NULL"), {}) -
           countWhere(column + QStringLiteral(" = ''"), {});
}

qint64 KeysetRows::countWhere(const QString& condition, const QVariantList& binds) const {
    QSqlQuery q(m_conn.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM %1%2")
                  .arg(m_table, condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition));
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec()) raise(q);
    return q.next() ? q.value(0).toLongLong() : 0;
}

QString KeysetRows::orderClause(bool backwards) const {
    const bool server = m_conn.engine() == Connection::Engine::Postgres;
    QStringList terms;
    for (const OrderTerm& term : m_order) {
        const bool descending = term.descending != backwards;
        QString text = term.column + (descending ? QStringLiteral(" DESC") : QString());
        if (server) text += descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
        terms << text;
    }
    terms << (backwards ? QStringLiteral("rowid DESC") : QStringLiteral("rowid"));
    return terms.join(QStringLiteral(", "));
}

QString KeysetRows::selectList() const {
    QStringList columns{QStringLiteral("rowid")};
    for (const OrderTerm& term : m_order)
        columns << term.column;
    for (const QString& column : m_fetched)
        if (!column.isEmpty()) columns << column;
    return columns.join(QLatin1Char(','));
}

// A walk from a row in a direction is one condition per stretch the index holds in order: for
// the first column, its empty values stand apart from the rest (first ascending, last
// descending), and the engine can go straight to where a stretch begins.
QVector<KeysetRows::Query> KeysetRows::walkQueries(const QVector<QVariant>* keys, bool backwards,
                                                   bool inclusive) const {
    const QString base = m_condition.trimmed();
    const auto withBase = [&](const QString& walk) {
        if (base.isEmpty()) return walk;
        if (walk.isEmpty()) return base;
        return QStringLiteral("(%1) AND (%2)").arg(base, walk);
    };
    if (!keys) return {{withBase({}), {}}};

    // After the row on the columns from `term` on, the earlier ones equal to the row's.
    const std::function<QString(int, QVariantList&)> after = [&](int term, QVariantList& binds) -> QString {
        if (term == m_order.size()) {
            binds << keys->last();
            const QString op = backwards ? QStringLiteral("<") : QStringLiteral(">");
            return QStringLiteral("rowid ") + op + (inclusive ? QStringLiteral("=") : QString()) +
                   QStringLiteral(" ?");
        }
        const QString& column = m_order[term].column;
        const QVariant& value = (*keys)[term];
        const bool ascending = m_order[term].descending == backwards;
        QVariantList laterBinds;
        const QString later = after(term + 1, laterBinds);
        if (value.isNull()) {
            binds << laterBinds;
            const QString sameThenLater = QStringLiteral("(%1 IS NULL AND %2)").arg(column, later);
            return ascending ? QStringLiteral("(%1 IS NOT NULL OR %2)").arg(column, sameThenLater) : sameThenLater;
        }
        binds << value << value << laterBinds;
        return ascending ? QStringLiteral("(%1 > ? OR (%1 = ? AND %2))").arg(column, later)
                         : QStringLiteral("(%1 < ? OR %1 IS NULL OR (%1 = ? AND %2))").arg(column, later);
    };

    if (m_order.isEmpty()) {
        QVariantList binds;
        const QString walk = after(0, binds);
        return {{withBase(walk), binds}};
    }
    const QString& first = m_order.first().column;
    const QVariant& value = keys->first();
    const bool ascending = m_order.first().descending == backwards;
    QVariantList laterBinds;
    const QString later = after(1, laterBinds);
    if (value.isNull()) {
        Query nulls{withBase(QStringLiteral("%1 IS NULL AND %2").arg(first, later)), laterBinds};
        if (!ascending) return {nulls};
        return {nulls, {withBase(first + QStringLiteral(" IS NOT NULL")), {}}};
    }
    const QString op = ascending ? QStringLiteral(">") : QStringLiteral("<");
    Query values{withBase(QStringLiteral("%1 %2= ? AND (%1 %2 ? OR (%1 = ? AND %3))").arg(first, op, later)),
                 QVariantList{value, value, value} + laterBinds};
    if (ascending) return {values};
    return {values, {withBase(first + QStringLiteral(" IS NULL")), {}}};
}

QVector<KeysetRows::Entry> KeysetRows::run(const Query& query, const QString& order, qint64 limit) const {
    QSqlQuery q(m_conn.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT %5")
                  .arg(selectList(), m_table,
                       query.sql.isEmpty() ? QString() : QStringLiteral(" WHERE ") + query.sql, order)
                  .arg(limit));
    for (const QVariant& v : query.binds)
        q.addBindValue(v);
    if (!q.exec()) raise(q);
    QVector<Entry> entries;
    const int keyCount = int(m_order.size());
    while (q.next()) {
        Entry entry;
        entry.row.id = q.value(0).toLongLong();
        for (int k = 0; k < keyCount; ++k)
            entry.keys << q.value(1 + k);
        entry.keys << entry.row.id;
        entry.row.values.resize(m_fetched.size());
        int column = 1 + keyCount;
        for (int i = 0; i < m_fetched.size(); ++i)
            if (!m_fetched[i].isEmpty()) entry.row.values[i] = q.value(column++);
        entries << entry;
    }
    return entries;
}

QVector<KeysetRows::Entry> KeysetRows::walk(const QVector<QVariant>* keys, bool backwards, bool inclusive,
                                            qint64 limit) {
    QVector<Entry> entries;
    for (const Query& query : walkQueries(keys, backwards, inclusive)) {
        if (entries.size() >= limit) break;
        entries << run(query, orderClause(backwards), limit - entries.size());
    }
    return entries;
}

QString KeysetRows::keyList() const {
    QStringList columns;
    for (const OrderTerm& term : m_order)
        columns << term.column;
    columns << QStringLiteral("rowid");
    return columns.join(QLatin1Char(','));
}

QVector<QVariant> KeysetRows::keysAtOffset(qint64 offset, bool backwards) const {
    // Only the index is walked: the columns read are the ones it holds.
    QSqlQuery q(m_conn.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT 1 OFFSET %5")
                  .arg(keyList(), m_table,
                       m_condition.trimmed().isEmpty() ? QString() : QStringLiteral(" WHERE ") + m_condition,
                       orderClause(backwards))
                  .arg(offset));
    if (!q.exec()) raise(q);
    QVector<QVariant> keys;
    if (q.next())
        for (int i = 0; i <= m_order.size(); ++i)
            keys << q.value(i);
    return keys;
}

qint64 KeysetRows::spaceOf(qint64 number) {
    return number < kFirstSpace / 2 ? 0 : (number - kFirstSpace) / kSpaceSize + 1;
}

// Once one row of a numbering has its place, every row of it has: its windows are renumbered as
// places, and numbers handed out before are translated on their way in.
void KeysetRows::placeSpace(qint64 space, qint64 numberAtPlace, qint64 place) {
    const qint64 offset = numberAtPlace - place;
    m_spaceOffsets.insert(space, offset);
    for (Window& window : m_windows)
        if (spaceOf(window.start) == space) window.start -= offset;
}

qsizetype KeysetRows::windowOf(qint64 number) const {
    // The latest read of a row wins over an older one.
    for (qsizetype i = m_windows.size() - 1; i >= 0; --i)
        if (number >= m_windows[i].start && number < m_windows[i].end()) return i;
    return -1;
}

const KeysetRows::Entry* KeysetRows::cachedEntry(qint64 number) const {
    const qsizetype window = windowOf(number);
    return window < 0 ? nullptr : &m_windows[window].entries[number - m_windows[window].start];
}

void KeysetRows::keep(Window window) {
    if (window.entries.isEmpty()) return;
    if (m_windows.size() >= kKeptWindows) m_windows.removeFirst();
    m_windows << std::move(window);
}

bool KeysetRows::extendTo(qint64 number) {
    for (const Window& window : m_windows) {
        if (number == window.end()) {
            const QVector<QVariant> keys = window.entries.last().keys;
            const qint64 last = window.end() - 1;
            const QVector<Entry> after = walk(&keys, false, false, kWindowRows);
            const bool found = !after.isEmpty();
            keep({number, after});
            // A walk that comes short has met the end: rows were removed elsewhere, or a found
            // row's numbering meets the end of the set and so learns its places.
            if (after.size() < kWindowRows) {
                if (spaceOf(number) == 0)
                    endsAt(number + after.size());
                else
                    placeSpace(spaceOf(number), last + after.size(), m_count - 1);
            }
            return found;
        }
        if (number == window.start - 1) {
            const QVector<QVariant> keys = window.entries.first().keys;
            const qint64 first = window.start;
            QVector<Entry> before = walk(&keys, true, false, kWindowRows);
            if (before.isEmpty()) {
                if (spaceOf(number) != 0) placeSpace(spaceOf(number), first, 0);
                return false;
            }
            std::reverse(before.begin(), before.end());
            keep({number - before.size() + 1, before});
            return true;
        }
    }
    return false;
}

// The row is found in the index from the nearer end and the window read from there on: the rows
// passed are never read.
void KeysetRows::jumpTo(qint64 place) {
    const bool fromEnd = place > m_count / 2;
    const qint64 offset = fromEnd ? m_count - 1 - place : place;
    QVector<Entry> entries;
    if (offset == 0) {
        entries = walk(nullptr, fromEnd, false, kWindowRows);
    } else {
        const QVector<QVariant> keys = keysAtOffset(offset, fromEnd);
        if (!keys.isEmpty()) entries = walk(&keys, fromEnd, true, kWindowRows);
    }
    if (fromEnd) std::reverse(entries.begin(), entries.end());
    const bool shortWalk = entries.size() < kWindowRows;
    if (shortWalk && fromEnd && offset == 0) place = entries.size() - 1; // the whole set, from its end
    keep({fromEnd ? place - entries.size() + 1 : place, entries});
    if (shortWalk && !fromEnd) endsAt(place + entries.size());
    if (shortWalk && fromEnd && offset == 0) endsAt(entries.size());
}

// The set ends sooner (or later) than counted: other desks changed it. What was read before the
// last window is of the set as it was, and goes.
void KeysetRows::endsAt(qint64 count) {
    if (count == m_count) return;
    m_count = count;
    if (m_windows.size() > 1) m_windows.remove(0, m_windows.size() - 1);
}

KeysetRows::Place KeysetRows::placeOf(qint64 number) {
    number = canonical(number);
    if (spaceOf(number) != 0) {
        if (cachedEntry(number) || extendTo(number)) return Place::Row;
        number = canonical(number);
        if (spaceOf(number) != 0) return Place::AfterLast; // its windows were let go: nothing to go by
    }
    if (number < 0) return Place::BeforeFirst;
    if (number >= m_count) return Place::AfterLast;
    if (cachedEntry(number)) return Place::Row;
    if (number >= m_count) return Place::AfterLast;
    if (!extendTo(number) && number < m_count && !cachedEntry(number)) jumpTo(number);
    if (cachedEntry(number)) return Place::Row;
    return number < 0 ? Place::BeforeFirst : Place::AfterLast;
}

const RecordRow& KeysetRows::rowAt(qint64 number) {
    if (placeOf(number) != Place::Row) return m_goneRow;
    const Entry* entry = cachedEntry(canonical(number));
    return entry ? entry->row : m_goneRow;
}

RecordRow* KeysetRows::cachedRow(qint64 number) {
    number = canonical(number);
    const qsizetype window = windowOf(number);
    // Written through: the windows detach from a copy's (a clone keeps what it read).
    return window < 0 ? nullptr : &m_windows[window].entries[number - m_windows[window].start].row;
}

qint64 KeysetRows::canonical(qint64 number) const {
    const qint64 space = spaceOf(number);
    return space == 0 ? number : number - m_spaceOffsets.value(space, 0);
}

qint64 KeysetRows::position(qint64 number) {
    number = canonical(number);
    const qint64 space = spaceOf(number);
    if (space == 0) return number;
    for (const Window& window : m_windows) {
        if (spaceOf(window.start) != space) continue;
        // Its place is the number of rows before its window's first row.
        qint64 before = 0;
        for (const Query& query : walkQueries(&window.entries.first().keys, true, false))
            before += countWhere(query.sql, query.binds);
        placeSpace(space, window.start, before);
        return canonical(number);
    }
    return -1;
}

std::optional<QVector<QVariant>> KeysetRows::keysOf(qint64 id) const {
    QSqlQuery q(m_conn.database());
    q.setForwardOnly(true);
    const QString base = m_condition.trimmed();
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?%3")
                  .arg(keyList(), m_table, base.isEmpty() ? QString() : QStringLiteral(" AND (%1)").arg(base)));
    q.addBindValue(id);
    if (!q.exec()) raise(q);
    if (!q.next()) return std::nullopt;
    QVector<QVariant> keys;
    for (int i = 0; i <= m_order.size(); ++i)
        keys << q.value(i);
    return keys;
}

qint64 KeysetRows::numberOf(qint64 id) {
    for (const Window& window : m_windows)
        for (qint64 i = 0; i < window.entries.size(); ++i)
            if (window.entries[i].row.id == id) return window.start + i;
    const auto keys = keysOf(id);
    if (!keys) return -1;
    const QVector<Entry> entries = walk(&*keys, false, true, kWindowRows);
    if (entries.isEmpty()) return -1;
    const qint64 start = kFirstSpace + m_spaces++ * kSpaceSize + kSpaceSize / 2;
    const bool reachesEnd = entries.size() < kWindowRows;
    keep({start, entries});
    if (reachesEnd) placeSpace(spaceOf(start), start + entries.size() - 1, m_count - 1);
    return canonical(start);
}

qint64 KeysetRows::findFrom(qint64 number, const QString& condition, const QVariant& bound) {
    if (placeOf(number) != Place::Row) return -1;
    const QVector<QVariant> keys = cachedEntry(canonical(number))->keys;
    // The criterion's own index finds the few candidates; they are put in the set's order after.
    const bool sqlite = m_conn.engine() == Connection::Engine::Sqlite;
    QString order = orderClause(false);
    if (sqlite) order = QLatin1Char('+') + order.replace(QStringLiteral(", "), QStringLiteral(", +"));
    for (Query query : walkQueries(&keys, false, true)) {
        query.sql = QStringLiteral("(%1) AND (%2)").arg(query.sql, condition);
        query.binds << bound;
        const QVector<Entry> found = run(query, order, 1);
        if (!found.isEmpty()) return numberOf(found.first().row.id);
    }
    return -1;
}

void KeysetRows::reread(qint64 number) {
    number = canonical(number);
    for (Window& window : m_windows) {
        if (number < window.start || number >= window.end()) continue;
        Entry& entry = window.entries[number - window.start];
        QSqlQuery q(m_conn.database());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(selectList(), m_table));
        q.addBindValue(entry.row.id);
        if (!q.exec()) raise(q);
        if (!q.next()) return; // gone: the owner finds out when it asks
        const int keyCount = int(m_order.size());
        for (int k = 0; k < keyCount; ++k)
            entry.keys[k] = q.value(1 + k);
        int column = 1 + keyCount;
        for (int i = 0; i < m_fetched.size(); ++i)
            if (!m_fetched[i].isEmpty()) entry.row.values[i] = q.value(column++);
    }
}

qint64 KeysetRows::lastNumber() {
    const qint64 count = countRows();
    if (count != m_count) {
        // Places have shifted: what was read is numbered as the set was.
        m_windows.clear();
        m_spaceOffsets.clear();
        m_count = count;
    }
    return m_count - 1;
}

void KeysetRows::forget() {
    m_windows.clear();
    m_spaceOffsets.clear();
    m_count = countRows();
}

bool KeysetRows::ordersBy(const QString& column) const {
    for (const OrderTerm& term : m_order)
        if (unquoted(term.column).compare(unquoted(column), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString KeysetRows::firstWindowSql() const {
    const QString base = m_condition.trimmed();
    return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT %5")
        .arg(selectList(), m_table, base.isEmpty() ? QString() : QStringLiteral(" WHERE ") + base,
             orderClause(false))
        .arg(kWindowRows);
}

void KeysetRows::raise(const QSqlQuery& query) const {
    m_conn.raiseIfLost();
    throw dbErrorFrom(query.lastError(), query.driver());
}
