#pragma once
// The list control of the result list and the query windows: report view with column headers,
// large icons, small icons and list views over one set of rows, grid lines, single or multiple
// selection, the classic text sort and a Tag.
//
// Row indices always follow the displayed order (row 0 is the top row). Sub-item k of a row is
// shown in column k; column 0 shows the row's text.

#include "ListTable.h"

#include <functional>
#include <QList>
#include <QString>
#include <QWidget>

class QAbstractItemView;
class QListView;
class QStackedWidget;
class QTableView;
class ListViewModel;

class ListView : public QWidget {
    Q_OBJECT
public:
    enum ViewStyle { LargeIcons = 0, SmallIcons = 1, List = 2, Report = 3 };
    static constexpr int DefaultColumnWidth = 96; // 1440 twips

    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    // One of ViewStyle; other values are ignored.
    void setView(int style);
    int view() const { return m_view; }

    void clearColumns();
    // Returns the new column's index. A width below 0 means the default width.
    int addColumn(const QString& text, int width = -1);
    int columnCount() const;
    QString columnText(int column) const;
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    // Columns that hold dates (yyyy-MM-dd), so that exports write them as dates.
    void setDateColumn(int column);
    bool isDateColumn(int column) const { return m_dateColumns.contains(column); }
    // Columns of numbers (days, counts, scores), so that exports write their plain numbers as numbers.
    void setNumberColumn(int column);
    bool isNumberColumn(int column) const { return m_numberColumns.contains(column); }

    void clearRows();
    // Returns the index of the new row. With sorting on and a sort key other than column 0 the row
    // waits at the bottom, so that index stays good for filling its sub-items, until the next
    // addRow, endBatch or return to the event loop puts it in its place.
    int addRow(const QString& text);
    // Neither call moves the row, even with sorting on; setSorted(true) sorts again.
    bool setText(int row, const QString& text);
    // subItem from 1 to columnCount() - 1; anything else is refused.
    bool setSubItem(int row, int subItem, const QString& text);
    // Rows the list holds without having them yet: `more` gives the next ones (each its text,
    // then its cells), none at the end. They are fetched as the view scrolls to the end, and all
    // at once by loadAllRows; clearRows drops them.
    void setMoreRows(std::function<QList<QStringList>()> more);
    // Fetches every row still to come, for those that read the whole list (print, export, select all).
    void loadAllRows() const;
    // A list of any length: `count` rows that `read` gives a block at a time as they come into view
    // or are asked for; nothing else is held. Rows cannot be added, changed or sorted by the list
    // then (its owner orders what it reads); clearRows ends it.
    void setVirtualRows(qint64 count, ListRowReader read);
    bool isVirtual() const;
    // The rows fetched so far; all of a virtual list.
    int rowCount() const;
    QString text(int row) const;
    // False for a row of a virtual list that could no longer be read (deleted meanwhile), and for
    // rows beyond the list.
    bool isReadable(int row) const;
    QString subItem(int row, int subItem) const;
    // Highest sub-item index that holds a value slot for the row (0 when none was set).
    int cellCount(int row) const;
    // The record a row stands for, kept with the row wherever sorting moves it; -1 when none.
    void setRowMark(int row, qint64 mark);
    qint64 rowMark(int row) const;

    // Rows added inside a batch reach the views, and the sort, only at the matching endBatch;
    // until then they can be read and filled but not selected. Batches nest.
    void beginBatch();
    void endBatch();

    void setMultiSelect(bool on);
    bool multiSelect() const { return m_multiSelect; }
    QList<int> selectedRows() const; // ascending
    // Makes the row current and selected; with multiple selection the other selected rows stay.
    void selectRow(int row);
    void clearSelection();
    int currentRow() const; // -1 when there is none
    // Makes the row current without selecting it.
    void makeCurrent(int row);
    // The report view's first and last rows in sight; -1 when the list is empty.
    int topRow() const;
    int bottomRow() const;
    // Scrolls the report view so that the row is at the top, or as near as the end allows.
    void scrollToTop(int row);
    void setGridLines(bool on);
    bool gridLines() const;

    // Switching sorting on sorts at once, and rows added later are put in order.
    void setSorted(bool on);
    bool sorted() const;
    void setSortKey(int column);
    int sortKey() const;
    void setSortOrder(Qt::SortOrder order);
    Qt::SortOrder sortOrder() const;

    void setTag(const QString& tag) { m_tag = tag; }
    QString tag() const { return m_tag; }

    // The view now on show, and the two views behind the styles.
    QAbstractItemView* currentView() const;
    QTableView* reportView() const { return m_report; }
    QListView* iconView() const { return m_icons; }

signals:
    // Scrolling or resizing brought other rows into sight.
    void shownRowsChanged();
    // A header click; the list does not sort by itself, the owner decides.
    void columnClicked(int column);
    void rowDoubleClicked(int row);
    // The current row moved, by a click, a key or makeCurrent.
    void currentRowChanged(int row);
    // Presses are reported before the list itself reacts (selection, current row), right button
    // first; a release after the list has dealt with it.
    void rightButtonPressed();
    void mousePressed(Qt::MouseButton button);
    void rightButtonReleased(const QPoint& globalPos);

private:
    void applyViewStyle();

    ListViewModel* m_model;
    QStackedWidget* m_stack;
    QTableView* m_report;
    QListView* m_icons;
    int m_view = Report;
    bool m_multiSelect = false;
    QString m_tag;
    QList<int> m_dateColumns;
    QList<int> m_numberColumns;
};

// What the list shows, as texts; empty without a list.
ListTable TableOfList(const ListView* list);
// The list's headers and column kinds, without its rows.
ListTable ColumnsOfList(const ListView* list);
// Reads the list's rows as they stand, a virtual list's through its blocks: up to `count` rows from
// `first`, each its text and cells (none for a row that could no longer be read). A reader that
// outlives the list reads nothing.
ListRowReader RowReaderOfList(const ListView* list);
// The same for the list's rows `rows`, in that order: row `first` of the reader is rows[first].
ListRowReader RowReaderOfRows(const ListView* list, QList<int> rows);
// Hands each row of the list (its text, then its cells) to `visit` in order, read a chunk at a time
// and keeping none; rows that could no longer be read are passed over.
void ForEachListRow(const ListView* list, const std::function<void(const QStringList&)>& visit);
// The cells of the rows given, in that order.
QList<QStringList> RowsOfList(const ListView* list, const QList<int>& rows);

// Whole-list actions that take long on a long list ask first: printing more than kLongPrintRows
// rows (past a hundred pages, as the list window's former page limit of 5,000 rows gave), selecting
// or exporting more than kLongListRows (from there a file takes many seconds to write, and a
// selection is only chosen to be printed or exported). `action` names it: 全部打印, 全部导出 ….
// True when the list is shorter or the operator answered 是.
inline constexpr qint64 kLongPrintRows = 5000;
inline constexpr qint64 kLongListRows = 50000;
bool ConfirmLongAction(qint64 rows, qint64 limit, const QString& action);
