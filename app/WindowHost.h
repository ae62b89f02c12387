#pragma once
// Where modeless windows live: MDI children of the main window once it exists, top-level before.

#include <QList>
#include <QPoint>
#include <QSize>

class QMdiArea;
class QWidget;

// Where a window opening in an area goes: on the first free step of a cascade from the top-left
// corner (`taken` holds the corners of the windows already there), never past the right or bottom
// edge; a window larger than the area starts at its top-left corner.
QPoint CascadePosition(QSize area, QSize window, const QList<QPoint>& taken, int step);

void setMdiArea(QMdiArea* area);
QWidget* mainWindow();
// Shows the form modeless (creating its MDI frame on first use), brings it forward, gives it focus.
// A window that opens is placed wholly in view.
void ShowForm(QWidget* form);
// Hides the form's MDI frame (or the form itself) without destroying it.
void HideForm(QWidget* form);
