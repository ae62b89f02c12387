#include "adodb.h"

#include "AuditLog.h"
#include "DbConditions.h"
#include "Schema.h"

#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtEndian>
#include <QUuid>

#include <algorithm>
#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

constexpr qint64 kPageRows = 128;
constexpr qint64 kCachedRowsLimit = 16384;
const QString kRowId = QStringLiteral("rowid");

QHash<QString, QString> parseConnectionString(const QString& text) {
    QHash<QString, QString> parts;
    for (const QString& item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int eq = item.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        parts.insert(item.left(eq).trimmed().toLower(), item.mid(eq + 1).trimmed());
    }
    return parts;
}

QString osUserName() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("LOGNAME");
    return user;
}

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

DbError noCurrentRecord() {
    return DbError(DbErrorCode::NoCurrentRecord,
                   QStringLiteral("BOF 或 EOF 中有一个为真，或者当前记录已被删除。"));
}

// One parsed Find criterion: field, operator, literal.
struct Criterion {
    QString field;
    QString op;
    QVariant value;
};

Criterion parseCriterion(const QString& text) {
    const auto bad = [&] {
        return DbError(DbErrorCode::BadCriterion, QStringLiteral("查找条件无效：%1").arg(text));
    };
    int i = 0;
    const int n = text.size();
    const auto skipBlanks = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    skipBlanks();
    Criterion c;
    if (i < n && text[i] == QLatin1Char('[')) {
        const int close = text.indexOf(QLatin1Char(']'), i);
        if (close < 0) throw bad();
        c.field = text.mid(i + 1, close - i - 1);
        i = close + 1;
    } else {
        const int start = i;
        while (i < n && (text[i].isLetterOrNumber() || text[i] == QLatin1Char('_')))
            ++i;
        c.field = text.mid(start, i - start);
    }
    if (c.field.isEmpty()) throw bad();
    skipBlanks();
    static const QStringList ops = {QStringLiteral("<="), QStringLiteral(">="), QStringLiteral("<>"),
                                    QStringLiteral("="),  QStringLiteral("<"),  QStringLiteral(">")};
    for (const QString& op : ops) {
        if (text.mid(i, op.size()) == op) {
            c.op = op;
            break;
        }
    }
    if (c.op.isEmpty() && text.mid(i, 4).compare(QLatin1String("LIKE"), Qt::CaseInsensitive) == 0 &&
        i + 4 < n && text[i + 4].isSpace())
        c.op = QStringLiteral("LIKE");
    if (c.op.isEmpty()) throw bad();
    i += c.op.size();
    skipBlanks();
    if (i >= n) throw bad();
    const QChar opening = text[i];
    if (opening == QLatin1Char('\'') || opening == QLatin1Char('#')) {
        QString literal;
        ++i;
        bool closed = false;
        while (i < n) {
            if (text[i] == opening) {
                if (opening == QLatin1Char('\'') && i + 1 < n && text[i + 1] == opening) {
                    literal += opening;
                    i += 2;
                    continue;
                }
                closed = true;
                ++i;
                break;
            }
            literal += text[i++];
        }
        if (!closed) throw bad();
        if (opening == QLatin1Char('#')) {
            const QDate date = QDate::fromString(literal.trimmed(), Qt::ISODate);
            if (!date.isValid()) throw bad();
            c.value = date;
        } else {
            c.value = literal;
        }
    } else {
        const int start = i;
        while (i < n && !text[i].isSpace())
            ++i;
        bool ok = false;
        const double number = text.mid(start, i - start).toDouble(&ok);
        if (!ok) throw bad();
        c.value = number;
    }
    skipBlanks();
    if (i != n) throw bad();
    return c;
}

QRegularExpression likePattern(const QString& pattern) {
    QString rx;
    for (const QChar ch : pattern) {
        if (ch == QLatin1Char('%') || ch == QLatin1Char('*'))
            rx += QLatin1String(".*");
        else if (ch == QLatin1Char('_') || ch == QLatin1Char('?'))
            rx += QLatin1Char('.');
        else
            rx += QRegularExpression::escape(QString(ch));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(rx),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

bool compareMatches(const QVariant& stored, const QString& op, const QVariant& wanted) {
    if (stored.isNull()) return false;
    if (op == QLatin1String("LIKE"))
        return likePattern(wanted.toString()).match(stored.toString()).hasMatch();
    const QPartialOrdering order = QVariant::compare(stored, wanted);
    if (order == QPartialOrdering::Unordered) return op == QLatin1String("<>");
    if (op == QLatin1String("=")) return order == QPartialOrdering::Equivalent;
    if (op == QLatin1String("<>")) return order != QPartialOrdering::Equivalent;
    if (op == QLatin1String("<")) return order == QPartialOrdering::Less;
    if (op == QLatin1String(">")) return order == QPartialOrdering::Greater;
    if (op == QLatin1String("<=")) return order != QPartialOrdering::Greater;
    return order != QPartialOrdering::Less;
}

DbError sqliteFailure(sqlite3* connection) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(connection));
    return dbErrorOf(sqliteCondition(sqlite3_extended_errcode(connection), text), text);
}

