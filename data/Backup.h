#pragma once
// Backing up the local database into a folder and restoring it from such a backup, for the backup
// form and the command line alike. Nothing counts before it is checked: a backup replaces the
// earlier one only once it has been verified, and a restore replaces the database only with a
// verified backup, keeping the replaced file beside it.

#include "BackupCrypto.h"

#include <optional>
#include <QString>

// Anything short of Done has changed nothing.
enum class BackupStatus {
    Done,      // verified and in its place
    Cancelled, // stopped by the operator
    Refused,   // the database itself was chosen, or the file chosen is no sound backup of this system
    WrongPassword,
    Failed, // locked by another desk, write-protected, disk full, ...
};

struct BackupResult {
    BackupStatus status = BackupStatus::Failed;
    QString message;  // what to tell the operator, in the system's words
    QString keptCopy; // restore: where the replaced database now lies; empty when there was none
};

// The backup in `folder`: always MoLianBackUp.Mdb, so one folder holds one backup.
QString backupFilePath(const QString& folder);

// Refuses a backup whose target, or a restore whose source, is the database file itself.
std::optional<BackupResult> sameFileRefusal(const QString& file, const QString& databasePath);

// The hash of the backup password kept in the database; empty when none is set.
QString backupPasswordHash(const QString& databasePath);
// Keeps only a hash of `password` in the database; an empty password stops encrypting backups.
// Returns an error text, empty on success.
QString setBackupPassword(const QString& databasePath, const QString& password);

// A consistent copy of the live database, compacted, checked and, with a password, encrypted,
// becomes `folder`/MoLianBackUp.Mdb. Once a backup password is set, only that password is taken.
BackupResult backUpDatabase(const QString& databasePath, const QString& folder, const QString& password,
                            const ProgressStep& progress = {});

// With a backup password set, only an encrypted backup may replace the database: an unencrypted
// file could have been made by anybody. The refusal is written into the database's trail.
std::optional<BackupResult> unsealedRestoreRefusal(const QString& backupPath, const QString& databasePath);

// Replaces the database with the backup when it decrypts and passes the checks a backup passes.
BackupResult restoreDatabase(const QString& backupPath, const QString& databasePath, const QString& password,
                             const ProgressStep& progress = {});
