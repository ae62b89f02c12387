// Start-up database opening: print settings, choosing the file or server, retries, version check.
// The connection failure counter lives for the whole run, so the test that meets the first
// failure is declared first.
#include "DatabaseGlobals.h"
#include "DbConditions.h"
#include "ModSql.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "StatusPanel.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QStringEncoder>
#include <QTest>

class OpenDatabaseTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_appDir;
    std::unique_ptr<TempConfigDir> m_config;

    QString appFile(const QString& name) const { return QDir(m_appDir->path()).filePath(name); }

    void writeFile(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    void addDeliveredFiles() {
        QCOMPARE(createLocalDatabase(appFile(QStringLiteral("MoLian.mdb"))), QString());
        QCOMPARE(createPrintSettingsFile(appFile(QStringLiteral("print.dat"))), QString());
    }

    static QString local(const QString& path) {
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
               QStringLiteral(" ;Persist Security Info=False");
    }

private slots:
    void init() {
        m_appDir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<TempConfigDir>();
        qputenv("ORVANTA_APP_DIR", m_appDir->path().toUtf8());
        gConn.Close();
        gDbPath.clear();
        gConnStr.clear();
        gUseSqlServer = false;
        gUsersRs.reset();
        gListRs.reset();
        gSystemRs.reset();
        gPrintSetup.reset();
    }

    void unreadableFileRetriesSilentlyOnceThenAsks() {
        addDeliveredFiles();
        writeFile(appFile(QStringLiteral("MoLian.mdb")), QByteArray(8192, 'x')); // not a database
        ScriptedDialogs dialogs;
        dialogs.answerMsgBox(vb::Ignore); // back to the local file, which fails again
        dialogs.answerMsgBox(vb::Retry);
        dialogs.answerMsgBox(vb::Abort);
        QVERIFY(!OpenDatabase());
        const auto boxes = dialogs.calls(ScriptedDialogs::Kind::MsgBox);
        QCOMPARE(boxes.size(), 3);
        QVERIFY(boxes[0].text.startsWith(
            QStringLiteral("打开SqlServer数据库时发生错误，请按配置方法创建数据库，或按忽略连接本地数据"
                           "库'MoLian.mdb(必须将MoLian.mdb放在安装目录下)\n\n")));
        // What went wrong with the file itself, not with the silent attempt on the server.
        QVERIFY(boxes[0].text.contains(conditionMessage(DbCondition::NotThisSystem)));
        QCOMPARE(boxes[0].buttons, vb::AbortRetryIgnore);
        QVERIFY(boxes[0].defaultButton2); // Enter retries instead of ending the program
        QCOMPARE(boxes[0].icon, vb::Exclamation);
        QCOMPARE(gConnStr, local(appFile(QStringLiteral("MoLian.mdb"))));
        QVERIFY(!gUseSqlServer);
    }

    void deliveredDatabaseOpens() {
        addDeliveredFiles();
        ScriptedDialogs dialogs;
        QVERIFY(OpenDatabase());
        QCOMPARE(dialogs.msgBoxCount(), 0);
        QCOMPARE(gDbPath, appFile(QStringLiteral("MoLian.mdb")));
        QCOMPARE(gConnStr, local(gDbPath));
        QCOMPARE(gStatusPanel.text(), QStringLiteral("就绪"));
        QVERIFY(gPrintSetup && gPrintSetup->State() == ado::adStateOpen);
        QCOMPARE(gUsersRs->Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("管理员"));
        QVERIFY(gListRs->RecordCount() > 0);
        QCOMPARE(gListRs->Source(), QStringLiteral("list"));
    }

    void dataIniChoosesTheFile_data() {
        QTest::addColumn<QString>("encoding");
        QTest::newRow("utf-8") << QStringLiteral("UTF-8");
        QTest::newRow("gbk") << QStringLiteral("GB18030");
    }
    void dataIniChoosesTheFile() {
        QFETCH(QString, encoding);
        addDeliveredFiles();
        const QString folder = appFile(QStringLiteral("培训中心数据"));
        QVERIFY(QDir().mkpath(folder));
        const QString elsewhere = QDir(folder).filePath(QStringLiteral("证书.mdb"));
        QCOMPARE(createLocalDatabase(elsewhere), QString());
        QStringEncoder encoder(encoding.toLatin1().constData());
        QVERIFY(encoder.isValid());
        writeFile(appFile(QStringLiteral("data.ini")),
                  QByteArray(encoder.encode(elsewhere)) + "\r\nsecond line\r\n");
        ScriptedDialogs dialogs;
        QVERIFY(OpenDatabase());
        QCOMPARE(gDbPath, elsewhere);
    }

    void staleDataIniFallsBackThenAsks() {
        QCOMPARE(createPrintSettingsFile(appFile(QStringLiteral("print.dat"))), QString());
        writeFile(appFile(QStringLiteral("data.ini")), "/no/such/MoLian.mdb\n");
        const QString chosen = appFile(QStringLiteral("chosen.mdb"));
        QCOMPARE(createLocalDatabase(chosen), QString());
        ScriptedDialogs dialogs;
        dialogs.answerOpen(chosen);
        QVERIFY(OpenDatabase());
        const auto opens = dialogs.calls(ScriptedDialogs::Kind::Open);
        QCOMPARE(opens.size(), 1);
        QCOMPARE(opens[0].text, QStringLiteral("本系统数据库文件|MoLian.mdb|所有文件|*.*|"));
        QCOMPARE(gDbPath, chosen);

        gConn.Close();
        gDbPath.clear();
        QVERIFY(QFile::remove(chosen));
        dialogs.answerOpen(std::nullopt); // cancelling the search ends the start
        QVERIFY(!OpenDatabase());
        QCOMPARE(dialogs.msgBoxCount(), 0);
    }

    void missingPrintSettingsIsReportedAndStartGoesOn() {
        QCOMPARE(createLocalDatabase(appFile(QStringLiteral("MoLian.mdb"))), QString());
        ScriptedDialogs dialogs;
        QVERIFY(OpenDatabase());
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QCOMPARE(dialogs.lastMessage().text,
                 QStringLiteral("打印设置的保存文件") + AppPath() + QStringLiteral("print.dat不存在！"));
        QCOMPARE(dialogs.lastMessage().icon, vb::Exclamation);
        QVERIFY(!gPrintSetup);
    }

    void versionCheck_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("opens");
        QTest::newRow("2.0") << QStringLiteral("2.0") << true;
        QTest::newRow("2.1") << QStringLiteral("2.1") << true;
        QTest::newRow("1.9") << QStringLiteral("1.9") << false;
    }
    void versionCheck() {
        QFETCH(QString, version);
        QFETCH(bool, opens);
        addDeliveredFiles();
        Connection setup;
        setup.Open(local(appFile(QStringLiteral("MoLian.mdb"))));
        Recordset system;
        system.Open(QStringLiteral("System"), setup, ado::adOpenDynamic, ado::adLockOptimistic);
        system.Fields(QStringLiteral("Ver")).setValue(version.toDouble());
        system.Update();
        ScriptedDialogs dialogs;
        QCOMPARE(OpenDatabase(), opens);
        if (!opens) {
            QCOMPARE(dialogs.lastMessage().text, QStringLiteral("数据库已升级至2.0,请升级您的数据库!"));
            QCOMPARE(dialogs.lastMessage().icon, vb::Information);
        }
    }

    // A database made before the audit trail gets its table, and the next change is recorded.
    void olderDatabaseGetsTheAuditTable() {
        addDeliveredFiles();
        Connection setup;
        setup.Open(local(appFile(QStringLiteral("MoLian.mdb"))));
        QSqlQuery(setup.database()).exec(QStringLiteral("DROP TABLE AuditLog"));
        setup.Close();
        ScriptedDialogs dialogs;
        QVERIFY(OpenDatabase());
        QCOMPARE(dialogs.msgBoxCount(), 0);
        gUsersRs->Fields(QStringLiteral("Tag1")).setValue(false);
        gUsersRs->Update();
        Recordset trail;
        trail.Open(QStringLiteral("AuditLog"), gConn);
        QCOMPARE(trail.RecordCount(), 1);
        QCOMPARE(trail.Fields(QStringLiteral("字段")).Value().toString(), QStringLiteral("Tag1"));
    }

    void missingSystemTableIsReported() {
        addDeliveredFiles();
        Connection setup;
        setup.Open(local(appFile(QStringLiteral("MoLian.mdb"))));
        QSqlQuery(setup.database()).exec(QStringLiteral("DROP TABLE Users"));
        setup.Close();
        ScriptedDialogs dialogs;
        QVERIFY(!OpenDatabase());
        QCOMPARE(gStatusPanel.text(), QStringLiteral("打开数据时出错！"));
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QVERIFY(dialogs.lastMessage().text.startsWith(conditionMessage(DbCondition::NotThisSystem)));
        QVERIFY(dialogs.lastMessage().text.contains(QStringLiteral("no such table: Users")));
        QVERIFY(dialogs.lastMessage().text.endsWith(QStringLiteral("如有问题，请与程序开发商联系!")));
    }

    void serverNamePromptAndConnectionStrings() {
        addDeliveredFiles();
        gUseSqlServer = true;
        ScriptedDialogs dialogs;
        dialogs.answerInput(std::nullopt); // no name: tried with an empty one, nothing saved
        dialogs.answerMsgBox(vb::Abort);
        QVERIFY(!OpenDatabase());
        const auto inputs = dialogs.calls(ScriptedDialogs::Kind::Input);
        QCOMPARE(inputs.size(), 1);
        QCOMPARE(inputs[0].title, QStringLiteral("数据源设置"));
        QCOMPARE(inputs[0].defaultText, QStringLiteral("Server"));
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("Server")), QString());
        // After the run's first failure every failure asks, so gConnStr keeps the first string.
        QCOMPARE(gConnStr,
                 QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
                                "User ID=orvanta_desk;Initial Catalog=MoLian;Data Source="));
        QCOMPARE(
            serverFallbackConnectionString(QStringLiteral("srv")),
            QStringLiteral(
                "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=orvanta_desk;Initial Catalog=MoLian;"
                "Data Source=srv"));
    }

    void savedServerIsUsedWithoutPrompt() {
        const QString admin = qEnvironmentVariable("ORVANTA_TEST_PG");
        if (admin.isEmpty()) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        createServerSchema(admin, true); // the catalog MoLian may hold it already from an earlier run
        QString host, port;
        for (const QString& item : admin.split(QLatin1Char(' ')))
            if (item.startsWith(QLatin1String("host=")))
                host = item.mid(5);
            else if (item.startsWith(QLatin1String("port=")))
                port = item.mid(5);
        addDeliveredFiles();
        SaveSetting(ExeName(), QStringLiteral("System"), QStringLiteral("Server"),
                    host + QLatin1Char(',') + port);
        gUseSqlServer = true;
        ScriptedDialogs dialogs;
        QVERIFY(OpenDatabase());
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Input).size(), 0);
        QCOMPARE(gConn.engine(), Connection::Engine::Postgres);
        QVERIFY(gUsersRs->RecordCount() >= 1);

        // A desk whose login is no server role: the second string alone reaches MoLian as the desk role.
        const QByteArray savedUser = qgetenv("USER");
        qputenv("USER", "desk-without-role");
        const auto restoreUser = qScopeGuard([&] { qputenv("USER", savedUser); });
        Connection first, second;
        QVERIFY_THROWS_EXCEPTION(DbError, first.Open(serverConnectionString(host + QLatin1Char(',') + port)));
        second.Open(serverFallbackConnectionString(host + QLatin1Char(',') + port));
        QSqlQuery q(second.database());
        QVERIFY(q.exec(QStringLiteral("SELECT current_database(), current_user")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("MoLian"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("orvanta_desk"));
    }
};

QTEST_MAIN(OpenDatabaseTest)
#include "tst_opendatabase.moc"
