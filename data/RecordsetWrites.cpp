#include "Recordset.h"

#include "AuditLog.h"
#include "RecordsetInternals.h"
#include "Schema.h"

#include <QDate>
#include <QSqlError>
#include <QSqlQuery>

using RecordsetInternals::kPageRows;

void Recordset::flushPending() {
    if (m_editMode == ado::adEditNone) return;
    if (!m_changeOptional) {
        Update();
        return;
    }
    try {
        Update();
    } catch (const DbError&) {
        // Most likely changed elsewhere: what was read of the row is stale too.
        CancelUpdate();
        forgetCurrentRow();
    }
}

void Recordset::forgetCurrentRow() {
    m_blobs.clear();
    m_blobRowId = -1;
    if (m_keyset) m_keyset->reread(m_pos);
    if (!m_lazy) return;
    const qint64 page = m_pos / kPageRows;
    m_pages.remove(page);
    m_pageOrder.removeAll(page);
}

void Recordset::setFieldValue(int column, const QVariant& value) {
    requireCurrent();
    if (m_readOnly) throw DbError(DbErrorCode::ReadOnly, QStringLiteral("不能更新。数据库或对象为只读。"));
    const int type = m_columns[column].type;
    QVariant converted;
    if (!value.isNull() && value.isValid()) {
        bool ok = true;
        switch (type) {
        case ado::adDate:
            if (value.typeId() == QMetaType::QDate)
                converted = value;
            else if (value.typeId() == QMetaType::QDateTime)
                converted = value.toDateTime().date();
            else
                converted = QDate::fromString(value.toString().trimmed(), Qt::ISODate);
            ok = converted.toDate().isValid();
            break;
        case ado::adBoolean:
            if (value.typeId() == QMetaType::QString) {
                const QString t = value.toString().trimmed().toLower();
                ok = t == QLatin1String("true") || t == QLatin1String("false") || t == QLatin1String("1") ||
                     t == QLatin1String("0") || t == QLatin1String("-1");
                converted = t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("-1");
            } else {
                converted = value.toBool();
            }
            break;
        case ado::adLongVarBinary:
            converted = value.toByteArray();
            break;
        case ado::adInteger:
            converted = value.toLongLong(&ok);
            break;
        case ado::adDouble:
            converted = value.toDouble(&ok);
            break;
        default:
            converted = value.toString();
        }
        if (!ok)
            throw DbError(
                DbErrorCode::Conversion,
                QStringLiteral("字段 '%1' 不能接受值 '%2'。").arg(m_columns[column].name, value.toString()));
    }
    if (m_editMode == ado::adEditNone) m_editMode = ado::adEditInProgress;
    m_changeOptional = false;
    m_edits.insert(column, converted);
}

void Recordset::appendChunk(int column, const QVariant& chunk) {
    requireCurrent();
    QVariant value = chunk;
    if (m_chunkStarted.value(column)) {
        const QVariant sofar = fieldValue(column);
        if (m_columns[column].type == ado::adLongVarBinary)
            value = sofar.toByteArray() + chunk.toByteArray();
        else
            value = sofar.toString() + chunk.toString();
    }
    setFieldValue(column, value);
    m_chunkStarted.insert(column, true);
}

void Recordset::AddNew() {
    requireOpen();
    if (m_readOnly || !m_lazy)
        throw DbError(DbErrorCode::ReadOnly, QStringLiteral("不能更新。数据库或对象为只读。"));
    flushPending();
    m_edits.clear();
    m_chunkStarted.clear();
    m_chunkOffset.clear();
    m_editMode = ado::adEditAdd;
}

void Recordset::CancelUpdate() {
    requireOpen();
    m_edits.clear();
    m_chunkStarted.clear();
    m_chunkOffset.clear();
    m_editMode = ado::adEditNone;
    m_changeOptional = false;
}

void Recordset::Update() {
    requireOpen();
    if (m_editMode == ado::adEditNone) return;
    m_conn->requireOpen();
    if (m_editMode == ado::adEditAdd)
        insertPending();
    else
        updatePending();
    m_edits.clear();
    m_chunkStarted.clear();
    m_editMode = ado::adEditNone;
    m_changeOptional = false;
}

