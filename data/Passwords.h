#pragma once
// Passwords are kept only as Argon2id hashes (libsodium's self-describing "$argon2id$..." text).

#include <QString>
#include <QVariant>

class Field;

// The one operator who administers the others, and the password the delivered database gives him.
inline const QString kAdministrator = QStringLiteral("管理员");
inline const QString kDeliveredPassword = QStringLiteral("736");

// A new hash of the password, with interactive limits; empty when hashing failed (out of memory).
QString hashPassword(const QString& password);
// True when the stored value is a hash rather than a password kept readable by an older database.
bool isPasswordHash(const QString& stored);
// True when the typed password opens the stored value: a hash verifies, a readable legacy value
// compares exactly and case-sensitively. A null or empty password never matches.
bool passwordMatches(const QVariant& stored, const QString& typed);
// Sets the field to a new hash of the password; throws DbError when no hash could be made, so a
// password is never stored readable.
void storePassword(Field field, const QString& password);
