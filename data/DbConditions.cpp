#include "DbConditions.h"

#include <QSqlError>
#include <sqlite3.h>

DbCondition sqliteCondition(int code, const QString& message) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DbCondition::Busy;
    case SQLITE_READONLY:
        return DbCondition::ReadOnly;
    case SQLITE_FULL:
        return DbCondition::DiskFull;
    case SQLITE_NOTADB:
        return DbCondition::NotThisSystem;
    case SQLITE_CORRUPT:
        return DbCondition::Damaged;
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return DbCondition::PermissionDenied;
    case SQLITE_ERROR:
        // SQLite's own texts are never translated: a missing table means another kind of file.
        if (message.startsWith(QLatin1String("no such table"))) return DbCondition::NotThisSystem;
        break;
    }
    return DbCondition::Unknown;
}

DbCondition postgresCondition(const QString& sqlState) {
    static const QHash<QString, DbCondition> exact{
        {QStringLiteral("55P03"), DbCondition::Busy},     // lock not available
        {QStringLiteral("40P01"), DbCondition::Busy},     // deadlock
        {QStringLiteral("40001"), DbCondition::Busy},     // serialization failure
        {QStringLiteral("25006"), DbCondition::ReadOnly}, // read-only transaction (a standby)
        {QStringLiteral("53100"), DbCondition::DiskFull},
        {QStringLiteral("42P01"), DbCondition::NotThisSystem}, // undefined table
        {QStringLiteral("3D000"), DbCondition::NotThisSystem}, // no such database
        {QStringLiteral("XX001"), DbCondition::Damaged},
        {QStringLiteral("XX002"), DbCondition::Damaged},
        {QStringLiteral("08001"), DbCondition::ServerUnreachable},
        {QStringLiteral("08004"), DbCondition::ServerUnreachable},
        {QStringLiteral("57P03"), DbCondition::ServerUnreachable}, // starting up
        {QStringLiteral("57P01"), DbCondition::ConnectionLost},    // shut down by the administrator
        {QStringLiteral("57P02"), DbCondition::ConnectionLost},
        {QStringLiteral("42501"), DbCondition::PermissionDenied},
        {QStringLiteral("28000"), DbCondition::PermissionDenied},
        {QStringLiteral("28P01"), DbCondition::PermissionDenied},
    };
    if (const auto found = exact.constFind(sqlState); found != exact.cend()) return *found;
    if (sqlState.startsWith(QLatin1String("08"))) return DbCondition::ConnectionLost;
    return DbCondition::Unknown;
}

DbCondition serverLoginCondition(const QString& driverText) {
    const QString text = driverText.toLower();
    const auto has = [&](const char* words) { return text.contains(QLatin1String(words)); };
    if (has("password authentication failed")) return DbCondition::ServerPasswordWrong;
    if (has("no password supplied")) return DbCondition::ServerPasswordMissing;
    if (has("role \"") && has("does not exist")) return DbCondition::ServerRoleMissing;
    if (has("database \"") && has("does not exist")) return DbCondition::ServerDatabaseMissing;
    if (has("no pg_hba.conf entry")) return DbCondition::ServerNotAllowed;
    if (has("ssl") && (has("not support") || has("required"))) return DbCondition::ServerTlsUnavailable;
    return DbCondition::ServerUnreachable;
}

DbCondition conditionOf(const QSqlError& error, QSqlDriver::DbmsType engine) {
    const QString code = error.nativeErrorCode();
    if (engine == QSqlDriver::SQLite) {
        bool isNumber = false;
        const int number = code.toInt(&isNumber);
        return isNumber ? sqliteCondition(number, error.databaseText()) : DbCondition::Unknown;
    }
    if (engine == QSqlDriver::PostgreSQL) {
        // libpq gives no SQLSTATE when the session could not be set up at all.
        if (code.isEmpty() && error.type() == QSqlError::ConnectionError)
            return serverLoginCondition(error.text());
        return postgresCondition(code);
    }
    return DbCondition::Unknown;
}

int errorNumberOf(DbCondition condition, int number) {
    return condition == DbCondition::Busy && number == DbErrorCode::Driver ? DbErrorCode::Locked : number;
}

