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
    // The rows fetched so far.
    int rowCount() const;
    QString text(int row) const;
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
    // Which rows of how many the list holds, printed under the heading; empty when not known.
    void setCountNote(const QString& note) { m_countNote = note; }
    QString countNote() const { return m_countNote; }

    // The view now on show, and the two views behind the styles.
    QAbstractItemView* currentView() const;
    QTableView* reportView() const { return m_report; }
    QListView* iconView() const { return m_icons; }

signals:
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
    QString m_countNote;
    QList<int> m_dateColumns;
    QList<int> m_numberColumns;
};

// What the list shows, as texts; empty without a list.
ListTable TableOfList(const ListView* list);
