#pragma once
// The rows of a whole register (or of one that leaves out only its empty keys) in the order of an
// index, read a window at a time from the row next to one already read: a register of ten million
// certificates costs no more to open and walk than one of a thousand. Nothing holds every row
// identity; counting and jumping cost an index walk at most, never a read of the rows passed.

#include "Connection.h"

#include <optional>
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

// Rows are numbered: a row reached from the start or the end of the set carries its place in it;
// one found by its identity or a search (a bookmark, Find) carries a number of its own until its
// place is asked for, so that finding a row never counts the rows before it.
class KeysetRows {
public:
    // `fetched` names, for each of the set's columns, the quoted column to read with the window,
    // or is empty for a column read elsewhere (a photo).
    KeysetRows(Connection& conn, QString table, QString condition, QVector<OrderTerm> order,
               QStringList fetched);

    // Whether statements on `table` with this condition and order can be read so: the order must
    // begin with a column an index of both engines gives in that order.
    static bool serves(const QString& table, const QString& condition, const QVector<OrderTerm>& order);

    enum class Place { Row, BeforeFirst, AfterLast };

    qint64 count() const { return m_count; }
    // The number of the last row, the count read again first (it costs a row), so that the end
    // is where other desks left it.
    qint64 lastNumber();
    // Numbers 0 .. count()-1 are places; -1 and count() stand before and after the set.
    Place placeOf(qint64 number);
    // The row of a number that is a Row; a row gone since reads as an empty row, identity 0.
    const RecordRow& rowAt(qint64 number);
    // The cached copy of a row read, to keep in step with what this set wrote; null when not cached.
    RecordRow* cachedRow(qint64 number);
    // The place (0-based) of a numbered row, counted in the index when not yet known.
    qint64 position(qint64 number);
    // The number of the row with this identity; -1 when it is not (or no longer) in the set.
    qint64 numberOf(qint64 id);
    // The first row at or after `number` that also satisfies `condition` (one `?` for `bound`); -1.
    qint64 findFrom(qint64 number, const QString& condition, const QVariant& bound);
    // Reads the row again, keeping its number.
    void reread(qint64 number);
    // Whether `column` is one of the columns the set is ordered by.
    bool ordersBy(const QString& column) const;
    // What was read may no longer stand: the cache starts anew and the count is read again.
    void forget();
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
        qint64 end() const { return start + entries.size(); }
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
    QString keyList() const;
    QVector<Entry> run(const Query& query, const QString& order, qint64 limit) const;
    QVector<QVariant> keysAtOffset(qint64 offset, bool backwards) const;
    std::optional<QVector<QVariant>> keysOf(qint64 id) const;
    qint64 countWhere(const QString& condition, const QVariantList& binds) const;
    // Reads on from the window next to `number`: true when the number then has its row; the walk
    // that finds nothing there learns where the set begins or ends.
    bool extendTo(qint64 number);
    void jumpTo(qint64 place);
    void endsAt(qint64 count);
    // A numbering's offset to places, once known.
    static qint64 spaceOf(qint64 number);
    qint64 canonical(qint64 number) const;
    void placeSpace(qint64 space, qint64 numberAtPlace, qint64 place);
    void keep(Window window);
    qsizetype windowOf(qint64 number) const; // the latest window holding the number; -1
    const Entry* cachedEntry(qint64 number) const;
    [[noreturn]] void raise(const class QSqlQuery& query) const;

    Connection& m_conn;
    QString m_table;
    QString m_condition; // without WHERE; empty for the whole table
    QVector<OrderTerm> m_order;
    QStringList m_fetched;
    qint64 m_count = 0;
    QVector<Window> m_windows; // most recently read last
    qint64 m_spaces = 0;       // numberings opened by finding a row
    QHash<qint64, qint64> m_spaceOffsets; // numbering -> what to subtract for the place
    RecordRow m_goneRow;
};