QString conditionMessage(DbCondition condition) {
    switch (condition) {
    case DbCondition::Unknown:
        break;
    case DbCondition::Busy:
        return QStringLiteral("数据库正被其他工作站占用，操作没有完成。请稍等片刻再试一次。");
    case DbCondition::ReadOnly:
        return QStringLiteral(
            "数据库是只读的，修改没有保存。请检查数据库文件及其文件夹是否允许写入，或请管理员处理。");
    case DbCondition::DiskFull:
        return QStringLiteral("磁盘已满，修改没有保存。请清理数据库所在的磁盘后再试。");
    case DbCondition::NotThisSystem:
        return QStringLiteral("所打开的不是本系统的数据库。请选择本系统的数据库文件 "
                              "MoLian.mdb，或在服务器上建立本系统的数据库。");
    case DbCondition::Damaged:
        return QStringLiteral("数据库已损坏。请用最近的备份恢复，或请技术人员检查。");
    case DbCondition::ServerUnreachable:
        return QStringLiteral("无法连接数据库服务器。请检查服务器名称和网络，确认服务器已启动、本工作站可以登"
                              "录数据库 MoLian，然后再试。");
    case DbCondition::ConnectionLost:
        return QStringLiteral("与数据库服务器的连接已断开，操作没有完成。请检查网络和服务器后再试。");
    case DbCondition::ServerPasswordWrong:
        return QStringLiteral(
            "数据库服务器拒绝了登录：密码不正确。请检查本工作站密码文件（.pgpass）中这个账号的"
            "密码，或请管理员重设密码。");
    case DbCondition::ServerPasswordMissing:
        return QStringLiteral("数据库服务器要求密码，但本工作站的密码文件（.pgpass）中没有这个账号的密码。请"
                              "管理员把密码写入密码文件后再试。");
    case DbCondition::ServerRoleMissing:
        return QStringLiteral(
            "数据库服务器上没有这个登录账号。请管理员在服务器上建立工作站账号（orvanta_desk）"
            "后再试。");
    case DbCondition::ServerDatabaseMissing:
        return QStringLiteral("数据库服务器上没有本系统的数据库 MoLian。请管理员先建立数据库。");
    case DbCondition::ServerNotAllowed:
        return QStringLiteral("数据库服务器不允许本工作站这样登录。服务器可能只接受加密连接：请在设置中把 "
                              "sslmode 设为 require；否则请管理员在服务器上允许本工作站。");
    case DbCondition::ServerTlsUnavailable:
        return QStringLiteral(
            "本工作站要求加密连接（sslmode），但数据库服务器没有提供加密连接。请管理员在服务器"
            "上启用 TLS，或修改本工作站的 sslmode 设置。");
    case DbCondition::Refused:
        return QStringLiteral("数据库拒绝了这次修改，数据库中的记录没有改变。请把括号中的说明告诉技术人员。");
    case DbCondition::PermissionDenied:
        return QStringLiteral("没有使用数据库的权限。请让管理员为本工作站的用户开放数据库文件及其文件夹（或服"
                              "务器上的数据库）的读写权限。");
    }
    return {};
}

QString describeDbFailure(DbCondition condition, const QString& driverText) {
    // Drivers report over several lines; one line reads better inside a message.
    const QString detail = driverText.simplified();
    const QString message = conditionMessage(condition);
    if (message.isEmpty()) return detail;
    if (detail.isEmpty()) return message;
    return message + QStringLiteral("（") + detail + QStringLiteral("）");
}

QString describeDbFailure(const QSqlError& error, const QSqlDriver* driver) {
    return describeDbFailure(conditionOf(error, driver ? driver->dbmsType() : QSqlDriver::UnknownDbms),
                             error.text());
}

DbError dbErrorOf(DbCondition condition, const QString& driverText, int number) {
    return DbError(errorNumberOf(condition, number), describeDbFailure(condition, driverText));
}

namespace {

bool isDuplicateKey(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("23505") || code == QLatin1String("2067") || code == QLatin1String("1555") ||
           (code == QLatin1String("19") && error.text().contains(QLatin1String("UNIQUE")));
}

} // namespace

DbError dbErrorFrom(const QSqlError& error, const QSqlDriver* driver, int number) {
    if (isDuplicateKey(error)) return DbError(DbErrorCode::DuplicateKey, error.text());
    return dbErrorOf(conditionOf(error, driver ? driver->dbmsType() : QSqlDriver::UnknownDbms), error.text(),
                     number);
}

DbError dbWriteErrorFrom(const QSqlError& error, const QSqlDriver* driver) {
    if (isDuplicateKey(error)) return DbError(DbErrorCode::DuplicateKey, error.text());
    const DbCondition condition = conditionOf(error, driver ? driver->dbmsType() : QSqlDriver::UnknownDbms);
    return dbErrorOf(condition == DbCondition::Unknown ? DbCondition::Refused : condition, error.text());
}
