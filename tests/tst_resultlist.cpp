// The list window, its refresh, and the fill of the query windows' own lists.
#include "basGlobal.h"
#include "FillResultList.h"
#include "fmenu.h"
#include "fPView.h"
#include "ErrorTraps.h"
#include "ListOrder.h"
#include "ListView.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

namespace {

QString key(int i) {
    return QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0'));
}

// Certificates 00001 .. n, named 姓名 + key; every tenth one issued on 2005-01-01.
QStringList certificateInserts(int n) {
    QStringList statements;
    QStringList values;
    for (int i = 1; i <= n; ++i) {
        values << QStringLiteral("('%1', '姓名%1', %2)")
                      .arg(key(i), i % 10 == 0 ? QStringLiteral("'2005-01-01'") : QStringLiteral("NULL"));
        if (values.size() == 500 || i == n) {
            statements << QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 发证日期) VALUES ") +
                              values.join(QLatin1Char(','));
            values.clear();
        }
    }
    return statements;
}

} // namespace

class ResultListTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    fPView* view = nullptr;

    // The first n certificates, in key order.
    RecordsetPtr certificates(int n) {
        auto rs = std::make_shared<Recordset>();
        rs->Open(Statement{QStringLiteral("first certificates"),
                           QStringLiteral("SELECT * FROM DangAnKu WHERE 证号 <= ? ORDER BY 证号"),
                           {key(n)}},
                 gConn);
        return rs;
    }

    RecordsetPtr table(const QString& name) {
        auto rs = std::make_shared<Recordset>();
        rs->Open(name, gConn);
        return rs;
    }

    // The key of a row, read from the 证号 column wherever it stands.
    QString keyAt(int row) {
        return view->bXuHao ? view->Lvw->subItem(row, 1) : view->Lvw->text(row);
    }

    // The key of the current row, and that of the record the shown set stands on: the same, as an
    // entry form on the set follows the list.
    QString currentKey() {
        const QString shown = keyAt(view->Lvw->currentRow());
        QString followed;
        SkipOnError([&] { followed = view->rFill->Fields(QStringLiteral("证号")).Value().toString(); });
        return shown == followed ? shown : shown + QStringLiteral(" but the set is on ") + followed;
    }

    void setPageSize(const QString& size) {
        ScriptedDialogs dialogs;
        dialogs.answerInput(size);
        view->cmdListCount_Click();
    }

