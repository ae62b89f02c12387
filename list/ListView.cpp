#include "ListView.h"

#include "ListViewModel.h"

#include "dialogs.h"

#include <algorithm>
#include <QHeaderView>
#include <QListView>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Reports the mouse to the owning list before the view reacts to a press (the owner's handlers
// run first, as with the classic control) and after it has dealt with a release.
template <class View> class MouseReportingView : public View {
public:
    explicit MouseReportingView(ListView* owner) : View(owner), m_owner(owner) {}

    // Selecting all means every row of the list, also those not fetched yet.
    void selectAll() override {
        if (!ConfirmLongAction(m_owner->rowCount(), kLongListRows, QStringLiteral("全部选中"))) return;
        m_owner->loadAllRows();
        View::selectAll();
    }

protected:
    bool viewportEvent(QEvent* event) override {
        const auto type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
            type != QEvent::MouseButtonRelease)
            return View::viewportEvent(event);

        const auto* mouse = static_cast<QMouseEvent*>(event);
        const Qt::MouseButton button = mouse->button();
        const QPoint globalPos = mouse->globalPosition().toPoint();
        const int row = this->indexAt(mouse->position().toPoint()).row();
        if (type != QEvent::MouseButtonRelease) {
            if (button == Qt::RightButton) emit m_owner->rightButtonPressed();
            emit m_owner->mousePressed(button);
        }
        const bool handled = View::viewportEvent(event);
        if (type == QEvent::MouseButtonRelease && button == Qt::RightButton)
            emit m_owner->rightButtonReleased(globalPos);
        if (type == QEvent::MouseButtonDblClick && button == Qt::LeftButton && row >= 0)
            emit m_owner->rowDoubleClicked(row);
        return handled;
    }

private:
    ListView* m_owner;
};

// The icon styles draw the same document icon for every row.
class RowIconDelegate : public QStyledItemDelegate {
public:
    explicit RowIconDelegate(QObject* parent, const QIcon& icon)
        : QStyledItemDelegate(parent), m_icon(icon) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->icon = m_icon;
    }

private:
    QIcon m_icon;
};

} // namespace

ListView::ListView(QWidget* parent)
    : QWidget(parent), m_model(new ListViewModel(this)), m_stack(new QStackedWidget(this)),
      m_report(new MouseReportingView<QTableView>(this)), m_icons(new MouseReportingView<QListView>(this)) {
    m_report->setModel(m_model);
    m_report->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_report->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_report->setSelectionMode(QAbstractItemView::SingleSelection);
    m_report->setShowGrid(false);
    m_report->setWordWrap(false);
    m_report->setTabKeyNavigation(false);
    m_report->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    QHeaderView* rows = m_report->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* headers = m_report->horizontalHeader();
    headers->setDefaultSectionSize(DefaultColumnWidth);
    headers->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    headers->setHighlightSections(false);
    headers->setSectionsClickable(true);
    headers->setStretchLastSection(false);
    connect(headers, &QHeaderView::sectionClicked, this, &ListView::columnClicked);
    connect(m_report->verticalScrollBar(), &QScrollBar::valueChanged, this, &ListView::shownRowsChanged);
    connect(m_report->verticalScrollBar(), &QScrollBar::rangeChanged, this, &ListView::shownRowsChanged);

    m_icons->setModel(m_model);
    m_icons->setSelectionModel(m_report->selectionModel());
    connect(m_report->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid()) emit currentRowChanged(current.row());
            });
    m_icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_icons->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_icons->setSelectionMode(QAbstractItemView::SingleSelection);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setLayoutMode(QListView::Batched);
    m_icons->setItemDelegate(new RowIconDelegate(m_icons, style()->standardIcon(QStyle::SP_FileIcon)));

    m_stack->addWidget(m_report);
    m_stack->addWidget(m_icons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    setFocusPolicy(Qt::StrongFocus);
    applyViewStyle();
}

ListView::~ListView() = default;

void ListView::setView(int style) {
    if (style < LargeIcons || style > Report || style == m_view) return;
    m_view = style;
    applyViewStyle();
}

