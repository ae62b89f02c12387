#include "Passwords.h"

#include "adodb.h"

#include <sodium.h>

namespace {

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

QString hashPassword(const QString& password) {
    if (!sodiumReady()) return {};
    const QByteArray utf8 = password.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, utf8.constData(), static_cast<unsigned long long>(utf8.size()),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return QString::fromLatin1(hash);
}

bool isPasswordHash(const QString& stored) {
    return stored.startsWith(QLatin1String("$argon2id$"));
}

bool passwordMatches(const QVariant& stored, const QString& typed) {
    if (stored.isNull() || typed.isEmpty()) return false;
    const QString value = stored.toString();
    if (value.isEmpty()) return false;
    if (!isPasswordHash(value)) return value == typed;
    if (!sodiumReady()) return false;
    const QByteArray hash = value.toLatin1(), utf8 = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

void storePassword(Field field, const QString& password) {
    const QString hash = hashPassword(password);
    if (hash.isEmpty()) throw DbError(DbErrorCode::Driver, QStringLiteral("无法保存密码：内存不足。"));
    field.setValue(hash);
}
