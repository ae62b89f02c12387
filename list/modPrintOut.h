#pragma once
// Printing and export of lists: what the list window and the popup menu hand to the print and
// export components.

#include <memory>
#include <QStringList>
#include <QVariantList>

class ListPrinter;
class ListView;

// The one print component of the run, made on first use.
extern std::unique_ptr<ListPrinter> gPrinter;
// Footer notes (nothing, the date of the run's first print, nothing) and head notes, made once.
extern QVariantList gPageNotesA;
extern QVariantList gPageNotesB;

void InitPrintNotes();
// Preview (bPreview) or print a whole list under `title`. Errors are reported, never thrown.
void PrintList(bool bPreview, ListView* list, const QString& title);
// Same for rows given as header texts and cells row by row; mode 0 is taken as 1.
void PrintRows(bool bPreview, const QStringList& headers, const QStringList& cells, const QString& title, int mode);
// Hands the list to the export component, which asks where and how to write it.
void ExportList(ListView* list, const QString& title);
