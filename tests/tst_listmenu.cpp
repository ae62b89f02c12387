// The lists' popup menu: what its items do to the current list, and who pops it up.
#include "basGlobal.h"
#include "fFindZS.h"
#include "fmenu.h"
#include "fPView.h"
#include "ListView.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QTableView>
#include <QTest>

class ListMenuTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    fPView* view = nullptr;
    fmenu* menu = nullptr;

    RecordsetPtr open(const QString& source) {
        auto rs = std::make_shared<Recordset>();
        rs->Open(source, gConn);
        return rs;
    }

    void closeMenu() {
        menu->MnuPopMenu->hide();
        QTRY_VERIFY(!menu->MnuPopMenu->isVisible());
    }

private slots:
    void initTestCase() {
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        m_db->execAll({QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('A1', '张三'), ('A2', '李四'), "
                                      "('A3', '王五'), ('B1', '赵六')")});
        gConn.Open(m_db->connectionString());
        view = fPView::instance();
        menu = fmenu::instance();
        view->setStitle(QStringLiteral("证书资料"));
        view->doFill(true, open(QStringLiteral("DangAnKu")));
        gCurList = view->Lvw;
    }

    void itemsInOrder() {
        QStringList captions;
        for (QAction* action : menu->MnuPopMenu->actions())
            captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(captions, (QStringList{"大图标 &G", "小图标 &S", "列表 &L", "表格 &R", "-", "多行选择 &M", "网格行 &E",
                                        "-", "预览 &V", "打印 &P", "输出 &O", "刷新 &R"}));
        QCOMPARE(menu->MnuPopMenu->title(), QStringLiteral("查看"));
        QVERIFY(!menu->isVisible());
    }

    void viewStylesAndReportBringsHeadersBack() {
        ListView* list = view->Lvw;
        menu->mnuLargeView->trigger();
        QCOMPARE(list->view(), int(ListView::LargeIcons));
        QCOMPARE(list->currentView(), static_cast<QAbstractItemView*>(list->iconView()));
        QCOMPARE(list->iconView()->viewMode(), QListView::IconMode);
        menu->mnuSmallView->trigger();
        QCOMPARE(list->view(), int(ListView::SmallIcons));
        menu->mnuList->trigger();
        QCOMPARE(list->view(), int(ListView::List));

        menu->mnuReport->trigger();
        QCOMPARE(list->view(), int(ListView::Report));
        QCOMPARE(list->currentView(), static_cast<QAbstractItemView*>(list->reportView()));
        QVERIFY(!list->reportView()->horizontalHeader()->isHidden());
        QCOMPARE(list->columnText(0), QStringLiteral("证号"));
        QCOMPARE(list->rowCount(), 4);
    }

    void checkMarksToggleTheListTwice() {
        ListView* list = view->Lvw;
        QVERIFY(!menu->mnuMuliSel->isChecked());
        menu->mnuMuliSel->trigger();
        QVERIFY(menu->mnuMuliSel->isChecked());
        QVERIFY(list->multiSelect());
        list->selectRow(0);
        list->selectRow(2);
        QCOMPARE(list->selectedRows(), (QList<int>{0, 2}));
        menu->mnuMuliSel->trigger();
        QVERIFY(!menu->mnuMuliSel->isChecked());
        QVERIFY(!list->multiSelect());
        QCOMPARE(list->selectedRows().size(), 1);

        QVERIFY(!menu->mnuGridLines->isChecked());
        menu->mnuGridLines->trigger();
        QVERIFY(list->gridLines());
        menu->mnuGridLines->trigger();
        QVERIFY(!list->gridLines());
    }

    void itemsActOnTheCurrentListOnly() {
        ListView other;
        gCurList = &other;
        menu->mnuLargeView->trigger();
        QCOMPARE(other.view(), int(ListView::LargeIcons));
        QCOMPARE(view->Lvw->view(), int(ListView::Report));
        gCurList = nullptr;
        menu->mnuSmallView->trigger(); // nothing to act on, nothing happens
        gCurList = view->Lvw;
    }

    void refreshShowsTheWholeTableUnderTheQueryTitle() {
        view->setStitle(QStringLiteral("证书查询结果"));
        auto result = std::make_shared<Recordset>();
        result->Open(Statement{QStringLiteral("query"), QStringLiteral("SELECT * FROM DangAnKu WHERE 证号 LIKE 'A%'"), {}},
                     gConn);
        view->doFill(true, result);
        QCOMPARE(view->Lvw->rowCount(), 3);
        gViewTable = QStringLiteral("DangAnKu");
        menu->mnuRerush->trigger();
        QCOMPARE(view->Lvw->rowCount(), 4);
        QCOMPARE(view->lblNUM[0]->text(), QStringLiteral("证书查询结果  总数: 4"));
        QCOMPARE(view->LblTitle[0]->text(), QStringLiteral("证书查询结果"));
    }

    void rightButtonOverTheListWindowPopsTheMenu() {
        view->show();
        gCurList = nullptr;
        QWidget* viewport = view->Lvw->reportView()->viewport();
        QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(gCurList.data(), view->Lvw);
        QCOMPARE(view->Lvw->tag(), view->title());
        QTRY_VERIFY(menu->MnuPopMenu->isVisible());
        closeMenu();
    }

    void rightButtonOverAQueryListPopsTheMenu() {
        fFindZS* form = fFindZS::instance();
        form->show();
        ListView* list = form->resultList();
        gCurList = nullptr;
        QTest::mouseClick(list->reportView()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(gCurList.data(), list);
        QTRY_VERIFY(menu->MnuPopMenu->isVisible());
        closeMenu();
        // A left press makes the list current too, but shows no menu.
        gCurList = nullptr;
        QTest::mouseClick(list->reportView()->viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(gCurList.data(), list);
        QVERIFY(!menu->MnuPopMenu->isVisible());
        form->close();
    }
};

QTEST_MAIN(ListMenuTest)
#include "tst_listmenu.moc"
