#include "BackupCrypto.h"

#include "FileModes.h"

#include <sodium.h>
#include <unistd.h>

#include <QFile>
#include <QtEndian>

namespace {

// File layout: magic, salt, Argon2id limits, key check, secretstream header, then (from the
// second version on) a checksum of all that, then the chunks. Everything before the secretstream
// header is authenticated with every chunk.
constexpr char kMagicV1[] = "ORVANTA BACKUP 1";
constexpr char kMagic[] = "ORVANTA BACKUP 2";
constexpr qsizetype kMagicSize = sizeof kMagic - 1;
constexpr qsizetype kKeyCheckSize = 16;
constexpr qsizetype kHeaderChecksumSize = 32;
constexpr qsizetype kPrefixSize = kMagicSize + crypto_pwhash_SALTBYTES + 8 + 8 + kKeyCheckSize;
constexpr qsizetype kChunk = 64 * 1024;
constexpr qsizetype kSealedChunk = kChunk + crypto_secretstream_xchacha20poly1305_ABYTES;
// A file asking for more than this is not one of ours; refusing keeps it from exhausting memory.
constexpr unsigned long long kMaxOpsLimit = 16;
constexpr size_t kMaxMemLimit = size_t(1) << 30;

struct Key {
    unsigned char bytes[crypto_secretstream_xchacha20poly1305_KEYBYTES];
    Key() = default;
    Key(const Key&) = delete;
    ~Key() { sodium_memzero(bytes, sizeof bytes); }
};

struct Header {
    QByteArray magic = QByteArray(kMagic, kMagicSize);
    QByteArray salt;
    quint64 opsLimit = 0;
    quint64 memLimit = 0;
    QByteArray keyCheck;
    QByteArray stream; // secretstream header

