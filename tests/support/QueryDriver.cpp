#include "QueryDriver.h"

#include "ListView.h"
#include "QueryForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>

namespace {

template <class W> W* control(QueryForm* form, const QString& name) {
    W* widget = form->findChild<W*>(name);
    if (!widget) qFatal("no control %s", qPrintable(name));
    return widget;
}

} // namespace

namespace QueryDriver {

void setText(QueryForm* form, const QString& name, const QString& text) {
    if (auto* edit = form->findChild<QLineEdit*>(name)) {
        edit->setText(text);
        return;
    }
    auto* combo = control<QComboBox>(form, name);
    if (combo->isEditable())
        combo->setEditText(text);
    else
        combo->setCurrentIndex(combo->findText(text));
}

void tickRange(QueryForm* form, const QString& box, const QString& from, QDate start, const QString& to,
               QDate end) {
    control<QCheckBox>(form, box)->setChecked(true);
    control<QDateEdit>(form, from)->setDate(start);
    control<QDateEdit>(form, to)->setDate(end);
}

void find(QueryForm* form) {
    control<QPushButton>(form, QStringLiteral("cmdFind"))->click();
}

QStringList hits(const QueryForm* form) {
    const ListView* list = form->resultList();
    QStringList keys;
    for (int row = 0; row < list->rowCount(); ++row)
        keys << list->text(row);
    return keys;
}

} // namespace QueryDriver
