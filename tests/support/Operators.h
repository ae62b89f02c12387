#pragma once
// Logging in without the login dialog, for tests that drive the windows behind it.

#include <QString>
#include <QStringList>

// Opens gUsersRs on gConn and stands it on the operator's row, as a login does.
void LogInAs(const QString& name = QStringLiteral("管理员"));
// Closes gUsersRs and forgets the operator.
void LogOut();

// The command line's login as `name`: --operator and a password file written into `folder`.
QStringList operatorArguments(const QString& folder, const QString& name = QStringLiteral("管理员"),
                              const QString& password = QStringLiteral("736"));
