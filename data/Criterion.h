#pragma once
// The criterion of Recordset::Find: `field op literal`, the literal 'text', #yyyy-MM-dd# or a number.

#include <QString>
#include <QVariant>

namespace RecordsetInternals {

// One parsed Find criterion: field, operator, literal.
struct Criterion {
    QString field;
    QString op;
    QVariant value;
};

// Raises BadCriterion when the text is no criterion.
Criterion parseCriterion(const QString& text);
// Whether a row's value satisfies `op wanted` (LIKE with % or *, _ or ?); Null satisfies nothing.
bool compareMatches(const QVariant& stored, const QString& op, const QVariant& wanted);

} // namespace RecordsetInternals
