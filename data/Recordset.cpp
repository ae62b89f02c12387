#include "Recordset.h"

#include "Criterion.h"
#include "DbConditions.h"
#include "EngineReads.h"
#include "RecordsetInternals.h"
#include "Schema.h"

#include <QDate>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <sqlite3.h>

using namespace RecordsetInternals;

namespace {

constexpr qint64 kCachedRowsLimit = 16384;

DbError noCurrentRecord() {
    return DbError(DbErrorCode::NoCurrentRecord,
                   QStringLiteral("BOF 或 EOF 中有一个为真，或者当前记录已被删除。"));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Field

QString Field::Name() const {
    return m_rs->m_columns.value(m_index).name;
}
int Field::Type() const {
    return m_rs->m_columns.value(m_index).type;
}
QVariant Field::Value() const {
    return m_rs->fieldValue(m_index);
}
void Field::setValue(const QVariant& value) {
    m_rs->setFieldValue(m_index, value);
}
void Field::AppendChunk(const QVariant& chunk) {
    m_rs->appendChunk(m_index, chunk);
}
QVariant Field::GetChunk(qint64 length) {
    return m_rs->getChunk(m_index, length);
}

qint64 Field::ActualSize() const {
    const QVariant v = Value();
    if (v.isNull()) return 0;
    if (v.typeId() == QMetaType::QByteArray) return v.toByteArray().size();
    return v.toString().size();
}

// ---------------------------------------------------------------------------------------------
// Recordset

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open(const QString& source, Connection& conn, int cursorType, int lockType) {
    static const QRegularExpression plainName(QStringLiteral("^\\s*[\\w]+\\s*$"),
                                              QRegularExpression::UseUnicodePropertiesOption);
    Statement statement{source, source, {}};
    if (plainName.match(source).hasMatch())
        statement.sql = QStringLiteral("SELECT * FROM ") + source.trimmed();
    Open(statement, conn, cursorType, lockType);
}

void Recordset::Open(const Statement& statement, Connection& conn, int, int lockType) {
    if (m_open) Close();
    conn.requireOpen();
    m_conn = &conn;
    m_source = statement.text;
    m_statement = statement;
    m_readOnly = lockType == ado::adLockReadOnly;
    openStatement(statement, conn, lockType);
    m_open = true;
    moveTo(0); // with no rows this is BOF and EOF at once
}

void Recordset::openStatement(const Statement& statement, Connection& conn, int) {
    // Statements of the form SELECT <columns> FROM <table> [WHERE ...] [ORDER BY ...] are paged
    // by row identity; anything else is read whole.
    static const QRegularExpression simple(
        QStringLiteral("^\\s*SELECT\\s+(\\*|[\\w\"]+(?:\\s*,\\s*[\\w\"]+)*)\\s+FROM\\s+([\\w\"]+)(\\s+(?:"
                       "WHERE|ORDER)\\b.*)?\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption |
            QRegularExpression::UseUnicodePropertiesOption);
    const auto match = simple.match(statement.sql);
    if (!match.hasMatch()) {
        openMaterialized(statement);
        return;
    }
    m_lazy = true;
    m_table = match.captured(2);
    const QString selectList = match.captured(1).trimmed();
    QString rest = match.captured(3);
    // A whole table comes in the order of its key, as the office's records always have; other
    // sets without an order of their own keep the order rows were added in, on both engines.
    static const QRegularExpression orderBy(QStringLiteral("\\bORDER\\s+BY\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (!orderBy.match(rest).hasMatch()) {
        const QStringList keys = tableDef(m_table).uniqueColumns;
        if (rest.trimmed().isEmpty() && !keys.isEmpty())
            rest += QStringLiteral(" ORDER BY %1, rowid").arg(keys.first());
        else
            rest += QStringLiteral(" ORDER BY rowid");
    }
    QSqlDatabase db = conn.database();

    QSqlQuery shape(db);
    if (!shape.exec(QStringLiteral("SELECT %1 FROM %2 WHERE 1=0").arg(selectList, m_table)))
        raise(shape.lastError());
    const QSqlRecord record = shape.record();
    const auto& declared = conn.columnTypes(m_table);
    m_columns.clear();
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField f = record.field(i);
        if (f.name().compare(kRowId, Qt::CaseInsensitive) == 0) continue;
        Column c;
        c.name = f.name();
        c.type = declared.value(f.name().toLower(), typeFromMetaType(f.metaType()));
        c.fetchedWithPage = c.type != ado::adLongVarBinary;
        m_columns.append(c);
    }

    static const QRegularExpression parts(
        QStringLiteral("^\\s*(?:WHERE\\s+(.*?))?\\s*ORDER\\s+BY\\s+(.*?)\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption |
            QRegularExpression::UseUnicodePropertiesOption);
    const auto clauses = parts.match(rest);
    if (clauses.hasMatch() && openKeyset(clauses.captured(1), clauses.captured(2), statement.binds)) return;

    const QString idSql =
        statement.identitySql.isEmpty()
            ? withEmptyValuesFirst(QStringLiteral("SELECT rowid FROM %1%2").arg(m_table, rest), conn.engine())
            : statement.identitySql;
    m_executedSql = idSql;
    QVariantList binds;
    for (const QVariant& v : statement.binds)
        binds.append(toEngine(v, v.typeId() == QMetaType::QDate ? ado::adDate : ado::adVarWChar));
    m_ids.clear();
    if (conn.engine() == Connection::Engine::Sqlite &&
        stepSqlite(db, idSql, binds,
                   [this](sqlite3_stmt* row) { m_ids.append(sqlite3_column_int64(row, 0)); }))
        return;
    std::optional<DbError> failure;
    if (conn.engine() == Connection::Engine::Postgres && loadPostgresIds(db, idSql, binds, m_ids, failure)) {
        if (!failure) return;
        conn.raiseIfLost();
        throw *failure;
    }
    QSqlQuery ids(db);
    ids.setForwardOnly(true);
    if (!ids.prepare(idSql)) raise(ids.lastError());
    for (const QVariant& v : binds)
        ids.addBindValue(v);
    if (!ids.exec()) raise(ids.lastError());
    while (ids.next())
        m_ids.append(ids.value(0).toLongLong());
}

bool Recordset::openKeyset(const QString& condition, const QString& orderBy, const QVariantList& binds) {
    if (!binds.isEmpty()) return false;
    static const QRegularExpression plainTerm(QStringLiteral("^([\\w\"]+)(?:\\s+(ASC|DESC))?$"),
                                              QRegularExpression::CaseInsensitiveOption |
                                                  QRegularExpression::UseUnicodePropertiesOption);
    QVector<OrderTerm> order;
    const QStringList terms = orderBy.split(QLatin1Char(','));
    for (int i = 0; i < terms.size(); ++i) {
        const auto term = plainTerm.match(terms[i].trimmed());
        if (!term.hasMatch()) return false;
        const bool descending = term.captured(2).compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
        if (term.captured(1).compare(kRowId, Qt::CaseInsensitive) == 0) {
            // The identity breaks ties last, ascending, as the windows walk it.
            if (i != terms.size() - 1 || descending) return false;
            continue;
        }
        order.append({term.captured(1), descending});
    }
    if (!KeysetRows::serves(m_table, condition, order)) return false;
    QStringList fetched;
    for (const Column& c : m_columns)
        fetched << (c.fetchedWithPage ? quoted(c.name) : QString());
    m_keyset = std::make_unique<KeysetRows>(*m_conn, m_table, condition, order, fetched);
    m_executedSql = m_keyset->firstWindowSql();
    return true;
}

qint64 Recordset::rowCount() const {
    return m_keyset ? m_keyset->count() : m_ids.size();
}

qint64 Recordset::idAt(qint64 index) {
    return m_keyset ? m_keyset->rowAt(index).id : m_ids[index];
}

bool Recordset::onRow() const {
    if (m_keyset) return m_keyset->placeOf(m_pos) == KeysetRows::Place::Row;
    return m_pos >= 0 && m_pos < m_ids.size();
}

void Recordset::openMaterialized(const Statement& statement) {
    m_lazy = false;
    m_readOnly = true;
    QSqlQuery q(m_conn->database());
    q.setForwardOnly(true);
    m_executedSql = withEmptyValuesFirst(statement.sql, m_conn->engine());
    if (!q.prepare(m_executedSql)) raise(q.lastError());
    for (const QVariant& v : statement.binds)
        q.addBindValue(toEngine(v, v.typeId() == QMetaType::QDate ? ado::adDate : ado::adVarWChar));
    if (!q.exec()) raise(q.lastError());
    const QSqlRecord record = q.record();
    m_columns.clear();
    for (int i = 0; i < record.count(); ++i)
        m_columns.append(Column{record.fieldName(i), typeFromMetaType(record.field(i).metaType()), true});
    m_ids.clear();
    m_rows.clear();
    while (q.next()) {
        Row row;
        row.id = m_ids.size();
        for (int i = 0; i < m_columns.size(); ++i)
            row.values.append(q.value(i));
        m_ids.append(row.id);
        m_rows.append(row);
    }
}

void Recordset::Close() {
    m_open = false;
    m_lazy = false;
    m_keyset.reset();
    m_conn = nullptr;
    m_columns.clear();
    m_ids.clear();
    m_rows.clear();
    m_pages.clear();
    m_pageOrder.clear();
    m_blobs.clear();
    m_blobRowId = -1;
    m_edits.clear();
    m_chunkStarted.clear();
    m_chunkOffset.clear();
    m_editMode = ado::adEditNone;
    m_changeOptional = false;
    m_currentDeleted = false;
    m_pos = 0;
}

std::shared_ptr<Recordset> Recordset::Clone() const {
    requireOpen();
    auto copy = std::make_shared<Recordset>();
    copy->m_conn = m_conn;
    copy->m_lazy = m_lazy;
    if (m_keyset) copy->m_keyset = std::make_unique<KeysetRows>(*m_keyset);
    copy->m_source = m_source;
    copy->m_statement = m_statement;
    copy->m_executedSql = m_executedSql;
    copy->m_table = m_table;
    copy->m_columns = m_columns;
    // Shared until one of the two changes them.
    copy->m_ids = m_ids;
    copy->m_rows = m_rows;
    copy->m_open = true;
    copy->moveTo(0);
    return copy;
}

void Recordset::requireOpen() const {
    if (!m_open) throw DbError(DbErrorCode::NotOpen, QStringLiteral("对象关闭时，不允许操作。"));
}

void Recordset::requireCurrent() const {
    requireOpen();
    if (m_editMode == ado::adEditAdd) return;
    if (m_currentDeleted || !onRow()) throw noCurrentRecord();
}

qint64 Recordset::RecordCount() const {
    requireOpen();
    return rowCount();
}

bool Recordset::IsBOF() const {
    requireOpen();
    if (m_editMode == ado::adEditAdd) return false;
    if (m_keyset) return rowCount() == 0 || m_keyset->placeOf(m_pos) == KeysetRows::Place::BeforeFirst;
    return m_pos < 0 || rowCount() == 0;
}

bool Recordset::IsEOF() const {
    requireOpen();
    if (m_editMode == ado::adEditAdd) return false;
    if (m_keyset) return rowCount() == 0 || m_keyset->placeOf(m_pos) == KeysetRows::Place::AfterLast;
    return m_pos >= rowCount();
}

void Recordset::moveTo(qint64 index) {
    m_pos = index;
    m_currentDeleted = false;
    m_chunkOffset.clear();
    if (m_moveObserver) m_moveObserver();
}

void Recordset::MoveFirst() {
    requireOpen();
    flushPending();
    moveTo(0);
}

void Recordset::MoveLast() {
    requireOpen();
    flushPending();
    moveTo(std::max<qint64>(0, m_keyset ? m_keyset->lastNumber() : rowCount() - 1));
}

void Recordset::MoveNext() {
    requireOpen();
    // After a delete the next row (or the end) has already slid into the current position.
    if (m_currentDeleted) {
        moveTo(m_pos);
        return;
    }
    if (IsEOF()) throw noCurrentRecord();
    flushPending();
    moveTo(m_pos + 1);
}

void Recordset::MovePrevious() {
    requireOpen();
    if (IsBOF()) throw noCurrentRecord();
    flushPending();
    moveTo(m_pos - 1);
}

qint64 Recordset::AbsolutePosition() const {
    requireOpen();
    if (m_editMode == ado::adEditAdd) return ado::adPosUnknown;
    if (IsBOF()) return ado::adPosBOF;
    if (IsEOF()) return ado::adPosEOF;
    return (m_keyset ? m_keyset->position(m_pos) : m_pos) + 1;
}

void Recordset::setAbsolutePosition(qint64 position) {
    requireOpen();
    if (position < 1 || position > rowCount())
        throw DbError(DbErrorCode::BadCriterion, QStringLiteral("记录位置 %1 超出范围。").arg(position));
    flushPending();
    moveTo(position - 1);
}

Recordset::Bookmark Recordset::bookmark() const {
    requireCurrent();
    if (m_editMode == ado::adEditAdd) throw noCurrentRecord();
    return const_cast<Recordset*>(this)->idAt(m_pos);
}

qint64 Recordset::indexOfId(qint64 id) {
    return m_keyset ? m_keyset->numberOf(id) : m_ids.indexOf(id);
}

void Recordset::setBookmark(Bookmark mark) {
    requireOpen();
    flushPending();
    const qint64 index = indexOfId(mark);
    if (index < 0) throw DbError(DbErrorCode::BadCriterion, QStringLiteral("书签无效。"));
    moveTo(index);
}

int Recordset::FieldCount() const {
    requireOpen();
    return m_columns.size();
}

int Recordset::fieldIndex(const QString& name) const {
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

Field Recordset::Fields(int index) {
    requireOpen();
    if (index < 0 || index >= m_columns.size())
        throw DbError(DbErrorCode::BadCriterion, QStringLiteral("字段序号 %1 不存在。").arg(index));
    return Field(this, index);
}

Field Recordset::Fields(const QString& name) {
    requireOpen();
    const int index = fieldIndex(name);
    if (index < 0) throw DbError(DbErrorCode::BadCriterion, QStringLiteral("字段 '%1' 不存在。").arg(name));
    return Field(this, index);
}

const Recordset::Row& Recordset::rowAt(qint64 index) {
    if (m_keyset) return m_keyset->rowAt(index);
    if (!m_lazy) return m_rows[m_ids[index]];
    const qint64 page = index / kPageRows;
    auto cached = m_pages.constFind(page);
    if (cached == m_pages.cend()) {
        fetchPage(page * kPageRows);
        cached = m_pages.constFind(page);
    }
    return (*cached)[index - page * kPageRows];
}

const Recordset::Row& Recordset::currentRow() {
    return rowAt(m_pos);
}

void Recordset::fetchPage(qint64 firstIndex) {
    const qint64 page = firstIndex / kPageRows;
    const qint64 first = page * kPageRows;
    const qint64 last = std::min<qint64>(first + kPageRows, m_ids.size());
    QStringList columns{kRowId};
    QVector<int> fetched;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].fetchedWithPage) {
            columns << quoted(m_columns[i].name);
            fetched << i;
        }
    QStringList marks;
    for (qint64 i = first; i < last; ++i)
        marks << QStringLiteral("?");
    QSqlQuery q(m_conn->database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid IN (%3)")
                  .arg(columns.join(QLatin1Char(',')), m_table, marks.join(QLatin1Char(','))));
    for (qint64 i = first; i < last; ++i)
        q.addBindValue(m_ids[i]);
    if (!q.exec()) raise(q.lastError());
    QHash<qint64, QVector<QVariant>> byId;
    while (q.next()) {
        QVector<QVariant> values(m_columns.size());
        for (int k = 0; k < fetched.size(); ++k)
            values[fetched[k]] = q.value(k + 1);
        byId.insert(q.value(0).toLongLong(), values);
    }
    QVector<Row> rows;
    rows.reserve(last - first);
    for (qint64 i = first; i < last; ++i)
        rows.append(Row{m_ids[i], byId.value(m_ids[i], QVector<QVariant>(m_columns.size()))});
    if (m_pages.size() * kPageRows >= kCachedRowsLimit) {
        m_pages.remove(m_pageOrder.takeFirst());
    }
    m_pages.insert(page, rows);
    m_pageOrder.append(page);
}

QVariant Recordset::storedValue(int column) {
    if (m_editMode == ado::adEditAdd) return {};
    const Column& c = m_columns[column];
    if (m_lazy && !c.fetchedWithPage) {
        const qint64 id = idAt(m_pos);
        if (m_blobRowId != id) {
            m_blobs.clear();
            m_blobRowId = id;
        }
        if (!m_blobs.contains(column)) {
            QSqlQuery q(m_conn->database());
            q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(quoted(c.name), m_table));
            q.addBindValue(id);
            if (!q.exec()) raise(q.lastError());
            m_blobs.insert(column, q.next() ? q.value(0) : QVariant());
        }
        return m_blobs.value(column);
    }
    return currentRow().values.value(column);
}

QVariant Recordset::fieldValue(int column) {
    requireCurrent();
    if (m_edits.contains(column)) return m_edits.value(column);
    return fromEngine(storedValue(column), m_columns[column].type);
}

QVariant Recordset::fromEngine(const QVariant& value, int type) const {
    if (value.isNull() || !value.isValid()) return {};
    switch (type) {
    case ado::adDate: {
        if (value.typeId() == QMetaType::QDate) return value;
        if (value.typeId() == QMetaType::QDateTime) return value.toDateTime().date();
        const QDate d = QDate::fromString(value.toString().left(10), Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    case ado::adBoolean:
        if (value.typeId() == QMetaType::QString)
            return value.toString() == QLatin1String("1") ||
                   value.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        return value.toBool();
    case ado::adLongVarBinary:
        return value.toByteArray();
    case ado::adInteger:
        return value.toLongLong();
    case ado::adDouble:
        return value.toDouble();
    default:
        return value.toString();
    }
}

QVariant Recordset::toEngine(const QVariant& value, int type) const {
    if (value.isNull() || !value.isValid()) return QVariant();
    const bool sqlite = m_conn && m_conn->engine() == Connection::Engine::Sqlite;
    switch (type) {
    case ado::adDate:
        return sqlite ? QVariant(value.toDate().toString(Qt::ISODate)) : QVariant(value.toDate());
    case ado::adBoolean:
        return sqlite ? QVariant(value.toBool() ? 1 : 0) : QVariant(value.toBool());
    default:
        return value;
    }
}

QVariant Recordset::getChunk(int column, qint64 length) {
    const QVariant value = fieldValue(column);
    if (value.isNull()) return {};
    const qint64 offset = m_chunkOffset.value(column);
    QVariant piece;
    if (value.typeId() == QMetaType::QByteArray)
        piece = value.toByteArray().mid(offset, length);
    else
        piece = value.toString().mid(offset, length);
    m_chunkOffset.insert(column, offset + length);
    return piece;
}

void Recordset::Find(const QString& criterion) {
    requireOpen();
    const Criterion c = parseCriterion(criterion);
    const int column = fieldIndex(c.field);
    if (column < 0)
        throw DbError(DbErrorCode::BadCriterion,
                      QStringLiteral("查找条件无效：字段 '%1' 不存在。").arg(c.field));
    if (IsEOF()) throw noCurrentRecord();
    flushPending();
    const qint64 start = m_currentDeleted ? m_pos : std::max<qint64>(m_pos, 0);
    const int type = m_columns[column].type;
    QVariant wanted = c.value;
    if (c.op != QLatin1String("LIKE")) {
        if (type == ado::adDate && wanted.typeId() == QMetaType::QString)
            wanted = QDate::fromString(wanted.toString(), Qt::ISODate);
        if (type == ado::adBoolean)
            wanted = wanted.toString().toLower() == QLatin1String("true") || wanted.toDouble() != 0;
    }
    qint64 found = -1;
    const QString op = c.op == QLatin1String("LIKE") ? QStringLiteral("LIKE") : c.op;
    const QVariant bound = c.op == QLatin1String("LIKE")
                               ? QVariant(wanted.toString().replace(QLatin1Char('*'), QLatin1Char('%')))
                               : toEngine(wanted, type);
    if (m_keyset) {
        if (m_columns[column].fetchedWithPage)
            found = m_keyset->findFrom(start, QStringLiteral("%1 %2 ?").arg(quoted(m_columns[column].name), op),
                                       bound);
    } else if (m_lazy && m_columns[column].fetchedWithPage) {
        QSqlQuery q(m_conn->database());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 %3 ?")
                      .arg(m_table, quoted(m_columns[column].name), op));
        q.addBindValue(bound);
        if (!q.exec()) raise(q.lastError());
        QSet<qint64> matches;
        while (q.next())
            matches.insert(q.value(0).toLongLong());
        for (qint64 i = start; i < m_ids.size() && found < 0; ++i)
            if (matches.contains(m_ids[i])) found = i;
    } else {
        for (qint64 i = start; i < rowCount() && found < 0; ++i) {
            m_pos = i;
            m_currentDeleted = false;
            if (compareMatches(fieldValue(column), c.op, wanted)) found = i;
        }
    }
    moveTo(found < 0 ? rowCount() : found);
}

QString Recordset::quoted(const QString& identifier) const {
    QString escaped = identifier;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void Recordset::raise(const QSqlError& error) const {
    if (m_conn) m_conn->raiseIfLost();
    throw dbErrorFrom(error, m_conn ? m_conn->database().driver() : nullptr);
}

void Recordset::raiseRefusedWrite(const QSqlError& error) const {
    m_conn->raiseIfLost();
    m_conn->noteRefusedWrite(error);
    throw dbWriteErrorFrom(error, m_conn->database().driver());
}
