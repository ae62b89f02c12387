#include "basime.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QWidget>

namespace {

constexpr Qt::InputMethodHints kLatinHints = Qt::ImhPreferLatin | Qt::ImhNoPredictiveText;

// An input method already attached to the focused control only re-reads its state when told.
void tellInputMethod(QWidget* control) {
    if (control->hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImEnabled | Qt::ImHints);
}

} // namespace

void ImeOn(QWidget* control) {
    if (!control) return;
    control->setInputMethodHints(control->inputMethodHints() & ~kLatinHints);
    control->setAttribute(Qt::WA_InputMethodEnabled, true);
    tellInputMethod(control);
}

void ImeOff(QWidget* control) {
    if (!control) return;
    control->setInputMethodHints(control->inputMethodHints() | kLatinHints);
    control->setAttribute(Qt::WA_InputMethodEnabled, false);
    tellInputMethod(control);
}
