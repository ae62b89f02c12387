// The routines every form shares: combo fills, focus tests, key filter, rights, scaling, Text/Tag.
#include "basGlobal.h"
#include "basime.h"
#include "basSub.h"
#include "DatePicker.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>

// Stands in for a control that exposes its text only as a property (a date picker, say).
class TextPicker : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)

public:
    QString text() const { return m_text; }
    void setText(const QString& text) { m_text = text; }
    bool selected = false;

public slots:
    void selectAll() { selected = true; }

private:
    QString m_text;
};

namespace {

QString selection(QWidget* control) {
    if (auto* edit = qobject_cast<QLineEdit*>(control)) return edit->selectedText();
    if (auto* combo = qobject_cast<QComboBox*>(control))
        return combo->lineEdit() ? combo->lineEdit()->selectedText() : QString();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(control)) return plain->textCursor().selectedText();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(control))
        return spin->findChild<QLineEdit*>()->selectedText();
    return QString();
}

} // namespace

class BasSubTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    Connection m_conn;

    RecordsetPtr open(const QString& source) {
        auto rs = std::make_shared<Recordset>();
        rs->Open(source, m_conn, ado::adOpenStatic, ado::adLockReadOnly);
        return rs;
    }

private slots:
    void initTestCase() {
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        m_conn.Open(m_db->connectionString());
    }
    void cleanupTestCase() {
        gUsersRs.reset();
        m_conn.Close();
    }
    void init() { gAutoSize = true; }

    void fillComboSkipsNullsKeepsOrderAndEndsAtTheEnd() {
        const RecordsetPtr rs = open(QStringLiteral("SELECT 姓名 FROM (SELECT '王五' AS 姓名, 1 AS n UNION "
                                                    "ALL SELECT NULL, 2 UNION ALL SELECT '李四', 3 "
                                                    "UNION ALL SELECT '', 4) ORDER BY n"));
        rs->MoveLast(); // starts anywhere
        QComboBox combo;
        combo.addItem(QStringLiteral("旧项"));
        FillComboFromField(*rs, &combo, QStringLiteral("姓名"));
        QCOMPARE(combo.count(), 3);
        QCOMPARE(combo.itemText(0), QStringLiteral("王五"));
        QCOMPARE(combo.itemText(1), QStringLiteral("李四"));
        QCOMPARE(combo.itemText(2), QString());
        QVERIFY(rs->IsEOF());
    }

    void fillComboFailuresAreSkipped() {
        const RecordsetPtr rs = open(QStringLiteral("Users"));
        QComboBox combo;
        combo.addItem(QStringLiteral("旧项"));
        FillComboFromField(*rs, &combo, QStringLiteral("没有这一列"));
        QCOMPARE(combo.count(), 0);
        QVERIFY(rs->IsEOF());

        const RecordsetPtr empty = open(QStringLiteral("SELECT 姓名 FROM Users WHERE 1 = 0"));
        FillComboFromField(*empty, &combo, QStringLiteral("姓名"));
        QCOMPARE(combo.count(), 0);
        FillComboFromField(*empty, nullptr, QStringLiteral("姓名"));
    }

    void focusIfEmptyStopsAtTheFirstEmptyField() {
        QWidget form;
        auto* name = new QLineEdit(QStringLiteral("张三"), &form);
        auto* id = new QLineEdit(&form);
        auto* score = new QLineEdit(&form);
        form.show();
        QVERIFY(!FocusIfEmpty(name, QStringLiteral("无")));
        QCOMPARE(name->text(), QStringLiteral("张三"));
        QVERIFY(FocusIfEmpty(id));
        QCOMPARE(form.focusWidget(), id);
        QVERIFY(FocusIfEmpty(score, QStringLiteral("合格")));
        QCOMPARE(score->text(), QStringLiteral("合格"));
        QCOMPARE(score->selectedText(), QStringLiteral("合格"));
        QCOMPARE(form.focusWidget(), score);
        QVERIFY(!FocusIfEmpty(score, QStringLiteral("合格")));
    }

    void focusIfUnmarkedOffersItsDefaultOnce() {
        QWidget form;
        auto* sex = new QComboBox(&form);
        sex->addItems({QStringLiteral("男"), QStringLiteral("女")});
        sex->setCurrentIndex(-1);
        auto* note = new QLineEdit(QStringLiteral("已填"), &form);
        form.show();

        QVERIFY(FocusIfUnmarked(sex, QStringLiteral("男")));
        QCOMPARE(ControlText(sex), QStringLiteral("男"));
        QCOMPARE(ControlTag(sex), QStringLiteral("T"));
        QCOMPARE(form.focusWidget(), sex);
        sex->setCurrentIndex(1); // the operator changes the suggestion
        QVERIFY(!FocusIfUnmarked(sex, QStringLiteral("男")));
        QCOMPARE(ControlText(sex), QStringLiteral("女"));

        SetControlTag(sex, QString()); // the form clears its marks
        QVERIFY(FocusIfUnmarked(sex, QStringLiteral("男")));
        QCOMPARE(ControlText(sex), QStringLiteral("男"));

        // Marked even though it has text: the mark, not the text, decides.
        QVERIFY(FocusIfUnmarked(note));
        QCOMPARE(note->text(), QStringLiteral("已填"));
        QCOMPARE(note->selectedText(), QStringLiteral("已填"));
    }

    void emptyDatePickerCountsAsEmpty() {
        QWidget form;
        auto* issued = new DatePicker(&form);
        issued->setNull();
        form.show();
        QCOMPARE(ControlText(issued), QString());
        QVERIFY(FocusIfEmpty(issued, QStringLiteral("2024-03-01")));
        QCOMPARE(issued->date(), QDate(2024, 3, 1));
        QVERIFY(!FocusIfEmpty(issued));
        QVERIFY(SetControlText(issued, QString()));
        QVERIFY(issued->isNull());
    }

    void filterKey_data() {
        QTest::addColumn<QString>("allowed");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("digit") << QString() << int('7') << int('7');
        QTest::newRow("full stop") << QString() << int('.') << int('.');
        QTest::newRow("ideographic full stop") << QString() << 0x3002 << 0x3002;
        QTest::newRow("backspace") << QString() << 8 << 8;
        QTest::newRow("letter swallowed") << QString() << int('a') << 0;
        QTest::newRow("minus swallowed") << QString() << int('-') << 0;
        QTest::newRow("chinese swallowed") << QString() << 0x5F20 << 0;
        QTest::newRow("list: lower") << QStringLiteral("abc") << int('b') << int('b');
        QTest::newRow("list: capital") << QStringLiteral("abc") << int('A') << int('A');
        QTest::newRow("list: backspace") << QStringLiteral("abc") << 8 << 8;
        QTest::newRow("tab passes") << QStringLiteral("abc") << 9 << 9;
        QTest::newRow("delete passes") << QString() << 0x7F << 0x7F;
        QTest::newRow("ctrl+v passes") << QString() << 0x16 << 0x16;
        QTest::newRow("list: digit swallowed") << QStringLiteral("abc") << int('1') << 0;
        QTest::newRow("list: X for ID numbers") << QStringLiteral("0123456789X") << int('x') << int('x');
        QTest::newRow("outside the code range") << QString() << -24157 << -24157;
        QTest::newRow("beyond the basic plane") << QString() << 0x1F600 << 0;
    }
    void filterKey() {
        QFETCH(QString, allowed);
        QFETCH(int, key);
        QFETCH(int, result);
        QCOMPARE(FilterKey(key, allowed), result);
    }

    void autoSizeForm_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<double>("rx");
        QTest::addColumn<double>("ry");
        QTest::newRow("800x600") << QSize(800, 600) << 1.0 << 1.0;
        QTest::newRow("1024x768") << QSize(1024, 768) << 1.28 << 1.28;
        QTest::newRow("1280x1024") << QSize(1280, 1024) << 1.6 << 1024.0 / 600.0;
    }
    void autoSizeForm() {
        QFETCH(QSize, screen);
        QFETCH(double, rx);
        QFETCH(double, ry);
        QWidget form;
        form.resize(600, 400);
        auto* frame = new QGroupBox(&form);
        frame->setObjectName(QStringLiteral("Frame1"));
        frame->setGeometry(10, 20, 300, 200);
        QFont nine = frame->font();
        nine.setPointSizeF(9);
        frame->setFont(nine);
        auto* label = new QLabel(frame); // inherits the frame's font
        label->setObjectName(QStringLiteral("Label1"));
        label->setGeometry(8, 30, 100, 20);
        auto* text = new QLineEdit(&form);
        text->setObjectName(QStringLiteral("txtName"));
        text->setGeometry(320, 40, 150, 24);
        QFont pixels = text->font();
        pixels.setPixelSize(12);
        text->setFont(pixels);
        auto* unnamed = new QWidget(&form);
        unnamed->setGeometry(5, 5, 10, 10);

        AutoSizeForm(&form, screen);

        auto scaled = [&](QRect r) {
            return QRect(qRound(r.x() * rx), qRound(r.y() * ry), qRound(r.width() * rx),
                         qRound(r.height() * ry));
        };
        QCOMPARE(form.size(), QSize(qRound(600 * rx), qRound(400 * ry)));
        QCOMPARE(frame->geometry(), scaled({10, 20, 300, 200}));
        QCOMPARE(label->geometry(), scaled({8, 30, 100, 20}));
        QCOMPARE(text->geometry(), scaled({320, 40, 150, 24}));
        QCOMPARE(unnamed->geometry(), QRect(5, 5, 10, 10));
        QVERIFY(qAbs(frame->font().pointSizeF() - 9 * rx) < 0.01);
        QVERIFY(qAbs(label->font().pointSizeF() - 9 * rx) < 0.01); // scaled once, not twice
        QCOMPARE(text->font().pixelSize(), qRound(12 * rx));
        if (screen == QSize(1280, 1024)) QCOMPARE(frame->geometry(), QRect(16, 34, 480, 341));
    }

    void autoSizeFormOnlyWhenSwitchedOn() {
        gAutoSize = false;
        QWidget form;
        form.resize(600, 400);
        auto* text = new QLineEdit(&form);
        text->setObjectName(QStringLiteral("txtName"));
        text->setGeometry(320, 40, 150, 24);
        AutoSizeForm(&form, QSize(1024, 768));
        AutoSizeForm(&form);
        QCOMPARE(form.size(), QSize(600, 400));
        QCOMPARE(text->geometry(), QRect(320, 40, 150, 24));
    }

    void controlTextOfEveryKind() {
        QWidget form;
        auto* edit = new QLineEdit(&form);
        auto* editable = new QComboBox(&form);
        editable->setEditable(true);
        editable->addItems({QStringLiteral("电工"), QStringLiteral("焊工")});
        auto* listOnly = new QComboBox(&form);
        listOnly->addItems({QStringLiteral("男"), QStringLiteral("女")});
        auto* memo = new QPlainTextEdit(&form);
        auto* rich = new QTextEdit(&form);
        auto* date = new QDateEdit(&form);
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        auto* number = new QSpinBox(&form);
        number->setRange(0, 999);
        auto* picker = new TextPicker;
        picker->setParent(&form);

        const QList<QPair<QWidget*, QString>> cases = {
            {edit, QStringLiteral("张三")},
            {editable, QStringLiteral("起重工")},
            {listOnly, QStringLiteral("女")},
            {memo, QStringLiteral("第一行\n第二行")},
            {rich, QStringLiteral("<b>不是标记</b>")},
            {date, QStringLiteral("2024-02-29")},
            {number, QStringLiteral("120")},
            {picker, QStringLiteral("2023-01-05")},
        };
        for (const auto& [control, text] : cases) {
            QVERIFY2(SetControlText(control, text), qPrintable(text));
            QCOMPARE(ControlText(control), text);
            SelectAllText(control);
        }
        QCOMPARE(date->date(), QDate(2024, 2, 29));
        QCOMPARE(number->value(), 120);
        QCOMPARE(selection(edit), QStringLiteral("张三"));
        QCOMPARE(selection(editable), QStringLiteral("起重工"));
        QCOMPARE(selection(date), QStringLiteral("2024-02-29"));
        QCOMPARE(selection(number), QStringLiteral("120"));
        QCOMPARE(memo->textCursor().selectedText(), QStringLiteral("第一行\u2029第二行"));
        QVERIFY(picker->selected);

        // Texts a control cannot take leave it as it was.
        QVERIFY(!SetControlText(listOnly, QStringLiteral("未知")));
        QCOMPARE(ControlText(listOnly), QStringLiteral("女"));
        QVERIFY(!SetControlText(number, QStringLiteral("abc")));
        QCOMPARE(number->value(), 120);
        QVERIFY(SetControlText(listOnly, QString()));
        QCOMPARE(listOnly->currentIndex(), -1);
        QVERIFY(!SetControlText(new QWidget(&form), QStringLiteral("x")));
    }

    void inputMethodOnAndOff() {
        QLineEdit id;
        id.setInputMethodHints(Qt::ImhDate);
        ImeOff(&id);
        QVERIFY(!id.testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(id.inputMethodHints() & Qt::ImhPreferLatin);
        QVERIFY(id.inputMethodHints() & Qt::ImhDate);
        ImeOn(&id);
        QVERIFY(id.testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(!(id.inputMethodHints() & Qt::ImhPreferLatin));
        QVERIFY(id.inputMethodHints() & Qt::ImhDate);
    }
};

QTEST_MAIN(BasSubTest)
#include "tst_bassub.moc"
