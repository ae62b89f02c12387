// Who may do what: the command line's login, rights read at each door (also when another desk
// changes them), print and export behind their right, the option lists, and the waits after failed
// logins.

#include "AuditLog.h"
#include "basGlobal.h"
#include "basSub.h"
#include "CommandLine.h"
#include "fEnter.h"
#include "fOptions.h"
#include "fPView.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "ModSql.h"
#include "OperatorAccess.h"
#include "Operators.h"
#include "OtherDesk.h"
#include "Passwords.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "ScriptedDialogs.h"
#include "ServerLibpq.h"
#include "StartUpHost.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Host : StartUpHost {
    void showOperator(const QString&) override {}
};

const QString kViewOnly = QStringLiteral("张三"); // may only look things up
const QString kClerk = QStringLiteral("李四");    // enters and prints, no administrator

} // namespace

class OperatorsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<QTemporaryDir> m_appDir;
    std::unique_ptr<TestDatabase> m_db;

    static bool onServer() {
        QFETCH_GLOBAL(int, engine);
        return engine == int(TestDatabase::Kind::Server);
    }

    qint64 count(const QString& sql) const {
        QSqlQuery q(gConn.database());
        return q.exec(sql) && q.next() ? q.value(0).toLongLong() : -1;
    }

    qint64 trailRows(const QString& action, const QString& key) const {
        return count(QStringLiteral("SELECT count(*) FROM AuditLog WHERE 操作 = '%1' AND 关键字 = '%2'")
                         .arg(action, key));
    }

    QString lastTrailValue(const QString& action) const {
        QSqlQuery q(gConn.database());
        q.exec(QStringLiteral("SELECT 新值 FROM AuditLog WHERE 操作 = '%1' ORDER BY 编号 DESC").arg(action));
        return q.next() ? q.value(0).toString() : QString();
    }

    QDateTime lastFailure() const {
        QSqlQuery q(gConn.database());
        q.exec(QStringLiteral("SELECT 时间 FROM AuditLog WHERE 操作 = '登录失败' ORDER BY 编号 DESC"));
        return q.next() ? QDateTime::fromString(q.value(0).toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                        : QDateTime();
    }

    bool changeOperator(const QString& name, const QString& right, bool granted) const {
        return OtherDesk::change(m_db->connectionString(), QStringLiteral("Users"), QStringLiteral("姓名"),
                                 name, right, granted);
    }

public:
    static void initMain() { OtherDesk::runErrandIfAsked(); }

private slots:
    void initTestCase_data() {
        QTest::addColumn<int>("engine");
        QTest::newRow("local") << int(TestDatabase::Kind::Local);
        QTest::newRow("server") << int(TestDatabase::Kind::Server);
    }

    void init() {
        QFETCH_GLOBAL(int, engine);
        m_config = std::make_unique<TempConfigDir>();
        m_appDir = std::make_unique<QTemporaryDir>();
        qputenv("ORVANTA_APP_DIR", m_appDir->path().toUtf8());
        m_db = TestDatabase::create(TestDatabase::Kind(engine));
        if (!m_db) QSKIP("no PostgreSQL test server (ORVANTA_TEST_PG)");
        m_db->execAll(
            {QStringLiteral("INSERT INTO Users (编号, 姓名, PWD, 资料录入, 人员查询, 打印操作) VALUES "
                            "('2', '%1', '%2', false, true, false), ('3', '%3', '%4', true, true, true)")
                 .arg(kViewOnly, hashPassword(QStringLiteral("zs")), kClerk,
                      hashPassword(QStringLiteral("ls")))});
        gConn.Open(m_db->connectionString());
    }

    void cleanup() {
        OnOperatorGone(nullptr);
        LogOut();
        gConn.Close();
        m_db.reset();
    }

    void waitsGrowAfterFiveFailures() {
        const QList<std::pair<int, int>> waits = {{0, 0}, {4, 0},    {5, 2},    {6, 4},
                                                  {7, 8}, {12, 256}, {13, 300}, {40, 300}};
        for (const auto& [failures, seconds] : waits)
            QCOMPARE(LoginGuard::waitAfter(failures), seconds);
    }

    void commandLineLoginWaitsAndASuccessResets() {
        QDateTime now;
        const auto clock = [&] { return now; };
        const auto login = [&](const QString& password) {
            return authenticateOperator(gConn.database(), kClerk, password, kEntryRight,
                                        QStringLiteral("测试"), clock);
        };
        for (int i = 0; i < 5; ++i)
            QCOMPARE(login(QStringLiteral("lz")), QStringLiteral("操作员 李四：密码错误!"));
        now = lastFailure();
        QCOMPARE(login(QStringLiteral("ls")),
                 QStringLiteral("操作员 李四：已连续 5 次登录失败，请 2 秒后再试。"));
        QCOMPARE(trailRows(AuditLog::kLoginFailed, kClerk), 5); // a refused wait is no attempt

        now = lastFailure().addSecs(2);
        QCOMPARE(login(QStringLiteral("lz")), QStringLiteral("操作员 李四：密码错误!"));
        now = lastFailure();
        QCOMPARE(LoginGuard::standing(gConn.database(), kClerk, clock).secondsToWait, 4);
        now = lastFailure().addSecs(4);
        QCOMPARE(login(QStringLiteral("ls")), QString());
        QCOMPARE(LoginGuard::standing(gConn.database(), kClerk, clock).failuresInARow, 0);
        QCOMPARE(
            authenticateOperator(gConn.database(), kViewOnly, QStringLiteral("zs"), kEntryRight, {}, clock),
            QStringLiteral("对不起，您无'资料录入'权限!请通过管理员为您设置该权限!"));
    }

    void loginWindowSaysHowLongToWait() {
        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        ScriptedDialogs dialogs;
        Host host;
        fEnter login(&host);
        int ahead = 0;
        login.setClock([&] { return lastFailure().addSecs(ahead); });
        auto* name = login.findChild<QComboBox*>(QStringLiteral("cboCZY"));
        name->setCurrentIndex(name->findText(kClerk));
        login.cboCZY_Click();
        auto* password = login.findChild<QLineEdit*>(QStringLiteral("txtId"));
        password->setText(QStringLiteral("lz"));
        for (int i = 0; i < 5; ++i)
            login.cmdOk_Click();
        QCOMPARE(dialogs.lastMessage().text,
                 QStringLiteral("密码错误!\n已连续 5 次登录失败，请 2 秒后再试。"));
        password->setText(QStringLiteral("ls"));
        login.cmdOk_Click();
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("已连续 5 次登录失败，请 2 秒后再试。"));
        QVERIFY(!host.bEnter);
        ahead = 2;
        login.cmdOk_Click();
        QVERIFY(host.bEnter);
        QCOMPARE(trailRows(AuditLog::kLoginFailed, kClerk), 5);
    }

    void commandLineModesNeedTheirOperator_data() {
        QTest::addColumn<QStringList>("mode");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        const QStringList list{"--list", "DangAnKu", "--out", "OUT"};
        const QStringList due{"--due-list", "--within", "30", "--out", "OUT"};
        QTest::newRow("list: administrator") << list << kAdministrator << "736" << 0;
        QTest::newRow("list: without the print right") << list << kViewOnly << "zs" << 1;
        QTest::newRow("list: nobody named") << list << ""
                                            << "" << 1;
        QTest::newRow("list: wrong password") << list << kAdministrator << "735" << 1;
        QTest::newRow("list: unknown operator") << list << "王五"
                                                << "736" << 1;
        QTest::newRow("due list: clerk") << due << kClerk << "ls" << 0;
        QTest::newRow("due list: without the print right") << due << kViewOnly << "zs" << 1;
        QTest::newRow("verify audit: clerk") << QStringList{"--verify-audit"} << kClerk << "ls" << 1;
        QTest::newRow("verify audit: administrator")
            << QStringList{"--verify-audit"} << kAdministrator << "736" << 0;
        QTest::newRow("import legacy: clerk")
            << QStringList{"--import-legacy", "crafted.mdb"} << kClerk << "ls" << 1;
        QTest::newRow("import roster: without the entry right")
            << QStringList{"--import-roster", "roster.csv", "--register", "DangAnKu"} << kViewOnly << "zs"
            << 1;
        QTest::newRow("upgrade schema: clerk") << QStringList{"--upgrade-schema"} << kClerk << "ls" << 1;
    }
    void commandLineModesNeedTheirOperator() {
        QFETCH(QStringList, mode);
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(int, status);
        const QString out = QDir(m_appDir->path()).filePath(QStringLiteral("out.csv"));
        mode.replaceInStrings(QStringLiteral("OUT"), out);
        QStringList arguments = QStringList{QStringLiteral("orvanta")} + mode;
        arguments << (onServer() ? QStringList{QStringLiteral("--server"), serverLibpq(*m_db, kDeskRole)}
                                 : QStringList{QStringLiteral("--database"), m_db->localPath()});
        if (!name.isEmpty()) arguments << operatorArguments(m_appDir->path(), name, password);
        gConn.Close();
        QCOMPARE(runCommand(arguments).value_or(-1), status);
        QCOMPARE(QFile::exists(out), status == 0 && mode.contains(out));
        gConn.Close();
        gConn.Open(m_db->connectionString());
        if (mode.contains(out) && status == 0)
            QVERIFY(lastTrailValue(AuditLog::kExport).endsWith(QStringLiteral("文件 ") + out));
    }

    // A right taken away at another desk bites at the next action here; an operator deleted there
    // is told and logged out.
    void rightsAreReadAtEveryDoor() {
        LogInAs(kClerk);
        ScriptedDialogs dialogs;
        QVERIFY(CheckRight(kEntryRight));
        QVERIFY(changeOperator(kClerk, kEntryRight, false));
        QVERIFY(!CheckRight(kEntryRight));
        QCOMPARE(dialogs.lastMessage().text,
                 QStringLiteral("对不起，您无'资料录入'权限!请通过管理员为您设置该权限!"));
        QVERIFY(!CheckRight(QStringLiteral("没有的权限")));

        bool loggedOut = false;
        OnOperatorGone([&] { loggedOut = true; });
        QVERIFY(OtherDesk::remove(m_db->connectionString(), QStringLiteral("Users"), QStringLiteral("姓名"),
                                  kClerk));
        QVERIFY(!CheckRight(kQueryRight));
        QVERIFY(loggedOut);
        QCOMPARE(dialogs.lastMessage().text,
                 QStringLiteral("操作员 '李四' 已被删除，不能再继续操作，系统将退出。"));
        QVERIFY(gOperator.isEmpty());
    }

    void printAndExportNeedThePrintRightAndAreRecorded() {
        LogInAs(kViewOnly);
        fPView* view = fPView::instance();
        view->setStitle(QStringLiteral("证书资料"));
        auto records = std::make_shared<Recordset>();
        records->Open(QStringLiteral("Users"), gConn);
        view->doFill(true, records);
        const QString file = QDir(m_appDir->path()).filePath(QStringLiteral("users.csv"));
        {
            ScriptedDialogs dialogs;
            view->cmdPrV_Click();
            view->cmdPrint_Click();
            view->DoSelPrint(true);
            view->CmdToOut_Click();
            QCOMPARE(dialogs.msgBoxCount(), 4);
            QCOMPARE(dialogs.lastMessage().text,
                     QStringLiteral("对不起，您无'打印操作'权限!请通过管理员为您设置该权限!"));
            QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).size() +
                         dialogs.calls(ScriptedDialogs::Kind::Save).size(),
                     0);
        }
        QVERIFY(changeOperator(kViewOnly, kPrintRight, true));
        ScriptedDialogs dialogs;
        dialogs.answerSave(SaveChoice{file, 1});
        view->CmdToOut_Click();
        QVERIFY(QFile::exists(file));
        QCOMPARE(lastTrailValue(AuditLog::kExport), QStringLiteral("3 行，文件 ") + file);
        dialogs.answerPreview(QDir(m_appDir->path()).filePath(QStringLiteral("preview.pdf")));
        view->cmdPrV_Click();
        QCOMPARE(lastTrailValue(AuditLog::kPrint), QStringLiteral("3 行，预览"));
        view->close();
    }

    void optionListsNeedTheEntryRightAndEmptyingAsks() {
        const qint64 options = count(QStringLiteral("SELECT count(*) FROM List"));
        LogInAs(kViewOnly);
        {
            QPointer<fOptions> form = fOptions::instance();
            QVERIFY(!form->findChild<QPushButton*>(QStringLiteral("cmdAllDel"))->isEnabled());
            QVERIFY(!form->findChild<QPushButton*>(QStringLiteral("cmdAdd"))->isEnabled());
            ScriptedDialogs dialogs;
            form->cmdAllDel_Click(); // reached anyhow, it is still refused
            QCOMPARE(dialogs.lastMessage().text,
                     QStringLiteral("对不起，您无'资料录入'权限!请通过管理员为您设置该权限!"));
            delete form.data();
        }
        LogOut();
        LogInAs(kClerk);
        QPointer<fOptions> form = fOptions::instance();
        ScriptedDialogs dialogs;
        dialogs.answerMsgBox(vb::No);
        form->cmdAllDel_Click();
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("确实要删除全部备选项目吗?"));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM List")), options);
        dialogs.answerMsgBox(vb::Yes);
        form->cmdAllDel_Click();
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM List")), 0);
        delete form.data();
    }
};

QTEST_MAIN(OperatorsTest)
#include "tst_operators.moc"