void Recordset::insertPending() {
    QStringList names, marks;
    QVariantList values;
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
        names << quoted(m_columns[it.key()].name);
        marks << QStringLiteral("?");
        values << toEngine(it.value(), m_columns[it.key()].type);
    }
    const bool postgres = m_conn->engine() == Connection::Engine::Postgres;
    QString sql = names.isEmpty()
                      ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_table)
                      : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(m_table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    if (postgres) sql += QStringLiteral(" RETURNING rowid");
    // The statement outlives the scope: a refused write is rolled back before the server is
    // asked to free the statement, which an aborted transaction would refuse.
    QSqlQuery q(m_conn->database());
    WriteScope scope(*m_conn);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) raiseRefusedWrite(q.lastError());
    const qint64 id = postgres ? (q.next() ? q.value(0).toLongLong() : -1) : q.lastInsertId().toLongLong();
    recordAudit(AuditLog::kAdded, {}, [this](int column) { return m_edits.value(column); });
    scope.commit();
    if (m_keyset) {
        // The new row takes its place in the order.
        m_keyset->forget();
        moveTo(std::max<qint64>(0, m_keyset->numberOf(id)));
        return;
    }
    m_ids.append(id);
    moveTo(m_ids.size() - 1);
    m_pages.remove((m_ids.size() - 1) / kPageRows);
    m_pageOrder.removeAll((m_ids.size() - 1) / kPageRows);
}

// Optimistic locking: a row is written or deleted only while it still holds the values read, its
// photo included once that was read.
void Recordset::guardRow(qint64 id, const Row& original, QStringList& conditions,
                         QVariantList& values) const {
    const QString same = m_conn->engine() == Connection::Engine::Postgres
                             ? QStringLiteral(" IS NOT DISTINCT FROM ?")
                             : QStringLiteral(" IS ?");
    conditions << QStringLiteral("rowid = ?");
    values << id;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].fetchedWithPage)
            values << original.values[i];
        else if (m_blobRowId == id && m_blobs.contains(i))
            values << m_blobs.value(i);
        else
            continue;
        conditions << quoted(m_columns[i].name) + same;
    }
}

void Recordset::updatePending() {
    const qint64 id = idAt(m_pos);
    const Row original = currentRow();
    QStringList sets;
    QVariantList values;
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it) {
        sets << quoted(m_columns[it.key()].name) + QStringLiteral(" = ?");
        values << toEngine(it.value(), m_columns[it.key()].type);
    }
    // What the row held, the photo read only when it is being replaced.
    QHash<int, QVariant> before;
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].fetchedWithPage || m_edits.contains(i))
            before.insert(i, fromEngine(m_columns[i].fetchedWithPage ? original.values[i] : storedValue(i),
                                        m_columns[i].type));
    QStringList guards;
    guardRow(id, original, guards, values);
    QSqlQuery q(m_conn->database());
    WriteScope scope(*m_conn);
    q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                  .arg(m_table, sets.join(QLatin1Char(',')), guards.join(QLatin1String(" AND "))));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) raiseRefusedWrite(q.lastError());
    if (q.numRowsAffected() != 1)
        throw DbError(DbErrorCode::WriteConflict,
                      QStringLiteral("该记录已被其他用户修改或删除，本次修改没有保存。"));
    recordAudit(
        AuditLog::kChanged, [&](int column) { return before.value(column); },
        [&](int column) { return m_edits.contains(column) ? m_edits.value(column) : before.value(column); });
    scope.commit();
    if (m_keyset) {
        keepKeysetRowInStep(id);
        return;
    }
    // Keep the cached row in step with what was written.
    const qint64 page = m_pos / kPageRows;
    auto cached = m_pages.find(page);
    if (cached != m_pages.end()) {
        Row& row = (*cached)[m_pos - page * kPageRows];
        for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it)
            if (m_columns[it.key()].fetchedWithPage)
                row.values[it.key()] = toEngine(it.value(), m_columns[it.key()].type);
    }
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it)
        if (!m_columns[it.key()].fetchedWithPage && m_blobRowId == id) m_blobs.insert(it.key(), it.value());
}

// A window's copy of the row takes what was written; a row whose order columns changed has moved
// in the order, and the set follows it there.
void Recordset::keepKeysetRowInStep(qint64 id) {
    bool moved = false;
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it)
        moved = moved || m_keyset->ordersBy(m_columns[it.key()].name);
    if (moved) {
        m_keyset->forget();
        m_pos = std::max<qint64>(0, m_keyset->numberOf(id));
    } else if (Row* cached = m_keyset->cachedRow(m_pos)) {
        for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it)
            if (m_columns[it.key()].fetchedWithPage)
                cached->values[it.key()] = toEngine(it.value(), m_columns[it.key()].type);
    }
    for (auto it = m_edits.cbegin(); it != m_edits.cend(); ++it)
        if (!m_columns[it.key()].fetchedWithPage && m_blobRowId == id) m_blobs.insert(it.key(), it.value());
}