// Runs a local statement straight on SQLite, handing each result row to `visit`: registers of a
// million rows are read whole many times a day, and the generic row-by-row path costs several
// times more. False when the connection is not SQLite; raises when the statement failed.
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

// Reads the row identities of a server statement with libpq itself: the driver's row-at-a-time
// results cost more than the server's whole scan on a register of a million rows. False when the
// connection is not PostgreSQL or the identities are not BIGINT; `failure` is set when the
// statement failed.
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

// SQLite sorts empty values before all others, as the office's engines did; the server sorts
// them last unless told. A trailing ORDER BY of plain columns is told so on the server.
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

// True while the connection is inside a transaction, whoever opened it.
bool inTransaction(const QSqlDatabase& db) {
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        sqlite3* connection = *static_cast<sqlite3* const*>(handle.data());
        return connection && !sqlite3_get_autocommit(connection);
    }
    if (qstrcmp(handle.typeName(), "pg_conn*") == 0 || qstrcmp(handle.typeName(), "PGconn*") == 0) {
        PGconn* connection = *static_cast<PGconn* const*>(handle.data());
        return connection && PQtransactionStatus(connection) != PQTRANS_IDLE;
    }
    return false;
}

} // namespace

QString QuoteLiteral(const QString& text) {
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

// ---------------------------------------------------------------------------------------------
// Connection

Connection::Connection()
    : m_name(QStringLiteral("conn-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

Connection::~Connection() {
    // Run-wide connections outlive the application object; by then Qt's own registry of
    // connections may be gone, and the process end closes the files anyway.
    if (!QCoreApplication::instance()) return;
    Close();
    if (QSqlDatabase::contains(m_name)) QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(m_name, false);
}

int Connection::State() const {
    return QSqlDatabase::contains(m_name) && database().isOpen() ? ado::adStateOpen : ado::adStateClosed;
}

void Connection::Open(const QString& connectionString) {
    if (!connectionString.isEmpty()) ConnectionString = connectionString;
    Close();
    m_serverLost = false;
    const auto parts = parseConnectionString(ConnectionString);
    const QString provider = parts.value(QStringLiteral("provider")).toLower();
    QSqlDatabase db;
    if (provider.contains(QLatin1String("jet"))) {
        const QString path = parts.value(QStringLiteral("data source"));
        // Jet never creates a database on open; SQLite would, so refuse a missing file here.
        if (path.isEmpty() || !QFileInfo(path).isFile())
            throw DbError(DbErrorCode::ConnectFailed, QStringLiteral("找不到数据库文件 '%1'。").arg(path));
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        m_engine = Engine::Sqlite;
    } else if (provider.contains(QLatin1String("sqloledb"))) {
        db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        QString host = parts.value(QStringLiteral("data source"));
        const int portMark = host.indexOf(QRegularExpression(QStringLiteral("[,:]")));
        if (portMark >= 0) {
            db.setPort(host.mid(portMark + 1).trimmed().toInt());
            host = host.left(portMark).trimmed();
        }
        db.setHostName(host);
        db.setDatabaseName(parts.value(QStringLiteral("initial catalog")));
        const bool integrated = parts.contains(QStringLiteral("integrated security"));
        db.setUserName(integrated ? osUserName() : parts.value(QStringLiteral("user id")));
        if (!integrated) db.setPassword(parts.value(QStringLiteral("password")));
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
        m_engine = Engine::Postgres;
    } else {
        throw DbError(DbErrorCode::ConnectFailed, QStringLiteral("未知的数据提供程序：%1").arg(provider));
    }
    if (!db.open()) {
        const DbError failure = dbErrorFrom(db.lastError(), db.driver(), DbErrorCode::ConnectFailed);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        m_engine = Engine::None;
        throw failure;
    }
    if (m_engine == Engine::Sqlite) {
        // A file that is not a database opens fine and fails on first use; fail here instead.
        QSqlQuery probe(db);
        if (!probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"))) {
            const DbError failure = dbErrorFrom(probe.lastError(), db.driver(), DbErrorCode::ConnectFailed);
            probe = QSqlQuery();
            db = QSqlDatabase();
            Close();
            throw failure;
        }
        // Registers of a million rows are read at random (due lists, pages of a list).
        probe.exec(QStringLiteral("PRAGMA cache_size = -32768"));
    }
}

void Connection::Close() {
    m_columnTypes.clear();
    if (!QSqlDatabase::contains(m_name)) return;
    {
        QSqlDatabase db = database();
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_engine = Engine::None;
}

void Connection::raiseIfLost() {
    if (m_engine != Engine::Postgres) return;
    // libpq marks the session bad once the server is gone; any other failure is an ordinary error
    // (a refused statement also aborts an open transaction, so a probe query would not tell).
    const QVariant handle = database().driver()->handle();
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0) return;
    PGconn* session = *static_cast<PGconn* const*>(handle.data());
    if (session && PQstatus(session) != CONNECTION_BAD) return;
    // The server went away (a restart, the network): open a fresh session for the next action.
    // Whatever this action was doing is not known to have happened, so it is reported, not retried.
    const QString lost = QStringLiteral("与服务器的连接已断开");
    try {
        Open();
    } catch (const DbError&) {
        m_serverLost = true; // the next action tries again
        throw DbError(DbErrorCode::ConnectionLost,
                      lost + QStringLiteral("，重新连接也未成功。请检查网络和服务器后再试。"));
    }
    throw DbError(DbErrorCode::ConnectionLost,
                  lost + QStringLiteral("，已重新连接。刚才的操作没有完成，请再做一次。"));
}

void Connection::requireOpen() {
    if (State() != ado::adStateOpen && serverLost()) Open();
    if (State() != ado::adStateOpen)
        throw DbError(DbErrorCode::NotOpen, QStringLiteral("数据库连接没有打开。"));
}

const QHash<QString, int>& Connection::columnTypes(const QString& table) {
    const QString key = table.toLower();
    auto found = m_columnTypes.find(key);
    if (found != m_columnTypes.end()) return *found;
    QHash<QString, int> types;
    QSqlQuery q(database());
    if (m_engine == Engine::Sqlite) {
        q.prepare(QStringLiteral("SELECT name, type FROM pragma_table_info(?)"));
        q.addBindValue(table);
        if (q.exec())
            while (q.next())
                types.insert(q.value(0).toString().toLower(), typeFromDeclaration(q.value(1).toString()));
    } else if (m_engine == Engine::Postgres) {
        q.prepare(QStringLiteral("SELECT column_name, data_type, coalesce(domain_name, '') "
                                 "FROM information_schema.columns WHERE table_name = lower(?)"));
        q.addBindValue(table);
        if (q.exec())
            while (q.next()) {
                const QString domain = q.value(2).toString();
                types.insert(q.value(0).toString().toLower(),
                             typeFromDeclaration(domain.isEmpty() ? q.value(1).toString() : domain));
            }
    }
    return *m_columnTypes.insert(key, types);
}

// ---------------------------------------------------------------------------------------------
// WriteScope

WriteScope::WriteScope(Connection& conn) : m_conn(conn), m_db(conn.database()) {
    if (!inTransaction(m_db)) {
        if (!m_db.transaction()) fail(m_db.lastError());
        return;
    }
    static int savepoints = 0;
    m_savepoint = QStringLiteral("write_%1").arg(++savepoints);
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SAVEPOINT ") + m_savepoint)) fail(q.lastError());
}

// A server restarted since the last action fails the first write here: that is told as the lost
// connection it is (and the session opened again), not as the driver's text.
void WriteScope::fail(const QSqlError& error) {
    m_conn.raiseIfLost();
    throw dbErrorFrom(error, m_db.driver());
}

WriteScope::~WriteScope() {
    if (m_done) return;
    if (m_savepoint.isEmpty()) {
        m_db.rollback();
        return;
    }
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + m_savepoint);
    q.exec(QStringLiteral("RELEASE SAVEPOINT ") + m_savepoint);
}

void WriteScope::commit() {
    if (m_savepoint.isEmpty() && m_db.driverName() == QLatin1String("QSQLITE")) {
        // The driver's own commit drops the engine's code, and with it the word that another
        // desk held the file: the transaction then stays open and the destructor rolls it back.
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("COMMIT"))) fail(q.lastError());
    } else if (m_savepoint.isEmpty()) {
        if (!m_db.commit()) fail(m_db.lastError());
    } else {
        QSqlQuery q(m_db);
        if (!q.exec(QStringLiteral("RELEASE SAVEPOINT ") + m_savepoint)) fail(q.lastError());
    }
    m_done = true;
}

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

    const QString idSql =
        withEmptyValuesFirst(QStringLiteral("SELECT rowid FROM %1%2").arg(m_table, rest), conn.engine());
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

