#include "Criterion.h"

#include "DbError.h"
#include "Recordset.h"

#include <QDate>
#include <QRegularExpression>

namespace {

QRegularExpression likePattern(const QString& pattern) {
    QString rx;
    for (const QChar ch : pattern) {
        if (ch == QLatin1Char('%') || ch == QLatin1Char('*'))
            rx += QLatin1String(".*");
        else if (ch == QLatin1Char('_') || ch == QLatin1Char('?'))
            rx += QLatin1Char('.');
        else
            rx += QRegularExpression::escape(QString(ch));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(rx),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

QString QuoteLiteral(const QString& text) {
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

namespace RecordsetInternals {

Criterion parseCriterion(const QString& text) {
    const auto bad = [&] {
        return DbError(DbErrorCode::BadCriterion, QStringLiteral("查找条件无效：%1").arg(text));
    };
    int i = 0;
    const int n = text.size();
    const auto skipBlanks = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    skipBlanks();
    Criterion c;
    if (i < n && text[i] == QLatin1Char('[')) {
        const int close = text.indexOf(QLatin1Char(']'), i);
        if (close < 0) throw bad();
        c.field = text.mid(i + 1, close - i - 1);
        i = close + 1;
    } else {
        const int start = i;
        while (i < n && (text[i].isLetterOrNumber() || text[i] == QLatin1Char('_')))
            ++i;
        c.field = text.mid(start, i - start);
    }
    if (c.field.isEmpty()) throw bad();
    skipBlanks();
    static const QStringList ops = {QStringLiteral("<="), QStringLiteral(">="), QStringLiteral("<>"),
                                    QStringLiteral("="),  QStringLiteral("<"),  QStringLiteral(">")};
    for (const QString& op : ops) {
        if (text.mid(i, op.size()) == op) {
            c.op = op;
            break;
        }
    }
    if (c.op.isEmpty() && text.mid(i, 4).compare(QLatin1String("LIKE"), Qt::CaseInsensitive) == 0 &&
        i + 4 < n && text[i + 4].isSpace())
        c.op = QStringLiteral("LIKE");
    if (c.op.isEmpty()) throw bad();
    i += c.op.size();
    skipBlanks();
    if (i >= n) throw bad();
    const QChar opening = text[i];
    if (opening == QLatin1Char('\'') || opening == QLatin1Char('#')) {
        QString literal;
        ++i;
        bool closed = false;
        while (i < n) {
            if (text[i] == opening) {
                if (opening == QLatin1Char('\'') && i + 1 < n && text[i + 1] == opening) {
                    literal += opening;
                    i += 2;
                    continue;
                }
                closed = true;
                ++i;
                break;
            }
            literal += text[i++];
        }
        if (!closed) throw bad();
        if (opening == QLatin1Char('#')) {
            const QDate date = QDate::fromString(literal.trimmed(), Qt::ISODate);
            if (!date.isValid()) throw bad();
            c.value = date;
        } else {
            c.value = literal;
        }
    } else {
        const int start = i;
        while (i < n && !text[i].isSpace())
            ++i;
        bool ok = false;
        const double number = text.mid(start, i - start).toDouble(&ok);
        if (!ok) throw bad();
        c.value = number;
    }
    skipBlanks();
    if (i != n) throw bad();
    return c;
}

bool compareMatches(const QVariant& stored, const QString& op, const QVariant& wanted) {
    if (stored.isNull()) return false;
    if (op == QLatin1String("LIKE"))
        return likePattern(wanted.toString()).match(stored.toString()).hasMatch();
    const QPartialOrdering order = QVariant::compare(stored, wanted);
    if (order == QPartialOrdering::Unordered) return op == QLatin1String("<>");
    if (op == QLatin1String("=")) return order == QPartialOrdering::Equivalent;
    if (op == QLatin1String("<>")) return order != QPartialOrdering::Equivalent;
    if (op == QLatin1String("<")) return order == QPartialOrdering::Less;
    if (op == QLatin1String(">")) return order == QPartialOrdering::Greater;
    if (op == QLatin1String("<=")) return order != QPartialOrdering::Greater;
    return order != QPartialOrdering::Less;
}

} // namespace RecordsetInternals
