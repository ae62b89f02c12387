#include "DatePicker.h"

#include "dialogs.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionComboBox>

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
        if (date != emptyMark()) m_beforeTyping = QDate();
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
    return value().isNull();
}

// While a date is typed over a shown one, the shown one counts until the typing makes a whole date.
QVariant DatePicker::value() const {
    if (date() != emptyMark()) return date();
    const QDate typed = typedDate(m_typed, true);
    if (typed.isValid()) return typed;
    return m_beforeTyping.isValid() ? QVariant(m_beforeTyping) : QVariant();
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
    m_beforeTyping = QDate();
    setDate(emptyMark());
}

QString DatePicker::text() const {
    const QVariant shown = value();
    return shown.isNull() ? QString() : shown.toDate().toString(Qt::ISODate);
}

void DatePicker::setText(const QString& text) {
    setValue(QDate::fromString(text.trimmed(), Qt::ISODate));
}

bool DatePicker::sectionSelected() const {
    const QString selected = lineEdit()->selectedText();
    return !selected.isEmpty() && selected == sectionText(currentSection());
}

void DatePicker::stepBy(int steps) {
    if (!m_typed.isEmpty() || m_beforeTyping.isValid()) return; // a date half typed has no sections yet
    if (isNull()) {
        setDate(QDate::currentDate());
        return;
    }
    if (!sectionSelected()) {
        setSelectedSection(currentSection());
        return;
    }
    QDateEdit::stepBy(steps);
}

void DatePicker::openCalendar() {
    if (!isEnabled() || isReadOnly()) return;
    // The picker opens its calendar only from a press on its drop-down button.
    QStyleOptionComboBox option;
    option.initFrom(this);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    const QRect arrow = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this);
    const QPointF at = arrow.center();
    QMouseEvent press(QEvent::MouseButtonPress, at, mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    mousePressEvent(&press);
}

void DatePicker::setTyped(const QString& typed) {
    m_typed = typed;
    setSpecialValueText(typed.isEmpty() ? kBlank : typed);
    if (!typed.isEmpty()) lineEdit()->setCursorPosition(int(typed.size()));
}

// What is typed is read as one whole date in the formats of the empty picker, whichever section the
// cursor happened to stand in: the sections would mix the typed digits with the shown date.
bool DatePicker::typeWholeDate(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString key = event->text();
    const bool typing = date() == emptyMark();
    if (!typing) {
        if (key.size() != 1 || !key[0].isDigit()) return false;
        m_beforeTyping = date();
        setDate(emptyMark());
    }
    if (event->key() == Qt::Key_Backspace) {
        setTyped(m_typed.chopped(m_typed.isEmpty() ? 0 : 1));
        return true;
    }
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
        m_beforeTyping = QDate();
        setDate(whole);
    } else {
        setTyped(typed);
    }
    return true;
}

// Typing ends: a whole date stands, anything less gives back the date shown before (or none).
void DatePicker::endTyping() {
    if (m_typed.isEmpty() && !m_beforeTyping.isValid()) return;
    const QDate whole = typedDate(m_typed, true);
    if (!whole.isValid() && !m_typed.isEmpty()) Beep(); // not a whole date: nothing changes
    const QDate before = m_beforeTyping;
    setTyped(QString());
    m_beforeTyping = QDate();
    if (whole.isValid())
        setDate(whole);
    else if (before.isValid())
        setDate(before);
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (event->key() == Qt::Key_F4 || (alt && event->key() == Qt::Key_Down)) {
        endTyping();
        openCalendar();
        return;
    }
    if (alt && event->key() == Qt::Key_Up) return; // never a step of the year
    if (event->key() == Qt::Key_Delete ||
        (event->key() == Qt::Key_Backspace && isNull() && m_typed.isEmpty())) {
        setNull();
        return;
    }
    if (typeWholeDate(event)) return;
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
    endTyping();
    QDateEdit::focusOutEvent(event);
}