void Recordset::requireOpen() const {
    if (!m_open) throw DbError(DbErrorCode::NotOpen, QStringLiteral("对象关闭时，不允许操作。"));
}

void Recordset::requireCurrent() const {
    requireOpen();
    if (m_editMode == ado::adEditAdd) return;
    if (m_currentDeleted || m_pos < 0 || m_pos >= m_ids.size()) throw noCurrentRecord();
}

qint64 Recordset::RecordCount() const {
    requireOpen();
    return m_ids.size();
}

bool Recordset::IsBOF() const {
    requireOpen();
    if (m_editMode == ado::adEditAdd) return false;
    return m_pos < 0 || m_ids.isEmpty();
}

bool Recordset::IsEOF() const {
    requireOpen();
    if (m_editMode == ado::adEditAdd) return false;
    return m_pos >= m_ids.size();
}

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
    if (!m_lazy) return;
    const qint64 page = m_pos / kPageRows;
    m_pages.remove(page);
    m_pageOrder.removeAll(page);
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
    moveTo(m_ids.isEmpty() ? 0 : m_ids.size() - 1);
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
    return m_pos + 1;
}

void Recordset::setAbsolutePosition(qint64 position) {
    requireOpen();
    if (position < 1 || position > m_ids.size())
        throw DbError(DbErrorCode::BadCriterion, QStringLiteral("记录位置 %1 超出范围。").arg(position));
    flushPending();
    moveTo(position - 1);
}

