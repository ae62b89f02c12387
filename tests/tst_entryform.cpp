// The certificate entry form driven as an operator would: keyboard walk, buttons, photos, and
// the records it leaves in the database.
#include "basFile.h"
#include "basGlobal.h"
#include "DatePicker.h"
#include "f1ZS.h"
#include "fFindZS.h"
#include "fPView.h"
#include "IdentityNumber.h"
#include "ListView.h"
#include "Operators.h"
#include "PhotoBox.h"
#include "Popups.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class EntryFormTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    QPointer<f1ZS> m_form;

    template <class T = QWidget> T* child(const char* name) {
        T* w = m_form->findChild<T*>(QString::fromLatin1(name));
        Q_ASSERT(w);
        return w;
    }
    QPushButton* button(const char* name) { return child<QPushButton>(name); }
    QString text(const char* name) { return child<QLineEdit>(name)->text(); }

    void openForm(const QStringList& rows = {}) {
        if (!rows.isEmpty()) m_db->execAll(rows);
        gConn.Open(m_db->connectionString());
        LogInAs();
        m_form = f1ZS::instance();
        m_form->show();
        QApplication::setActiveWindow(m_form);
        QVERIFY(QTest::qWaitForWindowActive(m_form));
    }

    static QString row(QString key, const QString& name, const QString& more = QString()) {
        key.replace(QLatin1Char('\''), QLatin1String("''"));
        return QStringLiteral("INSERT INTO DangAnKu (证号, 姓名%1) VALUES ('%2', '%3'%4)")
            .arg(more.isEmpty() ? QString() : QStringLiteral(", 证书级别"), key, name,
                 more.isEmpty() ? QString() : QStringLiteral(", '") + more + QLatin1Char('\''));
    }

    void press(int key) { QTest::keyClick(QApplication::focusWidget(), Qt::Key(key)); }

    // Types text key by key, Chinese included, as the keyboard would deliver it.
    static void type(QWidget* widget, const QString& text) {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }

    // The stored value of one column of the record with the given key.
    QVariant stored(const QString& key, const QString& column) {
        Recordset rs;
        rs.Open(Statement{QStringLiteral("check"),
                          QStringLiteral("SELECT * FROM DangAnKu WHERE 证号 = ?"),
                          {key}},
                gConn);
        if (rs.IsEOF()) return QStringLiteral("<missing>");
        return rs.Fields(column).Value();
    }

    qint64 storedCount() {
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), gConn);
        return rs.RecordCount();
    }

    QString imageFile(const char* format) {
        if (qstrcmp(format, "GIF") == 0) { // Qt reads GIF but does not write it
            const QString path = m_config->path() + QStringLiteral("/photo.gif");
            QFile gif(path);
            gif.open(QIODevice::WriteOnly);
            gif.write(QByteArray::fromHex(
                "47494638396101000100800000ffffff0000002cf90401000000002c00000000010001000002024401003b"));
            return path;
        }
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const QString path =
            m_config->path() + QStringLiteral("/photo.") + QString::fromLatin1(format).toLower();
        if (!image.save(path, format)) return {};
        return path;
    }