void ListView::applyViewStyle() {
    QWidget* previous = m_stack->currentWidget();
    const bool hadFocus = previous->hasFocus();
    if (m_view != Report) {
        // setViewMode resets flow, wrapping and movement, so they are set after it.
        m_icons->setViewMode(m_view == LargeIcons ? QListView::IconMode : QListView::ListMode);
        m_icons->setFlow(m_view == List ? QListView::TopToBottom : QListView::LeftToRight);
        m_icons->setWrapping(true);
        m_icons->setMovement(QListView::Static);
        m_icons->setWordWrap(m_view == LargeIcons);
        m_icons->setIconSize(m_view == LargeIcons ? QSize(32, 32) : QSize(16, 16));
        m_icons->setGridSize(m_view == LargeIcons ? QSize(DefaultColumnWidth, 72) : QSize());
        m_icons->setSpacing(m_view == LargeIcons ? 0 : 2);
        m_stack->setCurrentWidget(m_icons);
    } else {
        m_stack->setCurrentWidget(m_report);
    }
    QAbstractItemView* shown = currentView();
    setFocusProxy(shown);
    if (hadFocus && shown != previous) shown->setFocus();
    const QModelIndex current = shown->selectionModel()->currentIndex();
    if (current.isValid()) shown->scrollTo(current);
}

QAbstractItemView* ListView::currentView() const {
    return m_view == Report ? static_cast<QAbstractItemView*>(m_report) : m_icons;
}

void ListView::clearColumns() {
    m_model->clearColumns();
    m_dateColumns.clear();
    m_numberColumns.clear();
}

void ListView::setDateColumn(int column) {
    if (!m_dateColumns.contains(column)) m_dateColumns << column;
}

void ListView::setNumberColumn(int column) {
    if (!m_numberColumns.contains(column)) m_numberColumns << column;
}

int ListView::addColumn(const QString& text, int width) {
    const int column = m_model->addColumn(text);
    m_report->setColumnWidth(column, width < 0 ? DefaultColumnWidth : width);
    return column;
}

int ListView::columnCount() const {
    return m_model->headerCount();
}

QString ListView::columnText(int column) const {
    return m_model->headerText(column);
}

int ListView::columnWidth(int column) const {
    return column >= 0 && column < columnCount() ? m_report->columnWidth(column) : 0;
}

void ListView::setColumnWidth(int column, int width) {
    if (column >= 0 && column < columnCount() && width >= 0) m_report->setColumnWidth(column, width);
}

void ListView::clearRows() {
    m_model->clearRows();
}

int ListView::addRow(const QString& text) {
    return m_model->addRow(text);
}

bool ListView::setText(int row, const QString& text) {
    return m_model->setCell(row, 0, text);
}

bool ListView::setSubItem(int row, int subItem, const QString& text) {
    if (subItem < 1 || subItem >= columnCount()) return false;
    return m_model->setCell(row, subItem, text);
}

void ListView::setMoreRows(std::function<QList<QStringList>()> more) {
    m_model->setMoreRows(std::move(more));
}

void ListView::setVirtualRows(qint64 count, ListRowReader read) {
    m_model->setVirtualRows(count, std::move(read));
}

bool ListView::isVirtual() const {
    return m_model->isVirtual();
}

void ListView::loadAllRows() const {
    while (m_model->canFetchMore({}))
        m_model->fetchMore({});
}

int ListView::rowCount() const {
    return m_model->storedRowCount();
}

bool ListView::isReadable(int row) const {
    return m_model->isReadable(row);
}

QString ListView::text(int row) const {
    return m_model->cell(row, 0);
}

QString ListView::subItem(int row, int subItem) const {
    return subItem >= 1 ? m_model->cell(row, subItem) : QString();
}

int ListView::cellCount(int row) const {
    return m_model->subItemCount(row);
}

void ListView::setRowMark(int row, qint64 mark) {
    m_model->setRowMark(row, mark);
}

qint64 ListView::rowMark(int row) const {
    return m_model->rowMark(row);
}

void ListView::beginBatch() {
    m_model->beginBatch();
}

void ListView::endBatch() {
    m_model->endBatch();
}

