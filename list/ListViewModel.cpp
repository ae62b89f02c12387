#include "ListViewModel.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <QTimer>

namespace {

// A screenful and then some: scrolling line by line reads the database once in a while, and a jump
// reads one block.
constexpr int kBlockRows = 256;
constexpr int kKeptBlocks = 8;

} // namespace

ListViewModel::ListViewModel(QObject* parent) : QAbstractTableModel(parent) {}

int ListViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_shownRows;
}

int ListViewModel::columnCount(const QModelIndex& parent) const {
    // Icon and list views show column 0, which must exist even before any header is added.
    return parent.isValid() ? 0 : std::max<int>(1, m_headers.size());
}

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return cell(index.row(), index.column());
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return headerText(section);
}

Qt::ItemFlags ListViewModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void ListViewModel::clearColumns() {
    if (m_headers.isEmpty()) return;
    if (m_headers.size() > 1) {
        beginRemoveColumns({}, 1, int(m_headers.size()) - 1);
        m_headers.clear();
        endRemoveColumns();
    } else {
        m_headers.clear();
    }
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

int ListViewModel::addColumn(const QString& text) {
    const int column = int(m_headers.size());
    if (column == 0) {
        // Column 0 is always present in the model; only its header text appears.
        m_headers.append(text);
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    } else {
        beginInsertColumns({}, column, column);
        m_headers.append(text);
        endInsertColumns();
    }
    return column;
}

bool ListViewModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_more && m_batchDepth == 0 && !isVirtual();
}

void ListViewModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    const QList<QStringList> rows = m_more();
    if (rows.isEmpty()) {
        m_more = nullptr;
        return;
    }
    placePendingRow();
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size()) - 1);
    for (const QStringList& cells : rows)
        m_rows.append(Row{cells});
    m_shownRows = int(m_rows.size());
    endInsertRows();
}

void ListViewModel::setMoreRows(std::function<QList<QStringList>()> more) {
    m_more = std::move(more);
}

void ListViewModel::setVirtualRows(qint64 count, ListRowReader read) {
    beginResetModel();
    m_more = nullptr;
    m_rows.clear();
    m_pendingRow = -1;
    m_blocks.clear();
    m_blockOrder.clear();
    m_read = std::move(read);
    // The views count rows in int; no register comes near that.
    m_shownRows = int(std::clamp<qint64>(count, 0, std::numeric_limits<int>::max()));
    endResetModel();
}

const ListViewModel::Row* ListViewModel::rowAt(int row) const {
    if (row < 0) return nullptr;
    if (!isVirtual()) return row < m_rows.size() ? &m_rows.at(row) : nullptr;
    if (row >= m_shownRows) return nullptr;
    const qint64 block = row / kBlockRows;
    auto found = m_blocks.constFind(block);
    if (found == m_blocks.cend()) {
        const qint64 first = block * kBlockRows;
        const int wanted = int(std::min<qint64>(kBlockRows, m_shownRows - first));
        QVector<Row> rows;
        rows.reserve(wanted);
        for (const ListRow& read : m_read(first, wanted))
            rows.append(Row{read.cells, read.mark});
        // Rows the reader could not give stay empty rather than shift those below them.
        rows.resize(wanted);
        if (m_blockOrder.size() >= kKeptBlocks) m_blocks.remove(m_blockOrder.takeFirst());
        found = m_blocks.insert(block, rows);
        m_blockOrder.append(block);
    }
    return &found->at(row - block * kBlockRows);
}

void ListViewModel::clearRows() {
    m_more = nullptr;
    beginResetModel();
    m_read = nullptr;
    m_blocks.clear();
    m_blockOrder.clear();
    m_rows.clear();
    m_shownRows = 0;
    m_pendingRow = -1;
    endResetModel();
}

int ListViewModel::addRow(const QString& text) {
    if (isVirtual()) return -1;
    placePendingRow();
    const int row = int(m_rows.size());
    if (m_batchDepth > 0) {
        m_rows.append(Row{QStringList{text}});
        return row;
    }
    if (m_sorted && m_sortKey == 0) {
        // The key is known now: insert straight into place.
        const auto position = int(std::upper_bound(m_rows.cbegin(), m_rows.cend(), text,
                                                   [this](const QString& key, const Row& stored) {
                                                       return comesBefore(key, stored.cells.value(0));
                                                   }) -
                                  m_rows.cbegin());
        beginInsertRows({}, position, position);
        m_rows.insert(position, Row{QStringList{text}});
        m_shownRows++;
        endInsertRows();
        return position;
    }
    beginInsertRows({}, row, row);
    m_rows.append(Row{QStringList{text}});
    m_shownRows++;
    endInsertRows();
    if (m_sorted) {
        m_pendingRow = row;
        if (!m_placementQueued) {
            m_placementQueued = true;
            QTimer::singleShot(0, this, [this] {
                m_placementQueued = false;
                placePendingRow();
            });
        }
    }
    return row;
}

