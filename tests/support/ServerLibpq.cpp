#include "ServerLibpq.h"

#include <QRegularExpression>

QString serverLibpq(const TestDatabase& db, const QString& user) {
    const QString catalog =
        db.connectionString().section(QStringLiteral("Initial Catalog="), 1).section(QLatin1Char(';'), 0, 0);
    QString libpq = qEnvironmentVariable("ORVANTA_TEST_PG");
    libpq.replace(QRegularExpression(QStringLiteral("dbname=\\S+")), QStringLiteral("dbname=") + catalog);
    if (!user.isEmpty())
        libpq.replace(QRegularExpression(QStringLiteral("user=\\S+")), QStringLiteral("user=") + user);
    return libpq;
}
