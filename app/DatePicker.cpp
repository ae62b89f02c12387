#include "DatePicker.h"

#include <QCalendarWidget>
#include <QKeyEvent>

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent) {
    setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    setCalendarPopup(true);
    // The day before the first real date stands for "no date" and shows as blank.
    setMinimumDate(emptyMark());
    setSpecialValueText(QStringLiteral(" "));
    setDate(QDate::currentDate());
}

QDate DatePicker::emptyMark() {
    return QDate(1899, 12, 31);
}

bool DatePicker::isNull() const {
    return date() == emptyMark();
}

QVariant DatePicker::value() const {
    return isNull() ? QVariant() : QVariant(date());
}

void DatePicker::setValue(const QVariant& value) {
    const QDate d = value.toDate();
    if (value.isNull() || !d.isValid() || d <= emptyMark())
        setNull();
    else
        setDate(d);
}

void DatePicker::setNull() {
    setDate(emptyMark());
}

QString DatePicker::text() const {
    return isNull() ? QString() : date().toString(Qt::ISODate);
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

void DatePicker::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete || (event->key() == Qt::Key_Backspace && isNull())) {
        setNull();
        return;
    }
    if (isNull() && !event->text().isEmpty() && event->text().at(0).isDigit()) setDate(QDate::currentDate());
    QDateEdit::keyPressEvent(event);
}

void DatePicker::mousePressEvent(QMouseEvent* event) {
    // An empty picker opens its calendar on the current month, not on the empty mark's.
    if (isNull() && calendarWidget())
        calendarWidget()->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
    QDateEdit::mousePressEvent(event);
}
