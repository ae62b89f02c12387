#include "Operators.h"

#include "AuditLog.h"
#include "basGlobal.h"
#include "basSub.h"

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
