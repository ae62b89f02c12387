#pragma once
// Who may do what, read from table Users at the moment it is asked, so that a right taken away at
// one desk bites at the next action of every other desk. Failed logins go into the audit trail;
// after five in a row for one name each further attempt waits longer before it is checked.

#include <functional>
#include <optional>
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

inline const QString kEntryRight = QStringLiteral("资料录入");
inline const QString kQueryRight = QStringLiteral("人员查询");
inline const QString kPrintRight = QStringLiteral("打印操作");

// A right column read as Boolean; Null and unreadable values grant nothing.
bool RightGranted(const QVariant& value);

// The operator's right as stored now; nullopt when there is no operator of that name (deleted).
// A right that is no column of Users is not granted. Throws DbError when Users cannot be read.
std::optional<bool> storedRight(QSqlDatabase db, const QString& name, const QString& right);

namespace LoginGuard {

using Clock = std::function<QDateTime()>;

// The wait before the next attempt after `failures` in a row: none for the first five, then 2, 4,
// 8 ... seconds, at most five minutes.
int waitAfter(int failures);

struct Standing {
    int failuresInARow = 0; // since the name's last login
    int secondsToWait = 0;  // before the next attempt is checked at all
};

// Read from the trail. Throws DbError when it cannot be read.
Standing standing(QSqlDatabase db, const QString& name, const Clock& now);
// Records a failed attempt: the name tried, the workstation and the time (the trail's own columns).
// Throws DbError when the row cannot be written.
void recordFailure(QSqlDatabase db, const QString& name, const QString& reason);
// "密码错误次数过多，请 8 秒后再试。" for a standing that makes the operator wait.
QString waitText(const Standing& standing);

} // namespace LoginGuard

// Checks a login outside the login window (command line, restore): the wait, the operator, the
// password and, when `right` is not empty, that right (the administrator's name for kAdministrator).
// Failures are recorded, a success goes into the trail as a login with `how`. Returns the refusal
// in the system's words, empty when the operator is who he says and may do it.
QString authenticateOperator(QSqlDatabase db, const QString& name, const QString& password,
                             const QString& right, const QString& how,
                             const LoginGuard::Clock& now = &QDateTime::currentDateTime);

// The same check against a local database file on a connection of its own, for a restore that runs
// before any database is open: the file's own administrator must give his password. The file must
// exist (SQLite would make an empty one).
QString authenticateAdministratorOfFile(const QString& databasePath, const QString& password,
                                        const QString& how);
