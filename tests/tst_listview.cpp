#include "ListView.h"

#include <QHeaderView>
#include <QListView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace {

// Column k of every row, top to bottom; column 0 is the rows' text.
QStringList cells(const ListView& list, int column = 0) {
    QStringList result;
    for (int row = 0; row < list.rowCount(); ++row)
        result << (column == 0 ? list.text(row) : list.subItem(row, column));
    return result;
}

// Columns 序号, 姓名, 日期; each row's text is its number, so a row can be told by it.
void fillPeople(ListView& list) {
    list.addColumn("序号");
    list.addColumn("姓名");
    list.addColumn("日期");
    const QStringList names{"王五", "张三", "李四", "赵六"};
    const QStringList dates{"2007-10-1", "2007-1-5", "1999-12-31", "2007-1-5"};
    for (int i = 0; i < names.size(); ++i) {
        const int row = list.addRow(QString::number(i + 1));
        list.setSubItem(row, 1, names[i]);
        list.setSubItem(row, 2, dates[i]);
    }
}

bool showList(ListView& list) {
    list.resize(400, 200);
    list.show();
    return QTest::qWaitForWindowExposed(&list);
}

QPoint rowCentre(QAbstractItemView* view, int row) {
    return view->visualRect(view->model()->index(row, 0)).center();
}

} // namespace

class TestListView : public QObject {
    Q_OBJECT
private slots:
    void subItemsStayUnderTheirColumns();
    void textSortInsertsLaterRowsInOrder();
    void sortBySubItemPlacesRowsOnceFilled();
    void indicesAndSelectionFollowDisplayedOrder();
    void reportHeaders();
    void multiSelectOnAndOff();
    void mouseSignals();
    void largeFill();
    void virtualListReadsOnlyWhatIsInSight();
};

void TestListView::subItemsStayUnderTheirColumns() {
    ListView list;
    fillPeople(list);
    QCOMPARE(cells(list, 1), QStringList({"王五", "张三", "李四", "赵六"}));
    QCOMPARE(list.reportView()->model()->index(1, 2).data().toString(), QString("2007-1-5"));
    QVERIFY(!list.setSubItem(0, 3, "x")); // no fourth column
    QVERIFY(!list.setSubItem(0, 0, "x"));
    QVERIFY(!list.setSubItem(9, 1, "x"));
    QCOMPARE(list.cellCount(0), 2);
    const int bare = list.addRow("5");
    QCOMPARE(list.cellCount(bare), 0);
    list.setSubItem(bare, 2, "2001-1-1");
    QCOMPARE(list.cellCount(bare), 2);
    QCOMPARE(list.subItem(bare, 1), QString());
}

void TestListView::textSortInsertsLaterRowsInOrder() {
    ListView list;
    list.addColumn("值");
    for (const char* value : {"10", "9", "B", "100"})
        list.addRow(value);
    list.setSorted(true);
    // Numbers compare as text, letters without regard to case.
    QCOMPARE(list.addRow("a"), 3);
    QCOMPARE(list.addRow("2"), 2);
    QCOMPARE(cells(list), QStringList({"10", "100", "2", "9", "a", "B"}));
    list.setSortOrder(Qt::DescendingOrder);
    QCOMPARE(cells(list), QStringList({"B", "a", "9", "2", "100", "10"}));
    QCOMPARE(list.addRow("11"), 4);
    list.setSortOrder(Qt::AscendingOrder);
    QCOMPARE(cells(list), QStringList({"10", "100", "11", "2", "9", "a", "B"}));

    // Equal keys keep the order they were added in, whichever the direction.
    ListView ties;
    ties.addColumn("序号");
    ties.addColumn("组");
    for (int i = 0; i < 6; ++i)
        ties.setSubItem(ties.addRow(QString::number(i)), 1, i % 2 ? "x" : "y");
    ties.setSortKey(1);
    ties.setSorted(true);
    QCOMPARE(cells(ties), QStringList({"1", "3", "5", "0", "2", "4"}));
    ties.setSortOrder(Qt::DescendingOrder);
    QCOMPARE(cells(ties), QStringList({"0", "2", "4", "1", "3", "5"}));
}

