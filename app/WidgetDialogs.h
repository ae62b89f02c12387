#pragma once
// The dialog seam shown with Qt's widgets, and the print dialog and preview, which fill a printer.

#include <functional>

class QPrinter;
class QWidget;

// Makes Qt's own dialogs what the dialog seam shows by default; the windows' start-up calls it.
void installWidgetDialogs();

// True when the operator chose to print; the printer then carries the choice.
bool ShowPrinter(QPrinter& printer, QWidget* parent = nullptr);
// Shows the pages `paint` draws until the operator closes the preview.
void ShowPrintPreview(QPrinter& printer, const std::function<void(QPrinter*)>& paint,
                      QWidget* parent = nullptr);
