// Entry forms on a shared database, on both engines: what the operator sees is what is written or
// deleted, and what another desk stored is never overwritten unseen. The other desk is another
// process; what is stored is read on a connection of its own.
#include "basGlobal.h"
#include "DatePicker.h"
#include "DbConditions.h"
#include "f1CZZ.h"
#include "f1ZS.h"
#include "fPView.h"
#include "ListView.h"
#include "Operators.h"
#include "OtherDesk.h"
#include "PhotoBox.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>

namespace {

const QString kChangedElsewhere =
    QStringLiteral("该记录已被其他用户修改。选‘是’用您输入的内容覆盖，选‘否’放弃您的修改并显示最新内容");

QByteArray pngBytes() {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class DesksTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    Connection m_check;
    EntryForm* m_form = nullptr;
    QString m_table;

    bool prepare(const QString& table, const QStringList& rows) {
        QFETCH(int, kind);
        m_db = TestDatabase::create(TestDatabase::Kind(kind));
        if (!m_db) return false;
        m_table = table;
        QStringList statements;
        for (const QString& values : rows)
            statements << QStringLiteral("INSERT INTO %1 (证号, 姓名) VALUES %2").arg(table, values);
        if (!statements.isEmpty()) m_db->execAll(statements);
        gConn.Open(m_db->connectionString());
        LogInAs();
        m_check.Open(m_db->connectionString());
        return true;
    }

    void openForm(EntryForm* form) {
        m_form = form;
        m_form->show();
        QApplication::setActiveWindow(m_form);
        QVERIFY(QTest::qWaitForWindowActive(m_form));
    }

    template <class T = QLineEdit> T* child(const char* name) {
        T* w = m_form->findChild<T*>(QString::fromLatin1(name));
        if (!w) qFatal("no control %s", name);
        return w;
    }
    QPushButton* button(const char* name) { return child<QPushButton>(name); }
    QString shown(const char* name = "txtBanHao") { return child(name)->text(); }

    QVariant stored(const QString& key, const QString& column) {
        Recordset rs;
        rs.Open(Statement{QStringLiteral("check"),
                          QStringLiteral("SELECT * FROM %1 WHERE 证号 = ?").arg(m_table),
                          {key}},
                m_check);
        if (rs.IsEOF()) return QStringLiteral("<missing>");
        return rs.Fields(column).Value();
    }
    qint64 storedCount() {
        Recordset rs;
        rs.Open(m_table, m_check);
        return rs.RecordCount();
    }
    void store(const QString& key, const QString& column, const QVariant& value) {
        Recordset rs;
        rs.Open(m_table, m_check, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.Find(QStringLiteral("证号 = ") + QuoteLiteral(key));
        rs.Fields(column).setValue(value);
        rs.Update();
    }
    bool otherDeskChanges(const QString& key, const QString& column, const QVariant& value) {
        return OtherDesk::change(m_db->connectionString(), m_table, QStringLiteral("证号"), key, column,
                                 value);
    }
    // Clicks at the end of a box and types there, key by key.
    void typeInto(const char* name, const QString& text) {
        QLineEdit* box = child(name);
        QApplication::setActiveWindow(m_form);
        QTest::mouseClick(box, Qt::LeftButton);
        QTest::keyClick(box, Qt::Key_End);
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
    }
    void locate(const QString& key) {
        QVERIFY(m_form->bFind(key));
        m_form->Splash();
    }

    void engines() {
        TestDatabase::addEngineRows("kind");
    }

public:
    static void initMain() { OtherDesk::runErrandIfAsked(); }

private slots:
    void init() {
        m_config = std::make_unique<TempConfigDir>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }

    void cleanup() {
        delete f1ZS::instance();
        delete f1CZZ::instance();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        fPView::instance()->hide();
        fPView::instance()->rFill.reset();
        fPView::instance()->Lvw->setSorted(false);
        fPView::instance()->Lvw->setSortOrder(Qt::AscendingOrder);
        m_check.Close();
        gConn.Close();
        m_dialogs.reset();
        m_db.reset();
        m_config.reset();
    }

#define PREPARE_OR_SKIP(table, rows)                                                                         \
    if (!prepare(table, rows)) QSKIP("no test server: ORVANTA_TEST_PG is not set");

    void listThenEditOrDeleteActsOnTheRowShown_data() {
        engines();
    }
    void listThenEditOrDeleteActsOnTheRowShown() {
        QStringList rows;
        for (int i = 1; i <= 150; ++i)
            rows << QStringLiteral("('K%1', 'N%1')").arg(i, 3, 10, QLatin1Char('0'));
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {rows.join(QLatin1Char(','))});
        openForm(f1ZS::instance());
        QCOMPARE(shown(), QStringLiteral("K001"));

        // The list pages the form's own set; the form shows the list's current row.
        button("cmdList")->click();
        QTRY_COMPARE(shown(), QStringLiteral("K001"));
        fPView::instance()->cmdNext_Click();
        QTRY_COMPARE(shown(), QStringLiteral("K101"));
        button("cmdEdit")->click();
        child("txtMingCheng")->setText(QStringLiteral("改101"));
        button("cmdEdit")->click();
        QCOMPARE(stored(QStringLiteral("K101"), QStringLiteral("姓名")).toString(), QStringLiteral("改101"));
        QCOMPARE(stored(QStringLiteral("K001"), QStringLiteral("姓名")).toString(), QStringLiteral("N001"));

        // Paged again, and deleted before the form could follow: the row shown goes, no other.
        fPView::instance()->cmdPre_Click();
        m_dialogs->answerMsgBox(vb::Yes);
        button("cmdDelete")->click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("是否真的删除 'K101'"));
        QCOMPARE(stored(QStringLiteral("K101"), QStringLiteral("姓名")).toString(),
                 QStringLiteral("<missing>"));
        QCOMPARE(stored(QStringLiteral("K150"), QStringLiteral("姓名")).toString(), QStringLiteral("N150"));
        QCOMPARE(storedCount(), 149);
        QCOMPARE(shown(), QStringLiteral("K102"));
    }