    QByteArray prefix() const {
        QByteArray bytes = magic;
        bytes += salt;
        bytes += QByteArray(8, '\0');
        qToLittleEndian(opsLimit, bytes.data() + bytes.size() - 8);
        bytes += QByteArray(8, '\0');
        qToLittleEndian(memLimit, bytes.data() + bytes.size() - 8);
        return bytes + keyCheck;
    }
    // Unkeyed: it tells a damaged header before any key is made from the password.
    QByteArray checksum() const {
        const QByteArray covered = prefix() + stream;
        QByteArray sum(kHeaderChecksumSize, '\0');
        crypto_generichash(reinterpret_cast<unsigned char*>(sum.data()), size_t(sum.size()),
                           reinterpret_cast<const unsigned char*>(covered.constData()),
                           quint64(covered.size()), nullptr, 0);
        return sum;
    }
};

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

bool deriveKey(const QString& password, const Header& header, Key& key) {
    const QByteArray utf8 = password.toUtf8();
    return crypto_pwhash(key.bytes, sizeof key.bytes, utf8.constData(), quint64(utf8.size()),
                         reinterpret_cast<const unsigned char*>(header.salt.constData()), header.opsLimit,
                         size_t(header.memLimit), crypto_pwhash_ALG_ARGON2ID13) == 0;
}

// Tells a wrong password apart from a damaged file without decrypting anything.
QByteArray keyCheck(const Key& key) {
    static const QByteArray label = QByteArrayLiteral("backup key check");
    QByteArray check(kKeyCheckSize, '\0');
    crypto_generichash(reinterpret_cast<unsigned char*>(check.data()), size_t(check.size()),
                       reinterpret_cast<const unsigned char*>(label.constData()), quint64(label.size()),
                       key.bytes, sizeof key.bytes);
    return check;
}

bool knownMagic(const QByteArray& magic) {
    return magic == QByteArray(kMagic, kMagicSize) || magic == QByteArray(kMagicV1, kMagicSize);
}

bool readHeader(QFile& in, Header& header) {
    const QByteArray prefix = in.read(kPrefixSize);
    if (prefix.size() != kPrefixSize || !knownMagic(prefix.left(kMagicSize))) return false;
    header.magic = prefix.left(kMagicSize);
    qsizetype at = kMagicSize;
    header.salt = prefix.mid(at, crypto_pwhash_SALTBYTES);
    at += crypto_pwhash_SALTBYTES;
    header.opsLimit = qFromLittleEndian<quint64>(prefix.constData() + at);
    header.memLimit = qFromLittleEndian<quint64>(prefix.constData() + at + 8);
    header.keyCheck = prefix.mid(at + 16, kKeyCheckSize);
    header.stream = in.read(crypto_secretstream_xchacha20poly1305_HEADERBYTES);
    if (header.stream.size() != crypto_secretstream_xchacha20poly1305_HEADERBYTES) return false;
    // Files of the first version carry no checksum: there a damaged header reads as a wrong password.
    if (header.magic == QByteArray(kMagic, kMagicSize) && in.read(kHeaderChecksumSize) != header.checksum())
        return false;
    return header.opsLimit >= crypto_pwhash_OPSLIMIT_MIN && header.opsLimit <= kMaxOpsLimit &&
           header.memLimit >= crypto_pwhash_MEMLIMIT_MIN && header.memLimit <= kMaxMemLimit;
}

SealResult writeFailure(const QFile& out) {
    return out.error() == QFileDevice::ResourceError ? SealResult::DiskFull : SealResult::WriteFailed;
}

// Flushes the file through to the disk before it may replace anything.
SealResult finish(QFile& out) {
    if (!out.flush() || ::fsync(out.handle()) != 0) return writeFailure(out);
    out.close();
    return SealResult::Done;
}

int permille(qint64 done, qint64 total) {
    return total > 0 ? int(qMin<qint64>(1000, done * 1000 / total)) : 1000;
}

// Up to `size` bytes, waiting for a running program to produce them; short only at the end.
QByteArray readChunk(QIODevice& in, qsizetype size) {
    QByteArray chunk;
    while (chunk.size() < size) {
        if (in.bytesAvailable() <= 0 && !in.waitForReadyRead(-1)) break;
        chunk += in.read(size - chunk.size());
    }
    return chunk;
}

// Authenticates and decrypts the chunks after the header, handing each plain chunk to `take`.
SealResult pullChunks(QFile& in, const Header& header, const Key& key, const PlainSink& take,
                      const ProgressStep& progress) {
    crypto_secretstream_xchacha20poly1305_state state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(
            &state, reinterpret_cast<const unsigned char*>(header.stream.constData()), key.bytes) != 0)
        return SealResult::Damaged;
    const QByteArray ad = header.prefix();
    QByteArray plain(kChunk, '\0');
    for (unsigned char tag = 0; tag != crypto_secretstream_xchacha20poly1305_TAG_FINAL;) {
        const QByteArray sealed = in.read(kSealedChunk);
        if (in.error() != QFileDevice::NoError) return SealResult::ReadFailed;
        if (sealed.size() < crypto_secretstream_xchacha20poly1305_ABYTES) return SealResult::Damaged;
        unsigned long long plainSize = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(
                &state, reinterpret_cast<unsigned char*>(plain.data()), &plainSize, &tag,
                reinterpret_cast<const unsigned char*>(sealed.constData()), quint64(sealed.size()),
                reinterpret_cast<const unsigned char*>(ad.constData()), quint64(ad.size())) != 0)
            return SealResult::Damaged;
        if (!take(plain.left(qsizetype(plainSize)))) return SealResult::WriteFailed;
        if (progress && !progress(permille(in.pos(), in.size()))) return SealResult::Cancelled;
    }
    return in.atEnd() ? SealResult::Done : SealResult::Damaged; // nothing may follow the last chunk
}

QByteArray digest(crypto_generichash_state& state) {
    QByteArray bytes(crypto_generichash_BYTES, '\0');
    crypto_generichash_final(&state, reinterpret_cast<unsigned char*>(bytes.data()), size_t(bytes.size()));
    return bytes;
}

void hashUpdate(crypto_generichash_state& state, const QByteArray& bytes) {
    crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(bytes.constData()),
                              quint64(bytes.size()));
}

// Opens the header of a sealed file and makes its key: Damaged before WrongPassword.
SealResult openHeader(QFile& in, const QString& password, Header& header, Key& key) {
    if (!sodiumReady()) return SealResult::NoMemory;
    if (!in.open(QIODevice::ReadOnly)) return SealResult::ReadFailed;
    if (!readHeader(in, header)) return SealResult::Damaged;
    if (!deriveKey(password, header, key)) return SealResult::NoMemory;
    if (sodium_memcmp(keyCheck(key).constData(), header.keyCheck.constData(), size_t(kKeyCheckSize)) != 0)
        return SealResult::WrongPassword;
    return SealResult::Done;
}

} // namespace

bool isSealedBackup(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && knownMagic(file.read(kMagicSize));
}

