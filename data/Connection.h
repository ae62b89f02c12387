#pragma once
// The database a record set reads: an SQLite file (embedded) or a PostgreSQL server, opened from
// the connection strings the windows were written with, and the scope that makes one change whole.

#include "DbError.h"
#include "DeskPresence.h"

#include <memory>
#include <QHash>
#include <QSqlDatabase>
#include <QString>

namespace ado {
enum DataType {
    adInteger = 3,
    adDouble = 5,
    adDate = 7,
    adBoolean = 11,
    adBigInt = 20,
    adVarWChar = 202,
    adLongVarWChar = 203,
    adLongVarBinary = 205,
};
enum CursorType { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockType { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };
enum EditModeEnum { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2 };
enum ObjectState { adStateClosed = 0, adStateOpen = 1 };
enum PositionEnum { adPosUnknown = -1, adPosBOF = -2, adPosEOF = -3 };
enum CursorLocation { adUseServer = 2, adUseClient = 3 };
} // namespace ado

class Connection {
public:
    enum class Engine { None, Sqlite, Postgres };

    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QString ConnectionString;
    int CursorLocation = ado::adUseServer;

    // Opens the Jet-style string onto an SQLite file, the SQLOLEDB-style string onto PostgreSQL.
    void Open(const QString& connectionString = {});
    void Close();
    int State() const;

    Engine engine() const { return m_engine; }
    // After a failed statement: when the server no longer answers, opens a new session and raises
    // ConnectionLost, so the next action works again. Returns when the connection is sound.
    void raiseIfLost();
    // Before a statement: a session lost earlier, or a database that refused a write as read-only,
    // is opened again (so a file made writable meanwhile is noticed); a closed connection raises
    // NotOpen instead of handing the driver a statement it cannot run.
    void requireOpen();
    // After a write the engine refused: a read-only refusal has the next action open anew.
    void noteRefusedWrite(const class QSqlError& error);
    bool serverLost() const { return m_serverLost; }
    // Changes committed through this connection so far: a window that shows rows can tell that
    // they may have changed since it read them.
    quint64 committedWrites() const { return m_committedWrites; }
    void countCommittedWrite() { ++m_committedWrites; }
    // Before a change: a local file replaced since it was opened (restored at another desk) raises,
    // so nothing is saved into the file that is now only the kept copy.
    void raiseIfReplaced() const;
    QSqlDatabase database() const;
    // Column kinds of a table, by lower-cased column name, read once from the catalogue.
    const QHash<QString, int>& columnTypes(const QString& table);

private:
    QString m_name;
    Engine m_engine = Engine::None;
    bool m_serverLost = false;
    bool m_refusedAsReadOnly = false;
    quint64 m_committedWrites = 0;
    QHash<QString, QHash<QString, int>> m_columnTypes;
    std::unique_ptr<DeskPresence> m_desk;
};

// One change and what must be stored with it (its audit rows): together or not at all. Scopes
// nest, and join a transaction the caller already opened on the same database.
class WriteScope {
public:
    explicit WriteScope(Connection& conn);
    ~WriteScope();
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;
    void commit();

private:
    [[noreturn]] void fail(const QSqlError& error);

    Connection& m_conn;
    QSqlDatabase m_db;
    QString m_savepoint; // empty when the scope owns the transaction
    bool m_done = false;
};
