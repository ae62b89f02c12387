#pragma once
// The rows of a whole register (or of one that leaves out only its empty keys) in the order of an
// index, read a window at a time from the row next to one already read: a register of ten million
// certificates costs no more to open and walk than one of a thousand. Nothing holds every row
// identity; counting and jumping cost an index walk at most, never a read of the rows passed.

#include "Connection.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// One row of a record set: its identity and its values in the set's column order.
struct RecordRow {
    qint64 id = 0;
    QVector<QVariant> values;
};

// One column of an ORDER BY: ascending puts empty values first, descending last, on both engines.
struct OrderTerm {
    QString column;
    bool descending = false;
};

class KeysetRows {
public:
    // `fetched` names, for each of the set's `columnCount` columns, the quoted column to read with
    // the window, or is empty for a column read elsewhere (a photo).
    KeysetRows(Connection& conn, QString table, QString condition, QVector<OrderTerm> order,
               QStringList fetched);

    // Whether statements on `table` with this condition and order can be read so: the order must
    // begin with a column an index of both engines gives in that order.
    static bool serves(const QString& table, const QString& condition, const QVector<OrderTerm>& order);

    qint64 count() const { return m_count; }
    // Index 0 .. count()-1. Reaching rows removed elsewhere meanwhile reads the count again; a row
    // past the new end reads as an empty row, identity 0.
    const RecordRow& rowAt(qint64 index);
    // The cached copy of a row read, to keep in step with what this set wrote; null when not cached.
    RecordRow* cachedRow(qint64 index);
    // Where the row stands in the set now; -1 when it is not (or no longer) in it.
    qint64 indexOf(qint64 id);
    // The first row at or after `index` that also satisfies `condition` (one `?` for `bound`); -1.
    qint64 findFrom(qint64 index, const QString& condition, const QVariant& bound);
    // This set added a row (returned: where it stands, -1 when outside the set) or removed one:
    // the cache starts anew, and the count is read again.
    qint64 rowAdded(qint64 id);
    void rowRemoved();
    void forget();
    // Whether `column` is one of the columns the set is ordered by.
    bool ordersBy(const QString& column) const;
    // The statement of the first window, as the engine runs it.
    QString firstWindowSql() const;

private:
    struct Entry {
        RecordRow row;
        QVector<QVariant> keys; // the order columns' values, then the identity
    };
    struct Window {
        qint64 start = 0;
        QVector<Entry> entries;
    };
    struct Query {
        QString sql;
        QVariantList binds;
    };

    qint64 countRows() const;
    // The rows after (or, walking back, before) `keys`, at most `limit`, in walking order. Without
    // keys the walk starts at its end of the set; `inclusive` takes the row of `keys` as well.
    QVector<Entry> walk(const QVector<QVariant>* keys, bool backwards, bool inclusive, qint64 limit);
    QVector<Query> walkQueries(const QVector<QVariant>* keys, bool backwards, bool inclusive) const;
    QString orderClause(bool backwards) const;
    QString selectList() const;
    QVector<Entry> run(const Query& query, const QString& order, qint64 limit) const;
    QVector<QVariant> keysAtOffset(qint64 offset, bool backwards) const;
    qint64 countWhere(const QString& condition, const QVariantList& binds) const;
    void keep(Window window);
    const Entry* cachedEntry(qint64 index) const;
    [[noreturn]] void raise(const class QSqlQuery& query) const;

    Connection& m_conn;
    QString m_table;
    QString m_condition; // without WHERE; empty for the whole table
    QVector<OrderTerm> m_order;
    QStringList m_fetched;
    qint64 m_count = 0;
    QVector<Window> m_windows; // most recently read last
    RecordRow m_goneRow;
};
