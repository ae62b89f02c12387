#pragma once
// Facts read from an 18-character identity number: its check character (ISO 7064 MOD 11-2, as the
// national standard uses it), the birth date (characters 7-14) and the sex (character 17).

#include <QDate>
#include <QString>

// The check character, '0'-'9' or 'X', of a number whose first 17 characters are digits; a null
// QChar otherwise.
QChar IdentityCheckCharacter(const QString& number);
// What the identity box's counter shows: the length with "位", and for 18 characters whose last
// is not the check character, the note that it is wrong.
QString IdentityLengthNote(const QString& number);
// The birth date of an 18-character number of digits; a null date when those characters are no
// date between 1900 and today.
QDate BirthDateFromIdentity(const QString& number);
// "男" for an odd 17th digit, "女" for an even one; empty when the number does not tell.
QString SexFromIdentity(const QString& number);