void ListView::setMultiSelect(bool on) {
    if (on == m_multiSelect) return;
    m_multiSelect = on;
    const auto mode = on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    m_report->setSelectionMode(mode);
    m_icons->setSelectionMode(mode);
    if (on) return;
    // Back to single selection: keep one row, the current one if it is among the selected.
    const QList<int> rows = selectedRows();
    if (rows.size() > 1) {
        const int keep = rows.contains(currentRow()) ? currentRow() : rows.first();
        m_report->selectionModel()->select(m_model->index(keep, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

QList<int> ListView::selectedRows() const {
    QList<int> rows;
    for (const QItemSelectionRange& range : m_report->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void ListView::selectRow(int row) {
    if (row < 0 || row >= m_model->rowCount()) return;
    const QModelIndex index = m_model->index(row, 0);
    const auto command = (m_multiSelect ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect) |
                         QItemSelectionModel::Rows;
    m_report->selectionModel()->setCurrentIndex(index, command);
    currentView()->scrollTo(index);
}

void ListView::clearSelection() {
    m_report->selectionModel()->clearSelection();
}

void ListView::makeCurrent(int row) {
    if (row < 0 || row >= m_model->rowCount()) return;
    m_report->selectionModel()->setCurrentIndex(m_model->index(row, 0), QItemSelectionModel::NoUpdate);
}

int ListView::topRow() const {
    if (m_model->rowCount() == 0) return -1;
    return std::max(0, m_report->rowAt(0));
}

int ListView::bottomRow() const {
    const int rows = m_model->rowCount();
    if (rows == 0) return -1;
    const int bottom = m_report->rowAt(m_report->viewport()->height() - 1);
    return bottom < 0 ? rows - 1 : bottom;
}

void ListView::scrollToTop(int row) {
    if (row < 0 || row >= m_model->rowCount()) return;
    m_report->scrollTo(m_model->index(row, 0), QAbstractItemView::PositionAtTop);
}

int ListView::currentRow() const {
    const QModelIndex current = m_report->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ListView::setGridLines(bool on) {
    m_report->setShowGrid(on);
}

bool ListView::gridLines() const {
    return m_report->showGrid();
}

void ListView::setSorted(bool on) {
    m_model->setSorted(on);
}

bool ListView::sorted() const {
    return m_model->sorted();
}

void ListView::setSortKey(int column) {
    m_model->setSortKey(column);
}

int ListView::sortKey() const {
    return m_model->sortKey();
}

void ListView::setSortOrder(Qt::SortOrder order) {
    m_model->setSortOrder(order);
}

Qt::SortOrder ListView::sortOrder() const {
    return m_model->sortOrder();
}

ListTable ColumnsOfList(const ListView* list) {
    ListTable table;
    if (!list) return table;
    for (int column = 0; column < list->columnCount(); ++column) {
        table.headers << list->columnText(column);
        if (list->isDateColumn(column)) table.dateColumns << column;
        if (list->isNumberColumn(column)) table.numberColumns << column;
    }
    return table;
}

namespace {

// The row's text and cells; empty for a virtual row that could no longer be read.
QStringList cellsOf(const ListView* list, int row) {
    if (!list->isReadable(row)) return {};
    QStringList cells{list->text(row)};
    for (int column = 1; column < list->columnCount(); ++column)
        cells << list->subItem(row, column);
    return cells;
}

} // namespace

ListRowReader RowReaderOfList(const ListView* list) {
    return [list = QPointer<const ListView>(list)](qint64 first, int count) {
        QList<ListRow> rows;
        if (!list) return rows;
        const qint64 end = std::min<qint64>(first + count, list->rowCount());
        for (qint64 row = first; row < end; ++row)
            rows << ListRow{cellsOf(list, int(row)), list->rowMark(int(row))};
        return rows;
    };
}

ListRowReader RowReaderOfRows(const ListView* list, QList<int> rows) {
    return [list = QPointer<const ListView>(list), rows = std::move(rows)](qint64 first, int count) {
        QList<ListRow> read;
        if (!list) return read;
        const qint64 end = std::min<qint64>(first + count, rows.size());
        for (qint64 i = first; i < end; ++i)
            read << ListRow{cellsOf(list, rows[i]), list->rowMark(rows[i])};
        return read;
    };
}

void ForEachListRow(const ListView* list, const std::function<void(const QStringList&)>& visit) {
    if (!list) return;
    list->loadAllRows();
    ForEachReadRow(list->rowCount(), RowReaderOfList(list), visit);
}

QList<QStringList> RowsOfList(const ListView* list, const QList<int>& rows) {
    QList<QStringList> cells;
    if (!list) return cells;
    for (int row : rows)
        if (QStringList read = cellsOf(list, row); !read.isEmpty()) cells << std::move(read);
    return cells;
}

ListTable TableOfList(const ListView* list) {
    ListTable table = ColumnsOfList(list);
    ForEachListRow(list, [&](const QStringList& cells) { table.rows << cells; });
    return table;
}

bool ConfirmLongAction(qint64 rows, qint64 limit, const QString& action) {
    if (rows <= limit) return true;
    return MsgBox(QStringLiteral("共有 %1 条记录，%2可能需要较长时间，是否继续？").arg(rows).arg(action),
                  vb::YesNo | vb::Question) == vb::Yes;
}
