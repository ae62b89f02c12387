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

    void stepBy(int steps) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    static QDate emptyMark();
    // The whole date typed so far: yyyyMMdd, yyyy-MM-dd or yyyy.MM.dd (single-digit month and
    // day allowed once typing ends); invalid while it is not one yet.
    static QDate typedDate(const QString& typed, bool typingEnded);
    bool typeIntoEmpty(QKeyEvent* event);
    void setTyped(const QString& typed);
    void showCurrentMonthWhenEmpty();

    // What was typed into the empty picker, shown until it makes a whole date.
    QString m_typed;
};
