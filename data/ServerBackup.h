#pragma once
// Backing up the database on the PostgreSQL server with the server's own dump format (pg_dump,
// custom format) and restoring it there. A backup counts once pg_restore reads it back and, where
// the role may create a database, once a trial restore holds the rows the source held; it gets a
// dated name, and older ones beyond those to keep are removed. A restore goes into a new database
// that takes the old one's name only after the same checks; the old one is kept under a dated name.
//
// Roles: the backup reads everything (the schema's owner, a superuser, or a member of
// pg_read_all_data; a trial restore needs CREATEDB as well). The restore creates and renames
// databases and restores their owners: a superuser.

#include "Backup.h"

#include <QString>

// What the folder's server backups are called: MoLian-yyyyMMdd-HHmmss.dump, newest last by name.
QString serverBackupPattern();

// The libpq string of the program's server connection string (the one the data source dialog
// builds), for the backup window.
QString libpqFromConnectionString(const QString& connectionString);

// The server database's backup password hash; empty when none is set or it cannot be read.
QString serverBackupPasswordHash(const QString& libpqConnection);
// Keeps only a hash of `password` on the server (a role that may change System: the owner); an
// empty password stops encrypting backups. Returns an error text, empty on success.
QString setServerBackupPassword(const QString& libpqConnection, const QString& password);

// Dumps the database named by the libpq string into `folder`, checks it and keeps the newest
// `keep` backups there (0 keeps all).
BackupResult backUpServerDatabase(const QString& libpqConnection, const QString& folder,
                                  const QString& password, int keep, const ProgressStep& progress = {});

// Restores the database named by the libpq string from a server backup. Refused while any other
// session is connected to it, naming them.
BackupResult restoreServerDatabase(const QString& backupPath, const QString& libpqConnection,
                                   const QString& password, const ProgressStep& progress = {});
