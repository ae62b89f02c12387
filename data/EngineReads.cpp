#include "EngineReads.h"

#include "DbConditions.h"
#include "RecordsetInternals.h"
#include "Recordset.h"

#include <QDate>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtEndian>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

DbError sqliteFailure(sqlite3* connection) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(connection));
    return dbErrorOf(sqliteCondition(sqlite3_extended_errcode(connection), text), text);
}

QVariant sqliteValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return qint64(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    case SQLITE_NULL:
        return {};
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    }
}

} // namespace

namespace RecordsetInternals {

int typeFromDeclaration(const QString& declared) {
    const QString d = declared.toUpper();
    if (d.contains(QLatin1String("BLOB")) || d.contains(QLatin1String("BYTEA"))) return ado::adLongVarBinary;
    if (d.contains(QLatin1String("LONGTEXT")) || d.contains(QLatin1String("MEMO")))
        return ado::adLongVarWChar;
    if (d.contains(QLatin1String("DATE"))) return ado::adDate;
    if (d.contains(QLatin1String("BOOL"))) return ado::adBoolean;
    if (d.contains(QLatin1String("INT")) || d.contains(QLatin1String("SERIAL"))) return ado::adInteger;
    if (d.contains(QLatin1String("REAL")) || d.contains(QLatin1String("DOUBLE")) ||
        d.contains(QLatin1String("NUMERIC")) || d.contains(QLatin1String("FLOAT")))
        return ado::adDouble;
    return ado::adVarWChar;
}

int typeFromMetaType(const QMetaType& type) {
    switch (type.id()) {
    case QMetaType::QByteArray:
        return ado::adLongVarBinary;
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return ado::adDate;
    case QMetaType::Bool:
        return ado::adBoolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return ado::adInteger;
    case QMetaType::Double:
        return ado::adDouble;
    default:
        return ado::adVarWChar;
    }
}

bool stepSqlite(const QSqlDatabase& db, const QString& sql, const QVariantList& binds,
                const std::function<void(sqlite3_stmt*)>& visit) {
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0) return false;
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.data());
    if (!connection) return false;
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(connection, text.constData(), int(text.size()), &statement, nullptr) != SQLITE_OK)
        throw sqliteFailure(connection);
    const auto finalize = qScopeGuard([statement] { sqlite3_finalize(statement); }); // also when visit throws
    for (int i = 0; i < binds.size(); ++i) {
        const QVariant& v = binds[i];
        if (v.isNull() || !v.isValid()) {
            sqlite3_bind_null(statement, i + 1);
        } else if (v.typeId() == QMetaType::QByteArray) {
            const QByteArray bytes = v.toByteArray();
            sqlite3_bind_blob(statement, i + 1, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong ||
                   v.typeId() == QMetaType::Bool) {
            sqlite3_bind_int64(statement, i + 1, v.toLongLong());
        } else if (v.typeId() == QMetaType::Double) {
            sqlite3_bind_double(statement, i + 1, v.toDouble());
        } else {
            const QString textValue =
                v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate) : v.toString();
            const QByteArray utf8 = textValue.toUtf8();
            sqlite3_bind_text(statement, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
    }
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
        visit(statement);
    if (rc != SQLITE_DONE) throw sqliteFailure(connection);
    return true;
}

bool loadPostgresIds(const QSqlDatabase& db, const QString& sql, const QVariantList& binds,
                     QVector<qint64>& ids, std::optional<DbError>& failure) {
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0)
        return false;
    PGconn* connection = *static_cast<PGconn* const*>(handle.data());
    if (!connection) return false;
    // ? placeholders become $n, outside quoted literals.
    QString numbered;
    int next = 0;
    bool quoted = false;
    for (const QChar ch : sql) {
        if (ch == QLatin1Char('\'')) quoted = !quoted;
        if (ch == QLatin1Char('?') && !quoted)
            numbered += QLatin1Char('$') + QString::number(++next);
        else
            numbered += ch;
    }
    QList<QByteArray> texts;
    QVector<const char*> values;
    for (const QVariant& v : binds) {
        if (v.isNull() || !v.isValid()) {
            texts << QByteArray();
            values << nullptr;
            continue;
        }
        texts << (v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate) : v.toString()).toUtf8();
        values << texts.last().constData();
    }
    // The identities come in binary: eight bytes a row to copy instead of digits to parse.
    PGresult* result = PQexecParams(connection, numbered.toUtf8().constData(), int(values.size()), nullptr,
                                    values.constData(), nullptr, nullptr, 1);
    const auto clear = qScopeGuard([result] { PQclear(result); });
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        QString text = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
        if (text.isEmpty()) text = QStringLiteral("服务器没有返回记录。");
        failure = dbErrorOf(
            postgresCondition(QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE))), text);
        return true;
    }
    // A server table's identity is BIGINT; anything else is read through the driver instead.
    constexpr Oid kInt8 = 20;
    if (PQnfields(result) != 1 || PQftype(result, 0) != kInt8) return false;
    const int rows = PQntuples(result);
    ids.resize(rows);
    for (int i = 0; i < rows; ++i)
        ids[i] = qFromBigEndian<qint64>(PQgetvalue(result, i, 0));
    return true;
}

QString withEmptyValuesFirst(const QString& sql, Connection::Engine engine) {
    if (engine != Connection::Engine::Postgres) return sql;
    static const QRegularExpression trailingOrder(
        QStringLiteral(
            "\\bORDER\\s+BY\\s+((?:[\\w\"]+(?:\\s+(?:ASC|DESC))?\\s*,\\s*)*[\\w\"]+(?:\\s+(?:ASC|DESC))?)"
            "\\s*;?\\s*$"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    const auto match = trailingOrder.match(sql);
    if (!match.hasMatch()) return sql;
    QStringList items;
    for (const QString& item : match.captured(1).split(QLatin1Char(','))) {
        const QString term = item.trimmed();
        const bool descending = term.endsWith(QLatin1String("DESC"), Qt::CaseInsensitive);
        // The row identity is never empty and stays bare, so that the indexes ending in it (and
        // its own) still give the order; with a null order of its own the server sorts every row.
        static const QRegularExpression blank(QStringLiteral("\\s"));
        if (term.section(blank, 0, 0).compare(kRowId, Qt::CaseInsensitive) == 0)
            items << term;
        else
            items << term + (descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST"));
    }
    return sql.left(match.capturedStart(1)) + items.join(QStringLiteral(", "));
}

} // namespace RecordsetInternals

using RecordsetInternals::stepSqlite;

void ForEachRow(Connection& conn, const Statement& statement,
                const std::function<void(const QVariantList&)>& visit) {
    conn.requireOpen();
    QVariantList row;
    if (conn.engine() == Connection::Engine::Sqlite &&
        stepSqlite(conn.database(), statement.sql, statement.binds, [&](sqlite3_stmt* step) {
            row.clear();
            for (int i = 0, n = sqlite3_column_count(step); i < n; ++i)
                row.append(sqliteValue(step, i));
            visit(row);
        }))
        return;
    QSqlQuery q(conn.database());
    q.setForwardOnly(true);
    const auto fail = [&] {
        conn.raiseIfLost();
        throw dbErrorFrom(q.lastError(), q.driver());
    };
    if (!q.prepare(statement.sql)) fail();
    for (const QVariant& v : statement.binds)
        q.addBindValue(v);
    if (!q.exec()) fail();
    const int columns = q.record().count();
    while (q.next()) {
        row.clear();
        for (int i = 0; i < columns; ++i)
            row.append(q.value(i));
        visit(row);
    }
}
