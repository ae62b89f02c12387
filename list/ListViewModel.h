#pragma once
// Rows and columns behind ListView. Rows are stored in displayed order, so a row index is the
// same for the owner, the model and the views. A virtual list stores none: it knows how many
// there are and reads those the views ask for, a block at a time, keeping a few blocks.

#include "ListTable.h"

#include <functional>
#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <QVector>

class ListViewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ListViewModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void clearColumns();
    int addColumn(const QString& text);
    int headerCount() const { return int(m_headers.size()); }
    QString headerText(int column) const { return m_headers.value(column); }

    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // Rows beyond those added, fetched when a view scrolls to the end: `more` gives the next
    // rows (each its text, then its cells), none once there are no more. Cleared with the rows.
    void setMoreRows(std::function<QList<QStringList>()> more);

    // Makes the list virtual: `count` rows, read through `read` as they are asked for. Rows cannot
    // be added or changed then, and the model does not sort them; clearRows ends it.
    void setVirtualRows(qint64 count, ListRowReader read);
    bool isVirtual() const { return bool(m_read); }

    void clearRows();
    int addRow(const QString& text);
    bool setCell(int row, int column, const QString& text);
    int storedRowCount() const { return isVirtual() ? m_shownRows : int(m_rows.size()); }
    QString cell(int row, int column) const;
    bool isReadable(int row) const;
    int subItemCount(int row) const;
    // A number the owner keeps with the row wherever sorting moves it; -1 when none was set.
    void setRowMark(int row, qint64 mark);
    qint64 rowMark(int row) const;

    // While a batch is open, added rows are kept back from the views and announced in one go at
    // the end, then sorted once if sorting is on.
    void beginBatch();
    void endBatch();

    void setSorted(bool on);
    bool sorted() const { return m_sorted; }
    void setSortKey(int column);
    int sortKey() const { return m_sortKey; }
    void setSortOrder(Qt::SortOrder order);
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Moves a row added under a sort key other than column 0 into its place; until then it waits
    // at the bottom so that its sub-items can be filled through the index addRow returned.
    void placePendingRow();

private:
    struct Row {
        QStringList cells; // [0] the row's text, [k] sub-item k
        qint64 mark = -1;
    };
    const Row* rowAt(int row) const;
    bool comesBefore(const QString& a, const QString& b) const;
    QString sortText(int row) const { return cell(row, m_sortKey); }
    int sortedPosition(int row) const;
    void sortAll();
    void announceBatchRows();

    std::function<QList<QStringList>()> m_more;
    QStringList m_headers;
    QVector<Row> m_rows;
    ListRowReader m_read;
    mutable QHash<qint64, QVector<Row>> m_blocks; // of a virtual list, by block number
    mutable QList<qint64> m_blockOrder;           // oldest first
    int m_shownRows = 0;                          // rows the views know about; the rest wait for endBatch
    int m_batchDepth = 0;
    int m_pendingRow = -1;
    bool m_placementQueued = false;
    bool m_sorted = false;
    int m_sortKey = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
