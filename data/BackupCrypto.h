#pragma once
// Encrypted backup files. Argon2id turns the backup password into a key; XChaCha20-Poly1305
// secretstream encrypts the database in chunks and authenticates each one, so a lost copy
// reveals nothing and a changed, missing or cut-off chunk is detected.

#include <functional>
#include <QString>

enum class SealResult {
    Done,
    Cancelled,
    WrongPassword, // the key made from the password is not the one the file was sealed with
    Damaged,       // not an encrypted backup, or changed or cut off since it was written
    NoMemory,      // the key derivation could not get its memory
    ReadFailed,
    WriteFailed,
    DiskFull,
};

// Progress from 0 to 1000; returning false cancels.
using ProgressStep = std::function<bool(int permille)>;

// True when the file starts as an encrypted backup does (it may still be damaged).
bool isSealedBackup(const QString& path);

// Encrypts `plainPath` into the new file `sealedPath`, flushed to disk, then reads it back and
// checks it decrypts to exactly the plain file.
SealResult sealBackup(const QString& plainPath, const QString& sealedPath, const QString& password,
                      const ProgressStep& progress);
// Decrypts `sealedPath` into the new file `plainPath`, flushed to disk. Anything short of a
// complete, authentic file leaves `plainPath` incomplete; the caller discards it.
SealResult openSealedBackup(const QString& sealedPath, const QString& plainPath, const QString& password,
                            const ProgressStep& progress);
