#pragma once
// Record sets: the cursor semantics the windows are written against (ADO style) over a Connection.

#include "Connection.h"
#include "KeysetRows.h"

#include <functional>
#include <memory>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

// A statement as the window records it (`text`, also the record set's Source) and as it runs
// (`sql` with `?` placeholders and the bound values).
struct Statement {
    QString text;
    QString sql;
    QVariantList binds;
    // When set, the identities of sql's rows in sql's order, with the same values bound, as an
    // index gives them alone: a set opened on the statement reads them so. Changing sql's
    // condition or order drops it.
    QString identitySql{};
};

class Recordset;

class Field {
public:
    Field(Recordset* rs, int index) : m_rs(rs), m_index(index) {}
    QString Name() const;
    int Type() const;
    QVariant Value() const;
    void setValue(const QVariant& value);
    qint64 ActualSize() const;
    void AppendChunk(const QVariant& chunk);
    QVariant GetChunk(qint64 length);
    bool isNull() const { return Value().isNull(); }

private:
    Recordset* m_rs;
    int m_index;
};

class Recordset {
public:
    using Bookmark = qint64;

    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    void Open(const QString& source, Connection& conn, int cursorType = ado::adOpenForwardOnly,
              int lockType = ado::adLockReadOnly);
    void Open(const Statement& statement, Connection& conn, int cursorType = ado::adOpenForwardOnly,
              int lockType = ado::adLockReadOnly);
    void Close();
    // A second, read-only cursor over the same rows (ADO's Clone): nothing is read again, and
    // each cursor moves on its own.
    std::shared_ptr<Recordset> Clone() const;
    int State() const { return m_open ? ado::adStateOpen : ado::adStateClosed; }
    QString Source() const { return m_source; }
    Statement statement() const { return m_statement; }
    // The statement that read the row identities (or the whole set), as the engine ran it.
    QString executedSql() const { return m_executedSql; }

    qint64 RecordCount() const;
    bool IsBOF() const;
    bool IsEOF() const;
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    qint64 AbsolutePosition() const;
    void setAbsolutePosition(qint64 position);
    Bookmark bookmark() const;
    void setBookmark(Bookmark mark);
    // Searches forward from the current row for `field op literal`; EOF when nothing matches.
    void Find(const QString& criterion);

    int FieldCount() const;
    Field Fields(int index);
    Field Fields(const QString& name);
    int fieldIndex(const QString& name) const; // -1 when absent

    void AddNew();
    void Update();
    void CancelUpdate();
    // Deletes the current row while it still holds the values read; otherwise nothing is deleted
    // and WriteConflict is raised.
    void Delete();
    int EditMode() const { return m_editMode; }
    // The pending change is one the owner can do without: a move, Find or AddNew that cannot store
    // it drops it and goes on. Any further change to the row makes it an ordinary one again.
    void markChangeOptional() { m_changeOptional = m_editMode == ado::adEditInProgress; }
    // Reads the current row again from the database, dropping what was read before. False when
    // the row was deleted elsewhere: it then leaves the set, which stands as after Delete.
    bool Resync();
    // Called whenever the current row changes, however it was moved (a set shared by two windows).
    void setMoveObserver(std::function<void()> observer) { m_moveObserver = std::move(observer); }

private:
    friend class Field;
    struct Column {
        QString name;
        int type = ado::adVarWChar;
        bool fetchedWithPage = true; // long binary values are read one at a time, when asked for
    };
    using Row = RecordRow;

    void openStatement(const Statement& statement, Connection& conn, int lockType);
    // A whole register (less its empty keys at most) in an indexed order is read by windows.
    bool openKeyset(const QString& condition, const QString& orderBy, const QVariantList& binds);
    qint64 rowCount() const;
    qint64 idAt(qint64 index);
    bool onRow() const;
    void openMaterialized(const Statement& statement);
    void requireOpen() const;
    void requireCurrent() const;
    void flushPending();
    void moveTo(qint64 index);
    const Row& currentRow();
    const Row& rowAt(qint64 index);
    void fetchPage(qint64 firstIndex);
    QVariant storedValue(int column);
    QVariant fieldValue(int column);
    void setFieldValue(int column, const QVariant& value);
    void appendChunk(int column, const QVariant& chunk);
    QVariant getChunk(int column, qint64 length);
    void insertPending();
    void updatePending();
    void guardRow(qint64 id, const Row& original, QStringList& conditions, QVariantList& values) const;
    void dropCurrentRow();
    void keepKeysetRowInStep(qint64 id);
    QString auditKey(const std::function<QVariant(int)>& valueOf) const;
    void recordAudit(const QString& action, const std::function<QVariant(int)>& before,
                     const std::function<QVariant(int)>& after);
    void forgetCurrentRow();
    QVariant toEngine(const QVariant& value, int type) const;
    QVariant fromEngine(const QVariant& value, int type) const;
    QString quoted(const QString& identifier) const;
    [[noreturn]] void raise(const class QSqlError& error) const;
    // For an insert, update or delete the engine refused.
    [[noreturn]] void raiseRefusedWrite(const class QSqlError& error) const;
    qint64 indexOfId(qint64 id);

    Connection* m_conn = nullptr;
    bool m_open = false;
    bool m_readOnly = true;
    bool m_lazy = false; // rows fetched a page at a time from `m_table` by row identity
    std::unique_ptr<KeysetRows> m_keyset; // or a window at a time in the set's order
    QString m_source;
    Statement m_statement;
    QString m_executedSql;
    QString m_table;
    QVector<Column> m_columns;
    QVector<qint64> m_ids; // every row identity, in order, unless read by windows
    qint64 m_pos = 0;
    bool m_currentDeleted = false;

    // Page cache of the lazy mode, and every row of the materialized mode.
    QHash<qint64, QVector<Row>> m_pages;
    QVector<qint64> m_pageOrder;
    QVector<Row> m_rows;

    // Long binary value of the current row, read on demand.
    qint64 m_blobRowId = -1;
    QHash<int, QVariant> m_blobs;

    int m_editMode = ado::adEditNone;
    bool m_changeOptional = false;
    QHash<int, QVariant> m_edits;
    QHash<int, bool> m_chunkStarted;
    QHash<int, qint64> m_chunkOffset;
    std::function<void()> m_moveObserver;
};

using RecordsetPtr = std::shared_ptr<Recordset>;

// Reads every row of a statement once, front to back, without keeping them (scans of a whole
// register that need one column).
void ForEachRow(Connection& conn, const Statement& statement,
                const std::function<void(const QVariantList&)>& visit);

// Deletes the rows of `table` that `condition` (with `?` for the values) selects, every one with
// its audit rows, all in one transaction; an empty condition deletes them all. Returns how many.
qint64 DeleteWhere(Connection& conn, const QString& table, const QString& condition = {},
                   const QVariantList& binds = {});

// A text literal for a criterion or SQL text: quotes doubled, so the text stays data.
QString QuoteLiteral(const QString& text);
