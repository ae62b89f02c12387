#pragma once
// The print component: lays a list out as a paged table (heading, header row on every page, the
// page notes with the date, page numbers), previews it on screen or prints it. Page settings are
// kept per title in the PrintSetup table of print.dat.
//
// Every cell is printed in full: column widths come from the measured texts, long texts wrap
// inside their cell and the row grows. Without saved settings a table too wide for portrait is
// printed landscape; the font then shrinks down to 7 pt, and columns that still do not fit
// continue on following pages, each repeating the key column.
//
// The rows are never held: they are read from their source a chunk at a time, once to measure
// the columns, once to lay out the pages, and a page's own rows when it is painted.

#include "adodb.h"
#include "ListTable.h"

#include <functional>
#include <memory>
#include <QFont>
#include <QList>
#include <QPageLayout>
#include <QStringList>
#include <QVariantList>

class ListView;
class QFontMetricsF;
class QPaintDevice;
class QPainter;
class QPrinter;

// The printer pages went to, or the file when printing to PDF, as the trail names it.
QString PrintDestination(const QPrinter& printer);

class ListPrinter {
public:
    // Ruled cells; any other mode prints plain columns.
    static constexpr int RuledMode = 1;

    void SetListView(ListView* list) { m_list = list; }
    void SetMode(int mode) { m_mode = mode; }
    void SetPreview(bool preview) { m_preview = preview; }
    void SetTitle(const QString& title) { m_title = title; }
    // A line under the heading (the count line); none when empty.
    void SetNote(const QString& note) { m_note = note; }
    // Footer notes (left of the page number) and notes above the table; empty items are skipped.
    void SetPageNotes(const QVariantList& footerNotes, const QVariantList& headNotes);
    // The administrator's page settings are kept for the title; everybody else's only apply once.
    void SetAdminMode(bool on) { m_adminMode = on; }

    // Prints the rows of the list set by SetListView, read from it as they are laid out and painted;
    // false when there is no list or no column.
    bool LoadList();
    // Rows of headers.size() cells each, taken from `cells` in order; false without headers.
    // Clears the note, which belonged to the rows loaded before.
    bool LoadRows(const QStringList& headers, const QStringList& cells);
    // The same for `rowCount` rows that `read` gives as they are laid out and painted; rows
    // without cells are left out.
    bool LoadRows(const QStringList& headers, int rowCount, ListRowReader read);
    // Applies the page settings saved under the title (none with a null `setup`) and, in preview
    // mode, shows the preview. False when nothing is loaded.
    bool Execute(const RecordsetPtr& setup, const QString& title);
    // Asks for the printer, then prints `copies` copies. False when the operator cancelled.
    bool PrintOut(int copies);
    // Where the last PrintOut went: the printer, or the file when printing to PDF.
    QString printedTo() const { return m_printedTo; }

    // The pages as they were last laid out; for the preview and for checks.
    struct Page {
        int firstRow = 0;
        int rowCount = 0;
        QList<int> columns; // the columns on this page, the key column first
        QString footer;
    };
    QList<Page> layOut(QPrinter& printer) const;
    QStringList headers() const { return m_headers; }
    int rowCount() const { return m_rowCount; }
    // Rows `first` to `first + count - 1` as they print; rows that could no longer be read are left out.
    QList<QStringList> rows(int first, int count) const;
    // The page and font Execute chose for the loaded table.
    QPageLayout pageLayout() const { return m_pageLayout; }
    QFont printFont() const { return m_printFont; }

private:
    struct Measured;
    struct Layout;
    void load(const QStringList& headers, int rowCount, ListRowReader read);
    void forEachRow(int first, int count, const std::function<void(int row, const QStringList& cells)>& visit) const;
    // The column needs in `font` on the printer: those kept when they were measured so, else measured.
    std::shared_ptr<const Measured> measured(const QFont& font, const QPrinter& printer) const;
    Layout layOutTable(QPrinter& printer) const;
    int rowHeight(const Layout& layout, const QFontMetricsF& metrics, QPaintDevice& device,
                  const QStringList& cells) const;
    void fitToPage(bool orientationSaved);
    void paint(QPrinter* printer) const;
    void paintPage(QPainter& painter, const QRect& area, const Layout& layout, const Page& page) const;
    void preparePrinter(QPrinter& printer) const;
    void keepSettings(const QPrinter& printer);

    ListView* m_list = nullptr;
    int m_mode = RuledMode;
    bool m_preview = false;
    bool m_adminMode = false;
    QString m_title;
    QString m_note;
    QString m_printedTo;
    QStringList m_footerNotes;
    QStringList m_headNotes;
    QStringList m_headers;
    int m_rowCount = 0;
    ListRowReader m_read;
    std::shared_ptr<const Measured> m_measured; // in the print font, for the layout
    RecordsetPtr m_setup;
    QPageLayout m_pageLayout;
    QFont m_font;      // as set up for the title
    QFont m_printFont; // m_font, shrunk when the table is too wide for the page
};