void TestListView::sortBySubItemPlacesRowsOnceFilled() {
    ListView list;
    fillPeople(list);
    list.setSortKey(1);
    list.setSorted(true);
    QCOMPARE(cells(list, 1), QStringList({"张三", "李四", "王五", "赵六"}));

    // The index addRow gives must stay good while the row's cells are filled.
    const int row = list.addRow("5");
    list.setSubItem(row, 1, "李");
    list.setSubItem(row, 2, "2001-1-1");
    list.setSubItem(list.addRow("6"), 1, "丁");
    QCOMPARE(list.text(1), QString("5")); // placed when the next row came
    QCoreApplication::processEvents();
    QCOMPARE(cells(list), QStringList({"6", "2", "5", "3", "1", "4"}));
    QCOMPARE(list.subItem(2, 2), QString("2001-1-1"));

    // In a batch the views learn of the rows, and the rows their places, at the end.
    ListView batched;
    batched.setSortKey(2);
    batched.setSorted(true);
    batched.beginBatch();
    fillPeople(batched);
    QCOMPARE(batched.reportView()->model()->rowCount(), 0);
    QCOMPARE(cells(batched), QStringList({"1", "2", "3", "4"}));
    batched.endBatch();
    QCOMPARE(batched.reportView()->model()->rowCount(), 4);
    QCOMPARE(cells(batched), QStringList({"3", "2", "4", "1"})); // dates as text
}

void TestListView::indicesAndSelectionFollowDisplayedOrder() {
    ListView list;
    fillPeople(list);
    list.selectRow(0); // 王五
    list.setSortKey(1);
    list.setSorted(true);
    QCOMPARE(list.selectedRows(), QList<int>({2}));
    QCOMPARE(list.currentRow(), 2);
    QCOMPARE(list.text(2), QString("1"));
    QCOMPARE(list.subItem(2, 2), QString("2007-10-1"));

    // Renumbering column 0 while sorted on it must not move rows under the loop.
    list.setSortKey(0);
    list.setSortOrder(Qt::DescendingOrder);
    const QStringList names = cells(list, 1);
    for (int row = 0; row < list.rowCount(); ++row)
        list.setText(row, QString::number(row + 1));
    QCOMPARE(cells(list), QStringList({"1", "2", "3", "4"}));
    QCOMPARE(cells(list, 1), names);
}

void TestListView::reportHeaders() {
    ListView list;
    fillPeople(list);
    QVERIFY(showList(list));
    list.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    list.setFocus();

    // The owner decides what a header click does; the list itself does not sort.
    QSignalSpy clicked(&list, &ListView::columnClicked);
    QHeaderView* header = list.reportView()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 10, header->height() / 2));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 1);
    QCOMPARE(cells(list), QStringList({"1", "2", "3", "4"}));

    // Icons and list show the rows' text; report brings the headers back. Focus moves along.
    list.setView(ListView::LargeIcons);
    QVERIFY(!list.reportView()->isVisible());
    QVERIFY(list.iconView()->hasFocus());
    QCOMPARE(list.iconView()->viewMode(), QListView::IconMode);
    QCOMPARE(list.iconView()->model()->index(1, list.iconView()->modelColumn()).data().toString(),
             QString("2"));
    list.setView(ListView::List);
    QCOMPARE(list.iconView()->viewMode(), QListView::ListMode);
    QCOMPARE(list.iconView()->flow(), QListView::TopToBottom);
    list.setView(ListView::Report);
    QVERIFY(header->isVisible());
    QVERIFY(list.reportView()->hasFocus());
    QCOMPARE(header->count(), 3);
    QCOMPARE(header->model()->headerData(2, Qt::Horizontal).toString(), QString("日期"));
    QCOMPARE(header->sectionSize(1), ListView::DefaultColumnWidth);
}

void TestListView::multiSelectOnAndOff() {
    ListView list;
    fillPeople(list);
    QVERIFY(showList(list));
    QWidget* viewport = list.reportView()->viewport();
    auto ctrlClick = [&](int row) {
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, rowCentre(list.reportView(), row));
    };

    ctrlClick(0);
    ctrlClick(2);
    QCOMPARE(list.selectedRows(), QList<int>({2}));
    list.setMultiSelect(true);
    ctrlClick(3);
    ctrlClick(0);
    list.selectRow(1);
    QCOMPARE(list.selectedRows(), QList<int>({0, 1, 2, 3}));

    // Back to single selection only the current row stays selected.
    list.setMultiSelect(false);
    QCOMPARE(list.selectedRows(), QList<int>({1}));
    list.selectRow(3);
    QCOMPARE(list.selectedRows(), QList<int>({3}));
}

