#pragma once
// Switching the Chinese input method on or off for one control, as a field gains the focus.

class QWidget;

// Lets the input method compose text (Chinese) in the control.
void ImeOn(QWidget* control);
// Keeps the input method out of the control, so keys arrive as plain characters (numbers, keys).
void ImeOff(QWidget* control);
