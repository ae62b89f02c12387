#pragma once
// Printing and export of lists: what the list window and the popup menu hand to the print and
// export components. Every print, preview and export needs the print right as stored at that
// moment, and goes into the trail: what, how many rows, and to which printer or file.

#include "ListTable.h"

#include <functional>
#include <memory>
#include <QStringList>
#include <QVariantList>

class ListPrinter;
class ListView;
class QPrinter;
class QWidget;

// The one print component of the run, made on first use.
extern std::unique_ptr<ListPrinter> gPrinter;
// Footer notes (nothing, the date of the run's first print, nothing) and head notes, made once.
extern QVariantList gPageNotesA;
extern QVariantList gPageNotesB;

void InitPrintNotes();
// Preview (bPreview) or print a whole list under `title`. Errors are reported, never thrown.
void PrintList(bool bPreview, ListView* list, const QString& title);
// Same for `rowCount` rows under `headers` that `read` gives; mode 0 is taken as 1.
void PrintRows(bool bPreview, const QStringList& headers, int rowCount, const ListRowReader& read,
               const QString& title, int mode);
// Hands the list to the export component, which asks where and how to write it.
void ExportList(ListView* list, const QString& title);

// Pages the caller paints (a statistics table, notices, a record card), previewed or printed behind
// the same right and trail as the lists. `rows` counts what the pages show.
void PreviewPages(QPrinter& printer, const std::function<void(QPrinter*)>& paint, const QString& title, int rows,
                  QWidget* parent);
void PrintPages(QPrinter& printer, const std::function<void(QPrinter*)>& paint, const QString& title, int rows,
                QWidget* parent);
