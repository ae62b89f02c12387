#include "Operators.h"

#include "AuditLog.h"
#include "basGlobal.h"
#include "basSub.h"

#include <QDir>
#include <QFile>
#include <QTest>

void LogInAs(const QString& name) {
    gUsersRs = std::make_shared<Recordset>();
    gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
    if (!FindOperator(name)) qFatal("no operator %s", qPrintable(name));
    gOperator = name;
    AuditLog::setOperator(name);
}

void LogOut() {
    gUsersRs.reset();
    gOperator.clear();
    AuditLog::setOperator(QString());
}

QStringList operatorArguments(const QString& folder, const QString& name, const QString& password) {
    QFile file(QDir(folder).filePath(QStringLiteral("operator-password")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(password.toUtf8() + '\n') < 0)
        qFatal("cannot write the operator's password file");
    return {QStringLiteral("--operator"), name, QStringLiteral("--operator-password-file"), file.fileName()};
}