bool ListViewModel::setCell(int row, int column, const QString& text) {
    if (isVirtual() || row < 0 || row >= m_rows.size() || column < 0) return false;
    QStringList& cells = m_rows[row].cells;
    while (cells.size() <= column)
        cells.append(QString());
    cells[column] = text;
    if (row < m_shownRows && column < columnCount()) {
        const QModelIndex changed = index(row, column);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    }
    return true;
}

QString ListViewModel::cell(int row, int column) const {
    const Row* found = rowAt(row);
    return found ? found->cells.value(column) : QString();
}

bool ListViewModel::isReadable(int row) const {
    const Row* found = rowAt(row);
    return found && (!isVirtual() || !found->cells.isEmpty());
}

void ListViewModel::setRowMark(int row, qint64 mark) {
    if (!isVirtual() && row >= 0 && row < m_rows.size()) m_rows[row].mark = mark;
}

qint64 ListViewModel::rowMark(int row) const {
    const Row* found = rowAt(row);
    return found ? found->mark : -1;
}

int ListViewModel::subItemCount(int row) const {
    const Row* found = rowAt(row);
    return found ? std::max(0, int(found->cells.size()) - 1) : 0;
}

void ListViewModel::beginBatch() {
    placePendingRow();
    m_batchDepth++;
}

void ListViewModel::endBatch() {
    if (m_batchDepth == 0 || --m_batchDepth > 0) return;
    announceBatchRows();
    if (m_sorted) sortAll();
}

void ListViewModel::setSorted(bool on) {
    m_sorted = on;
    // Switching sorting on again re-sorts: that is how an owner brings edited rows back in order.
    if (on)
        sortAll();
    else
        placePendingRow();
}

void ListViewModel::setSortKey(int column) {
    if (column < 0) return;
    m_sortKey = column;
    if (m_sorted) sortAll();
}

void ListViewModel::setSortOrder(Qt::SortOrder order) {
    m_sortOrder = order;
    if (m_sorted) sortAll();
}

void ListViewModel::placePendingRow() {
    const int row = m_pendingRow;
    m_pendingRow = -1;
    if (row < 0 || row >= m_shownRows || !m_sorted) return;
    const int position = sortedPosition(row);
    if (position == row) return;
    // Destination index counts rows before the move: moving down needs one past the target.
    beginMoveRows({}, row, row, {}, position > row ? position + 1 : position);
    m_rows.move(row, position);
    endMoveRows();
}

bool ListViewModel::comesBefore(const QString& a, const QString& b) const {
    // The classic control's text sort: case-insensitive, numbers and dates compare as text.
    const int order = QString::compare(a, b, Qt::CaseInsensitive);
    return m_sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
}

int ListViewModel::sortedPosition(int row) const {
    // Place after rows with an equal key, as a stable sort of the whole list would.
    const QString key = sortText(row);
    int position = 0;
    int count = m_shownRows - 1;
    while (count > 0) {
        const int half = count / 2;
        int probe = position + half;
        if (probe >= row) probe++; // skip the row being placed
        if (!comesBefore(key, sortText(probe))) {
            position += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return position;
}

void ListViewModel::sortAll() {
    m_pendingRow = -1;
    if (m_batchDepth > 0 || m_shownRows < 2 || isVirtual()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QVector<int> order(m_shownRows);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return comesBefore(sortText(a), sortText(b)); });
    QVector<int> newRowOf(m_shownRows);
    QVector<Row> sortedRows(m_shownRows);
    for (int position = 0; position < m_shownRows; ++position) {
        newRowOf[order[position]] = position;
        sortedRows[position] = std::move(m_rows[order[position]]);
    }
    std::move(sortedRows.begin(), sortedRows.end(), m_rows.begin());

    // Selection and current row follow their rows.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(this->index(newRowOf[index.row()], index.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ListViewModel::announceBatchRows() {
    if (isVirtual()) return;
    const int total = int(m_rows.size());
    if (total == m_shownRows) return;
    beginInsertRows({}, m_shownRows, total - 1);
    m_shownRows = total;
    endInsertRows();
}
