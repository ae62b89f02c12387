#include "DatePicker.h"

#include "dialogs.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>

namespace {
const QString kBlank = QStringLiteral(" ");
}

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent) {
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setCalendarPopup(true);
    // The day before the first real date stands for "no date" and shows as blank.
    setMinimumDate(emptyMark());
    setSpecialValueText(kBlank);
    setDate(QDate::currentDate());
    // A date chosen any other way (the calendar, the arrows) ends the typing.
    connect(this, &QDateTimeEdit::dateChanged, this, [this](QDate date) {
        if (date != emptyMark() && !m_typed.isEmpty()) setTyped(QString());
    });
}

QDate DatePicker::emptyMark() {
    return QDate(1899, 12, 31);
}

QDate DatePicker::typedDate(const QString& typed, bool typingEnded) {
    static const QRegularExpression digits(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    static const QRegularExpression separated(QStringLiteral("^(\\d{4})([-.])(\\d{1,2})\\2(\\d{1,2})$"));
    auto match = digits.match(typed);
    if (match.hasMatch())
        return QDate(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    match = separated.match(typed);
    // While typing, "1999-1-1" may still become "1999-1-15".
    if (!match.hasMatch() || (!typingEnded && match.captured(4).size() < 2)) return {};
    return QDate(match.captured(1).toInt(), match.captured(3).toInt(), match.captured(4).toInt());
}

bool DatePicker::isNull() const {
    return date() == emptyMark() && !typedDate(m_typed, true).isValid();
}

QVariant DatePicker::value() const {
    if (date() != emptyMark()) return date();
    const QDate typed = typedDate(m_typed, true);
    return typed.isValid() ? QVariant(typed) : QVariant();
}

void DatePicker::setValue(const QVariant& value) {
    const QDate d = value.toDate();
    if (value.isNull() || !d.isValid() || d <= emptyMark())
        setNull();
    else
        setDate(d);
}

void DatePicker::setNull() {
    setTyped(QString());
    setDate(emptyMark());
}

QString DatePicker::text() const {
    const QVariant shown = value();
    return shown.isNull() ? QString() : shown.toDate().toString(Qt::ISODate);
}

void DatePicker::setText(const QString& text) {
    setValue(QDate::fromString(text.trimmed(), Qt::ISODate));
}

void DatePicker::stepBy(int steps) {
    if (isNull()) {
        setDate(QDate::currentDate());
        return;
    }
    QDateEdit::stepBy(steps);
}

void DatePicker::setTyped(const QString& typed) {
    m_typed = typed;
    setSpecialValueText(typed.isEmpty() ? kBlank : typed);
    if (!typed.isEmpty()) lineEdit()->setCursorPosition(int(typed.size()));
}

// An empty picker has no day, month or year to edit: what is typed is read as one whole date.
bool DatePicker::typeIntoEmpty(QKeyEvent* event) {
    if (date() != emptyMark()) return false;
    if (event->key() == Qt::Key_Backspace) {
        setTyped(m_typed.chopped(m_typed.isEmpty() ? 0 : 1));
        return true;
    }
    const QString key = event->text();
    if (key.size() != 1 || !(key[0].isDigit() || key[0] == QLatin1Char('-') || key[0] == QLatin1Char('.')))
        return false;
    static const QRegularExpression partOfDate(
        QStringLiteral("^(\\d{0,8}|\\d{4}([-.])\\d{0,2}|\\d{4}([-.])\\d{1,2}\\3\\d{0,2})$"));
    static const QRegularExpression wholeLength(QStringLiteral("^(\\d{8}|\\d{4}([-.])\\d{1,2}\\2\\d{2})$"));
    const QString typed = m_typed + key;
    const QDate whole = typedDate(typed, false);
    if (!partOfDate.match(typed).hasMatch() || (wholeLength.match(typed).hasMatch() && !whole.isValid())) {
        Beep(); // a key that can only make a date that does not exist
        return true;
    }
    if (whole.isValid()) {
        setTyped(QString());
        setDate(whole);
    } else {
        setTyped(typed);
    }
    return true;
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete ||
        (event->key() == Qt::Key_Backspace && isNull() && m_typed.isEmpty())) {
        setNull();
        return;
    }
    if (typeIntoEmpty(event)) return;
    QDateEdit::keyPressEvent(event);
    showCurrentMonthWhenEmpty();
}

void DatePicker::mousePressEvent(QMouseEvent* event) {
    QDateEdit::mousePressEvent(event);
    showCurrentMonthWhenEmpty();
}

// An empty picker opens its calendar on the current month, not on the empty mark's.
void DatePicker::showCurrentMonthWhenEmpty() {
    if (date() != emptyMark()) return;
    QCalendarWidget* calendar = calendarWidget();
    if (calendar && calendar->isVisible())
        calendar->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
}

void DatePicker::focusOutEvent(QFocusEvent* event) {
    if (!m_typed.isEmpty()) {
        const QDate whole = typedDate(m_typed, true);
        if (!whole.isValid()) Beep(); // not a whole date: the picker stays empty
        setTyped(QString());
        if (whole.isValid()) setDate(whole);
    }
    QDateEdit::focusOutEvent(event);
}