void TestListView::mouseSignals() {
    ListView list;
    fillPeople(list);
    QVERIFY(showList(list));
    QSignalSpy rightReleased(&list, &ListView::rightButtonReleased);
    QSignalSpy pressed(&list, &ListView::mousePressed);
    QSignalSpy doubleClicked(&list, &ListView::rowDoubleClicked);
    QStringList heard;
    connect(&list, &ListView::rightButtonPressed, &list,
            [&] { heard << QString("right at %1").arg(list.currentRow()); });
    connect(&list, &ListView::mousePressed, &list, [&] { heard << "any"; });

    for (int style : {int(ListView::Report), int(ListView::SmallIcons)}) {
        list.setView(style);
        QAbstractItemView* view = list.currentView();
        view->selectionModel()->clearCurrentIndex();
        heard.clear();
        pressed.clear();
        rightReleased.clear();
        QTRY_VERIFY(view->visualRect(view->model()->index(1, 0)).isValid()); // icon layout is deferred
        const QPoint where = rowCentre(view, 1);

        // The owner hears of the press before the list makes the row current.
        QTest::mousePress(view->viewport(), Qt::RightButton, {}, where);
        QCOMPARE(heard, QStringList({"right at -1", "any"}));
        QCOMPARE(pressed.at(0).at(0).value<Qt::MouseButton>(), Qt::RightButton);
        QCOMPARE(list.currentRow(), 1);
        QVERIFY(rightReleased.isEmpty());
        QTest::mouseRelease(view->viewport(), Qt::RightButton, {}, where);
        QCOMPARE(rightReleased.count(), 1);
        QCOMPARE(rightReleased.at(0).at(0).toPoint(), view->viewport()->mapToGlobal(where));

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, where);
        QCOMPARE(heard, QStringList({"right at -1", "any", "any"}));
        QCOMPARE(pressed.at(1).at(0).value<Qt::MouseButton>(), Qt::LeftButton);
        QCOMPARE(rightReleased.count(), 1);
    }

    list.setView(ListView::Report);
    QWidget* viewport = list.reportView()->viewport();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, rowCentre(list.reportView(), 2));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, QPoint(5, viewport->height() - 5)); // no row
    QCOMPARE(doubleClicked.count(), 1);
    QCOMPARE(doubleClicked.at(0).at(0).toInt(), 2);
}

void TestListView::largeFill() {
    ListView list;
    QVERIFY(showList(list));
    for (int c = 0; c < 20; ++c)
        list.addColumn(QString("列%1").arg(c));
    const int rows = 5000;
    auto fill = [&] {
        list.clearRows();
        for (int r = 0; r < rows; ++r) {
            const int row = list.addRow(QString::number(r + 1));
            for (int k = 1; k < 20; ++k)
                list.setSubItem(row, k, QString("%1-%2").arg((r * 7919) % rows).arg(k));
        }
    };
    fill();
    QCOMPARE(list.reportView()->model()->rowCount(), rows);
    QCOMPARE(list.subItem(rows - 1, 19), QString("%1-19").arg(((rows - 1) * 7919) % rows));

    // Sorted on a sub-item, row by row and in one batch give the same order.
    list.setSortKey(3);
    list.setSorted(true);
    fill();
    QCoreApplication::processEvents();
    const QStringList rowByRow = cells(list, 3);
    QVERIFY(std::is_sorted(rowByRow.begin(), rowByRow.end()));
    list.beginBatch();
    fill();
    list.endBatch();
    QCOMPARE(cells(list, 3), rowByRow);
    QCOMPARE(list.rowCount(), rows);
}

void TestListView::virtualListReadsOnlyWhatIsInSight() {
    ListView list;
    list.addColumn("编号");
    list.addColumn("姓名");
    const int rows = 10'000'000;
    qint64 read = 0;
    list.setVirtualRows(rows, [&](qint64 first, int count) {
        QList<ListRow> block;
        for (qint64 row = first; row < first + count && row < rows; ++row)
            block << ListRow{{QString("R%1").arg(row), QString("名%1").arg(row)}, row * 10};
        read += block.size();
        return block;
    });
    QVERIFY(showList(list));
    QScrollBar* bar = list.reportView()->verticalScrollBar();
    QCOMPARE(bar->maximum() + bar->pageStep(), rows); // the scroll bar spans every row

    for (int top : {0, rows / 2, rows - 1}) {
        list.scrollToTop(top);
        const int shown = list.bottomRow() - list.topRow() + 1;
        QCOMPARE(list.topRow(), std::min(top, rows - shown));
        QCOMPARE(list.text(list.topRow()), QString("R%1").arg(list.topRow()));
        QCOMPARE(list.subItem(list.bottomRow(), 1), QString("名%1").arg(list.bottomRow()));
        QCOMPARE(list.rowMark(list.topRow()), qint64(list.topRow()) * 10);
    }
    QCOMPARE(list.bottomRow(), rows - 1);
    QVERIFY2(read < 5000, qPrintable(QString::number(read)));
    // Nothing can be added to it; clearing ends it.
    QCOMPARE(list.addRow("新"), -1);
    QVERIFY(!list.setSubItem(0, 1, "新"));
    list.clearRows();
    QVERIFY(!list.isVirtual());
    QCOMPARE(list.rowCount(), 0);
}

QTEST_MAIN(TestListView)
#include "tst_listview.moc"
