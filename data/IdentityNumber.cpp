#include "IdentityNumber.h"

namespace {

constexpr int kLength = 18;

// The first 17 characters are the digits the other facts are read from.
bool hasDigitBody(const QString& number) {
    if (number.size() < kLength - 1) return false;
    for (int i = 0; i < kLength - 1; ++i)
        if (number.at(i) < QLatin1Char('0') || number.at(i) > QLatin1Char('9')) return false;
    return true;
}

} // namespace

QChar IdentityCheckCharacter(const QString& number) {
    if (!hasDigitBody(number)) return {};
    int sum = 0;
    int weight = 1;
    // Weights are 2^(17-i) mod 11: built from the last digit backwards.
    for (int i = kLength - 2; i >= 0; --i) {
        weight = weight * 2 % 11;
        sum += (number.at(i).unicode() - '0') * weight;
    }
    const int check = (12 - sum % 11) % 11;
    return check == 10 ? QLatin1Char('X') : QChar(u'0' + check);
}

QString IdentityLengthNote(const QString& number) {
    QString note = QString::number(number.size()) + QStringLiteral("位");
    if (number.size() == kLength && IdentityCheckCharacter(number) != number.at(kLength - 1).toUpper())
        note += QStringLiteral(" 校验码有误");
    return note;
}

QDate BirthDateFromIdentity(const QString& number) {
    if (number.size() != kLength || !hasDigitBody(number)) return {};
    const QDate date = QDate::fromString(number.mid(6, 8), QStringLiteral("yyyyMMdd"));
    if (!date.isValid() || date.year() < 1900 || date > QDate::currentDate()) return {};
    return date;
}

QString SexFromIdentity(const QString& number) {
    if (number.size() != kLength || !hasDigitBody(number)) return {};
    return (number.at(kLength - 2).unicode() - '0') % 2 == 1 ? QStringLiteral("男") : QStringLiteral("女");
}