void Recordset::Delete() {
    requireCurrent();
    if (m_readOnly || !m_lazy)
        throw DbError(DbErrorCode::ReadOnly, QStringLiteral("不能更新。数据库或对象为只读。"));
    m_conn->requireOpen();
    if (m_editMode == ado::adEditAdd) {
        CancelUpdate();
        return;
    }
    const bool audited = !tableDef(m_table).auditKey.isEmpty();
    QHash<int, QVariant> before;
    if (audited)
        for (int i = 0; i < m_columns.size(); ++i)
            before.insert(i, fromEngine(storedValue(i), m_columns[i].type));
    QStringList guards;
    QVariantList values;
    guardRow(idAt(m_pos), currentRow(), guards, values);
    QSqlQuery q(m_conn->database());
    WriteScope scope(*m_conn);
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2").arg(m_table, guards.join(QLatin1String(" AND "))));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) raiseRefusedWrite(q.lastError());
    if (q.numRowsAffected() != 1)
        throw DbError(DbErrorCode::WriteConflict, QStringLiteral("该记录已被其他用户修改或删除，没有删除。"));
    recordAudit(AuditLog::kDeleted, [&](int column) { return before.value(column); }, {});
    scope.commit();
    dropCurrentRow();
}

void Recordset::dropCurrentRow() {
    CancelUpdate();
    if (m_keyset) {
        // The next row slides into the place; it is found again once the cache starts anew.
        const bool more = m_keyset->placeOf(m_pos + 1) == KeysetRows::Place::Row;
        const qint64 nextId = more ? m_keyset->rowAt(m_pos + 1).id : 0;
        m_keyset->forget();
        const qint64 next = more ? m_keyset->numberOf(nextId) : -1;
        m_pos = next >= 0 ? next : m_keyset->count();
    } else {
        m_ids.remove(m_pos);
    }
    // Positions after the dropped row have shifted; cached pages keyed by position are stale.
    m_pages.clear();
    m_pageOrder.clear();
    m_currentDeleted = true;
    if (m_moveObserver) m_moveObserver();
}

// "content[leixing]" style: the first key column, further ones in brackets.
QString Recordset::auditKey(const std::function<QVariant(int)>& valueOf) const {
    QString key;
    const QStringList columns = tableDef(m_table).auditKey;
    for (int k = 0; k < columns.size(); ++k) {
        const int column = fieldIndex(columns[k]);
        const QString text = column < 0 ? QString() : valueOf(column).toString();
        key += k == 0 ? text : QLatin1Char('[') + text + QLatin1Char(']');
    }
    return key;
}

// Writes the audit rows of a change inside its transaction: the columns whose shown value differs
// (a password whenever it was written anew). A missing `before` or `after` is an add or a delete.
void Recordset::recordAudit(const QString& action, const std::function<QVariant(int)>& before,
                            const std::function<QVariant(int)>& after) {
    const TableDef& def = tableDef(m_table);
    if (def.auditKey.isEmpty()) return;
    // The server folds unquoted names to lower case; the trail names columns as the schema does.
    const auto schemaName = [&](const QString& name) {
        for (const ColumnDef& column : def.columns)
            if (column.name.compare(name, Qt::CaseInsensitive) == 0) return column.name;
        return name;
    };
    QVector<AuditLog::ColumnChange> changes;
    for (int i = 0; i < m_columns.size(); ++i) {
        const Column& c = m_columns[i];
        const QVariant oldValue = before ? before(i) : QVariant();
        const QVariant newValue = after ? after(i) : QVariant();
        const QString oldText = AuditLog::valueText(c.name, oldValue, c.type);
        const QString newText = AuditLog::valueText(c.name, newValue, c.type);
        const bool rewritten = before && after && m_edits.contains(i) && oldValue != newValue;
        if (oldText != newText || (rewritten && AuditLog::isSecret(c.name)))
            changes.append({schemaName(c.name), oldText, newText});
    }
    if (changes.isEmpty() && action == AuditLog::kChanged) return;
    AuditLog::record(m_conn->database(), action, def.name, auditKey(after ? after : before), changes);
}

bool Recordset::Resync() {
    requireCurrent();
    forgetCurrentRow();
    if (!m_lazy) return true;
    QSqlQuery q(m_conn->database());
    q.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?").arg(m_table));
    q.addBindValue(idAt(m_pos));
    if (!q.exec()) raise(q.lastError());
    const bool stored = q.next();
    q.finish();
    if (!stored) {
        dropCurrentRow();
        return false;
    }
    // Read now, not when next asked for: a write that follows may only replace the row as it
    // stands at this moment (what the operator was asked about), never a later change unseen.
    currentRow();
    return true;
}

qint64 DeleteWhere(Connection& conn, const QString& table, const QString& condition,
                   const QVariantList& binds) {
    QString sql = QStringLiteral("SELECT * FROM ") + table;
    if (!condition.isEmpty()) sql += QStringLiteral(" WHERE ") + condition;
    WriteScope scope(conn);
    Recordset rows;
    rows.Open(Statement{sql, sql, binds}, conn, ado::adOpenDynamic, ado::adLockOptimistic);
    qint64 deleted = 0;
    for (; !rows.IsEOF(); rows.MoveNext(), ++deleted)
        rows.Delete();
    scope.commit();
    return deleted;
}