private slots:
    void initTestCase() {
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        m_db->execAll(certificateInserts(5001));
        m_db->execAll(
            {QStringLiteral("UPDATE DangAnKu SET 性别 = '男', 照片 = X'FFD8FFE0' WHERE 证号 = '00001'"),
             QStringLiteral(
                 "INSERT INTO Users (编号, 姓名, PWD, 资料录入, 人员查询) VALUES ('2', '李明', '1', 0, 1)")});
        gConn.Open(m_db->connectionString());
        view = fPView::instance();
    }

    void init() {
        view->bXuHao = false;
        view->Lvw->setSorted(false);
        view->Lvw->setSortOrder(Qt::AscendingOrder);
        view->Lvw->setSortKey(0);
        view->hide();
        gHideCol.clear();
        if (view->listNum() != 100) setPageSize(QStringLiteral("100"));
    }

    void pagesForwardAndBack() {
        view->bXuHao = true;
        view->setStitle(QStringLiteral("证书资料"));
        view->doFill(true, certificates(250));
        QVERIFY(view->isVisible());
        QCOMPARE(view->lblNUM[0]->text(), QStringLiteral("证书资料  总数: 250"));
        QCOMPARE(view->lblNUM[1]->text(), view->lblNUM[0]->text());
        QCOMPARE(view->Lvw->tag(), QStringLiteral("证书资料"));
        QCOMPARE(gHideCol.size(), view->rFill->FieldCount() + 2);
        QCOMPARE(view->Lvw->columnText(0), QStringLiteral("序号"));
        QCOMPARE(view->Lvw->columnText(1), QStringLiteral("证号"));

        // Every record is a row of the list; a page moves the current row and the view by 100.
        QCOMPARE(view->Lvw->rowCount(), 250);
        QCOMPARE(currentKey(), key(1));
        QCOMPARE(view->Lvw->text(99), QStringLiteral("100"));
        QCOMPARE(view->Lvw->text(249), QStringLiteral("250"));
        QVERIFY(view->cmdNext->isEnabled());
        QVERIFY(!view->cmdPre->isEnabled());
        QCOMPARE(gStatusPanel.text(), QStringLiteral("就绪"));

        view->cmdNext_Click();
        QCOMPARE(currentKey(), key(101));
        QCOMPARE(view->Lvw->topRow(), 100);
        QVERIFY(view->cmdPre->isEnabled());
        view->cmdNext_Click();
        QCOMPARE(currentKey(), key(201));
        QVERIFY(!view->cmdNext->isEnabled());

        view->cmdPre_Click();
        QCOMPARE(currentKey(), key(101));
        QVERIFY(view->cmdNext->isEnabled());
        view->cmdPre_Click();
        QCOMPARE(currentKey(), key(1));
        view->cmdPre_Click(); // before the first page: only disables itself
        QVERIFY(!view->cmdPre->isEnabled());
        QCOMPARE(currentKey(), key(1));
    }

    void fullLastPageEndsTheList() {
        view->doFill(true, certificates(100));
        QCOMPARE(view->Lvw->rowCount(), 100);
        QVERIFY(!view->cmdNext->isEnabled());
    }

    // The rows come a block at a time from a set of the list's own: scrolling moves nothing, and
    // the shown set follows the current row however far it is.
    void scrollsThroughTheWholeTableFollowedByTheSet() {
        const RecordsetPtr shown = table(QStringLiteral("DangAnKu"));
        view->doFill(true, shown);
        QTableView* report = view->Lvw->reportView();
        QScrollBar* bar = report->verticalScrollBar();
        QCOMPARE(bar->maximum() + bar->pageStep(), 5001);
        for (int row : {0, 2500, 5000}) {
            view->Lvw->scrollToTop(row);
            const int top = view->Lvw->topRow();
            QVERIFY(top <= row && row <= view->Lvw->bottomRow());
            QCOMPARE(keyAt(top), key(top + 1));
            QCOMPARE(keyAt(view->Lvw->bottomRow()), key(view->Lvw->bottomRow() + 1));
            QCOMPARE(shown->AbsolutePosition(), 1);
        }
        QCOMPARE(view->Lvw->bottomRow(), 5000);
        QVERIFY(bar->toolTip().endsWith(QStringLiteral("–5001 条，共 5001 条")));
        const int top = view->Lvw->topRow();
        QTest::mouseClick(report->viewport(), Qt::LeftButton, {},
                          report->visualRect(report->model()->index(top + 2, 0)).center());
        QCOMPARE(currentKey(), key(top + 3));
        QTest::keyClick(report, Qt::Key_Up);
        QCOMPARE(currentKey(), key(top + 2));
        QCOMPARE(shown->AbsolutePosition(), top + 2);
        view->cmdPre_Click();
        QCOMPARE(view->Lvw->currentRow(), top + 1 - 100);
        QCOMPARE(currentKey(), key(top + 2 - 100));
    }

    void emptySetClearsRowsOnly() {
        view->setStitle(QStringLiteral("证书资料"));
        view->doFill(true, certificates(3));
        const int columns = view->Lvw->columnCount();
        view->hide();
        view->setStitle(QStringLiteral("培训资料"));
        view->doFill(true, table(QStringLiteral("PeiXun")));
        QCOMPARE(view->Lvw->rowCount(), 0);
        QCOMPARE(view->Lvw->columnCount(), columns);
        QCOMPARE(view->Lvw->columnText(0), QStringLiteral("证号"));
        QCOMPARE(view->lblNUM[0]->text(), QStringLiteral("培训资料  总数: 0 "));
        QCOMPARE(view->lblNUM[1]->text(), QStringLiteral("培训资料  总数: 0 "));
        QVERIFY(!view->isVisible());
    }

    void titleChangeKeepsCountLine() {
        view->setStitle(QStringLiteral("甲"));
        view->doFill(true, certificates(3));
        view->setStitle(QStringLiteral("乙"));
        for (QLabel* label : view->LblTitle)
            QCOMPARE(label->text(), QStringLiteral("乙"));
        QCOMPARE(view->lblNUM[0]->text(), QStringLiteral("甲  总数: 3"));
    }

    void cellsFollowTheirHeaders() {
        view->doFill(true, certificates(10));
        QStringList headers;
        for (int c = 0; c < view->Lvw->columnCount(); ++c)
            headers << view->Lvw->columnText(c);
        QVERIFY(!headers.contains(QStringLiteral("照片")));
        QCOMPARE(headers.size(), view->rFill->FieldCount() - 1);
        const int sex = headers.indexOf(QStringLiteral("性别"));
        const int issued = headers.indexOf(QStringLiteral("发证日期"));
        QCOMPARE(view->Lvw->subItem(0, sex), QStringLiteral("男"));
        QCOMPARE(view->Lvw->subItem(0, issued), QString()); // Null
        QCOMPARE(view->Lvw->subItem(9, issued), QStringLiteral("2005-01-01"));
    }

    void booleanCells() {
        view->doFill(true, table(QStringLiteral("Users")));
        QCOMPARE(view->Lvw->rowCount(), 2);
        const int entry = 3; // 编号 is the row text, then 姓名, PWD, 资料录入, 人员查询
        QCOMPARE(view->Lvw->columnText(entry), QStringLiteral("资料录入"));
        QCOMPARE(view->Lvw->subItem(0, entry), QStringLiteral("是"));
        QCOMPARE(view->Lvw->subItem(1, entry), QStringLiteral("否"));
        QCOMPARE(view->Lvw->subItem(1, entry + 1), QStringLiteral("是"));
    }

    void hiddenFirstFieldGivesRowTextToTheNext() {
        view->doFill(true, certificates(3));
        gHideCol[0] = true;
        view->doListFill();
        QCOMPARE(view->Lvw->columnText(0), QStringLiteral("姓名"));
        QCOMPARE(view->Lvw->text(0), QStringLiteral("姓名00001"));
        QCOMPARE(view->Lvw->columnText(1), QStringLiteral("性别"));
        QCOMPARE(view->Lvw->subItem(0, 1), QStringLiteral("男"));
        // A fresh doFill shows every column again.
        view->doFill(true, certificates(3));
        QCOMPARE(view->Lvw->columnText(0), QStringLiteral("证号"));
    }

    void allRowsUpToTheLimit() {
        view->doFill(true, certificates(5000));
        {
            ScriptedDialogs dialogs;
            view->cmdNext_Click();
            view->cmdAll_Click();
            QCOMPARE(dialogs.msgBoxCount(), 0);
        }
        QCOMPARE(view->listNum(), 5000.0f);
        QCOMPARE(view->Lvw->currentRow(), 0);
        QVERIFY(!view->cmdNext->isEnabled());

        setPageSize(QStringLiteral("100"));
        view->doFill(true, certificates(5001));
        ScriptedDialogs dialogs;
        view->cmdAll_Click();
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("列表内容太多"));
        QCOMPARE(dialogs.lastMessage().icon, vb::Exclamation);
        QCOMPARE(view->listNum(), 100.0f);
        QVERIFY(view->cmdNext->isEnabled());
    }

    void pageSizeAnswers_data() {
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<float>("pageSize");
        QTest::addColumn<int>("rows"); // on a page: where 下一页 goes
        QTest::addColumn<QString>("message");
        QTest::newRow("5000") << false << "5000" << 5000.0f << 250 << "";
        QTest::newRow("5001") << false << "5001" << 100.0f << 100 << "数值太大";
        QTest::newRow("1") << false << "1" << 100.0f << 100 << "";
        QTest::newRow("0") << false << "0" << 100.0f << 100 << "";
        QTest::newRow("negative") << false << "-20" << 100.0f << 100 << "";
        QTest::newRow("word") << false << "十行" << 100.0f << 100 << "";
        QTest::newRow("empty") << false << "" << 100.0f << 100 << "";
        QTest::newRow("cancel") << true << "" << 100.0f << 100 << "";
        QTest::newRow("leading number") << false << " 30行" << 30.0f << 30 << "";
        QTest::newRow("2.5 rounds to even") << false << "2.5" << 2.5f << 2 << "";
        QTest::newRow("3.5 rounds to even") << false << "3.5" << 3.5f << 4 << "";
    }
    void pageSizeAnswers() {
        QFETCH(bool, cancelled);
        QFETCH(QString, answer);
        QFETCH(float, pageSize);
        QFETCH(int, rows);
        QFETCH(QString, message);
        view->doFill(true, certificates(250));
        ScriptedDialogs dialogs;
        dialogs.answerInput(cancelled ? std::nullopt : std::optional<QString>(answer));
        view->cmdListCount_Click();
        const auto input = dialogs.calls(ScriptedDialogs::Kind::Input);
        QCOMPARE(input.size(), 1);
        QCOMPARE(input[0].text, QStringLiteral("请输入列表数目:"));
        QCOMPARE(input[0].defaultText, QStringLiteral("100"));
        QCOMPARE(view->listNum(), pageSize);
        QCOMPARE(view->cmdNext->isEnabled(), rows < 250);
        view->cmdNext_Click();
        QCOMPARE(view->Lvw->currentRow(), std::min(rows, 249));
        QCOMPARE(dialogs.lastMessage().text, message);
        if (!message.isEmpty()) QCOMPARE(dialogs.lastMessage().icon, vb::Exclamation);
    }

    void fractionalPageSizePagesByWholeRows() {
        view->doFill(true, certificates(5));
        setPageSize(QStringLiteral("2.5"));
        QCOMPARE(currentKey(), key(1));
        view->cmdNext_Click();
        QCOMPARE(currentKey(), key(3));
        view->cmdPre_Click();
        QCOMPARE(currentKey(), key(1));
        view->cmdNext_Click();
        view->cmdNext_Click();
        QCOMPARE(currentKey(), key(5));
        QVERIFY(!view->cmdNext->isEnabled());
        view->cmdPre_Click();
        QCOMPARE(currentKey(), key(3));
        ScriptedDialogs dialogs; // and the box offers the size with its fraction
        dialogs.answerInput(QStringLiteral("100"));
        view->cmdListCount_Click();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Input).value(0).defaultText, QStringLiteral("2.5"));
    }

    // The database orders the whole list; the set still follows the current row.
    void everyHeaderClickFlipsTheOneOrder() {
        view->bXuHao = true;
        view->doFill(true, certificates(250));
        view->Lvw_ColumnClick(1); // 证号
        QCOMPARE(currentKey(), key(250));
        QCOMPARE(keyAt(249), key(1));
        QCOMPARE(view->Lvw->text(0), QStringLiteral("1")); // numbered from the top
        view->Lvw_ColumnClick(2); // 姓名: another column, yet the order flips back
        QCOMPARE(currentKey(), key(1));
        QCOMPARE(view->Lvw->subItem(0, 2), QStringLiteral("姓名00001"));
        view->Lvw_ColumnClick(2);
        QCOMPARE(currentKey(), key(250));
        view->cmdNext_Click();
        QCOMPARE(currentKey(), key(150));
        QCOMPARE(view->Lvw->text(100), QStringLiteral("101"));

        // Dates order as dates, empty ones first; 序号 brings back the set's own order.
        int issued = 0;
        while (issued < view->Lvw->columnCount() && view->Lvw->columnText(issued) != QStringLiteral("发证日期"))
            ++issued;
        view->Lvw_ColumnClick(issued);
        QCOMPARE(view->Lvw->subItem(0, issued), QString());
        QCOMPARE(view->Lvw->subItem(249, issued), QStringLiteral("2005-01-01"));
        QCOMPARE(keyAt(249), key(250));
        view->Lvw_ColumnClick(0);
        QCOMPARE(currentKey(), key(1));
        QCOMPARE(gStatusPanel.text(), QStringLiteral("就绪"));
    }

    void orderedStatements_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("ordered");
        QTest::addColumn<bool>("sameBookmarks");
        QTest::newRow("table") << "SELECT * FROM DangAnKu"
                               << "SELECT * FROM DangAnKu ORDER BY \"姓名\" DESC, rowid DESC" << true;
        QTest::newRow("own order replaced")
            << "SELECT 证号, 姓名 FROM DangAnKu WHERE 姓名 LIKE ? ORDER BY 证号"
            << "SELECT 证号, 姓名 FROM DangAnKu WHERE 姓名 LIKE ? ORDER BY \"姓名\" DESC, rowid DESC" << true;
        QTest::newRow("union wrapped")
            << "SELECT 姓名 FROM DangAnKu UNION ALL SELECT 姓名 FROM PeiXun ORDER BY 1"
            << "SELECT * FROM (SELECT 姓名 FROM DangAnKu UNION ALL SELECT 姓名 FROM PeiXun ORDER BY 1) AS listed "
               "ORDER BY \"姓名\" DESC"
            << false;
    }
    void orderedStatements() {
        QFETCH(QString, sql);
        QFETCH(QString, ordered);
        QFETCH(bool, sameBookmarks);
        // The identities in the old order no longer serve the new one.
        const OrderedStatement result =
            orderedBy(Statement{sql, sql, {QStringLiteral("%张%")}, QStringLiteral("SELECT rowid FROM DangAnKu")},
                      QStringLiteral("姓名"), true);
        QCOMPARE(result.statement.sql, ordered);
        QVERIFY(result.statement.identitySql.isEmpty());
        QCOMPARE(result.statement.binds.size(), 1);
        QCOMPARE(result.sameBookmarks, sameBookmarks);
        // 姓名 leads an index, 备注 none.
        QVERIFY(hasLeadingIndex(gConn, QStringLiteral("DangAnKu"), QStringLiteral("姓名")));
        QVERIFY(!hasLeadingIndex(gConn, QStringLiteral("DangAnKu"), QStringLiteral("备注")));
    }

    void detailsBoxListsTheOtherCells() {
        view->doFill(true, [&] {
            auto rs = std::make_shared<Recordset>();
            rs->Open(QStringLiteral("SELECT 证号, 姓名, 性别 FROM DangAnKu WHERE 证号 = '00001'"), gConn);
            return rs;
        }());
        ScriptedDialogs dialogs;
        view->Lvw_DblClick(0);
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("\n姓名 :  姓名00001\n性别 :  男"));
        QCOMPARE(dialogs.lastMessage().title, QStringLiteral("00001"));
        QCOMPARE(dialogs.lastMessage().icon, vb::Information);
        view->Lvw_DblClick(-1);
        QCOMPARE(dialogs.msgBoxCount(), 1);
    }

    void closeBoxOnlyHides() {
        view->setStitle(QStringLiteral("证书资料"));
        const RecordsetPtr rs = certificates(3);
        view->doFill(true, rs);
        QVERIFY(view->isVisible());
        QVERIFY(!view->close());
        QVERIFY(!view->isVisible());
        QCOMPARE(fPView::instance(), view);
        QCOMPARE(view->rFill, rs);
        QCOMPARE(view->Lvw->rowCount(), 3);
    }

    void resizeStretchesListAndMovesButtons() {
        view->doFill(true, certificates(3));
        view->resize(900, 700);
        const QRect list = view->Lvw->geometry();
        QCOMPARE(list, QRect(0, 25, 900, 700 - 25 - view->cmdPrint->height() - 13));
        for (QPushButton* button : {view->cmdPrV, view->cmdNext, view->cmdListCol})
            QCOMPARE(button->y(), list.bottom() + 1 + 7);
        QCOMPARE(view->LblBackColor->geometry(), QRect(0, 0, 900, 700));
        view->resize(800, 560);
    }

    void fillFromTheRecordSourceName() {
        view->rName = QStringLiteral("Users");
        view->doFill(false);
        QCOMPARE(view->rFill->Source(), QStringLiteral("Users"));
        QCOMPARE(view->Lvw->rowCount(), 2);
        view->rName.clear();
    }

    void rightButtonMakesTheListCurrent() {
        view->setStitle(QStringLiteral("证书资料"));
        view->doFill(true, certificates(3));
        view->Lvw->setTag(QString());
        gCurList = nullptr;
        emit view->Lvw->rightButtonPressed();
        QCOMPARE(gCurList.data(), view->Lvw);
        QCOMPARE(view->Lvw->tag(), QStringLiteral("证书资料"));
    }

    void refreshReopensTheViewTable() {
        view->setStitle(QStringLiteral("证书查询结果"));
        view->doFill(true, certificates(3));
        gViewTable = QStringLiteral("DangAnKu");
        fmenu::instance()->mnuRerush_Click();
        QCOMPARE(view->rName, QStringLiteral("DangAnKu"));
        QCOMPARE(view->rFill->Source(), QStringLiteral("DangAnKu"));
        QCOMPARE(view->lblNUM[0]->text(), QStringLiteral("证书查询结果  总数: 5001"));
        QCOMPARE(view->LblTitle[1]->text(), QStringLiteral("证书查询结果"));
        QCOMPARE(view->Lvw->rowCount(), 5001);
    }

    void refreshFailureIsReportedAndChangesNothing() {
        const RecordsetPtr shown = certificates(3);
        view->doFill(true, shown);
        ScriptedDialogs dialogs;
        gViewTable = QStringLiteral("NoSuchTable");
        fmenu::instance()->mnuRerush_Click();
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QCOMPARE(dialogs.lastMessage().icon, vb::Exclamation);
        QVERIFY(dialogs.lastMessage().text.endsWith(QStringLiteral("如有问题，请与程序开发商联系!")));
        QCOMPARE(view->rFill, shown);
        QCOMPARE(view->Lvw->rowCount(), 3);
        gViewTable.clear();
        fmenu::instance()->mnuRerush_Click();
        QCOMPARE(dialogs.msgBoxCount(), 2);
        QCOMPARE(view->rFill, shown);
    }

    // FillResultList, the query windows' own fill.

    void resultFillOfAnEmptySet() {
        ListView list;
        list.addColumn(QStringLiteral("旧"));
        list.addRow(QStringLiteral("旧行"));
        gStatusPanel.setText(QStringLiteral("别的"));
        Prb()->setValue(123);
        Recordset empty;
        empty.Open(QStringLiteral("PeiXun"), gConn);
        QVERIFY(!FillResultList(empty, &list));
        QCOMPARE(list.columnCount(), 0);
        QCOMPARE(list.rowCount(), 0);
        QCOMPARE(gStatusPanel.text(), QStringLiteral("别的"));
        QCOMPARE(Prb()->value(), 123);
    }

    void resultFillSkipsPhotoAndHiddenFieldsButNeverTheKey() {
        ListView list;
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM DangAnKu WHERE 证号 <= '00010' ORDER BY 证号"), gConn);
        resetHiddenColumns(3); // shorter than the field count: the rest count as shown
        gHideCol[0] = true;
        gHideCol[2] = true; // 性别
        Prb()->show();
        QVERIFY(FillResultList(rs, &list));
        QCOMPARE(list.rowCount(), 10);
        QCOMPARE(list.columnText(0), QStringLiteral("证号"));
        QCOMPARE(list.text(0), QStringLiteral("00001"));
        QStringList headers;
        for (int c = 0; c < list.columnCount(); ++c)
            headers << list.columnText(c);
        QVERIFY(!headers.contains(QStringLiteral("照片")));
        QVERIFY(!headers.contains(QStringLiteral("性别")));
        QCOMPARE(headers.size(), rs.FieldCount() - 2);
        QCOMPARE(list.subItem(9, headers.indexOf(QStringLiteral("发证日期"))), QStringLiteral("2005-01-01"));
        QCOMPARE(list.subItem(0, headers.indexOf(QStringLiteral("姓名"))), QStringLiteral("姓名00001"));
        QVERIFY(Prb()->isHidden());
        QCOMPARE(gStatusPanel.text(), QStringLiteral("就绪"));
    }

    void resultFillShowsBooleansAsWords() {
        ListView list;
        Recordset users;
        users.Open(QStringLiteral("Users"), gConn);
        users.MoveLast(); // the fill starts from the first record wherever the cursor stands
        QVERIFY(FillResultList(users, &list));
        QCOMPARE(list.columnText(3), QStringLiteral("资料录入"));
        QCOMPARE(list.subItem(0, 3), QStringLiteral("是"));
        QCOMPARE(list.subItem(1, 3), QStringLiteral("否"));
        QCOMPARE(CellText(QVariant(), ado::adBoolean), QString());
    }
};

QTEST_MAIN(ResultListTest)
#include "tst_resultlist.moc"