private slots:
    void init() {
        m_config = std::make_unique<TempConfigDir>();
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }

    void cleanup() {
        if (m_form) {
            m_form->close();
            delete m_form;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        gConn.Close();
        m_dialogs.reset();
        m_db.reset();
        m_config.reset();
    }

    void leadingNumbers() {
        QCOMPARE(EntryForm::LeadingNumber(QStringLiteral("2006-001")), 2006.0);
        QCOMPARE(EntryForm::LeadingNumber(QStringLiteral("12 34")), 1234.0);
        QCOMPARE(EntryForm::LeadingNumber(QStringLiteral("A12")), 0.0);
        QCOMPARE(EntryForm::LeadingNumber(QStringLiteral(" 7\t8\n9号")), 789.0);
        QCOMPARE(EntryForm::LeadingNumber(QStringLiteral("1.5e3x")), 1500.0);
        QCOMPARE(EntryForm::LeadingNumber(QStringLiteral("12e")), 12.0);
        QCOMPARE(EntryForm::LeadingNumber(QStringLiteral(".5")), 0.5);
        QCOMPARE(EntryForm::LeadingNumber(QString()), 0.0);
        QCOMPARE(EntryForm::NumberText(15), QStringLiteral("15"));
        QCOMPARE(EntryForm::NumberText(2006.5), QStringLiteral("2006.5"));
    }

    void nextNumberFromTheKeys_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<double>("next");
        for (const auto kind : {TestDatabase::Kind::Local, TestDatabase::Kind::Server}) {
            const char* engine = kind == TestDatabase::Kind::Local ? "local: " : "server: ";
            const auto add = [&](const char* name, const QStringList& keys, double next) {
                QTest::newRow(qPrintable(QString::fromLatin1(engine) + QString::fromLatin1(name)))
                    << int(kind) << keys << next;
            };
            add("year-number pairs and plain numbers", {"2006-0000123", "999", "1000"}, 2007);
            add("blanks anywhere", {QStringLiteral("12 34"), QString::fromUtf8(" 7\t8\n9号")}, 1235);
            add("fraction and exponents", {"1.5e3x", "2D3", "12e"}, 2001);
            add("no leading number", {"A12", "", QString::fromUtf8("号7")}, 1);
            add("only negative or a fraction", {"-5", ".5"}, 1.5);
            add("beyond a double counts as 0", {"1e999", "5"}, 6);
        }
    }
    void nextNumberFromTheKeys() {
        QFETCH(int, kind);
        QFETCH(QStringList, keys);
        QFETCH(double, next);
        m_db = TestDatabase::create(TestDatabase::Kind(kind));
        if (!m_db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        QStringList rows;
        for (const QString& key : keys)
            rows << row(key, QStringLiteral("甲"));
        openForm(rows);
        QCOMPARE(m_form->nMaxNum(), next);
        double scanned = 0;
        for (const QString& key : keys)
            scanned = std::max(scanned, EntryForm::LeadingNumber(key));
        QCOMPARE(scanned + 1, next);
    }

    void emptyTableOffersOnlyAddAndQuery() {
        openForm();
        QCOMPARE(m_form->nMaxNum(), 1.0);
        QVERIFY(button("cmdNew")->isEnabled());
        QVERIFY(button("cmdQuery")->isEnabled());
        for (const char* name :
             {"cmdEdit", "cmdSave", "cmdCancel", "cmdDelete", "cmdFind", "cmdList", "cmdPrint"})
            QVERIFY2(!button(name)->isEnabled(), name);
        QCOMPARE(text("txtBanHao"), QString());
        QVERIFY(!child("txtMingCheng")->isEnabled());
    }

    void keyboardWalkStopsOnceOnEveryField() {
        openForm();
        button("cmdNew")->click();
        QCOMPARE(button("cmdNew")->text(), QStringLiteral("确定 &O"));
        QCOMPARE(QApplication::focusWidget(), child("txtBanHao"));
        QCOMPARE(text("txtBanHao"), QStringLiteral("1"));
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), child("txtMingCheng"));
        type(QApplication::focusWidget(), QStringLiteral("张三"));
        const QStringList expected = {"cboSex",  "dtpChuSheng",  "txtSfz",    "cboWenHua", "dtpFZ",
                                      "txtZSBH", "cboGongZhong", "txtLiLun",  "txtShiCao", "txtPingDing",
                                      "cboZSJB", "txtBeiZhu",    "dtpYiShen", "dtpErShen", "DTPHZ"};
        for (const QString& name : expected) {
            press(Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
            if (name == QLatin1String("txtSfz"))
                // A man's number without a real birth date: nothing for the walk to propose again.
                type(QApplication::focusWidget(), QStringLiteral("11010519490230059x"));
            if (name == QLatin1String("txtBeiZhu"))
                type(QApplication::focusWidget(), QStringLiteral("备注'引号"));
        }
        QCOMPARE(child<QComboBox>("cboSex")->currentText(), QStringLiteral("男"));
        press(Qt::Key_Return); // the walk is complete: the record is saved
        QCOMPARE(button("cmdNew")->text(), QStringLiteral("新增 &A"));
        QCOMPARE(storedCount(), 1);
        QCOMPARE(stored("1", "姓名").toString(), QStringLiteral("张三"));
        QCOMPARE(stored("1", "性别").toString(), QStringLiteral("男"));
        QCOMPARE(stored("1", "身份证号").toString(), QStringLiteral("11010519490230059X"));
        QCOMPARE(stored("1", "备注").toString(), QStringLiteral("备注'引号"));
        // Review and renewal dates walked over stay empty, so the record is not listed as due.
        for (const char* date : {"一次复审", "二次复审", "换证日期"})
            QVERIFY(stored("1", date).isNull());
        QCOMPARE(stored("1", "理论成绩").toString(), QString()); // empty text stays empty text
        QCOMPARE(m_form->nMaxNum(), 2.0);
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号")),
                 QStringLiteral("2"));
        QCOMPARE(m_dialogs->msgBoxCount(), 0);

        // The marks were cleared by the save: the next record is walked again from the start.
        button("cmdNew")->click();
        QCOMPARE(text("txtBanHao"), QStringLiteral("2"));
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), child("txtMingCheng"));
    }

    void escapeSavesOnlyWhileAdding() {
        openForm({row(QStringLiteral("7"), QStringLiteral("甲"), QStringLiteral("高级"))});
        press(Qt::Key_Escape); // browsing: nothing
        QCOMPARE(storedCount(), 1);
        button("cmdNew")->click();
        QCOMPARE(child<QComboBox>("cboZSJB")->currentText(),
                 QStringLiteral("高级")); // kept from the record shown
        press(Qt::Key_Escape);            // saves with the checks: the name is missing
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("必须输入名称！"));
        QCOMPARE(QApplication::focusWidget(), child("txtMingCheng"));
        type(child("txtMingCheng"), QStringLiteral("乙"));
        press(Qt::Key_Escape);
        QCOMPARE(storedCount(), 2);
        QCOMPARE(stored("8", "姓名").toString(), QStringLiteral("乙"));
        QCOMPARE(stored("8", "证书级别").toString(), QStringLiteral("高级"));
        QVERIFY(stored("8", "照片").isNull());
    }

    void emptiedKeyIsRefilledOnSave() {
        openForm();
        button("cmdNew")->click();
        child<QLineEdit>("txtBanHao")->clear();
        child<QLineEdit>("txtMingCheng")->setText(QStringLiteral("丙"));
        button("cmdSave")->click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("必须输入编码！"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Exclamation);
        QCOMPARE(text("txtBanHao"), QStringLiteral("1"));
        QCOMPARE(storedCount(), 0);
    }

    void editingIgnoresEnterAndSavesOnConfirm() {
        openForm({row(QStringLiteral("1"), QStringLiteral("甲"))});
        button("cmdEdit")->setFocus();
        button("cmdEdit")->click();
        press(Qt::Key_Return); // right after 修改: neither saved nor the query window
        QVERIFY(!fFindZS::instance()->isVisible());
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("确定 &O"));
        QVERIFY(!button("cmdNew")->isEnabled());
        QVERIFY(!button("cmdCancel")->isEnabled());
        child<QLineEdit>("txtMingCheng")->setFocus();
        child<QLineEdit>("txtMingCheng")->setText(QStringLiteral("甲改"));
        press(Qt::Key_Return);
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("确定 &O"));
        QCOMPARE(stored("1", "姓名").toString(), QStringLiteral("甲"));
        button("cmdEdit")->click();
        QCOMPARE(stored("1", "姓名").toString(), QStringLiteral("甲改"));
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
    }

    void storedCounterAndDuplicates() {
        SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号"), QStringLiteral("25"));
        openForm({row(QStringLiteral("40"), QStringLiteral("甲")),
                  row(QStringLiteral("2006-001"), QStringLiteral("乙")),
                  row(QStringLiteral("A99"), QStringLiteral("丙"))});
        QCOMPARE(m_form->nMaxNum(), 25.0);
        button("cmdNew")->click();
        QCOMPARE(text("txtBanHao"), QStringLiteral("25"));
        child<QLineEdit>("txtMingCheng")->setText(QStringLiteral("丁"));
        button("cmdSave")->click();
        QCOMPARE(stored("25", "姓名").toString(), QStringLiteral("丁"));

        // A key that exists: the operator is offered the next free number.
        button("cmdNew")->click();
        child<QLineEdit>("txtBanHao")->setText(QStringLiteral("40"));
        child<QLineEdit>("txtMingCheng")->setText(QStringLiteral("戊"));
        m_dialogs->answerMsgBox(vb::No);
        button("cmdSave")->click();
        QCOMPARE(
            m_dialogs->lastMessage().text,
            QStringLiteral(
                "编号重复！要自动编号吗？选‘是’即自动添加2007为新增单位的编号，选‘否’请手动输入一个编号！"));
        QCOMPARE(m_dialogs->lastMessage().buttons, vb::YesNo);
        QCOMPARE(button("cmdNew")->text(), QStringLiteral("确定 &O")); // still adding
        QCOMPARE(child<QLineEdit>("txtBanHao")->selectedText(), QStringLiteral("40"));
        m_dialogs->answerMsgBox(vb::Yes);
        button("cmdSave")->click();
        QCOMPARE(stored("2007", "姓名").toString(), QStringLiteral("戊"));
        QCOMPARE(stored("40", "姓名").toString(), QStringLiteral("甲"));
    }

    // A second unique index refuses every number tried: renumbering ends, in the system's words,
    // with nothing stored and the typed values kept.
    void renumberingGivesUpInTheSystemsWords() {
        openForm({row(QStringLiteral("1"), QStringLiteral("甲")),
                  QStringLiteral("CREATE UNIQUE INDEX ux_name ON DangAnKu (姓名)")});
        button("cmdNew")->click();
        child<QLineEdit>("txtMingCheng")->setText(QStringLiteral("甲"));
        button("cmdSave")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("重复的记录,请检查原因!"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Exclamation);
        QCOMPARE(button("cmdNew")->text(), QStringLiteral("确定 &O"));
        QCOMPARE(text("txtMingCheng"), QStringLiteral("甲"));
        QCOMPARE(storedCount(), 1);
    }

    void quotesInKeysStayData() {
        openForm({row(QStringLiteral("1' OR '1'='1"), QStringLiteral("甲"))});
        button("cmdNew")->click();
        child<QLineEdit>("txtBanHao")->setText(QStringLiteral("1' OR '1'='1"));
        child<QLineEdit>("txtMingCheng")->setText(QStringLiteral("乙"));
        m_dialogs->answerMsgBox(vb::No);
        button("cmdSave")->click();
        QVERIFY(m_dialogs->lastMessage().text.startsWith(QStringLiteral("编号重复！")));
        button("cmdCancel")->click();
        m_dialogs->answerInput(QStringLiteral("1' OR '1'='1"));
        QVERIFY(m_form->bFind(QString()));
        QCOMPARE(text("txtMingCheng"), QStringLiteral("甲"));
    }

    void deleteAndLocate() {
        openForm({row(QStringLiteral("1"), QStringLiteral("甲")),
                  row(QStringLiteral("2"), QStringLiteral("乙")),
                  row(QStringLiteral("3"), QStringLiteral("丙"))});
        m_db->exec(QStringLiteral("UPDATE DangAnKu SET 证书编号 = 'ZS-2' WHERE 证号 = '2'"));
        gConn.Close();
        gConn.Open(m_db->connectionString());
        LogInAs();
        delete m_form;
        m_form = f1ZS::instance();

        m_dialogs->answerInput(QStringLiteral("ZS-2"));
        button("cmdFind")->click();
        QCOMPARE(text("txtMingCheng"), QStringLiteral("乙"));
        const auto questions = m_dialogs->calls(ScriptedDialogs::Kind::Input);
        QCOMPARE(questions.last().text, QStringLiteral("输入要查找的证号或证书编号:"));

        m_dialogs->answerInput(QStringLiteral("999"));
        button("cmdFind")->click();
        QCOMPARE(text("txtMingCheng"), QStringLiteral("乙")); // back on the row shown before
        QCOMPARE(m_dialogs->msgBoxCount(), 0);

        // A hit chosen elsewhere does not replace a record being edited.
        button("cmdEdit")->click();
        QVERIFY(!m_form->bFind(QStringLiteral("3")));
        QCOMPARE(text("txtMingCheng"), QStringLiteral("乙"));
        button("cmdEdit")->click();

        QVERIFY(m_form->bFind(QStringLiteral("3")));
        m_form->Splash();
        m_dialogs->answerMsgBox(vb::Yes);
        button("cmdDelete")->click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("是否真的删除 '3'"));
        QVERIFY(m_dialogs->lastMessage().defaultButton2);
        QCOMPARE(text("txtMingCheng"), QStringLiteral("甲")); // the last row deleted: the first is shown
        m_dialogs->answerMsgBox(vb::No);
        button("cmdDelete")->click();
        QCOMPARE(storedCount(), 2);
    }

    void photosComeBackByteForByte_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("jpeg") << QByteArray("JPG");
        QTest::newRow("gif") << QByteArray("GIF");
        QTest::newRow("bmp") << QByteArray("BMP");
    }
    void photosComeBackByteForByte() {
        QFETCH(QByteArray, format);
        const QString path = imageFile(format.constData());
        if (path.isEmpty()) QSKIP("this Qt build cannot write the format");
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        openForm({row(QStringLiteral("1"), QStringLiteral("甲"))});
        button("cmdEdit")->click();
        m_dialogs->answerOpen(path);
        button("cmdZhiZhao")->click();
        QVERIFY(child<PhotoBox>("imgZhaoPian")->hasPicture());
        button("cmdEdit")->click();
        QCOMPARE(stored("1", "照片").toByteArray(), bytes);
        m_form->Splash();
        QVERIFY(child<PhotoBox>("imgZhaoPian")->hasPicture());

        // Removing the photo stores null.
        button("cmdEdit")->click();
        button("cmdDelPic")->click();
        button("cmdEdit")->click();
        QVERIFY(stored("1", "照片").isNull());
    }

    void emptyOrBrokenPhotoFilesChangeNothing() {
        openForm({row(QStringLiteral("1"), QStringLiteral("甲"))});
        const QString empty = m_config->path() + QStringLiteral("/empty.jpg");
        QFile(empty).open(QIODevice::WriteOnly);
        button("cmdEdit")->click();
        m_dialogs->answerOpen(empty);
        button("cmdZhiZhao")->click();
        QVERIFY(!child<PhotoBox>("imgZhaoPian")->hasPicture());

        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.Fields(QStringLiteral("照片")).setValue(QByteArray("old"));
        FileToField(rs.Fields(QStringLiteral("照片")), empty);
        FileToField(rs.Fields(QStringLiteral("照片")), QStringLiteral("/no/such/file.jpg"));
        QCOMPARE(rs.Fields(QStringLiteral("照片")).Value().toByteArray(), QByteArray("old"));
    }

    void nullDatesStayNullUnlessEntered() {
        openForm({row(QStringLiteral("1"), QStringLiteral("甲"))});
        QVERIFY(child<DatePicker>("dtpFZ")->isNull());
        button("cmdEdit")->click();
        child<QLineEdit>("txtBeiZhu")->setText(QStringLiteral("改备注"));
        child<DatePicker>("dtpYiShen")->setValue(QDate(2010, 3, 4));
        button("cmdEdit")->click();
        QVERIFY(stored("1", "发证日期").isNull());
        QVERIFY(stored("1", "出生年月").isNull());
        QCOMPARE(stored("1", "一次复审").toDate(), QDate(2010, 3, 4));

        button("cmdEdit")->click();
        child<DatePicker>("dtpYiShen")->setFocus();
        press(Qt::Key_Delete); // the operator empties a date
        button("cmdEdit")->click();
        QVERIFY(stored("1", "一次复审").isNull());
    }

    void identityNumberKeys() {
        openForm();
        button("cmdNew")->click();
        auto* sfz = child<QLineEdit>("txtSfz");
        auto* count = child<QLabel>("lblNum");
        sfz->setFocus();
        type(sfz, QStringLiteral("12aX3。-4"));
        QCOMPARE(sfz->text(), QStringLiteral("123。-4"));
        QCOMPARE(count->text(), QStringLiteral("6位"));
        // The editing keys are not characters to judge.
        for (const int key : {Qt::Key_Home, Qt::Key_Delete, Qt::Key_End, Qt::Key_Backspace, Qt::Key_Left,
                              Qt::Key_Left, Qt::Key_Backspace, Qt::Key_Right})
            press(key);
        QCOMPARE(sfz->text(), QStringLiteral("2。-"));
        QCOMPARE(sfz->cursorPosition(), 2);
        press(Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != sfz);
        QCOMPARE(count->text(), QStringLiteral("："));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), sfz);

        // X only as the 18th character, stored as a capital; the check character is verified.
        sfz->clear();
        type(sfz, QStringLiteral("1101051949123100x2x"));
        QCOMPARE(sfz->text(), QStringLiteral("11010519491231002X"));
        QCOMPARE(count->text(), QStringLiteral("18位"));
        press(Qt::Key_Backspace);
        type(sfz, QStringLiteral("5"));
        QCOMPARE(count->text(), QStringLiteral("18位 校验码有误"));
        type(sfz, QStringLiteral("6"));
        QCOMPARE(count->text(), QStringLiteral("19位"));
    }

    void identityFacts_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QDate>("birth");
        QTest::addColumn<QString>("sex");
        QTest::newRow("check X") << "11010519491231002X"
                                 << "18位" << QDate(1949, 12, 31) << "女";
        QTest::newRow("small x") << "11010519491231002x"
                                 << "18位" << QDate(1949, 12, 31) << "女";
        QTest::newRow("check digit") << "110101198005010018"
                                     << "18位" << QDate(1980, 5, 1) << "男";
        QTest::newRow("wrong check still tells") << "110101198005010017"
                                                 << "18位 校验码有误" << QDate(1980, 5, 1) << "男";
        QTest::newRow("no such day") << "110105194902300012"
                                     << "18位" << QDate() << "男";
        QTest::newRow("before 1900") << "110105189912310013"
                                     << "18位 校验码有误" << QDate() << "男";
        QTest::newRow("not born yet") << "110105299912310013"
                                      << "18位 校验码有误" << QDate() << "男";
        QTest::newRow("hyphen inside") << "110105-19491231002"
                                       << "18位 校验码有误" << QDate() << "";
        QTest::newRow("old 15 digits") << "110105491231002"
                                       << "15位" << QDate() << "";
        QTest::newRow("empty") << ""
                               << "0位" << QDate() << "";
    }
    void identityFacts() {
        QFETCH(QString, number);
        QFETCH(QString, note);
        QFETCH(QDate, birth);
        QFETCH(QString, sex);
        QCOMPARE(IdentityLengthNote(number), note);
        QCOMPARE(BirthDateFromIdentity(number), birth);
        QCOMPARE(SexFromIdentity(number), sex);
    }

    void identityNumberProposesSexAndBirthDate_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("chosenSex");
        QTest::addColumn<QDate>("chosenBirth");
        QTest::addColumn<QString>("sex");
        QTest::addColumn<QDate>("birth");
        const QDate shown(1970, 6, 1);
        QTest::newRow("both proposed") << "11010519491231002X"
                                       << "" << QDate() << "女" << QDate(1949, 12, 31);
        QTest::newRow("sex chosen before") << "11010519491231002X"
                                           << "男" << QDate() << "男" << QDate(1949, 12, 31);
        QTest::newRow("birth date chosen before") << "11010519491231002X"
                                                  << "" << QDate(1950, 2, 3) << "女" << QDate(1950, 2, 3);
        QTest::newRow("no number") << ""
                                   << "" << QDate() << "男" << shown;
        QTest::newRow("number without a date") << "110105194902300012"
                                               << "" << QDate() << "男" << shown;
    }
    void identityNumberProposesSexAndBirthDate() {
        QFETCH(QString, number);
        QFETCH(QString, chosenSex);
        QFETCH(QDate, chosenBirth);
        QFETCH(QString, sex);
        QFETCH(QDate, birth);
        openForm(
            {QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 出生年月) VALUES ('1', '甲', '1970-06-01')")});
        button("cmdNew")->click();
        type(child("txtMingCheng"), QStringLiteral("乙"));
        if (!chosenSex.isEmpty()) child<QComboBox>("cboSex")->setCurrentText(chosenSex);
        if (chosenBirth.isValid()) child<DatePicker>("dtpChuSheng")->setValue(chosenBirth);
        child("txtSfz")->setFocus();
        type(child("txtSfz"), number);
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), child("cboSex"));
        QCOMPARE(child<QComboBox>("cboSex")->currentText(), sex);
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), child("dtpChuSheng"));
        QCOMPARE(child<DatePicker>("dtpChuSheng")->value().toDate(), birth);
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), child("txtSfz"));
        press(Qt::Key_Escape);
        QCOMPARE(stored("2", "性别").toString(), sex);
        QCOMPARE(stored("2", "出生年月").toDate(), birth);
        QCOMPARE(stored("2", "身份证号").toString(), number);
    }

    void numberTypedAfterTheWalkPassedProposesAgain_data() {
        QTest::addColumn<QString>("sexChosenAtItsStop");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("sex");
        QTest::newRow("walk's default replaced") << ""
                                                 << "11010519491231002X"
                                                 << "女";
        QTest::newRow("operator's choice kept") << "女"
                                                << "110105194912310011"
                                                << "女";
    }
    void numberTypedAfterTheWalkPassedProposesAgain() {
        QFETCH(QString, sexChosenAtItsStop);
        QFETCH(QString, number);
        QFETCH(QString, sex);
        openForm();
        button("cmdNew")->click();
        press(Qt::Key_Return);
        type(child("txtMingCheng"), QStringLiteral("乙"));
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), child("cboSex"));
        if (!sexChosenAtItsStop.isEmpty()) child<QComboBox>("cboSex")->setCurrentText(sexChosenAtItsStop);
        press(Qt::Key_Return);
        press(Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), child("txtSfz"));
        type(child("txtSfz"), number);
        press(Qt::Key_Return);
        // The walk goes back to what it had shown itself, with the number's answer.
        QCOMPARE(QApplication::focusWidget(),
                 sexChosenAtItsStop.isEmpty() ? child("cboSex") : child("dtpChuSheng"));
        if (sexChosenAtItsStop.isEmpty()) press(Qt::Key_Return);
        QCOMPARE(child<DatePicker>("dtpChuSheng")->value().toDate(), QDate(1949, 12, 31));
        press(Qt::Key_Escape);
        QCOMPARE(stored("1", "性别").toString(), sex);
        QCOMPARE(stored("1", "出生年月").toDate(), QDate(1949, 12, 31));
    }

    void openPopupTakesItsOwnKeys_data() {
        QTest::addColumn<QString>("control");
        QTest::newRow("drop-down") << "cboSex";
        QTest::newRow("calendar") << "dtpFZ";
    }
    void openPopupTakesItsOwnKeys() {
        QFETCH(QString, control);
        openForm();
        button("cmdNew")->click();
        type(child("txtMingCheng"), QStringLiteral("乙"));
        QWidget* w = m_form->findChild<QWidget*>(control);
        w->setFocus();
        openPopup(w);
        // Through the window, as the keyboard delivers them.
        QTest::keyClick(m_form->windowHandle(), Qt::Key_Escape); // closes the popup only: nothing is saved
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(storedCount(), 0);
        activateAfterPopup(m_form);
        QCOMPARE(QApplication::focusWidget(), w);
        openPopup(w);
        QTest::keyClick(m_form->windowHandle(), Qt::Key_Down);
        QTest::keyClick(m_form->windowHandle(), Qt::Key_Return); // chooses, and takes no step of the walk
        QVERIFY(!QApplication::activePopupWidget());
        activateAfterPopup(m_form);
        QCOMPARE(QApplication::focusWidget(), w);
        QCOMPARE(button("cmdNew")->text(), QStringLiteral("确定 &O"));
        QCOMPARE(w->property("Tag").toString(), QString()); // no stop of the walk marked it
        if (auto* sex = qobject_cast<QComboBox*>(w)) QCOMPARE(sex->currentText(), QStringLiteral("女"));
    }

    void secondDeskIsRefusedAndFirstDeskKept() {
        openForm({row(QStringLiteral("1"), QStringLiteral("甲"))});
        button("cmdEdit")->click();
        child<QLineEdit>("txtMingCheng")->setText(QStringLiteral("第二台"));

        Connection otherDesk;
        otherDesk.Open(m_db->connectionString());
        Recordset first;
        first.Open(QStringLiteral("DangAnKu"), otherDesk, ado::adOpenDynamic, ado::adLockOptimistic);
        first.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("第一台"));
        first.Update();

        m_dialogs->answerMsgBox(vb::No);
        button("cmdEdit")->click();
        QVERIFY(m_dialogs->lastMessage().text.startsWith(QStringLiteral("该记录已被其他用户修改。")));
        QCOMPARE(stored("1", "姓名").toString(), QStringLiteral("第一台"));
        QCOMPARE(text("txtMingCheng"), QStringLiteral("第一台")); // what is stored now is shown
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
    }

    void listAndQueryButtons() {
        openForm(
            {row(QStringLiteral("1"), QStringLiteral("甲")), row(QStringLiteral("2"), QStringLiteral("乙"))});
        button("cmdList")->click();
        fPView* list = fPView::instance();
        QCOMPARE(list->rFill, m_form->rMain()); // the very record set, not a copy
        QCOMPARE(list->title(), QStringLiteral("证书信息列表"));
        QCOMPARE(gViewTable, QStringLiteral("DangAnKu"));
        QCOMPARE(list->Lvw->rowCount(), 2);

        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gUsersRs->Fields(QStringLiteral("人员查询")).setValue(false);
        gUsersRs->Update();
        button("cmdQuery")->click();
        QCOMPARE(m_dialogs->lastMessage().text,
                 QStringLiteral("对不起，您无'人员查询'权限!请通过管理员为您设置该权限!"));
        QVERIFY(!fFindZS::instance()->isVisible());
        gUsersRs->Fields(QStringLiteral("人员查询")).setValue(true);
        gUsersRs->Update();
        button("cmdQuery")->click();
        QVERIFY(fFindZS::instance()->isVisible());
        gUsersRs.reset();
    }

    void closingStoresTheCounter_data() {
        QTest::addColumn<bool>("programEnds");
        QTest::newRow("form closed") << false;
        QTest::newRow("program ends with the form open") << true;
    }
    void closingStoresTheCounter() {
        QFETCH(bool, programEnds);
        openForm({row(QStringLiteral("9"), QStringLiteral("甲"))});
        QCOMPARE(m_form->nMaxNum(), 10.0);
        if (programEnds)
            delete m_form;
        else
            m_form->close();
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号")),
                 QStringLiteral("10"));
    }

    void emptyDatePickers() {
        openForm({row(QStringLiteral("1"), QStringLiteral("甲"))});
        button("cmdEdit")->click();
        auto* issued = child<DatePicker>("dtpFZ");
        QVERIFY(issued->isNull());
        // The calendar opens on this month, not on the blank's.
        QTest::mouseClick(issued, Qt::LeftButton, {}, QPoint(issued->width() - 6, issued->height() / 2));
        QTRY_VERIFY(issued->calendarWidget()->isVisible());
        QCOMPARE(issued->calendarWidget()->monthShown(), QDate::currentDate().month());
        QCOMPARE(issued->calendarWidget()->yearShown(), QDate::currentDate().year());
        issued->calendarWidget()->window()->hide();

        // A date that does not exist is refused key by key; an unfinished one leaves it empty.
        issued->setFocus();
        QTest::keyClicks(issued, QStringLiteral("20231341"));
        QVERIFY(issued->isNull());
        QVERIFY(m_dialogs->beepCount() > 0);
        child("txtBeiZhu")->setFocus();
        QVERIFY(issued->isNull());
        QCOMPARE(issued->text(), QString());
        issued->setFocus();
        QTest::keyClicks(issued, QStringLiteral("2023-2-5"));
        child("txtBeiZhu")->setFocus(); // typing ends: a one-digit day is whole
        button("cmdEdit")->click();
        QCOMPARE(stored("1", "发证日期").toDate(), QDate(2023, 2, 5));
    }

    // The record K2, born 1966-05-14, opened for editing: its birth-date box.
    DatePicker* editBirthDate() {
        m_db->execAll({QStringLiteral(
            "INSERT INTO DangAnKu (证号, 姓名, 出生年月) VALUES ('K2', '甲', '1966-05-14')")});
        openForm();
        button("cmdEdit")->click();
        return child<DatePicker>("dtpChuSheng");
    }

    // Clicks into a date picker at character `at` of what it shows, as the mouse would.
    void clickInto(DatePicker* picker, int at) {
        QLineEdit* edit = picker->findChild<QLineEdit*>();
        int x = 0;
        while (x < edit->width() && edit->cursorPositionAt(QPoint(x, edit->height() / 2)) < at)
            ++x;
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, edit->height() / 2));
        QCOMPARE(QApplication::focusWidget(), picker);
    }

    void typedDateReplacesTheShownOneWherever_data() {
        QTest::addColumn<int>("at"); // character clicked, in "yyyy-MM-dd"
        QTest::addColumn<bool>("selectAll");
        QTest::addColumn<QString>("typed");
        for (const auto& [place, at] : {std::pair{"year", 2}, std::pair{"month", 6}, std::pair{"day", 9}})
            for (const char* typed : {"19991231", "1999-12-31", "1999.12.31"})
                QTest::addRow("%s, %s", place, typed) << at << false << QString::fromLatin1(typed);
        QTest::newRow("Ctrl+A, digits only") << 6 << true << QStringLiteral("19991231");
    }
    void typedDateReplacesTheShownOneWherever() {
        QFETCH(int, at);
        QFETCH(bool, selectAll);
        QFETCH(QString, typed);
        DatePicker* birth = editBirthDate();
        clickInto(birth, at);
        if (selectAll) QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), typed);
        QCOMPARE(birth->value().toDate(), QDate(1999, 12, 31));
        button("cmdEdit")->click();
        QCOMPARE(stored("K2", "出生年月").toDate(), QDate(1999, 12, 31));
        QCOMPARE(m_dialogs->beepCount(), 0);
    }

    void halfTypedDateGivesBackTheShownOne() {
        DatePicker* birth = editBirthDate();
        clickInto(birth, 9);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("15"));
        QCOMPARE(birth->value().toDate(), QDate(1966, 5, 14)); // not a date yet: the shown one counts
        QTest::mouseClick(child("txtBeiZhu"), Qt::LeftButton);
        QCOMPARE(birth->value().toDate(), QDate(1966, 5, 14));
        QCOMPARE(birth->findChild<QLineEdit*>()->text(), QStringLiteral("1966-05-14"));
        QCOMPARE(m_dialogs->beepCount(), 1);
        button("cmdEdit")->click();
        QCOMPARE(stored("K2", "出生年月").toDate(), QDate(1966, 5, 14));
    }

    void calendarKeysOpenTheCalendarAndChangeNothing_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Alt+Down") << int(Qt::Key_Down) << int(Qt::AltModifier);
        QTest::newRow("F4") << int(Qt::Key_F4) << int(Qt::NoModifier);
    }
    void calendarKeysOpenTheCalendarAndChangeNothing() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        DatePicker* birth = editBirthDate();
        clickInto(birth, 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(birth->calendarWidget()->isVisible());
        QCOMPARE(birth->calendarWidget()->selectedDate(), QDate(1966, 5, 14));
        QCOMPARE(birth->value().toDate(), QDate(1966, 5, 14));
        birth->calendarWidget()->window()->hide();
        activateAfterPopup(m_form);
        button("cmdEdit")->click();
        QCOMPARE(stored("K2", "出生年月").toDate(), QDate(1966, 5, 14));
    }

    void arrowsChangeOnlyTheSectionShownSelected_data() {
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("key");
        QTest::addColumn<QDate>("stepped");
        QTest::newRow("year, up") << 2 << int(Qt::Key_Up) << QDate(1967, 5, 14);
        QTest::newRow("month, down") << 6 << int(Qt::Key_Down) << QDate(1966, 4, 14);
        QTest::newRow("day, page up") << 9 << int(Qt::Key_PageUp) << QDate(1966, 5, 24);
    }
    void arrowsChangeOnlyTheSectionShownSelected() {
        QFETCH(int, at);
        QFETCH(int, key);
        QFETCH(QDate, stepped);
        DatePicker* birth = editBirthDate();
        clickInto(birth, at);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(birth->value().toDate(), QDate(1966, 5, 14)); // the first key only shows the section
        QVERIFY(birth->findChild<QLineEdit*>()->hasSelectedText());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(birth->value().toDate(), stepped);
        button("cmdEdit")->click();
        QCOMPARE(stored("K2", "出生年月").toDate(), stepped);
    }

    void printPreviewsTheShownRecordAsACard() {
        openForm({row(QStringLiteral("K1"), QStringLiteral("张三"), QStringLiteral("高级"))});
        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        QImage portrait(60, 80, QImage::Format_RGB32);
        portrait.fill(Qt::darkBlue);
        m_form->findChild<PhotoBox*>()->setPicture(QPixmap::fromImage(portrait));
        QCOMPARE(m_form->shownCard().photo.size(), QSize(60, 80));

        QTemporaryDir folder;
        const QString pdf = folder.filePath(QStringLiteral("card.pdf"));
        m_dialogs->answerPreview(pdf);
        button("cmdPrint")->click();
        QCOMPARE(m_dialogs->calls(ScriptedDialogs::Kind::Preview).size(), 1);
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000));
        const QString printed =
            QString::fromUtf8(text.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s")));
        for (const QString& expected :
             {QStringLiteral("证书资料卡"), QStringLiteral("证号K1"), QStringLiteral("姓名张三"),
              QStringLiteral("证书级别高级"),
              QStringLiteral("打印日期：") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))})
            QVERIFY2(printed.contains(expected), qPrintable(expected));

        // Without the print right nothing is previewed.
        gUsersRs->Fields(QStringLiteral("打印操作")).setValue(false);
        gUsersRs->Update();
        button("cmdPrint")->click();
        QCOMPARE(m_dialogs->calls(ScriptedDialogs::Kind::Preview).size(), 1);
        QVERIFY(m_dialogs->lastMessage().text.contains(QStringLiteral("打印操作")));
        gUsersRs.reset();
    }
};

QTEST_MAIN(EntryFormTest)
#include "tst_entryform.moc"
