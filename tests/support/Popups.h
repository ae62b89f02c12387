#pragma once
// Opening the popup of a control as the operator does, for tests of the keys that reach it.

class QWidget;

// Opens a combo box's drop-down list, or a date picker's calendar by a click on its arrow.
void openPopup(QWidget* control);
// The offscreen platform activates no window when a popup closes, where a desktop gives the focus
// back to the window behind it; this does what the desktop does.
void activateAfterPopup(QWidget* window);
