// The operation-certificate register: its entry form driven from the keyboard, and its query
// window's statements and what they find on both engines.
#include "basGlobal.h"
#include "DatePicker.h"
#include "f1CZZ.h"
#include "fFindCZZ.h"
#include "fmenu.h"
#include "fPView.h"
#include "ListView.h"
#include "Operators.h"
#include "QueryDriver.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <array>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString kFields = QStringLiteral(
    "证号,姓名,性别,身份证号,住址,联系电话,作业类别,操作项目,初次领证,一次复审,二次复审,受理日期,其它,备注");

const QStringList kCertificates = {QStringLiteral(
    "INSERT INTO CaoZuoZheng (证号, 姓名, 性别, 住址, 作业类别, 其它, 受理日期, 换证日期) VALUES "
    "('C01', '张三', '男', '东街1号', '低压电工作业', '夜班', '2009-05-01', '2010-03-15'),"
    "('C02', '李四', '女', '西街2号', '高压电工作业', NULL, '2008-01-01', '2011-01-01'),"
    "('C03', '王五', '男', NULL, '高处作业', '电工证待换', '2009-05-01', '2010-12-31'),"
    "('', '无证号', '男', NULL, '电工作业', NULL, NULL, '2010-06-01')")};

// The five date ranges: check box, start picker, end picker.
constexpr std::array<std::array<const char*, 3>, 5> kRanges = {{{"cekShouLi", "dtp1", "dtp2"},
                                                                {"cekChuCi", "dtpChuCi1", "dtpChuCi2"},
                                                                {"cekYiShen", "dtpYiShen1", "dtpYiShen2"},
                                                                {"cekershen", "DTPES1", "DTPES2"},
                                                                {"cekhz", "DTPHZ1", "DTPHZ2"}}};

} // namespace

class OperationCertificateTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;

    // A fresh database of the kind holding the rows, open on gConn; false without a test server.
    bool prepare(TestDatabase::Kind kind, const QStringList& rows) {
        m_db = TestDatabase::create(kind);
        if (!m_db) return false;
        if (!rows.isEmpty()) m_db->execAll(rows);
        gConn.Open(m_db->connectionString());
        LogInAs();
        return true;
    }

    void engines() {
        TestDatabase::addEngineRows("kind");
    }

#define PREPARE_OR_SKIP(kind, rows)                                                                          \
    if (!prepare(TestDatabase::Kind(kind), rows)) QSKIP("no test server: ORVANTA_TEST_PG is not set");

    // --- entry form

    f1CZZ* openEntry(const QStringList& rows = {}) {
        prepare(TestDatabase::Kind::Local, rows);
        f1CZZ* form = f1CZZ::instance();
        form->show();
        QApplication::setActiveWindow(form);
        if (!QTest::qWaitForWindowActive(form)) qFatal("the entry form did not become active");
        return form;
    }

    template <class T = QWidget> static T* entryControl(const char* name) {
        T* w = f1CZZ::instance()->findChild<T*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    static QPushButton* button(const char* name) {
        return entryControl<QPushButton>(name);
    }
    static QString memoText() {
        return entryControl<QPlainTextEdit>("txtQiTa")->toPlainText();
    }
    static QString focusName() {
        return QApplication::focusWidget()->objectName();
    }
    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    }
    static void type(const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
    }

    QVariant stored(const QString& key, const QString& column) {
        Recordset rs;
        rs.Open(Statement{QStringLiteral("check"),
                          QStringLiteral("SELECT * FROM CaoZuoZheng WHERE 证号 = ?"),
                          {key}},
                gConn);
        if (rs.IsEOF()) return QStringLiteral("<missing>");
        return rs.Fields(column).Value();
    }

    // --- query window

    static fFindCZZ* query() {
        return fFindCZZ::instance();
    }

    template <class W> static W* queryControl(const QString& name) {
        W* widget = query()->findChild<W*>(name);
        if (!widget) qFatal("no control %s", qPrintable(name));
        return widget;
    }

    static void setText(const QString& name, const QString& text) {
        QueryDriver::setText(query(), name, text);
    }

    static void tickRange(const QString& box, const QString& from, QDate start, const QString& to,
                          QDate end) {
        QueryDriver::tickRange(query(), box, from, start, to, end);
    }

    static QStringList hits() {
        return QueryDriver::hits(query());
    }

    static void find() {
        QueryDriver::find(query());
    }

