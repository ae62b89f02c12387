#pragma once
// Conditions of the database that the operator can do something about, told in the system's words.
// The drivers' own codes (SQLite extended result codes, PostgreSQL SQLSTATE) are read here only.

#include "adodb.h"

#include <QSqlDriver>
#include <QString>

class QSqlError;

enum class DbCondition {
    Unknown,
    Busy,     // another desk holds the database (lock, deadlock)
    ReadOnly, // the file or the server session refuses writes
    DiskFull,
    NotThisSystem,     // not a database, or one without this system's tables
    Damaged,           // a database file or index the engine found corrupt
    ServerUnreachable, // the server refused or could not be reached
    ConnectionLost,    // the server went away during work
    PermissionDenied,  // the file, folder or server role may not be used
    // Why a server refused a workstation's login:
    ServerPasswordWrong,   // the password given (or kept in the password file) is not the role's
    ServerPasswordMissing, // the server asks for a password and none was found for the role
    ServerRoleMissing,     // no such role on the server
    ServerDatabaseMissing, // no database MoLian (or the one named) on the server
    ServerNotAllowed,      // the server's rules do not let this workstation in (often: TLS only)
    ServerTlsUnavailable,  // the workstation asks for TLS and the server offers none
    Refused,               // a write the database's own rules (a trigger, a check) refused
};

// `code` is an SQLite result code, primary or extended; `message` its text.
DbCondition sqliteCondition(int code, const QString& message);
DbCondition postgresCondition(const QString& sqlState);
// Why a server login failed, from libpq's text (it gives no SQLSTATE before a session exists).
DbCondition serverLoginCondition(const QString& driverText);
// A failure reported by Qt's driver for either engine.
DbCondition conditionOf(const QSqlError& error, QSqlDriver::DbmsType engine);

// The error number a condition raises: another desk's lock is refused as 3218, the rest as driver errors.
int errorNumberOf(DbCondition condition, int number = DbErrorCode::Driver);
// What happened and what to do; empty for Unknown.
QString conditionMessage(DbCondition condition);
// The condition's message with the driver's text in brackets for the technician, or the driver's
// text alone when it is no known condition.
QString describeDbFailure(DbCondition condition, const QString& driverText);
QString describeDbFailure(const QSqlError& error, const QSqlDriver* driver);

// The error a condition raises, described in the system's words with the driver's text.
DbError dbErrorOf(DbCondition condition, const QString& driverText, int number = DbErrorCode::Driver);
// The error a failed statement raises: a duplicate key as 3022, anything else as a driver error
// described in the system's words.
DbError dbErrorFrom(const QSqlError& error, const QSqlDriver* driver, int number = DbErrorCode::Driver);
// The error a refused write raises: as dbErrorFrom, with a refusal that is no known condition told
// as Refused, so the operator reads the system's words and the technician the engine's.
DbError dbWriteErrorFrom(const QSqlError& error, const QSqlDriver* driver);
