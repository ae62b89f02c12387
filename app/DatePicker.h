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
    // The date, or a null QVariant when empty.
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

private:
    static QDate emptyMark();
};
