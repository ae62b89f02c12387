// The certificate query window: statements, what they find on both engines, and where results go.
#include "basGlobal.h"
#include "f1ZS.h"
#include "fFindZS.h"
#include "fPView.h"
#include "ListView.h"
#include "Operators.h"
#include "Popups.h"
#include "QueryDriver.h"
#include "ScriptedDialogs.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QStringList kCertificates = {QStringLiteral(
    "INSERT INTO DangAnKu (证号, 姓名, 性别, 出生年月, 文化程度, 证书级别, 证书编号, 发证日期, 备注) VALUES "
    "('A001', '张三', '男', '1980-05-01', '高中', '初级', 'ZS-1', '2005-01-01', NULL),"
    "('A002', '张四', '女', '1975-03-02', '大学本科', '中级', 'ZS-2', '2006-12-31', NULL),"
    "('A003', 'O''Brien', '男', NULL, NULL, NULL, 'ZS-3', '2007-01-01', NULL),"
    "('A004', '李四', '男', NULL, NULL, NULL, NULL, NULL, '100%合格'),"
    "('A005', '王_五', '女', NULL, NULL, NULL, NULL, '2004-12-31', 'a_b'),"
    "('A006', '王X五', '女', NULL, NULL, NULL, NULL, NULL, 'aXb'),"
    "('', '无证号', '男', NULL, NULL, NULL, NULL, '2005-06-01', NULL)")};

const QStringList kAllKeys = {QStringLiteral("A001"), QStringLiteral("A002"), QStringLiteral("A003"),
                              QStringLiteral("A004"), QStringLiteral("A005"), QStringLiteral("A006")};

} // namespace

class CertificateQueryTest : public QObject {
    Q_OBJECT

    TempConfigDir m_config; // the entry form stores its counter when it goes
    std::unique_ptr<TestDatabase> m_db;

    void engines() {
        TestDatabase::addEngineRows("kind");
    }

    // A fresh database of the row's kind holding the sample certificates, open on gConn.
    bool prepare(int kind) {
        gConn.Close();
        m_db = TestDatabase::create(TestDatabase::Kind(kind));
        if (!m_db) return false;
        m_db->execAll(kCertificates);
        gConn.Open(m_db->connectionString());
        LogInAs();
        return true;
    }

#define PREPARE_OR_SKIP(kind)                                                                                \
    if (!prepare(kind)) QSKIP("no test server: ORVANTA_TEST_PG is not set");

    static fFindZS* form() {
        return fFindZS::instance();
    }

    template <class W> static W* control(const QString& name) {
        W* widget = form()->findChild<W*>(name);
        if (!widget) qFatal("no control %s", qPrintable(name));
        return widget;
    }

    static void setText(const QString& name, const QString& text) {
        QueryDriver::setText(form(), name, text);
    }

    static void tickRange(const QString& box, const QString& from, QDate start, const QString& to,
                          QDate end) {
        QueryDriver::tickRange(form(), box, from, start, to, end);
    }

    static QStringList hits() {
        return QueryDriver::hits(form());
    }

    static void find() {
        QueryDriver::find(form());
    }

private slots:
    void cleanup() {
        delete fFindZS::instance();
        fPView::instance()->hide();
        gHideCol.clear();
        gViewTable.clear();
        gConn.Close();
        m_db.reset();
    }