private slots:
    void init() {
        m_config = std::make_unique<TempConfigDir>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }

    void cleanup() {
        delete f1CZZ::instance();
        delete fFindCZZ::instance();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        fPView::instance()->hide();
        gHideCol.clear();
        gViewTable.clear();
        gConn.Close();
        m_dialogs.reset();
        m_db.reset();
        m_config.reset();
    }

    void newRecordIsWalkedFromTheKeyAndTakesTheNameAsMemo() {
        f1CZZ* form = openEntry({QStringLiteral(
            "INSERT INTO CaoZuoZheng (证号, 姓名, 出生年月, 初次领证, 受理日期, 作业类别) VALUES "
            "('7', '甲', '1970-02-03', '1999-09-09', '2001-01-01', '高处作业')")});
        button("cmdNew")->click();
        // The number is proposed without a mark and the focus stays on the add button.
        QCOMPARE(entryControl<QLineEdit>("txtBanHao")->text(), QStringLiteral("8"));
        QCOMPARE(focusName(), QStringLiteral("cmdNew"));
        QCOMPARE(entryControl<DatePicker>("dtpChuSheng")->value().toDate(), QDate(1980, 1, 1));
        QCOMPARE(entryControl<DatePicker>("dtpChuCi")->value().toDate(), QDate(2000, 1, 1));
        QCOMPARE(entryControl<DatePicker>("dtpShouLi")->value().toDate(), QDate::currentDate());
        for (const char* picker : {"dtpYiShen", "dtpErShen", "DTPHZ"})
            QVERIFY(entryControl<DatePicker>(picker)->isNull());
        QCOMPARE(entryControl<QComboBox>("cboLeiBue")->currentText(), QString());
        QCOMPARE(memoText(), QString());

        // The key is visited once, then again whenever it is empty.
        press(Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("txtBanHao"));
        entryControl<QLineEdit>("txtBanHao")->clear();
        press(Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("txtBanHao"));
        QCOMPARE(entryControl<QLineEdit>("txtBanHao")->text(), QStringLiteral("8"));
        press(Qt::Key_Return);
        QCOMPARE(focusName(), QStringLiteral("txtMingCheng"));
        type(QStringLiteral("张三"));
        const QStringList walk = {"cboSex",    "dtpChuSheng", "txtSfz",  "txtDiZhi", "txtDianHua",
                                  "cboLeiBue", "txtXiangMu",  "txtQiTa", "dtpChuCi", "dtpYiShen",
                                  "dtpErShen", "dtpShouLi",   "DTPHZ",   "txtBeiZhu"};
        for (const QString& name : walk) {
            press(Qt::Key_Return);
            QCOMPARE(focusName(), name);
        }
        press(Qt::Key_Return); // the walk is complete: the record is saved
        QCOMPARE(button("cmdNew")->text(), QStringLiteral("新增 &A"));
        QCOMPARE(stored("8", "其它").toString(), QStringLiteral("张三"));
        QCOMPARE(memoText(), QStringLiteral("张三"));
        QCOMPARE(stored("8", "性别").toString(), QStringLiteral("男"));
        QCOMPARE(stored("8", "出生年月").toDate(), QDate(1980, 1, 1));
        QCOMPARE(stored("8", "受理日期").toDate(), QDate::currentDate());
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证号")),
                 QStringLiteral("9"));
        QCOMPARE(m_dialogs->msgBoxCount(), 0);

        // A memo typed over several lines is kept as typed.
        button("cmdNew")->click();
        entryControl<QLineEdit>("txtMingCheng")->setText(QStringLiteral("李四"));
        entryControl<QPlainTextEdit>("txtQiTa")->setFocus();
        type(QStringLiteral("电工"));
        press(Qt::Key_Return, Qt::ControlModifier);
        type(QStringLiteral("夜班"));
        QCOMPARE(button("cmdNew")->text(), QStringLiteral("确定 &O")); // still adding
        button("cmdSave")->click();
        QCOMPARE(stored("9", "其它").toString(), QStringLiteral("电工\n夜班"));
        QCOMPARE(form->nMaxNum(), 10.0);
    }

    void oldRecordWithoutMemoShowsTheNameUntilStored() {
        openEntry({QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名) VALUES ('1', '甲'), ('2', '乙')")});
        QCOMPARE(memoText(), QStringLiteral("甲"));
        QVERIFY(stored("1", "其它").isNull()); // shown, not yet stored

        button("cmdNew")->click();
        button("cmdCancel")->click();
        QCOMPARE(memoText(), QStringLiteral("甲"));
        QVERIFY(stored("1", "其它").isNull()); // cancelling dropped the pending change

        // Moving on to another record stores it.
        QVERIFY(f1CZZ::instance()->bFind(QStringLiteral("2")));
        QCOMPARE(stored("1", "其它").toString(), QStringLiteral("甲"));
    }

    void editingAShownMemoStoresTheNameOnce() {
        openEntry({QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名) VALUES ('1', '甲')")});
        button("cmdEdit")->click();
        button("cmdEdit")->click();
        QCOMPARE(stored("1", "其它").toString(), QStringLiteral("甲"));

        button("cmdEdit")->click();
        entryControl<QPlainTextEdit>("txtQiTa")->setPlainText(QStringLiteral("改过"));
        button("cmdEdit")->click();
        QCOMPARE(stored("1", "其它").toString(), QStringLiteral("改过"));
        QCOMPARE(memoText(), QStringLiteral("改过"));
    }

    void locatesByKeyFirstThenByExactName() {
        f1CZZ* form =
            openEntry({QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名) VALUES "
                                      "('10', '11'), ('11', '张三丰'), ('12', '张三'), ('13', '王''五')")});
        m_dialogs->answerInput(QStringLiteral("张三"));
        button("cmdFind")->click();
        QCOMPARE(m_dialogs->calls(ScriptedDialogs::Kind::Input).last().text,
                 QStringLiteral("输入要查找的证号或名称:"));
        QCOMPARE(entryControl<QLineEdit>("txtBanHao")->text(), QStringLiteral("12"));

        QVERIFY(form->bFind(QStringLiteral("11"))); // a key wins over an earlier name
        QCOMPARE(form->rMain()->Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("张三丰"));
        QVERIFY(form->bFind(QStringLiteral("王'五")));
        QCOMPARE(form->rMain()->Fields(QStringLiteral("证号")).Value().toString(), QStringLiteral("13"));
        QVERIFY(!form->bFind(QStringLiteral("张"))); // a part of a name is not a match
    }

    void optionsListAndQueryButtons() {
        openEntry({QStringLiteral("INSERT INTO List (content, leixing) VALUES ('叉车司机', '职业工种')"),
                   QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名) VALUES ('1', '甲')")});
        auto* category = entryControl<QComboBox>("cboLeiBue");
        QVERIFY(category->findText(QStringLiteral("高处作业")) >= 0);
        QCOMPARE(category->findText(QStringLiteral("叉车司机")), -1);
        QCOMPARE(f1CZZ::instance()->windowTitle(), QStringLiteral("作业证/操作证资料录入"));

        button("cmdList")->click();
        fPView* list = fPView::instance();
        QCOMPARE(list->rFill, f1CZZ::instance()->rMain());
        QCOMPARE(list->title(), QStringLiteral("操作证信息列表"));
        QCOMPARE(gViewTable, QStringLiteral("CaoZuoZheng"));

        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        button("cmdQuery")->click();
        QVERIFY(fFindCZZ::instance()->isVisible());
        gUsersRs.reset();
    }

    void noCriterionSelectsTheFourteenFields_data() {
        engines();
    }
    void noCriterionSelectsTheFourteenFields() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind, kCertificates);
        find();
        QCOMPARE(query()->statementText(), QStringLiteral("SELECT ") + kFields +
                                               QStringLiteral(" FROM CaoZuoZheng WHERE (证号 <> '') Order By "
                                                              "证号,受理日期"));
        QCOMPARE(hits(), (QStringList{QStringLiteral("C01"), QStringLiteral("C02"), QStringLiteral("C03")}));
        QStringList names;
        for (int i = 0; i < query()->result()->FieldCount(); ++i)
            names << query()->result()->Fields(i).Name();
        QCOMPARE(names.join(QLatin1Char(',')), kFields);
        ListView* list = query()->resultList();
        QCOMPARE(list->columnCount(), 14);
        QCOMPARE(list->columnText(12), QStringLiteral("其它"));
        QCOMPARE(list->tag(), QStringLiteral("CaoZuoZheng查询结果"));
    }

    void categoryMatchesInsideAndRenewalRangeFiltersAnUnshownField_data() {
        engines();
    }
    void categoryMatchesInsideAndRenewalRangeFiltersAnUnshownField() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind, kCertificates);
        setText(QStringLiteral("cboLeiBue"), QStringLiteral("电工"));
        find();
        QCOMPARE(hits(), (QStringList{QStringLiteral("C01"), QStringLiteral("C02")}));

        tickRange(QStringLiteral("cekhz"), QStringLiteral("DTPHZ1"), QDate(2010, 1, 1),
                  QStringLiteral("DTPHZ2"), QDate(2010, 12, 31));
        setText(QStringLiteral("cboLeiBue"), QString());
        find();
        QCOMPARE(hits(), (QStringList{QStringLiteral("C01"), QStringLiteral("C03")})); // both ends count
        QVERIFY(query()->statementText().contains(
            QStringLiteral(" AND (换证日期 BETWEEN # 2010-01-01 # AND # 2010-12-31 #) Order By")));
        for (int c = 0; c < query()->resultList()->columnCount(); ++c)
            QVERIFY(query()->resultList()->columnText(c) != QStringLiteral("换证日期"));
    }

    void everyCriterionInItsPlace() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local), kCertificates);
        const QList<std::pair<const char*, QString>> texts = {
            {"txtBanHao", QStringLiteral("C'1")},   {"txtMingCheng", QStringLiteral("张")},
            {"cboSex", QStringLiteral("男")},       {"txtDianHua", QStringLiteral("138")},
            {"txtDiZhi", QStringLiteral("东街")},   {"cboLeiBue", QStringLiteral("电工")},
            {"txtXiangMu", QStringLiteral("低压")}, {"txtQiTa", QStringLiteral("夜班")}};
        for (const auto& [box, text] : texts)
            setText(QString::fromLatin1(box), text);
        const QDate from(2001, 2, 3), to(2004, 5, 6);
        for (const auto& [box, start, end] : kRanges)
            tickRange(QString::fromLatin1(box), QString::fromLatin1(start), from, QString::fromLatin1(end),
                      to);
        find();
        const QString range = QStringLiteral(" BETWEEN # 2001-02-03 # AND # 2004-05-06 #)");
        QCOMPARE(query()->statementText(),
                 QStringLiteral("SELECT ") + kFields +
                     QStringLiteral(
                         " FROM CaoZuoZheng WHERE (证号 = 'C''1') AND (姓名 LIKE '%张%') AND (性别 = '男') "
                         "AND (联系电话 LIKE '%138%') AND (住址 LIKE '%东街%') AND (作业类别 LIKE '%电工%') "
                         "AND (操作项目 LIKE '%低压%') AND (其它 LIKE '%夜班%') AND (受理日期") +
                     range + QStringLiteral(" AND (初次领证") + range + QStringLiteral(" AND (一次复审") +
                     range + QStringLiteral(" AND (二次复审") + range + QStringLiteral(" AND (换证日期") +
                     range + QStringLiteral(" Order By 证号,受理日期"));
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("没有找到资料!"));
    }

    void loadAndClear() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local), kCertificates);
        const QDate today = QDate::currentDate();
        QCOMPARE(query()->windowTitle(), QStringLiteral("操作证查询"));
        auto* category = queryControl<QComboBox>(QStringLiteral("cboLeiBue"));
        QCOMPARE(category->count(), 10);
        QCOMPARE(category->itemText(0), QStringLiteral("电工作业"));
        QCOMPARE(category->currentText(), QString());
        for (const char* picker : {"dtp2", "dtpChuCi2", "dtpYiShen2"})
            QCOMPARE(queryControl<QDateEdit>(QString::fromLatin1(picker))->date(), today);
        QCOMPARE(queryControl<QDateEdit>(QStringLiteral("DTPES2"))->date(), QDate(2007, 1, 1));

        find();
        for (const char* box :
             {"txtBanHao", "txtMingCheng", "txtDianHua", "txtDiZhi", "txtXiangMu", "txtQiTa"})
            setText(QString::fromLatin1(box), QStringLiteral("x"));
        setText(QStringLiteral("cboSex"), QStringLiteral("女"));
        setText(QStringLiteral("cboLeiBue"), QStringLiteral("高处作业"));
        const QDate odd(1990, 1, 1);
        for (const auto& [box, start, end] : kRanges)
            tickRange(QString::fromLatin1(box), QString::fromLatin1(start), odd, QString::fromLatin1(end),
                      odd);
        queryControl<QPushButton>(QStringLiteral("cmdKong"))->click();

        for (const char* box :
             {"txtBanHao", "txtMingCheng", "txtDianHua", "txtDiZhi", "txtXiangMu", "txtQiTa"})
            QCOMPARE(queryControl<QLineEdit>(QString::fromLatin1(box))->text(), QString());
        QCOMPARE(queryControl<QComboBox>(QStringLiteral("cboSex"))->currentText(), QString());
        QCOMPARE(category->currentText(), QString());
        for (const char* picker : {"dtp1", "dtpChuCi1", "dtpYiShen1"})
            QCOMPARE(queryControl<QDateEdit>(QString::fromLatin1(picker))->date(), QDate(2000, 1, 1));
        for (const char* picker : {"dtp2", "dtpChuCi2", "dtpYiShen2"})
            QCOMPARE(queryControl<QDateEdit>(QString::fromLatin1(picker))->date(), today);
        for (const char* picker : {"DTPES1", "DTPES2", "DTPHZ1", "DTPHZ2"})
            QCOMPARE(queryControl<QDateEdit>(QString::fromLatin1(picker))->date(), odd);
        QVERIFY(queryControl<QCheckBox>(QStringLiteral("cekShouLi"))->isChecked());
        QCOMPARE(query()->resultList()->rowCount(), 0);
    }

    void largeResultGoesToTheListWindowOfThisTable() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local), {});
        QStringList values;
        for (int i = 1; i <= 1001; ++i)
            values << QStringLiteral("('K%1', '批量')").arg(i, 4, 10, QLatin1Char('0'));
        m_db->exec(QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名) VALUES ") +
                   values.join(QLatin1Char(',')));
        find();
        fPView* view = fPView::instance();
        QVERIFY(view->isVisible());
        QCOMPARE(view->rFill, query()->result());
        QCOMPARE(view->LblTitle[0]->text(), QStringLiteral("操作证查询结果"));
        QCOMPARE(gViewTable, QStringLiteral("CaoZuoZheng"));
        QCOMPARE(hits(), QStringList());

        fmenu::instance()->mnuRerush_Click(); // the list window's refresh reloads the whole table
        QCOMPARE(view->rFill->Source(), QStringLiteral("CaoZuoZheng"));
        QCOMPARE(view->rFill->RecordCount(), 1001);
    }

    void doubleClickOpensTheHitInTheEntryForm() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local), kCertificates);
        find();
        query()->resultList()->selectRow(1);
        query()->LV_DblClick();
        f1CZZ* entry = f1CZZ::instance();
        QVERIFY(entry->isVisible());
        QCOMPARE(entry->findChild<QLineEdit*>(QStringLiteral("txtBanHao"))->text(), QStringLiteral("C02"));
        QCOMPARE(entry->findChild<QPlainTextEdit*>(QStringLiteral("txtQiTa"))->toPlainText(),
                 QStringLiteral("李四"));
    }
};

QTEST_MAIN(OperationCertificateTest)
#include "tst_czz.moc"
