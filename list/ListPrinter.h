#pragma once
// The print component: lays a list out as a paged table (heading, header row on every page, the
// page notes with the date, page numbers), previews it on screen or prints it. Page settings are
// kept per title in the PrintSetup table of print.dat.

#include "adodb.h"

#include <QFont>
#include <QList>
#include <QPageLayout>
#include <QStringList>
#include <QVariantList>

class ListView;
class QPainter;
class QPrinter;

class ListPrinter {
public:
    // Ruled cells; any other mode prints plain columns.
    static constexpr int RuledMode = 1;

    void SetListView(ListView* list) { m_list = list; }
    void SetMode(int mode) { m_mode = mode; }
    void SetPreview(bool preview) { m_preview = preview; }
    void SetTitle(const QString& title) { m_title = title; }
    // A line under the heading; none when empty.
    void SetNote(const QString& note) { m_note = note; }
    // Footer notes (left of the page number) and notes above the table; empty items are skipped.
    void SetPageNotes(const QVariantList& footerNotes, const QVariantList& headNotes);
    // The administrator's page settings are kept for the title; everybody else's only apply once.
    void SetAdminMode(bool on) { m_adminMode = on; }

    // Take the rows from the list set by SetListView; false when there is no list or no column.
    bool LoadList();
    // Rows of headers.size() cells each, taken from `cells` in order; false without headers.
    bool LoadRows(const QStringList& headers, const QStringList& cells);
    // Applies the page settings saved under the title (none with a null `setup`) and, in preview
    // mode, shows the preview. False when nothing is loaded.
    bool Execute(const RecordsetPtr& setup, const QString& title);
    // Asks for the printer, then prints `copies` copies. False when the operator cancelled.
    bool PrintOut(int copies);

    // The pages as they were last laid out; for the preview and for checks.
    struct Page {
        int firstRow = 0;
        int rowCount = 0;
        QString footer;
    };
    QList<Page> layOut(QPrinter& printer) const;
    QStringList headers() const { return m_headers; }
    QList<QStringList> rows() const { return m_rows; }

private:
    void paint(QPrinter* printer) const;
    void paintPage(QPainter& painter, const QRect& area, const Page& page, const QList<int>& widths) const;
    QList<int> columnWidths(const QFontMetrics& metrics, int available) const;
    void preparePrinter(QPrinter& printer) const;
    void keepSettings(const QPrinter& printer);

    ListView* m_list = nullptr;
    int m_mode = RuledMode;
    bool m_preview = false;
    bool m_adminMode = false;
    QString m_title;
    QString m_note;
    QStringList m_footerNotes;
    QStringList m_headNotes;
    QStringList m_headers;
    QList<QStringList> m_rows;
    RecordsetPtr m_setup;
    QPageLayout m_pageLayout;
    QFont m_font;
};