SealResult sealStream(QIODevice& plain, qint64 expectedSize, const QString& sealedPath,
                      const QString& password, const ProgressStep& progress) {
    if (!sodiumReady()) return SealResult::NoMemory;
    QFile out(sealedPath);
    if (!openPrivateFile(out, QIODevice::Truncate)) return writeFailure(out);

    Header header;
    header.salt = QByteArray(crypto_pwhash_SALTBYTES, '\0');
    randombytes_buf(header.salt.data(), size_t(header.salt.size()));
    // A lost copy can be attacked offline for as long as anyone likes: the moderate limits.
    header.opsLimit = crypto_pwhash_OPSLIMIT_MODERATE;
    header.memLimit = crypto_pwhash_MEMLIMIT_MODERATE;
    Key key;
    if (!deriveKey(password, header, key)) return SealResult::NoMemory;
    header.keyCheck = keyCheck(key);
    header.stream = QByteArray(crypto_secretstream_xchacha20poly1305_HEADERBYTES, '\0');
    crypto_secretstream_xchacha20poly1305_state state;
    crypto_secretstream_xchacha20poly1305_init_push(
        &state, reinterpret_cast<unsigned char*>(header.stream.data()), key.bytes);
    const QByteArray ad = header.prefix();
    const QByteArray written = ad + header.stream + header.checksum();
    if (out.write(written) != written.size()) return writeFailure(out);

    crypto_generichash_state readHash;
    crypto_generichash_init(&readHash, nullptr, 0, crypto_generichash_BYTES);
    QByteArray sealed(kSealedChunk, '\0');
    qint64 done = 0;
    // Sealing is the first half of the work, reading it back the second.
    const auto half = [&] { return !progress || progress(permille(done, expectedSize) / 2); };
    // One chunk read ahead: the last one carries the final tag.
    QByteArray next = readChunk(plain, kChunk);
    bool last = false;
    while (!last) {
        const QByteArray chunk = next;
        next = readChunk(plain, kChunk);
        last = next.isEmpty();
        done += chunk.size();
        hashUpdate(readHash, chunk);
        unsigned long long sealedSize = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, reinterpret_cast<unsigned char*>(sealed.data()), &sealedSize,
            reinterpret_cast<const unsigned char*>(chunk.constData()), quint64(chunk.size()),
            reinterpret_cast<const unsigned char*>(ad.constData()), quint64(ad.size()),
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        if (out.write(sealed.constData(), qint64(sealedSize)) != qint64(sealedSize)) return writeFailure(out);
        if (!half()) return SealResult::Cancelled;
    }
    if (!plain.isSequential() && plain.pos() != plain.size()) return SealResult::ReadFailed;
    if (const SealResult flushed = finish(out); flushed != SealResult::Done) return flushed;

    // Read back what reached the disk: it must decrypt to the very bytes that were read.
    QFile check(sealedPath);
    Header stored;
    if (!check.open(QIODevice::ReadOnly) || !readHeader(check, stored)) return SealResult::WriteFailed;
    crypto_generichash_state readBack;
    crypto_generichash_init(&readBack, nullptr, 0, crypto_generichash_BYTES);
    const SealResult pulled = pullChunks(
        check, stored, key,
        [&](const QByteArray& piece) {
            hashUpdate(readBack, piece);
            return true;
        },
        [&](int part) { return !progress || progress(500 + part / 2); });
    if (pulled == SealResult::Cancelled) return pulled;
    return pulled == SealResult::Done && digest(readBack) == digest(readHash) ? SealResult::Done
                                                                              : SealResult::WriteFailed;
}

SealResult sealBackup(const QString& plainPath, const QString& sealedPath, const QString& password,
                      const ProgressStep& progress) {
    QFile in(plainPath);
    if (!in.open(QIODevice::ReadOnly)) return SealResult::ReadFailed;
    return sealStream(in, in.size(), sealedPath, password, progress);
}

SealResult openSealedStream(const QString& sealedPath, const QString& password, const PlainSink& take,
                            const ProgressStep& progress) {
    QFile in(sealedPath);
    Header header;
    Key key;
    if (const SealResult opened = openHeader(in, password, header, key); opened != SealResult::Done)
        return opened;
    return pullChunks(in, header, key, take, progress);
}

SealResult openSealedBackup(const QString& sealedPath, const QString& plainPath, const QString& password,
                            const ProgressStep& progress) {
    QFile out(plainPath);
    if (!openPrivateFile(out, QIODevice::Truncate)) return writeFailure(out);
    const SealResult pulled = openSealedStream(
        sealedPath, password, [&](const QByteArray& plain) { return out.write(plain) == plain.size(); },
        progress);
    if (pulled == SealResult::WriteFailed) return writeFailure(out);
    if (pulled != SealResult::Done) return pulled;
    return finish(out);
}
