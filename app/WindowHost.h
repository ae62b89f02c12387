#pragma once
// Where modeless windows live: MDI children of the main window once it exists, top-level before.

class QMdiArea;
class QWidget;

void setMdiArea(QMdiArea* area);
QWidget* mainWindow();
// Shows the form modeless (creating its MDI frame on first use), brings it forward, gives it focus.
void ShowForm(QWidget* form);
// Hides the form's MDI frame (or the form itself) without destroying it.
void HideForm(QWidget* form);
