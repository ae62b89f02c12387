#pragma once
// A date picker that can also hold no date: records whose date was never entered must keep it
// empty instead of taking whatever the picker happened to show.

#include <QDateEdit>
#include <QVariant>

class DatePicker : public QDateEdit {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)

public:
    explicit DatePicker(QWidget* parent = nullptr);

    bool isNull() const;
    // The date, or a null QVariant when empty. A date being typed counts once it reads as one.
    QVariant value() const;
    void setValue(const QVariant& value);
    void setNull();
    // "yyyy-MM-dd", or empty.
    QString text() const;
    void setText(const QString& text);

    // Only the section the clerk sees selected moves; otherwise the first step selects it.
    void stepBy(int steps) override;
    // The calendar, as the drop-down button opens it.
    void openCalendar();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    static QDate emptyMark();
    // The whole date typed so far: yyyyMMdd, yyyy-MM-dd or yyyy.MM.dd (single-digit month and
    // day allowed once typing ends); invalid while it is not one yet.
    static QDate typedDate(const QString& typed, bool typingEnded);
    // Digits start a whole date, wherever the cursor stands; true when the key was taken.
    bool typeWholeDate(QKeyEvent* event);
    void setTyped(const QString& typed);
    void endTyping();
    void showCurrentMonthWhenEmpty();
    bool sectionSelected() const;

    // What was typed, shown until it makes a whole date.
    QString m_typed;
    // The date shown before the typing began; it stays unless a whole date replaces it.
    QDate m_beforeTyping;
};