    void takenKeyOnEditIsRefusedWithoutRenumbering_data() {
        engines();
    }
    void takenKeyOnEditIsRefusedWithoutRenumbering() {
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲'), ('2006-001', '乙')")});
        openForm(f1ZS::instance());
        locate(QStringLiteral("2006-001"));
        const double counter = m_form->nMaxNum();
        button("cmdEdit")->click();
        child("txtBanHao")->setText(QStringLiteral("1"));
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("重复的记录,请检查原因!"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Exclamation);
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("确定 &O")); // still editing what was typed
        QCOMPARE(shown(), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("2006-001"), QStringLiteral("姓名")).toString(), QStringLiteral("乙"));
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("姓名")).toString(), QStringLiteral("甲"));
        QCOMPARE(storedCount(), 2);
        QCOMPARE(m_form->nMaxNum(), counter);
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号")), QString());

        child("txtBanHao")->setText(QStringLiteral("2006-002"));
        button("cmdEdit")->click();
        QCOMPARE(stored(QStringLiteral("2006-002"), QStringLiteral("姓名")).toString(), QStringLiteral("乙"));
        QCOMPARE(storedCount(), 2);
    }

    void editChangedElsewhereAsksBeforeOverwriting_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("theirs");
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}}) {
            QTest::addRow("%s, name", engine)
                << int(kind) << QStringLiteral("姓名") << QVariant(QStringLiteral("他台"));
            QTest::addRow("%s, photo", engine) << int(kind) << QStringLiteral("照片") << QVariant(pngBytes());
        }
    }
    void editChangedElsewhereAsksBeforeOverwriting() {
        QFETCH(QString, column);
        QFETCH(QVariant, theirs);
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        openForm(f1ZS::instance());

        // No: nothing of ours is written, and what the other desk stored is shown.
        button("cmdEdit")->click();
        child("txtBeiZhu")->setText(QStringLiteral("本台"));
        QVERIFY(otherDeskChanges(QStringLiteral("1"), column, theirs));
        m_dialogs->answerMsgBox(vb::No);
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->lastMessage().text, kChangedElsewhere);
        QCOMPARE(m_dialogs->lastMessage().buttons, vb::YesNo);
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Exclamation);
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
        QCOMPARE(stored(QStringLiteral("1"), column), theirs);
        QVERIFY(stored(QStringLiteral("1"), QStringLiteral("备注")).toString().isEmpty());
        QCOMPARE(shown("txtBeiZhu"), QString());
        if (column == QStringLiteral("姓名"))
            QCOMPARE(shown("txtMingCheng"), QStringLiteral("他台"));
        else
            QVERIFY(child<PhotoBox>("imgZhaoPian")->hasPicture());

        // Yes: what was typed goes over the row as it is stored now.
        button("cmdEdit")->click();
        child("txtBeiZhu")->setText(QStringLiteral("再次"));
        QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("他台备注")));
        m_dialogs->answerMsgBox(vb::Yes);
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 2);
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(), QStringLiteral("再次"));
        QCOMPARE(stored(QStringLiteral("1"), column), theirs);
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
    }

    void yesReplacesOnlyTheVersionAskedAbout_data() {
        engines();
    }
    void yesReplacesOnlyTheVersionAskedAbout() {
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        openForm(f1ZS::instance());
        button("cmdEdit")->click();
        child("txtBeiZhu")->setText(QStringLiteral("本台"));
        QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("他台一")));
        // The other desk stores again while the question stands: "yes" was not said to that.
        m_dialogs->whileNextMsgBox([&] {
            QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("他台二")));
        });
        m_dialogs->answerMsgBox(vb::Yes);
        m_dialogs->answerMsgBox(vb::No);
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 2);
        QCOMPARE(m_dialogs->lastMessage().text,
                 kChangedElsewhere +
                     QStringLiteral("\n\n以下项目您和其他用户都修改了，选‘是’将保存您的内容：\n"
                                    "备注：其他用户改为“他台二”，您改为“本台”"));
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(), QStringLiteral("他台二"));
        QCOMPARE(shown("txtBeiZhu"), QStringLiteral("他台二"));
    }

    void noShowsWhatIsStoredWhenAnswered_data() {
        engines();
    }
    void noShowsWhatIsStoredWhenAnswered() {
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        openForm(f1ZS::instance());
        button("cmdEdit")->click();
        child("txtBeiZhu")->setText(QStringLiteral("本台"));
        QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("他台一")));
        m_dialogs->whileNextMsgBox([&] {
            QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("他台二")));
        });
        m_dialogs->answerMsgBox(vb::No);
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        QCOMPARE(shown("txtBeiZhu"), QStringLiteral("他台二"));
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
    }

    // Another desk holds the local file longer than the engine waits: the operator is told in the
    // system's words, nothing is stored, and what was typed stays for the retry.
    void fileHeldByAnotherDeskRefusesTheEdit_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("local") << int(TestDatabase::Kind::Local);
    }
    void fileHeldByAnotherDeskRefusesTheEdit() {
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        openForm(f1ZS::instance());
        button("cmdEdit")->click();
        child("txtBeiZhu")->setText(QStringLiteral("本台"));
        QSqlQuery hold(m_check.database());
        QVERIFY(hold.exec(QStringLiteral("BEGIN EXCLUSIVE")));
        button("cmdEdit")->click();
        // Met first by the check of the operator's right, before anything is written.
        QVERIFY(m_dialogs->lastMessage().text.startsWith(conditionMessage(DbCondition::Busy)));
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("确定 &O"));
        QCOMPARE(shown("txtBeiZhu"), QStringLiteral("本台"));
        QVERIFY(hold.exec(QStringLiteral("COMMIT")));
        QVERIFY(stored(QStringLiteral("1"), QStringLiteral("备注")).toString().isEmpty());

        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(), QStringLiteral("本台"));
    }

    // A trigger or check of the database refuses the save or the delete: told in the system's
    // words with the engine's in brackets; nothing changes, and what was typed stays.
    void refusalByTheDatabaseIsTold_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("deleting");
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}}) {
            QTest::addRow("%s, save", engine) << int(kind) << false;
            QTest::addRow("%s, delete", engine) << int(kind) << true;
        }
    }
    void refusalByTheDatabaseIsTold() {
        QFETCH(int, kind);
        QFETCH(bool, deleting);
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        if (TestDatabase::Kind(kind) == TestDatabase::Kind::Local)
            m_db->execAll({QStringLiteral("CREATE TRIGGER refuse_edit BEFORE UPDATE ON DangAnKu BEGIN "
                                          "SELECT RAISE(ABORT, 'record is locked by the office'); END"),
                           QStringLiteral("CREATE TRIGGER refuse_delete BEFORE DELETE ON DangAnKu BEGIN "
                                          "SELECT RAISE(ABORT, 'record is locked by the office'); END")});
        else
            m_db->execAll({QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$ "
                                          "BEGIN RAISE EXCEPTION 'record is locked by the office'; END $$"),
                           QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE OR DELETE ON DangAnKu "
                                          "FOR EACH ROW EXECUTE FUNCTION refuse()")});
        openForm(f1ZS::instance());
        if (deleting) {
            m_dialogs->answerMsgBox(vb::Yes);
            button("cmdDelete")->click();
        } else {
            button("cmdEdit")->click();
            typeInto("txtBeiZhu", QStringLiteral("本台"));
            button("cmdEdit")->click();
        }
        const auto told = m_dialogs->lastMessage();
        QVERIFY2(told.text.startsWith(conditionMessage(DbCondition::Refused) + QStringLiteral("（")) &&
                     told.text.contains(QStringLiteral("record is locked by the office")) &&
                     told.text.endsWith(QStringLiteral("）")),
                 qPrintable(told.text));
        QCOMPARE(told.icon, vb::Exclamation);
        QCOMPARE(storedCount(), 1);
        QVERIFY(stored(QStringLiteral("1"), QStringLiteral("备注")).toString().isEmpty());
        QCOMPARE(shown(), QStringLiteral("1"));
        if (!deleting) {
            QCOMPARE(button("cmdEdit")->text(), QStringLiteral("确定 &O"));
            QCOMPARE(shown("txtBeiZhu"), QStringLiteral("本台"));
        }
    }

    // A database that refused a save as read-only is opened again by the next action: once it
    // may be written (here: the session's read-only switch, gone with the session), 确定 stores.
    void databaseWritableAgainIsNoticed_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("local") << int(TestDatabase::Kind::Local);
    }
    void databaseWritableAgainIsNoticed() {
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        openForm(f1ZS::instance());
        QVERIFY(QSqlQuery(gConn.database()).exec(QStringLiteral("PRAGMA query_only = 1")));
        button("cmdEdit")->click();
        typeInto("txtBeiZhu", QStringLiteral("本台"));
        button("cmdEdit")->click();
        QVERIFY2(m_dialogs->lastMessage().text.startsWith(conditionMessage(DbCondition::ReadOnly)),
                 qPrintable(m_dialogs->lastMessage().text));
        QCOMPARE(shown("txtBeiZhu"), QStringLiteral("本台"));
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(), QStringLiteral("本台"));
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
    }

    void deleteOfARowChangedOrDeletedElsewhereIsRefused_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("deletedThere");
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}}) {
            QTest::addRow("%s, changed", engine) << int(kind) << false;
            QTest::addRow("%s, deleted", engine) << int(kind) << true;
        }
    }
    void deleteOfARowChangedOrDeletedElsewhereIsRefused() {
        QFETCH(bool, deletedThere);
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲'), ('2', '乙')")});
        openForm(f1ZS::instance());
        if (deletedThere)
            QVERIFY(OtherDesk::remove(m_db->connectionString(), m_table, QStringLiteral("证号"),
                                      QStringLiteral("1")));
        else
            QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("姓名"), QStringLiteral("他台")));
        m_dialogs->answerMsgBox(vb::Yes);
        button("cmdDelete")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 2);
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("该记录已被其他用户修改或删除，没有删除。"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Exclamation);
        QCOMPARE(storedCount(), deletedThere ? 1 : 2);
        QCOMPARE(stored(QStringLiteral("2"), QStringLiteral("姓名")).toString(), QStringLiteral("乙"));
        QCOMPARE(shown(), deletedThere ? QStringLiteral("2") : QStringLiteral("1"));
        QCOMPARE(shown("txtMingCheng"), deletedThere ? QStringLiteral("乙") : QStringLiteral("他台"));
    }

    void editOfARowDeletedElsewhereKeepsWhatWasTyped_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("storeAsNew");
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}}) {
            QTest::addRow("%s, stored as new", engine) << int(kind) << true;
            QTest::addRow("%s, discarded", engine) << int(kind) << false;
        }
    }
    void editOfARowDeletedElsewhereKeepsWhatWasTyped() {
        QFETCH(bool, storeAsNew);
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲'), ('7', '乙')")});
        store(QStringLiteral("1"), QStringLiteral("照片"), pngBytes());
        store(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("原备注"));
        openForm(f1ZS::instance());
        button("cmdEdit")->click();
        typeInto("txtMingCheng", QStringLiteral("改"));
        QVERIFY(OtherDesk::remove(m_db->connectionString(), m_table, QStringLiteral("证号"),
                                  QStringLiteral("1")));
        m_dialogs->answerMsgBox(storeAsNew ? vb::Yes : vb::No);
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        QCOMPARE(m_dialogs->lastMessage().text,
                 QStringLiteral("该记录已被其他用户删除。选‘是’把您输入的内容存为一条新记录（编号 "
                                "8），选‘否’放弃您的修改。"));
        QCOMPARE(m_dialogs->lastMessage().buttons, vb::YesNo);
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
        QCOMPARE(stored(QStringLiteral("7"), QStringLiteral("姓名")).toString(), QStringLiteral("乙"));
        if (storeAsNew) {
            QCOMPARE(storedCount(), 2);
            QCOMPARE(stored(QStringLiteral("8"), QStringLiteral("姓名")).toString(), QStringLiteral("甲改"));
            QCOMPARE(stored(QStringLiteral("8"), QStringLiteral("备注")).toString(),
                     QStringLiteral("原备注"));
            QCOMPARE(stored(QStringLiteral("8"), QStringLiteral("照片")).toByteArray(), pngBytes());
            QCOMPARE(shown(), QStringLiteral("8"));
            QCOMPARE(m_form->nMaxNum(), 9.0);
        } else {
            QCOMPARE(storedCount(), 1);
            QCOMPARE(shown(), QStringLiteral("7"));
        }
    }

    // Another desk changed one field while this desk changed another, or the same one.
    void yesWritesOnlyTheFieldsChangedHere_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("theirColumn");
        QTest::addColumn<QString>("myControl");
        QTest::addColumn<QString>("myColumn");
        QTest::addColumn<QString>("named"); // what the question adds, empty when nothing is both
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}}) {
            QTest::addRow("%s, different fields", engine)
                << int(kind) << QStringLiteral("姓名") << QStringLiteral("txtBeiZhu")
                << QStringLiteral("备注") << QString();
            QTest::addRow("%s, the same field", engine)
                << int(kind) << QStringLiteral("姓名") << QStringLiteral("txtMingCheng")
                << QStringLiteral("姓名")
                << QStringLiteral("\n\n以下项目您和其他用户都修改了，选‘是’将保存您的内容：\n"
                                  "姓名：其他用户改为“他台”，您改为“甲本台”");
        }
    }
    void yesWritesOnlyTheFieldsChangedHere() {
        QFETCH(QString, theirColumn);
        QFETCH(QString, myControl);
        QFETCH(QString, myColumn);
        QFETCH(QString, named);
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        openForm(f1ZS::instance());
        button("cmdEdit")->click();
        typeInto(myControl.toLatin1().constData(), QStringLiteral("本台"));
        QVERIFY(otherDeskChanges(QStringLiteral("1"), theirColumn, QStringLiteral("他台")));
        m_dialogs->answerMsgBox(vb::Yes);
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        QCOMPARE(m_dialogs->lastMessage().text, kChangedElsewhere + named);
        const QString mine =
            (myColumn == QStringLiteral("姓名") ? QStringLiteral("甲") : QString()) + QStringLiteral("本台");
        QCOMPARE(stored(QStringLiteral("1"), myColumn).toString(), mine);
        if (theirColumn != myColumn)
            QCOMPARE(stored(QStringLiteral("1"), theirColumn).toString(), QStringLiteral("他台"));
        QCOMPARE(shown("txtMingCheng"), stored(QStringLiteral("1"), QStringLiteral("姓名")).toString());
        QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
    }

    // Texts longer than a box used to hold (import, another tool) are neither cut by an edit of
    // another field nor by a new record typed or pasted in full.
    void longTextsAreKeptWhole_data() {
        engines();
    }
    void longTextsAreKeptWhole() {
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲')")});
        const QString stored40k = QString(40000, QChar(0x5907));
        store(QStringLiteral("1"), QStringLiteral("备注"), stored40k);
        openForm(f1ZS::instance());
        QCOMPARE(shown("txtBeiZhu").size(), 40000);
        button("cmdEdit")->click();
        typeInto("txtMingCheng", QStringLiteral("改"));
        button("cmdEdit")->click();
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("姓名")).toString(), QStringLiteral("甲改"));
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(), stored40k);

        button("cmdNew")->click();
        typeInto("txtMingCheng", QStringLiteral("乙"));
        const QString pasted = QString(160000, QLatin1Char('x'));
        QApplication::clipboard()->setText(pasted);
        QTest::mouseClick(child("txtBeiZhu"), Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        button("cmdSave")->click();
        QCOMPARE(stored(QStringLiteral("2"), QStringLiteral("备注")).toString().size(), pasted.size());
    }

    // A box that holds less than the stored text: the text stays whole unless its own box is edited,
    // and then only with the operator's yes.
    void shortenedTextIsWrittenOnlyWhenAccepted_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("answer");
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}}) {
            QTest::addRow("%s, yes", engine) << int(kind) << int(vb::Yes);
            QTest::addRow("%s, no", engine) << int(kind) << int(vb::No);
        }
    }
    void shortenedTextIsWrittenOnlyWhenAccepted() {
        QFETCH(int, answer);
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲'), ('2', '乙')")});
        store(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("一二三四五六七八九十"));
        openForm(f1ZS::instance());
        child("txtBeiZhu")->setMaxLength(6);
        locate(QStringLiteral("2"));
        locate(QStringLiteral("1"));
        QCOMPARE(shown("txtBeiZhu"), QStringLiteral("一二三四五六"));
        button("cmdEdit")->click();
        typeInto("txtMingCheng", QStringLiteral("改"));
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 0);
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(),
                 QStringLiteral("一二三四五六七八九十"));

        button("cmdEdit")->click();
        QTest::mouseClick(child("txtBeiZhu"), Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        m_dialogs->answerMsgBox(answer);
        button("cmdEdit")->click();
        QCOMPARE(m_dialogs->lastMessage().text,
                 QStringLiteral(
                     "“备注”原有 10 个字，框内只显示了前 6 个字，保存后只留下框内的 5 个字。是否保存？"));
        if (answer == vb::Yes) {
            QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(),
                     QStringLiteral("一二三四五"));
            QCOMPARE(button("cmdEdit")->text(), QStringLiteral("修改 &E"));
        } else {
            QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(),
                     QStringLiteral("一二三四五六七八九十"));
            QCOMPARE(button("cmdEdit")->text(), QStringLiteral("确定 &O"));
            QCOMPARE(QApplication::focusWidget(), child("txtBeiZhu"));
        }
    }

    // The list window and the form show one current record, however the list moved.
    void formFollowsTheListsCurrentRow_data() {
        engines();
    }
    void formFollowsTheListsCurrentRow() {
        QStringList rows;
        for (int i = 1; i <= 150; ++i)
            rows << QStringLiteral("('K%1', 'N%1')").arg(i, 3, 10, QLatin1Char('0'));
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {rows.join(QLatin1Char(','))});
        openForm(f1ZS::instance());
        button("cmdList")->click();
        fPView* list = fPView::instance();
        QTRY_COMPARE(shown(), QStringLiteral("K001"));
        QApplication::setActiveWindow(list);
        QVERIFY(QTest::qWaitForWindowActive(list));
        QTableView* table = list->Lvw->reportView();
        const auto clickRow = [&](int row) {
            const QRect cell = table->visualRect(table->model()->index(row, 0));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        };
        clickRow(4);
        QTRY_COMPARE(shown(), QStringLiteral("K005"));
        QCOMPARE(QApplication::focusWidget(), table);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTRY_COMPARE(shown(), QStringLiteral("K006"));
        // A page on from the current row, and back from the last row the list scrolled to.
        list->cmdNext->click();
        QTRY_COMPARE(shown(), QStringLiteral("K106"));
        QCOMPARE(list->Lvw->rowCount(), 150);
        list->Lvw->scrollToTop(149);
        clickRow(149);
        QTRY_COMPARE(shown(), QStringLiteral("K150"));
        list->cmdPre->click();
        QTRY_COMPARE(shown(), QStringLiteral("K050"));
        QCOMPARE(list->Lvw->text(0), QStringLiteral("K001"));
        // Sorted the other way by the database, a row still stands for its own record.
        list->Lvw_ColumnClick(0);
        QCOMPARE(list->Lvw->text(0), QStringLiteral("K150"));
        clickRow(1);
        QTRY_COMPARE(shown(), QStringLiteral("K149"));
        // What the form then does, it does to the record the list showed it.
        button("cmdEdit")->click();
        typeInto("txtMingCheng", QStringLiteral("改"));
        button("cmdEdit")->click();
        QCOMPARE(stored(QStringLiteral("K149"), QStringLiteral("姓名")).toString(), QStringLiteral("N149改"));
        QCOMPARE(stored(QStringLiteral("K001"), QStringLiteral("姓名")).toString(), QStringLiteral("N001"));
    }

    void memoFillThatCannotBeStoredNeverBlocks_data() {
        engines();
    }
    void memoFillThatCannotBeStoredNeverBlocks() {
        PREPARE_OR_SKIP(QStringLiteral("CaoZuoZheng"), {QStringLiteral("('1', '甲'), ('2', '乙')")});
        openForm(f1CZZ::instance());
        QCOMPARE(child<QPlainTextEdit>("txtQiTa")->toPlainText(), QStringLiteral("甲")); // pending
        QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("姓名"), QStringLiteral("他台")));

        locate(QStringLiteral("2")); // the fill is dropped, the locate goes on
        QCOMPARE(m_form->rMain()->Fields(QStringLiteral("证号")).Value().toString(), QStringLiteral("2"));
        QCOMPARE(shown(), QStringLiteral("2"));
        QVERIFY(stored(QStringLiteral("1"), QStringLiteral("其它")).isNull());
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("姓名")).toString(), QStringLiteral("他台"));

        locate(QStringLiteral("1"));
        QCOMPARE(child<QPlainTextEdit>("txtQiTa")->toPlainText(), QStringLiteral("他台"));
        QVERIFY(otherDeskChanges(QStringLiteral("1"), QStringLiteral("备注"), QStringLiteral("改")));
        QVERIFY(!m_form->bFind(QStringLiteral("9"))); // not found means not found
        button("cmdNew")->click();
        child("txtMingCheng")->setText(QStringLiteral("丙"));
        button("cmdSave")->click();
        QCOMPARE(m_dialogs->msgBoxCount(), 0);
        QCOMPARE(stored(QStringLiteral("3"), QStringLiteral("姓名")).toString(), QStringLiteral("丙"));
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("备注")).toString(), QStringLiteral("改"));
    }

    void undecodablePhotoKeepsItsBytes_data() {
        engines();
    }
    void undecodablePhotoKeepsItsBytes() {
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {QStringLiteral("('1', '甲'), ('2', '乙')")});
        const QByteArray metafile = QByteArray::fromHex("d7cdc69a0000") + QByteArray(64, '\x01');
        store(QStringLiteral("1"), QStringLiteral("照片"), pngBytes());
        store(QStringLiteral("2"), QStringLiteral("照片"), metafile);
        openForm(f1ZS::instance());
        QVERIFY(child<PhotoBox>("imgZhaoPian")->hasPicture());

        locate(QStringLiteral("2"));
        auto* photo = child<PhotoBox>("imgZhaoPian");
        QVERIFY(!photo->hasPicture()); // never the previous record's picture
        QCOMPARE(photo->text(), QStringLiteral("无法显示照片"));
        button("cmdEdit")->click();
        child("txtBeiZhu")->setText(QStringLiteral("改"));
        button("cmdEdit")->click();
        QCOMPARE(stored(QStringLiteral("2"), QStringLiteral("备注")).toString(), QStringLiteral("改"));
        QCOMPARE(stored(QStringLiteral("2"), QStringLiteral("照片")).toByteArray(), metafile);
    }

    void typedDateIsStoredAsTyped_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("typed");
        for (const auto& [engine, kind] :
             {std::pair{"local", TestDatabase::Kind::Local}, std::pair{"server", TestDatabase::Kind::Server}})
            for (const char* typed : {"19991231", "1999-12-31", "1999.12.31"})
                QTest::addRow("%s, %s", engine, typed) << int(kind) << QString::fromLatin1(typed);
    }
    void typedDateIsStoredAsTyped() {
        QFETCH(QString, typed);
        PREPARE_OR_SKIP(QStringLiteral("DangAnKu"), {});
        openForm(f1ZS::instance());
        button("cmdNew")->click();
        child("txtMingCheng")->setText(QStringLiteral("甲"));
        auto* birth = child<DatePicker>("dtpChuSheng");
        birth->setNull();
        birth->setFocus();
        QTest::keyClicks(birth, typed);
        QCOMPARE(birth->value().toDate(), QDate(1999, 12, 31));
        button("cmdSave")->click();
        QCOMPARE(stored(QStringLiteral("1"), QStringLiteral("出生年月")).toDate(), QDate(1999, 12, 31));
        // No sex chosen: empty text, like every other empty box.
        const QVariant sex = stored(QStringLiteral("1"), QStringLiteral("性别"));
        QVERIFY(!sex.isNull());
        QCOMPARE(sex.toString(), QString());
    }
};

QTEST_MAIN(DesksTest)
#include "tst_desks.moc"
