// Operator login on both engines: choosing a name, the password check, retries, help and leaving.
#include "basGlobal.h"
#include "basSub.h"
#include "fEnter.h"
#include "Passwords.h"
#include "ScriptedDialogs.h"
#include "StartUpHost.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

struct Host : StartUpHost {
    QString shown;
    void showOperator(const QString& name) override { shown = name; }
};

} // namespace

class LoginTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<Host> m_host;
    std::unique_ptr<fEnter> m_dialog;

    QComboBox* combo() const { return m_dialog->findChild<QComboBox*>(QStringLiteral("cboCZY")); }
    QLineEdit* password() const { return m_dialog->findChild<QLineEdit*>(QStringLiteral("txtId")); }
    QPushButton* button(const char* name) const {
        return m_dialog->findChild<QPushButton*>(QLatin1String(name));
    }

    void pick(const QString& name) {
        const int index = combo()->findText(name);
        QVERIFY2(index >= 0, qPrintable(name));
        combo()->setCurrentIndex(index);
        emit combo()->activated(index);
    }

    void confirm(const QString& typed) {
        password()->setText(typed);
        button("cmdOk")->click();
    }

private slots:
    void initTestCase_data() {
        TestDatabase::addEngineRows("engine");
    }

    void init() {
        QFETCH_GLOBAL(int, engine);
        m_config = std::make_unique<TempConfigDir>();
        m_db = TestDatabase::create(TestDatabase::Kind(engine));
        if (!m_db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        m_db->execAll({
            QStringLiteral("INSERT INTO Users (编号, 姓名, PWD) VALUES ('002', 'O''Neil', 'abc')"),
            QStringLiteral("INSERT INTO Users (编号, 姓名, PWD) VALUES ('003', NULL, 'x')"),
            QStringLiteral("INSERT INTO Users (编号, 姓名, PWD) VALUES ('004', '无密码', NULL)"),
            QStringLiteral("INSERT INTO Users (编号, 姓名, PWD) VALUES ('005', '大小写', 'Abc')"),
        });
        gConn.Open(m_db->connectionString());
        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gOperator.clear();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_host = std::make_unique<Host>();
        m_dialog = std::make_unique<fEnter>(m_host.get());
        m_dialog->show();
    }

    void cleanup() {
        m_dialog.reset();
        m_host.reset();
        m_dialogs.reset();
        gUsersRs.reset();
        gConn.Close();
        m_db.reset();
        m_config.reset();
    }

    void operatorsAreListedAndNoneIsChosen() {
        QStringList names;
        for (int i = 0; i < combo()->count(); ++i)
            names << combo()->itemText(i);
        QCOMPARE(names, QStringList({QStringLiteral("管理员"), QStringLiteral("O'Neil"),
                                     QStringLiteral("无密码"), QStringLiteral("大小写")}));
        QCOMPARE(combo()->currentIndex(), -1);
        QVERIFY(!combo()->isEditable());
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("系统登录"));
    }

    void choosingANameSearchesForIt() {
        // By keyboard, as an operator would.
        QTest::keyClick(combo(), Qt::Key_Down);
        QTest::keyClick(combo(), Qt::Key_Down);
        QCOMPARE(gUsersRs->Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("O'Neil"));

        combo()->addItem(QStringLiteral("查无此人")); // e.g. deleted meanwhile
        pick(QStringLiteral("查无此人"));
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("没有找到操作员!"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Critical);
        QCOMPARE(m_dialogs->beepCount(), 1);
        QVERIFY(!button("cmdOk")->isEnabled());

        pick(QStringLiteral("管理员"));
        QVERIFY(button("cmdOk")->isEnabled());
        QCOMPARE(gUsersRs->Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("管理员"));
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
    }

    void theLastOperatorHereIsProposed() {
        pick(QStringLiteral("大小写"));
        confirm(QStringLiteral("Abc"));
        QVERIFY(m_host->bEnter);

        // The next start: only the password is left to type.
        gUsersRs->MoveFirst(); // the proposal must move to the operator's row itself
        gOperator.clear();
        m_host->bEnter = false;
        fEnter next(m_host.get());
        next.show();
        QVERIFY(QTest::qWaitForWindowActive(&next));
        auto* nextCombo = next.findChild<QComboBox*>(QStringLiteral("cboCZY"));
        auto* nextPassword = next.findChild<QLineEdit*>(QStringLiteral("txtId"));
        QCOMPARE(nextCombo->currentText(), QStringLiteral("大小写"));
        QCOMPARE(QApplication::focusWidget(), nextPassword);
        QTest::keyClicks(nextPassword, QStringLiteral("Abc"));
        QTest::keyClick(nextPassword, Qt::Key_Return);
        QVERIFY(m_host->bEnter);
        QCOMPARE(gOperator, QStringLiteral("大小写"));

        // One who has been deleted since is not proposed.
        m_db->exec(QStringLiteral("DELETE FROM Users WHERE 姓名 = '大小写'"));
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        fEnter after(m_host.get());
        QCOMPARE(after.findChild<QComboBox*>(QStringLiteral("cboCZY"))->currentIndex(), -1);
        QCOMPARE(m_dialogs->msgBoxCount(), 0);
    }

    void emptyPasswordOnlyMovesTheFocus() {
        pick(QStringLiteral("管理员"));
        button("cmdHelp")->setFocus();
        button("cmdOk")->click();
        QCOMPARE(m_dialog->focusWidget(), password());
        QCOMPARE(m_dialogs->messages().size(), 0);
        QVERIFY(m_dialog->isVisible());
    }

    // Until the fifth in a row, after which each attempt waits (tst_operators).
    void wrongPasswordsAreRetried() {
        pick(QStringLiteral("管理员"));
        const QStringList attempts = {QStringLiteral("735"), QStringLiteral("7360"), QStringLiteral("736 "),
                                      QStringLiteral("密码")};
        for (const QString& attempt : attempts) {
            confirm(attempt);
            QVERIFY(m_dialog->isVisible());
            QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("密码错误!"));
            QCOMPARE(m_dialogs->lastMessage().icon, vb::Critical);
            QCOMPARE(password()->selectedText(), attempt);
            QCOMPARE(m_dialog->focusWidget(), password());
        }
        QCOMPARE(m_dialogs->beepCount(), attempts.size());
        QVERIFY(!m_host->bEnter);
        QVERIFY(gOperator.isEmpty());

        confirm(QStringLiteral("736"));
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QVERIFY(m_host->bEnter);
        QVERIFY(!m_host->bUnload);
        QCOMPARE(gOperator, QStringLiteral("管理员"));
        QCOMPARE(m_host->shown, QStringLiteral("管理员"));
        QCOMPARE(gUsersRs->Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("管理员"));
        QVERIFY(m_dialog->usedDeliveredPassword());
    }

    void passwordsCompareExactlyAndNullNeverMatches() {
        pick(QStringLiteral("大小写"));
        confirm(QStringLiteral("abc"));
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("密码错误!"));
        pick(QStringLiteral("无密码"));
        confirm(QStringLiteral("x"));
        QCOMPARE(m_dialogs->msgBoxCount(), 2);
        QVERIFY(!m_host->bEnter);
    }

    void confirmingWithoutAChosenOperatorIsRefused() {
        confirm(QStringLiteral("736"));
        QCOMPARE(m_dialogs->msgBoxCount(), 1); // reported, not logged in as whichever row is current
        QVERIFY(m_dialog->isVisible());
        QVERIFY(!m_host->bEnter);
    }

    // O'Neil's row still holds its password readable, as an older database would.
    void nameWithAQuoteLogsInAndAReadablePasswordIsHashedThen() {
        pick(QStringLiteral("O'Neil"));
        QVERIFY(button("cmdOk")->isEnabled());
        confirm(QStringLiteral("abc"));
        QCOMPARE(m_dialogs->msgBoxCount(), 0);
        QVERIFY(m_host->bEnter);
        QCOMPARE(gOperator, QStringLiteral("O'Neil"));
        QVERIFY(!m_dialog->usedDeliveredPassword());

        Recordset stored;
        stored.Open(QStringLiteral("SELECT PWD FROM Users WHERE 编号 = '002'"), gConn);
        const QVariant hash = stored.Fields(0).Value();
        QVERIFY(isPasswordHash(hash.toString()));
        QVERIFY(passwordMatches(hash, QStringLiteral("abc")));
        // The next login opens the hash with the same password.
        m_dialog = std::make_unique<fEnter>(m_host.get());
        pick(QStringLiteral("O'Neil"));
        confirm(QStringLiteral("abc"));
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QCOMPARE(m_dialogs->msgBoxCount(), 0);

        Recordset trail;
        trail.Open(
            QStringLiteral("SELECT 操作员, 操作, 字段 FROM AuditLog WHERE 关键字 = 'O''Neil' ORDER BY 编号"),
            gConn);
        QStringList rows;
        for (; !trail.IsEOF(); trail.MoveNext())
            rows << trail.Fields(0).Value().toString() + trail.Fields(1).Value().toString() +
                        trail.Fields(2).Value().toString();
        QCOMPARE(rows, QStringList({QStringLiteral("O'Neil修改PWD"), QStringLiteral("O'Neil登录"),
                                    QStringLiteral("O'Neil登录")}));
    }

    void enterInThePasswordBoxConfirms() {
        pick(QStringLiteral("管理员"));
        QTest::keyClicks(password(), QStringLiteral("736"));
        QTest::keyClick(password(), Qt::Key_Return);
        QVERIFY(m_host->bEnter);
        QVERIFY(!m_dialog->isVisible());
    }

    void helpTogglesTheHintAndEscDoesTheSame() {
        QCOMPARE(m_dialog->height(), fEnter::kCollapsedTwips / 15);
        button("cmdHelp")->click();
        QCOMPARE(m_dialog->height(), fEnter::kExpandedTwips / 15);
        QCOMPARE(ControlTag(button("cmdHelp")), QStringLiteral("T"));
        button("cmdHelp")->click();
        QCOMPARE(m_dialog->height(), 149);
        QCOMPARE(ControlTag(button("cmdHelp")), QString());

        QTest::keyClick(password(), Qt::Key_Escape);
        QCOMPARE(m_dialog->height(), 261);
        QTest::keyClick(password(), Qt::Key_Escape);
        QCOMPARE(m_dialog->height(), 149);
        QVERIFY(m_dialog->isVisible()); // Esc never cancels the login
        QVERIFY(!m_host->bUnload);
    }

    void cancelEndsTheProgramTheCloseBoxDoesNot() {
        m_dialog->close();
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(!m_host->bUnload);
        QVERIFY(!m_host->bEnter);

        m_dialog->show();
        button("cmdCancel")->click();
        QVERIFY(!m_dialog->isVisible());
        QVERIFY(m_host->bUnload);
        QVERIFY(!m_host->bEnter);
    }
};

QTEST_MAIN(LoginTest)
#include "tst_login.moc"
