// The training register: its entry form driven from the keyboard and its query window.
#include "basGlobal.h"
#include "f1PX.h"
#include "fFindPX.h"
#include "fPView.h"
#include "ListView.h"
#include "Operators.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

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

const QString kCounterKey = QStringLiteral("培训证号");

// Keys, certificate numbers and employers chosen so that the key order is not the listing order;
// the employers sort alike by code point and by pinyin, whatever the server's collation.
const QStringList kTrainees = {
    QStringLiteral("INSERT INTO PeiXun (编号, 姓名, 性别, 证书号码, 生产经营单位, 文化程度, 身份证号, "
                   "一次复审, 备注) VALUES "
                   "('1', '张一', '男', 'PX-30', '西厂', '高中', '110101', '2003-05-01', NULL),"
                   "('2', '张二', '女', 'PX-10', '西厂', '大学本科', '220202', '2000-01-01', '100%合格'),"
                   "('3', '王三', '男', 'PX-30', '东厂', '初中', NULL, '2007-01-01', NULL),"
                   "('4', '李四', '女', 'PX-20', '南厂', NULL, NULL, '2007-01-02', NULL),"
                   "('5', '赵五', '男', 'PX-10', '西厂', NULL, NULL, NULL, NULL),"
                   "('', '无编号', '男', 'PX-00', '西厂', NULL, NULL, '2005-01-01', NULL)")};

// 证书号码, then 生产经营单位, then 编号.
const QStringList kListingOrder = {QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("4"),
                                   QStringLiteral("3"), QStringLiteral("1")};

void type(QWidget* widget, const QString& text) {
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

void pressEnter(Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, modifiers);
}

QString focusName() {
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

} // namespace

class TrainingRegisterTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;

    // A fresh database of the given kind with the rows, open on gConn; false without a server.
    bool prepare(TestDatabase::Kind kind, const QStringList& rows = {}) {
        gConn.Close();
        m_db = TestDatabase::create(kind);
        if (!m_db) return false;
        if (!rows.isEmpty()) m_db->execAll(rows);
        gConn.Open(m_db->connectionString());
        LogInAs();
        return true;
    }

    static f1PX* openEntryForm() {
        f1PX* form = f1PX::instance();
        form->show();
        QApplication::setActiveWindow(form);
        if (!QTest::qWaitForWindowActive(form)) qFatal("the entry form did not become active");
        return form;
    }

    template <class W = QWidget> static W* entryControl(const char* name) {
        W* w = f1PX::instance()->findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }

    template <class W = QWidget> static W* queryControl(const char* name) {
        W* w = fFindPX::instance()->findChild<W*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }

    static QString entryText(const char* name) { return entryControl<QLineEdit>(name)->text(); }

    QVariant stored(const QString& key, const QString& column) {
        Recordset rs;
        rs.Open(
            Statement{QStringLiteral("check"), QStringLiteral("SELECT * FROM PeiXun WHERE 编号 = ?"), {key}},
            gConn);
        if (rs.IsEOF()) return QStringLiteral("<missing>");
        return rs.Fields(column).Value();
    }

    static void find() { queryControl<QPushButton>("cmdFind")->click(); }

    static QStringList hits() {
        ListView* list = fFindPX::instance()->resultList();
        QStringList keys;
        for (int row = 0; row < list->rowCount(); ++row)
            keys << list->text(row);
        return keys;
    }

