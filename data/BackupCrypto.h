#pragma once
// Encrypted backup files. Argon2id turns the backup password into a key; XChaCha20-Poly1305
// secretstream encrypts the data in chunks and authenticates each one, so a lost copy reveals
// nothing and a changed, missing or cut-off chunk is detected. The header carries a checksum of
// its own, so a damaged header is told apart from a wrong password.

#include <functional>
#include <QString>

class QIODevice;

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
// Takes the next piece of plain data; false when it could not.
using PlainSink = std::function<bool(const QByteArray& plain)>;

// True when the file starts as an encrypted backup does (it may still be damaged).
bool isSealedBackup(const QString& path);

// Encrypts everything `plain` yields (a file, or the output of a running program) into the new
// file `sealedPath` as it is read, so no plain copy is written; flushed to disk, then read back
// and checked to decrypt to exactly what was read. `expectedSize` drives the progress (0: unknown).
SealResult sealStream(QIODevice& plain, qint64 expectedSize, const QString& sealedPath,
                      const QString& password, const ProgressStep& progress);
SealResult sealBackup(const QString& plainPath, const QString& sealedPath, const QString& password,
                      const ProgressStep& progress);
// Decrypts `sealedPath`, handing each authentic piece to `take`. Anything short of a complete,
// authentic file ends with an error after some pieces; the caller discards what it took.
SealResult openSealedStream(const QString& sealedPath, const QString& password, const PlainSink& take,
                            const ProgressStep& progress);
// Decrypts into the new file `plainPath`, flushed to disk.
SealResult openSealedBackup(const QString& sealedPath, const QString& plainPath, const QString& password,
                            const ProgressStep& progress);