Recordset::Bookmark Recordset::bookmark() const {
    requireCurrent();
    if (m_editMode == ado::adEditAdd) throw noCurrentRecord();
    return m_ids[m_pos];
}

qint64 Recordset::indexOfId(qint64 id, qint64 from) const {
    const auto begin = m_ids.cbegin() + std::clamp<qint64>(from, 0, m_ids.size());
    const auto found = std::find(begin, m_ids.cend(), id);
    return found == m_ids.cend() ? -1 : found - m_ids.cbegin();
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
        const qint64 id = m_ids[m_pos];
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
    if (!q.exec()) raise(q.lastError());
    const qint64 id = postgres ? (q.next() ? q.value(0).toLongLong() : -1) : q.lastInsertId().toLongLong();
    recordAudit(AuditLog::kAdded, {}, [this](int column) { return m_edits.value(column); });
    scope.commit();
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
    const qint64 id = m_ids[m_pos];
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
    if (!q.exec()) raise(q.lastError());
    if (q.numRowsAffected() != 1)
        throw DbError(DbErrorCode::WriteConflict,
                      QStringLiteral("该记录已被其他用户修改或删除，本次修改没有保存。"));
    recordAudit(
        AuditLog::kChanged, [&](int column) { return before.value(column); },
        [&](int column) { return m_edits.contains(column) ? m_edits.value(column) : before.value(column); });
    scope.commit();
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

void Recordset::Delete() {
    requireCurrent();
    if (m_readOnly || !m_lazy)
        throw DbError(DbErrorCode::ReadOnly, QStringLiteral("不能更新。数据库或对象为只读。"));
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
    guardRow(m_ids[m_pos], currentRow(), guards, values);
    QSqlQuery q(m_conn->database());
    WriteScope scope(*m_conn);
    q.prepare(QStringLiteral("DELETE FROM %1 WHERE %2").arg(m_table, guards.join(QLatin1String(" AND "))));
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) raise(q.lastError());
    if (q.numRowsAffected() != 1)
        throw DbError(DbErrorCode::WriteConflict, QStringLiteral("该记录已被其他用户修改或删除，没有删除。"));
    recordAudit(AuditLog::kDeleted, [&](int column) { return before.value(column); }, {});
    scope.commit();
    dropCurrentRow();
}

void Recordset::dropCurrentRow() {
    CancelUpdate();
    m_ids.remove(m_pos);
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
    if (m_lazy && m_columns[column].fetchedWithPage) {
        QSqlQuery q(m_conn->database());
        q.setForwardOnly(true);
        const QString op = c.op == QLatin1String("LIKE") ? QStringLiteral("LIKE") : c.op;
        q.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 %3 ?")
                      .arg(m_table, quoted(m_columns[column].name), op));
        QVariant bound = c.op == QLatin1String("LIKE")
                             ? QVariant(wanted.toString().replace(QLatin1Char('*'), QLatin1Char('%')))
                             : toEngine(wanted, type);
        q.addBindValue(bound);
        if (!q.exec()) raise(q.lastError());
        QSet<qint64> matches;
        while (q.next())
            matches.insert(q.value(0).toLongLong());
        for (qint64 i = start; i < m_ids.size() && found < 0; ++i)
            if (matches.contains(m_ids[i])) found = i;
    } else {
        for (qint64 i = start; i < m_ids.size() && found < 0; ++i) {
            m_pos = i;
            m_currentDeleted = false;
            if (compareMatches(fieldValue(column), c.op, wanted)) found = i;
        }
    }
    moveTo(found < 0 ? m_ids.size() : found);
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

bool Recordset::Resync() {
    requireCurrent();
    forgetCurrentRow();
    if (!m_lazy) return true;
    QSqlQuery q(m_conn->database());
    q.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE rowid = ?").arg(m_table));
    q.addBindValue(m_ids[m_pos]);
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