    void noCriterionFindsEveryKeyedRecord_data() {
        engines();
    }
    void noCriterionFindsEveryKeyedRecord() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind);
        ScriptedDialogs dialogs;
        QVERIFY(!control<QPushButton>(QStringLiteral("cmdView"))->isEnabled());
        find();
        QCOMPARE(form()->statementText(),
                 QStringLiteral("SELECT * FROM DangAnKu WHERE (证号 <> '') Order By 证号,发证日期"));
        QCOMPARE(form()->result()->Source(), form()->statementText());
        QCOMPARE(hits(), kAllKeys);
        ListView* list = form()->resultList();
        QCOMPARE(list->columnText(0), QStringLiteral("证号"));
        for (int c = 0; c < list->columnCount(); ++c)
            QVERIFY(list->columnText(c) != QStringLiteral("照片"));
        QCOMPARE(list->tag(), QStringLiteral("证书查查询结果"));
        QCOMPARE(list->currentRow(), 0);
        QVERIFY(control<QPushButton>(QStringLiteral("cmdView"))->isEnabled());
        QCOMPARE(dialogs.msgBoxCount(), 0);
    }

    void nameAndIssueDateRange_data() {
        engines();
    }
    void nameAndIssueDateRange() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind);
        setText(QStringLiteral("txtMingCheng"), QStringLiteral("张"));
        tickRange(QStringLiteral("cekFazheng"), QStringLiteral("dtpFZ1"), QDate(2005, 1, 1),
                  QStringLiteral("dtpFZ2"), QDate(2006, 12, 31));
        find();
        QCOMPARE(form()->statementText(),
                 QStringLiteral(
                     "SELECT * FROM DangAnKu WHERE (证号 <> '') AND (姓名 LIKE '%张%') AND (发证日期 BETWEEN "
                     "# 2005-01-01 # AND # 2006-12-31 #) Order By 证号,发证日期"));
        QCOMPARE(hits(), (QStringList{QStringLiteral("A001"), QStringLiteral("A002")})); // both ends count
    }

    // A surname alone reads its hits, in order, from the index of the names' characters.
    void surnameAloneComesFromTheIndexOfCharacters_data() {
        engines();
    }
    void surnameAloneComesFromTheIndexOfCharacters() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind);
        setText(QStringLiteral("txtMingCheng"), QStringLiteral("四"));
        find();
        QVERIFY2(form()->result()->executedSql().startsWith(QStringLiteral("SELECT 条目 / 256 FROM NameChar_DangAnKu")),
                 qPrintable(form()->result()->executedSql()));
        QCOMPARE(hits(), (QStringList{QStringLiteral("A002"), QStringLiteral("A004")}));
    }

    void textCriteria_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        const QList<std::tuple<const char*, const char*, QString, QStringList>> cases = {
            {"key exact", "txtBanHao", QStringLiteral("A001"), {QStringLiteral("A001")}},
            {"key partial", "txtBanHao", QStringLiteral("A00"), {}},
            {"key with quote", "txtBanHao", QStringLiteral("A001' OR '1'='1"), {}},
            {"name inside",
             "txtMingCheng",
             QStringLiteral("五"),
             {QStringLiteral("A005"), QStringLiteral("A006")}},
            {"name's characters in order", "txtMingCheng", QStringLiteral("张三"), {QStringLiteral("A001")}},
            {"name's characters out of order", "txtMingCheng", QStringLiteral("三张"), {}},
            {"name with quote", "txtMingCheng", QStringLiteral("O'Brien"), {QStringLiteral("A003")}},
            {"name in other case", "txtMingCheng", QStringLiteral("o'brien"), {QStringLiteral("A003")}},
            {"underscore is itself", "txtMingCheng", QStringLiteral("_"), {QStringLiteral("A005")}},
            {"percent is itself", "txtBeiZhu", QStringLiteral("%"), {QStringLiteral("A004")}},
            {"backslash is itself", "txtBeiZhu", QStringLiteral("\\"), {}},
            {"blank is a criterion", "txtBeiZhu", QStringLiteral(" "), {}},
            {"sex exact",
             "cboSex",
             QStringLiteral("女"),
             {QStringLiteral("A002"), QStringLiteral("A005"), QStringLiteral("A006")}},
            {"level partial", "cboJiBue", QStringLiteral("初"), {}},
            {"level exact", "cboJiBue", QStringLiteral("初级"), {QStringLiteral("A001")}},
            {"education inside", "cboWenHua", QStringLiteral("本科"), {QStringLiteral("A002")}},
            {"number inside",
             "txtZSBH",
             QStringLiteral("ZS"),
             {QStringLiteral("A001"), QStringLiteral("A002"), QStringLiteral("A003")}},
        };
        for (const char* engine : {"local", "server"})
            for (const auto& [name, control, text, expected] : cases)
                QTest::addRow("%s: %s", engine, name)
                    << int(qstrcmp(engine, "local") == 0 ? TestDatabase::Kind::Local
                                                         : TestDatabase::Kind::Server)
                    << QString::fromLatin1(control) << text << expected;
    }
    void textCriteria() {
        QFETCH(int, kind);
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        PREPARE_OR_SKIP(kind);
        ScriptedDialogs dialogs;
        find(); // the own list is emptied when nothing is found
        setText(control, text);
        find();
        QCOMPARE(hits(), expected);
        if (expected.isEmpty()) {
            QCOMPARE(dialogs.msgBoxCount(), 1);
            QCOMPARE(dialogs.lastMessage().text, QStringLiteral("没有找到资料!"));
            QCOMPARE(dialogs.lastMessage().icon, vb::Information);
        }
    }

    void quotesAreDoubledInTheStatementText() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        setText(QStringLiteral("txtBanHao"), QStringLiteral("A'1"));
        setText(QStringLiteral("txtMingCheng"), QStringLiteral("O'Brien"));
        setText(QStringLiteral("cboSex"), QStringLiteral("男"));
        ScriptedDialogs dialogs;
        find();
        QCOMPARE(
            form()->statementText(),
            QStringLiteral(
                "SELECT * FROM DangAnKu WHERE (证号 = 'A''1') AND (姓名 LIKE '%O''Brien%') AND (性别 = '男') "
                "Order By 证号,发证日期"));
    }

    void dateRanges_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("expected");
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}}) {
            QTest::addRow("%s: empty dates excluded", engine)
                << int(kind) << QDate(2000, 1, 1) << QDate(2100, 12, 31)
                << QStringList{QStringLiteral("A001"), QStringLiteral("A002"), QStringLiteral("A003"),
                               QStringLiteral("A005")};
            QTest::addRow("%s: one day", engine)
                << int(kind) << QDate(2005, 1, 1) << QDate(2005, 1, 1) << QStringList{QStringLiteral("A001")};
            QTest::addRow("%s: start after end", engine)
                << int(kind) << QDate(2006, 12, 31) << QDate(2005, 1, 1) << QStringList{};
        }
    }
    void dateRanges() {
        QFETCH(int, kind);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, expected);
        PREPARE_OR_SKIP(kind);
        ScriptedDialogs dialogs;
        tickRange(QStringLiteral("cekFazheng"), QStringLiteral("dtpFZ1"), from, QStringLiteral("dtpFZ2"), to);
        find();
        QCOMPARE(hits(), expected);
    }

    void clearBoxAddsNothingWhateverThePickersShow() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        tickRange(QStringLiteral("cekChuSheng"), QStringLiteral("dtp1"), QDate(1975, 3, 2),
                  QStringLiteral("dtp2"), QDate(1980, 5, 1));
        control<QCheckBox>(QStringLiteral("cekChuSheng"))->setChecked(false);
        QVERIFY(!control<QDateEdit>(QStringLiteral("dtp1"))->isEnabled());
        find();
        QCOMPARE(hits(), kAllKeys);
        QVERIFY(!form()->statementText().contains(QStringLiteral("BETWEEN")));
        control<QCheckBox>(QStringLiteral("cekChuSheng"))->setChecked(true);
        QVERIFY(control<QDateEdit>(QStringLiteral("dtp2"))->isEnabled());
        find();
        QCOMPARE(hits(), (QStringList{QStringLiteral("A001"), QStringLiteral("A002")}));
    }

    void ownListUpTo1000ThenTheListWindow_data() {
        engines();
    }
    void ownListUpTo1000ThenTheListWindow() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind);
        QStringList values;
        for (int i = 1; i <= 1001; ++i)
            values << QStringLiteral("('B%1', '批%1', 'LOT%2', %3)")
                          .arg(i, 4, 10, QLatin1Char('0'))
                          .arg(i == 1001 ? QStringLiteral("X") : QString())
                          .arg(i == 1001 ? QStringLiteral("NULL") : QStringLiteral("'批量'"));
        m_db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 证书编号, 证书级别) VALUES ") +
                   values.join(QLatin1Char(',')));
        fPView* view = fPView::instance();
        view->hide();

        setText(QStringLiteral("cboJiBue"), QStringLiteral("批量"));
        find();
        QCOMPARE(hits().size(), 1000);
        QCOMPARE(hits().first(), QStringLiteral("B0001"));
        QVERIFY(!view->isVisible());

        setText(QStringLiteral("cboJiBue"), QString());
        setText(QStringLiteral("txtZSBH"), QStringLiteral("LOT"));
        find();
        QCOMPARE(hits().size(), 1000); // the own list keeps the previous result
        QVERIFY(view->isVisible());
        QCOMPARE(view->rFill, form()->result());
        QCOMPARE(view->LblTitle[0]->text(), QStringLiteral("证书查询结果"));
        QCOMPARE(view->lblNUM[0]->text(), QStringLiteral("证书查询结果  总数: 1001"));
        QCOMPARE(view->Lvw->text(0), QStringLiteral("B0001"));
        QCOMPARE(gViewTable, QStringLiteral("DangAnKu"));
    }

    void largeViewHandsOverEvenAnEmptyResult() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        find();
        QCOMPARE(hits().size(), 6);
        setText(QStringLiteral("txtBanHao"), QStringLiteral("无此号"));
        find();
        QCOMPARE(hits(), QStringList());
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("没有找到资料!"));
        auto* view = control<QPushButton>(QStringLiteral("cmdView"));
        QVERIFY(view->isEnabled());
        view->click();
        QVERIFY(!view->isEnabled());
        fPView* list = fPView::instance();
        QVERIFY(list->isVisible());
        QCOMPARE(list->Lvw->rowCount(), 0);
        QCOMPARE(list->LblTitle[2]->text(), QStringLiteral("查询结果"));

        setText(QStringLiteral("txtBanHao"), QString());
        find();
        QVERIFY(view->isEnabled());
        gHideCol = QVector<bool>(3, true);
        view->click();
        QCOMPARE(list->Lvw->rowCount(), 6);
        QCOMPARE(list->Lvw->columnText(0), QStringLiteral("证号")); // every column shown again
        QCOMPARE(gHideCol.size(), form()->result()->FieldCount() + 2);
    }

    void leftoverHiddenFlagsStillShowTheKey() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        gHideCol = QVector<bool>(30, true);
        find();
        ListView* list = form()->resultList();
        QCOMPARE(list->columnCount(), 1);
        QCOMPARE(list->columnText(0), QStringLiteral("证号"));
        QCOMPARE(hits(), kAllKeys);
    }

    void keyFirstWhateverThePhysicalColumnOrder() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        gConn.Close();
        m_db->execAll(
            {QStringLiteral("ALTER TABLE DangAnKu RENAME TO Old"),
             QStringLiteral(
                 "CREATE TABLE DangAnKu (姓名 TEXT, 照片 BLOB, 性别 TEXT, 出生年月 DATE, 身份证号 TEXT, "
                 "理论成绩 TEXT, 证书编号 TEXT, 文化程度 TEXT, 实操成绩 TEXT, 评定成绩 TEXT, "
                 "发证日期 DATE, 一次复审 DATE, 二次复审 DATE, 换证日期 DATE, 职业工种 TEXT, "
                 "证书级别 TEXT, 备注 TEXT, 证号 TEXT UNIQUE)"),
             QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) SELECT 证号, 姓名 FROM Old")});
        gConn.Open(m_db->connectionString());
        LogInAs();
        find();
        QCOMPARE(form()->resultList()->columnText(0), QStringLiteral("证号"));
        QCOMPARE(form()->resultList()->columnText(1), QStringLiteral("姓名"));
        QCOMPARE(hits(), kAllKeys);
    }

    void enterInKeyOrNameBoxClearsTheOther() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        auto* key = control<QLineEdit>(QStringLiteral("txtBanHao"));
        auto* name = control<QLineEdit>(QStringLiteral("txtMingCheng"));
        key->setText(QStringLiteral("A003"));
        name->setText(QStringLiteral("张"));
        QTest::keyClick(key, Qt::Key_Return);
        QCOMPARE(name->text(), QString());
        QCOMPARE(hits(), QStringList{QStringLiteral("A003")});

        name->setText(QStringLiteral("张"));
        QTest::keyClick(name, Qt::Key_Enter);
        QCOMPARE(key->text(), QString());
        QCOMPARE(hits(), (QStringList{QStringLiteral("A001"), QStringLiteral("A002")}));

        setText(QStringLiteral("cboSex"), QStringLiteral("女")); // other criteria still apply
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(hits(), QStringList{QStringLiteral("A002")});
    }

    void loadFillsOptionsAndTodayThenClearResets() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        m_db->execAll({QStringLiteral("INSERT INTO List (content, leixing) VALUES ('函授', '文化程度')"),
                       QStringLiteral("INSERT INTO List (content, leixing) VALUES ('电工', '作业类别')")});
        const QDate today = QDate::currentDate();
        auto* education = control<QComboBox>(QStringLiteral("cboWenHua"));
        auto* level = control<QComboBox>(QStringLiteral("cboJiBue"));
        auto* sex = control<QComboBox>(QStringLiteral("cboSex"));
        QVERIFY(education->count() > 1);
        QCOMPARE(education->itemText(education->count() - 1), QStringLiteral("函授"));
        QVERIFY(level->count() > 0);
        QCOMPARE(education->findText(QStringLiteral("电工")), -1);
        QCOMPARE(level->findText(QStringLiteral("函授")), -1);
        QCOMPARE(education->currentText(), QString());
        QCOMPARE(level->currentText(), QString());
        QCOMPARE(sex->currentText(), QString());
        QCOMPARE(sex->count(), 2);
        QCOMPARE(control<QDateEdit>(QStringLiteral("dtp2"))->date(), today);
        QCOMPARE(control<QDateEdit>(QStringLiteral("dtpFZ2"))->date(), today);
        QCOMPARE(control<QDateEdit>(QStringLiteral("DTPYS2"))->date(), QDate(2007, 1, 1));
        QCOMPARE(control<QDateEdit>(QStringLiteral("DTPHZ1"))->date(), QDate(2000, 1, 1));
        QCOMPARE(control<QDateEdit>(QStringLiteral("DTPHZ1"))->displayFormat(), QStringLiteral("yyyy-MM-dd"));
        QVERIFY(!control<QDateEdit>(QStringLiteral("DTPHZ1"))->isEnabled());

        find();
        for (const char* box : {"txtBanHao", "txtMingCheng", "txtShenFeiZheng", "txtZSBH", "txtBeiZhu"})
            setText(QString::fromLatin1(box), QStringLiteral("x"));
        setText(QStringLiteral("cboSex"), QStringLiteral("男"));
        setText(QStringLiteral("cboWenHua"), QStringLiteral("高中"));
        setText(QStringLiteral("cboJiBue"), QStringLiteral("初级"));
        tickRange(QStringLiteral("cekChuSheng"), QStringLiteral("dtp1"), QDate(1990, 1, 1),
                  QStringLiteral("dtp2"), QDate(1991, 1, 1));
        tickRange(QStringLiteral("cekFazheng"), QStringLiteral("dtpFZ1"), QDate(1990, 1, 1),
                  QStringLiteral("dtpFZ2"), QDate(1991, 1, 1));
        control<QPushButton>(QStringLiteral("cmdKong"))->click();
        for (const char* box : {"txtBanHao", "txtMingCheng", "txtShenFeiZheng", "txtZSBH", "txtBeiZhu"})
            QCOMPARE(control<QLineEdit>(QString::fromLatin1(box))->text(), QString());
        QCOMPARE(sex->currentText(), QString());
        QCOMPARE(education->currentText(), QString());
        QCOMPARE(level->currentText(), QString());
        QCOMPARE(control<QDateEdit>(QStringLiteral("dtp1"))->date(), QDate(2000, 1, 1));
        QCOMPARE(control<QDateEdit>(QStringLiteral("dtp2"))->date(), today);
        QCOMPARE(control<QDateEdit>(QStringLiteral("dtpFZ2"))->date(), today);
        QCOMPARE(control<QDateEdit>(QStringLiteral("dtpFZ1"))->date(), QDate(1990, 1, 1));
        QVERIFY(control<QCheckBox>(QStringLiteral("cekFazheng"))->isChecked());
        QCOMPARE(form()->resultList()->rowCount(), 0);
    }

    void failureIsShownWithTheCriticalIcon() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        m_db->exec(QStringLiteral("DROP TABLE DangAnKu"));
        find();
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QCOMPARE(dialogs.lastMessage().icon, vb::Critical);
        QVERIFY(!dialogs.lastMessage().text.isEmpty());
        QVERIFY(control<QPushButton>(QStringLiteral("cmdView"))->isEnabled());
    }

    void doubleClickOpensTheHitInTheEntryForm() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        find();
        ListView* list = form()->resultList();
        // A hit deleted since the search is not found: the entry form stays as it is.
        m_db->exec(QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = 'A006'"));
        list->selectRow(5);
        form()->LV_DblClick();
        f1ZS* entry = f1ZS::instance();
        QVERIFY(!entry->isVisible());

        list->selectRow(2);
        form()->LV_DblClick();
        QVERIFY(entry->isVisible());
        QCOMPARE(entry->rMain()->Fields(QStringLiteral("证号")).Value().toString(), QStringLiteral("A003"));
        QCOMPARE(entry->findChild<QLineEdit*>(QStringLiteral("txtMingCheng"))->text(),
                 QStringLiteral("O'Brien"));
        delete entry;
    }

    void listBecomesCurrentOnAnyPress() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        gCurList = nullptr;
        emit form()->resultList()->mousePressed(Qt::LeftButton);
        QCOMPARE(gCurList.data(), form()->resultList());
    }

    void resizeStretchesTheResultList() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        form()->show();
        form()->resize(1000, 800);
        QCOMPARE(form()->resultList()->geometry(), QRect(8, 368, 1000 - 8, 800 - 368 - 3));
    }

    void closingDiscardsTheWindow() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        QPointer<fFindZS> first = form();
        QCOMPARE(first->windowTitle(), QStringLiteral("证书查询"));
        setText(QStringLiteral("txtBanHao"), QStringLiteral("A001"));
        control<QPushButton>(QStringLiteral("cmdClose"))->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QCOMPARE(control<QLineEdit>(QStringLiteral("txtBanHao"))->text(), QString());

        QPointer<fFindZS> second = form(); // Esc presses 关闭窗口
        second->show();
        QVERIFY(QTest::qWaitForWindowActive(second));
        QTest::keyClick(control<QLineEdit>(QStringLiteral("txtBanHao")), Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(second.isNull());
    }

    void escapeClosesAnOpenPopupFirst_data() {
        QTest::addColumn<QString>("owner");
        QTest::newRow("drop-down") << "cboSex";
        QTest::newRow("calendar") << "dtpFZ1";
    }
    void escapeClosesAnOpenPopupFirst() {
        QFETCH(QString, owner);
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        QPointer<fFindZS> window = form();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        setText(QStringLiteral("txtMingCheng"), QStringLiteral("张"));
        tickRange(QStringLiteral("cekFazheng"), QStringLiteral("dtpFZ1"), QDate(2005, 1, 1),
                  QStringLiteral("dtpFZ2"), QDate(2006, 12, 31));
        QWidget* w = window->findChild<QWidget*>(owner);
        w->setFocus();
        openPopup(w);
        QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!QApplication::activePopupWidget());
        QVERIFY(window && window->isVisible());
        QCOMPARE(control<QLineEdit>(QStringLiteral("txtMingCheng"))->text(), QStringLiteral("张"));
        activateAfterPopup(window);
        QTest::keyClick(window->windowHandle(), Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
    }
};

QTEST_MAIN(CertificateQueryTest)
#include "tst_certquery.moc"
