#include "Connection.h"

#include "DbConditions.h"
#include "EngineReads.h"
#include "SessionState.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {

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

} // namespace

const QStringList& sslModes() {
    static const QStringList modes = {QStringLiteral("disable"),   QStringLiteral("allow"),
                                      QStringLiteral("prefer"),    QStringLiteral("require"),
                                      QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    return modes;
}

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

using RecordsetInternals::typeFromDeclaration;

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
    m_refusedAsReadOnly = false;
    const auto parts = parseConnectionString(ConnectionString);
    const QString provider = parts.value(QStringLiteral("provider")).toLower();
    QSqlDatabase db;
    if (provider.contains(QLatin1String("jet"))) {
        const QString path = parts.value(QStringLiteral("data source"));
        // Jet never creates a database on open; SQLite would, so refuse a missing file here.
        if (path.isEmpty() || !QFileInfo(path).isFile())
            throw DbError(DbErrorCode::ConnectFailed, QStringLiteral("找不到数据库文件 '%1'。").arg(path));
        // Taken before SQLite opens the file, so it is the file the desk then works on.
        m_desk = std::make_unique<DeskPresence>(path, DeskPresence::Use::Shared);
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
        QString options = QStringLiteral("connect_timeout=5");
        if (const QString ssl = parts.value(QStringLiteral("ssl mode")).toLower(); !ssl.isEmpty()) {
            if (!sslModes().contains(ssl))
                throw DbError(DbErrorCode::ConnectFailed,
                              QStringLiteral("sslmode 的值 '%1' 不正确，应为 %2 之一。")
                                  .arg(ssl, sslModes().join(QStringLiteral("、"))));
            options += QStringLiteral(";sslmode=") + ssl;
        }
        db.setConnectOptions(options);
        m_engine = Engine::Postgres;
    } else {
        throw DbError(DbErrorCode::ConnectFailed, QStringLiteral("未知的数据提供程序：%1").arg(provider));
    }
    if (!db.open()) {
        const DbError failure = dbErrorFrom(db.lastError(), db.driver(), DbErrorCode::ConnectFailed);
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        m_engine = Engine::None;
        m_desk.reset();
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
    // After SQLite has let go of the file: closing a descriptor of it ends the process's locks on it.
    m_desk.reset();
}

void Connection::raiseIfReplaced() const {
    if (m_desk && m_desk->databaseReplaced()) throw DbError(DbErrorCode::NotOpen, databaseRestoredMessage());
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
    // A file opened read-only stays so for its connection, though it may be written again by now;
    // one replaced meanwhile is not opened in its place (the next change says it was restored).
    if (m_refusedAsReadOnly && State() == ado::adStateOpen && !inTransaction(database()) &&
        !(m_desk && m_desk->databaseReplaced()))
        Open();
    if (State() != ado::adStateOpen)
        throw DbError(DbErrorCode::NotOpen, QStringLiteral("数据库连接没有打开。"));
}

void Connection::noteRefusedWrite(const QSqlError& error) {
    if (conditionOf(error, database().driver()->dbmsType()) == DbCondition::ReadOnly)
        m_refusedAsReadOnly = true;
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
    m_conn.raiseIfReplaced();
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
    m_conn.countCommittedWrite();
}