private slots:
    void init() {
        m_config = std::make_unique<TempConfigDir>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }

    void cleanup() {
        // Only the windows a test opened; asking for an instance would load a new one.
        QList<QPointer<QWidget>> opened;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (qobject_cast<f1PX*>(window) || qobject_cast<fFindPX*>(window)) opened << window;
        qDeleteAll(opened);
        fPView::instance()->hide();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        gViewTable.clear();
        gUsersRs.reset();
        gConn.Close();
        m_dialogs.reset();
        m_db.reset();
        m_config.reset();
    }

    // --- entry form ---

    void walkFillsTheTrainingColumns() {
        QVERIFY(prepare(TestDatabase::Kind::Local));
        f1PX* form = openEntryForm();
        QCOMPARE(form->windowTitle(), QStringLiteral("安全生产负责人培训资料录入"));
        QCOMPARE(entryControl<QLabel>("lbl_txtBanHao")->text(), QStringLiteral("证号*:"));
        QVERIFY(!form->findChild<QWidget*>(QStringLiteral("dtpChuSheng")));
        QVERIFY(!entryControl("txtMoLian")->isEnabled());

        entryControl<QPushButton>("cmdNew")->click();
        QVERIFY(entryControl("txtMoLian")->isEnabled());
        QCOMPARE(focusName(), QStringLiteral("txtBanHao"));
        QCOMPARE(entryText("txtBanHao"), QStringLiteral("1"));
        const QList<QPair<QString, QString>> walk = {
            {"txtZSHB", "PX-9"},   {"txtMingCheng", "张三"},    {"cboSex", {}},        {"txtSfz", "110101"},
            {"txtDanWei", "甲厂"}, {"txtDianHua", "5551234"},   {"cboWenHua", "高中"}, {"cboZhiWu", "厂长"},
            {"txtLiLun", "85"},    {"txtMoLian", "2008年复审"}, {"dtpYiShen", {}},     {"dtpErShen", {}},
            {"DTPHZ", {}},         {"txtBeiZhu", "备注"}};
        for (const auto& [name, typed] : walk) {
            pressEnter();
            QCOMPARE(focusName(), name);
            type(QApplication::focusWidget(), typed);
        }
        // Ctrl+Enter breaks the review history's line; Enter alone goes on with the walk.
        auto* memo = entryControl<QPlainTextEdit>("txtMoLian");
        memo->setFocus();
        memo->moveCursor(QTextCursor::End);
        pressEnter(Qt::ControlModifier);
        type(memo, QStringLiteral("2010年复审"));
        QCOMPARE(focusName(), QStringLiteral("txtMoLian"));
        pressEnter();
        QCOMPARE(entryControl<QPushButton>("cmdNew")->text(), QStringLiteral("新增 &A"));

        QCOMPARE(stored("1", "姓名").toString(), QStringLiteral("张三"));
        QCOMPARE(stored("1", "性别").toString(), QStringLiteral("男"));
        QCOMPARE(stored("1", "证书号码").toString(), QStringLiteral("PX-9"));
        QCOMPARE(stored("1", "身份证号").toString(), QStringLiteral("110101"));
        QCOMPARE(stored("1", "电话号码").toString(), QStringLiteral("5551234"));
        QCOMPARE(stored("1", "生产经营单位").toString(), QStringLiteral("甲厂"));
        QCOMPARE(stored("1", "文化程度").toString(), QStringLiteral("高中"));
        QCOMPARE(stored("1", "职务").toString(), QStringLiteral("厂长"));
        QCOMPARE(stored("1", "理论成绩").toString(), QStringLiteral("85"));
        QCOMPARE(stored("1", "复审记录").toString(), QStringLiteral("2008年复审\n2010年复审"));
        for (const char* date : {"一次复审", "二次复审", "换证日期"})
            QVERIFY(stored("1", date).isNull());
        QCOMPARE(stored("1", "备注").toString(), QStringLiteral("备注"));
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), kCounterKey), QStringLiteral("2"));
        QCOMPARE(m_dialogs->msgBoxCount(), 0);

        // The next record keeps the theory score and its mark: the walk passes over it.
        entryControl<QPushButton>("cmdNew")->click();
        QCOMPARE(entryText("txtLiLun"), QStringLiteral("85"));
        QCOMPARE(entryText("txtZSHB"), QString());
        QCOMPARE(entryControl<QPlainTextEdit>("txtMoLian")->toPlainText(), QString());
        const QStringList secondWalk = {"txtZSHB",    "txtMingCheng", "cboSex",   "txtSfz",    "txtDanWei",
                                        "txtDianHua", "cboWenHua",    "cboZhiWu", "txtMoLian", "dtpYiShen",
                                        "dtpErShen",  "DTPHZ",        "txtBeiZhu"};
        for (const QString& name : secondWalk) {
            pressEnter();
            QCOMPARE(focusName(), name);
            if (name == QLatin1String("txtMingCheng"))
                type(QApplication::focusWidget(), QStringLiteral("李四"));
        }
        pressEnter();
        QCOMPARE(stored("2", "姓名").toString(), QStringLiteral("李四"));
        QCOMPARE(stored("2", "理论成绩").toString(), QStringLiteral("85"));

        // A score typed over the kept one is what the next record stores.
        entryControl<QPushButton>("cmdNew")->click();
        entryControl<QLineEdit>("txtLiLun")->setText(QStringLiteral("90"));
        entryControl<QLineEdit>("txtMingCheng")->setText(QStringLiteral("王五"));
        entryControl<QPushButton>("cmdSave")->click();
        QCOMPARE(stored("3", "理论成绩").toString(), QStringLiteral("90"));

        form->close();
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), kCounterKey), QStringLiteral("4"));
    }

    void duplicateIsCheckedOnTheKeyColumn() {
        QVERIFY(
            prepare(TestDatabase::Kind::Local,
                    {QStringLiteral("INSERT INTO PeiXun (编号, 姓名, 证书号码) VALUES ('7', '甲', '8')")}));
        SaveSetting(ExeName(), QStringLiteral("system"), kCounterKey, QStringLiteral("7"));
        openEntryForm();
        QCOMPARE(f1PX::instance()->nMaxNum(), 7.0);
        entryControl<QPushButton>("cmdNew")->click();
        entryControl<QLineEdit>("txtMingCheng")->setText(QStringLiteral("乙"));
        m_dialogs->answerMsgBox(vb::Yes);
        entryControl<QPushButton>("cmdSave")->click();
        QCOMPARE(
            m_dialogs->lastMessage().text,
            QStringLiteral(
                "编号重复！要自动编号吗？选‘是’即自动添加8为新增单位的编号，选‘否’请手动输入一个编号！"));
        QCOMPARE(stored("8", "姓名").toString(), QStringLiteral("乙"));
        QCOMPARE(stored("7", "姓名").toString(), QStringLiteral("甲"));
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), kCounterKey), QStringLiteral("9"));
    }

    void locateByKeyThenCertificateNumber() {
        // Record 1's certificate number is record 2's key: the key is searched first.
        QVERIFY(prepare(TestDatabase::Kind::Local,
                        {QStringLiteral("INSERT INTO PeiXun (编号, 姓名, 证书号码) VALUES "
                                        "('1', '甲', '2'), ('2', '乙', 'PX-2'), ('3', '丙', 'PX-3')")}));
        openEntryForm();
        m_dialogs->answerInput(QStringLiteral("PX-3"));
        entryControl<QPushButton>("cmdFind")->click();
        QCOMPARE(entryText("txtMingCheng"), QStringLiteral("丙"));
        QCOMPARE(m_dialogs->calls(ScriptedDialogs::Kind::Input).last().text,
                 QStringLiteral("输入要查找的证号或证书号码:"));

        m_dialogs->answerInput(QStringLiteral("2"));
        entryControl<QPushButton>("cmdFind")->click();
        QCOMPARE(entryText("txtMingCheng"), QStringLiteral("乙"));

        m_dialogs->answerInput(QStringLiteral("PX-9"));
        entryControl<QPushButton>("cmdFind")->click();
        QCOMPARE(entryText("txtMingCheng"), QStringLiteral("乙"));
        QCOMPARE(m_dialogs->msgBoxCount(), 0);
    }

    void optionListsListAndQueryButtons() {
        QVERIFY(prepare(TestDatabase::Kind::Local,
                        {QStringLiteral("INSERT INTO PeiXun (编号, 姓名) VALUES ('1', '甲')"),
                         QStringLiteral("INSERT INTO List (content, leixing) VALUES ('车间主任', '职务')"),
                         QStringLiteral("INSERT INTO List (content, leixing) VALUES ('电工', '作业类别')")}));
        f1PX* form = openEntryForm();
        auto* post = entryControl<QComboBox>("cboZhiWu");
        QCOMPARE(post->itemText(post->count() - 1), QStringLiteral("车间主任"));
        QCOMPARE(post->findText(QStringLiteral("电工")), -1);
        QVERIFY(entryControl<QComboBox>("cboWenHua")->findText(QStringLiteral("车间主任")) == -1);

        entryControl<QPushButton>("cmdList")->click();
        fPView* list = fPView::instance();
        QCOMPARE(list->rFill, form->rMain());
        QCOMPARE(list->title(), QStringLiteral("安全生产负责人培训资料列表"));
        QCOMPARE(gViewTable, QStringLiteral("PeiXun"));

        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        entryControl<QPushButton>("cmdQuery")->click();
        QVERIFY(fFindPX::instance()->isVisible());
    }

    // --- query window ---

    void noCriterionListsByCertificateEmployerKey_data() {
        TestDatabase::addEngineRows("kind");
    }
    void noCriterionListsByCertificateEmployerKey() {
        QFETCH(int, kind);
        if (!prepare(TestDatabase::Kind(kind), kTrainees))
            QSKIP("no test server: ORVANTA_TEST_PG is not set");
        fFindPX* form = fFindPX::instance();
        QCOMPARE(form->windowTitle(), QStringLiteral("安全生产负责人培训资料查询"));
        QCOMPARE(queryControl<QLabel>("Label1_0")->text(), QStringLiteral("证号"));
        find();
        QCOMPARE(
            form->statementText(),
            QStringLiteral("SELECT * FROM PeiXun WHERE (编号 <> '') Order By 证书号码,生产经营单位,编号"));
        QCOMPARE(hits(), kListingOrder);
        QCOMPARE(form->resultList()->columnText(0), QStringLiteral("编号"));
        QCOMPARE(form->resultList()->tag(), QStringLiteral("安全生产负责人培训资料查询结果"));
        QCOMPARE(m_dialogs->msgBoxCount(), 0);
    }

    void criteriaGoToTheirColumns_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("fragment");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("key exact") << "txtBanHao"
                                   << "3"
                                   << " WHERE (编号 = '3')" << QStringList{"3"};
        QTest::newRow("key not partial") << "txtBanHao"
                                         << "PX"
                                         << " WHERE (编号 = 'PX')" << QStringList{};
        QTest::newRow("sex") << "cboSex"
                             << "女"
                             << " AND (性别 = '女')" << QStringList{"2", "4"};
        QTest::newRow("identity") << "txtShenFeiZheng"
                                  << "0202"
                                  << " AND (身份证号 LIKE '%0202%')" << QStringList{"2"};
        QTest::newRow("employer") << "txtDanWei"
                                  << "西"
                                  << " AND (生产经营单位 LIKE '%西%')" << QStringList{"2", "5", "1"};
        QTest::newRow("education") << "cboWenHua"
                                   << "中"
                                   << " AND (文化程度 LIKE '%中%')" << QStringList{"3", "1"};
        QTest::newRow("certificate") << "txtZSHB"
                                     << "-3"
                                     << " AND (证书号码 LIKE '%-3%')" << QStringList{"3", "1"};
        QTest::newRow("remark wildcard") << "txtBeiZhu"
                                         << "0%"
                                         << " AND (备注 LIKE '%0%%')" << QStringList{"2"};
    }
    void criteriaGoToTheirColumns() {
        QFETCH(QString, box);
        QFETCH(QString, value);
        QFETCH(QString, fragment);
        QFETCH(QStringList, expected);
        QVERIFY(prepare(TestDatabase::Kind::Local, kTrainees));
        if (auto* edit = fFindPX::instance()->findChild<QLineEdit*>(box))
            edit->setText(value);
        else if (auto* combo = fFindPX::instance()->findChild<QComboBox*>(box); combo->isEditable())
            combo->setEditText(value);
        else
            combo->setCurrentIndex(combo->findText(value));
        find();
        QVERIFY2(fFindPX::instance()->statementText().contains(fragment),
                 qPrintable(fFindPX::instance()->statementText()));
        QCOMPARE(hits(), expected);
    }

    void rangeTickedAtOnceUsesTheDesignDates() {
        QVERIFY(prepare(TestDatabase::Kind::Local, kTrainees));
        for (const char* picker : {"DTPYS1", "DTPES1", "DTPHZ1"})
            QCOMPARE(queryControl<QDateEdit>(picker)->date(), QDate(2000, 1, 1));
        for (const char* picker : {"DTPYS2", "DTPES2", "DTPHZ2"})
            QCOMPARE(queryControl<QDateEdit>(picker)->date(), QDate(2007, 1, 1));
        QVERIFY(!queryControl("DTPYS1")->isEnabled());

        queryControl<QCheckBox>("cekyishen")->setChecked(true);
        QVERIFY(queryControl("DTPYS1")->isEnabled());
        find();
        QCOMPARE(
            fFindPX::instance()->statementText(),
            QStringLiteral("SELECT * FROM PeiXun WHERE (编号 <> '') AND (一次复审 BETWEEN # 2000-01-01 # AND "
                           "# 2007-01-01 #) Order By 证书号码,生产经营单位,编号"));
        // Both ends count; a later date and an empty one do not.
        QCOMPARE(hits(), (QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("1")}));

        queryControl<QCheckBox>("cekershen")->setChecked(true);
        queryControl<QCheckBox>("cekhz")->setChecked(true);
        queryControl<QDateEdit>("DTPHZ2")->setDate(QDate(2010, 6, 30));
        QVERIFY(fFindPX::instance()->buildStatement().text.endsWith(
            QStringLiteral(" AND (二次复审 BETWEEN # 2000-01-01 # AND # 2007-01-01 #)"
                           " AND (换证日期 BETWEEN # 2000-01-01 # AND # 2010-06-30 #)"
                           " Order By 证书号码,生产经营单位,编号")));
    }

    void clearingLeavesTheRanges() {
        QVERIFY(prepare(TestDatabase::Kind::Local,
                        kTrainees + QStringList{QStringLiteral(
                                        "INSERT INTO List (content, leixing) VALUES ('函授', '文化程度')")}));
        auto* education = queryControl<QComboBox>("cboWenHua");
        QCOMPARE(education->itemText(education->count() - 1), QStringLiteral("函授"));
        QCOMPARE(education->currentText(), QString());
        find();
        QVERIFY(fFindPX::instance()->resultList()->rowCount() > 0);

        for (const char* box :
             {"txtBanHao", "txtMingCheng", "txtShenFeiZheng", "txtDanWei", "txtZSHB", "txtBeiZhu"})
            queryControl<QLineEdit>(box)->setText(QStringLiteral("x"));
        queryControl<QComboBox>("cboSex")->setCurrentIndex(1);
        education->setEditText(QStringLiteral("高中"));
        queryControl<QCheckBox>("cekershen")->setChecked(true);
        queryControl<QDateEdit>("DTPES1")->setDate(QDate(2001, 2, 3));
        queryControl<QDateEdit>("DTPHZ2")->setDate(QDate(2009, 9, 9));

        queryControl<QPushButton>("cmdKong")->click();
        for (const char* box :
             {"txtBanHao", "txtMingCheng", "txtShenFeiZheng", "txtDanWei", "txtZSHB", "txtBeiZhu"})
            QCOMPARE(queryControl<QLineEdit>(box)->text(), QString());
        QCOMPARE(queryControl<QComboBox>("cboSex")->currentText(), QString());
        QCOMPARE(education->currentText(), QString());
        QVERIFY(queryControl<QCheckBox>("cekershen")->isChecked());
        QVERIFY(!queryControl<QCheckBox>("cekyishen")->isChecked());
        QCOMPARE(queryControl<QDateEdit>("DTPES1")->date(), QDate(2001, 2, 3));
        QCOMPARE(queryControl<QDateEdit>("DTPHZ2")->date(), QDate(2009, 9, 9));
        QCOMPARE(queryControl<QDateEdit>("DTPYS2")->date(), QDate(2007, 1, 1));
        QCOMPARE(fFindPX::instance()->resultList()->rowCount(), 0);
    }

    void largeResultGoesToTheListWindow() {
        QVERIFY(prepare(
            TestDatabase::Kind::Local,
            {QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1001) "
                            "INSERT INTO PeiXun (编号, 姓名) SELECT 'K' || i, '某' FROM n")}));
        find();
        fPView* list = fPView::instance();
        QCOMPARE(list->title(), QStringLiteral("安全生产负责人培训资料查询结果"));
        QCOMPARE(list->rFill, fFindPX::instance()->result());
        QCOMPARE(gViewTable, QStringLiteral("PeiXun"));
        QCOMPARE(fFindPX::instance()->resultList()->rowCount(), 0);
    }

    void doubleClickShowsTheHitInTheEntryForm() {
        QVERIFY(prepare(TestDatabase::Kind::Local, kTrainees));
        find();
        ListView* list = fFindPX::instance()->resultList();
        list->selectRow(kListingOrder.indexOf(QStringLiteral("4")));
        fFindPX::instance()->LV_DblClick();
        f1PX* entry = f1PX::instance();
        QVERIFY(entry->isVisible());
        QCOMPARE(entry->findChild<QLineEdit*>(QStringLiteral("txtBanHao"))->text(), QStringLiteral("4"));
        QCOMPARE(entry->findChild<QLineEdit*>(QStringLiteral("txtMingCheng"))->text(),
                 QStringLiteral("李四"));
    }
};

QTEST_MAIN(TrainingRegisterTest)
#include "tst_px.moc"
