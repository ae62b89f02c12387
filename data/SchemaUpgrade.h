#pragma once
// Bringing a database that an earlier version made up to this one (the audit trail, its chain and
// append-only triggers, the added indexes), and the server's two roles: the owner of the schema,
// which alone changes its structure, the workstations' role with only what the program needs, and
// the verification service's read-only role.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

inline const QString kOwnerRole = QStringLiteral("orvanta_owner");
inline const QString kDeskRole = QStringLiteral("orvanta_desk");
// The verification service's role: reads the registers and their verification codes, nothing else.
inline const QString kVerifyRole = QStringLiteral("orvanta_verify");

// What the database lacks, in the system's words; empty when it is up to date.
QStringList schemaGaps(QSqlDatabase db);
// Fills those gaps in one transaction; rows of the trail written before the chain are chained in
// their order. Throws DbError.
void upgradeSchema(QSqlDatabase db);
// What a workstation says when the server's schema is older than the program.
QString olderSchemaMessage(const QStringList& gaps);

// On a PostgreSQL database given as a libpq string, connected as a superuser or the owner role:
// makes the three roles when missing (without passwords: the administrator sets them), gives the
// schema to the owner role, creates the tables (with the delivered content when asked) or fills
// the gaps, and grants the workstation role its rights. Returns an error text, empty on success.
QString createServerSchema(const QString& libpqConnection, bool withContent);
QString upgradeServerSchema(const QString& libpqConnection);
