// How a workstation reaches the server: the server box takes a host and port only; each reason a
// login fails is told in its own words with the driver's text; the workstation role reads and writes
// the records but cannot change the trail or the schema; a schema older than the program is said.
#include "AuditLog.h"
#include "DatabaseGlobals.h"
#include "DbConditions.h"
#include "dialogs.h"
#include "ModSql.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "ScriptedDialogs.h"
#include "ServerLibpq.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

DbError openFailure(const QString& connectionString) {
    Connection conn;
    try {
        conn.Open(connectionString);
    } catch (const DbError& e) {
        return e;
    }
    return DbError(0, QString());
}

QString serverString(const TestDatabase& db, const QString& user, const QString& catalog = {}) {
    QString text = db.connectionString();
    text.replace(QStringLiteral("User ID=") + kDeskRole, QStringLiteral("User ID=") + user);
    if (!catalog.isEmpty())
        text.replace(QRegularExpression(QStringLiteral("Initial Catalog=[^;]*")),
                     QStringLiteral("Initial Catalog=") + catalog);
    return text;
}

} // namespace

class ServerAccessTest : public QObject {
    Q_OBJECT

private slots:
    void theServerBoxTakesAHostAndPortOnly_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("taken");
        QTest::newRow("host") << "dbserver" << true;
        QTest::newRow("host and port") << "db-1.office.local,5432" << true;
        QTest::newRow("address and port") << "192.168.1.10:5433" << true;
        QTest::newRow("a parameter after the name") << "dbserver;Password=secret" << false;
        QTest::newRow("a libpq parameter") << "dbserver sslmode=disable" << false;
        QTest::newRow("an equals sign") << "host=dbserver" << false;
        QTest::newRow("a port that is no number") << "dbserver,abc" << false;
        QTest::newRow("a leading dot") << ".dbserver" << false;
    }

    void theServerBoxTakesAHostAndPortOnly() {
        QFETCH(QString, typed);
        QFETCH(bool, taken);
        QCOMPARE(isServerAddress(typed), taken);
    }

    // Typed into the box, a name with a parameter is refused, asked again and never saved.
    void aRefusedNameIsAskedAgainAndNotSaved() {
        TempConfigDir config;
        QTemporaryDir appDir;
        qputenv("ORVANTA_APP_DIR", QFile::encodeName(appDir.path()));
        QCOMPARE(createPrintSettingsFile(appDir.filePath(QStringLiteral("print.dat"))), QString());
        gUseSqlServer = true;
        ScriptedDialogs dialogs;
        dialogs.answerInput(QStringLiteral("dbserver;Password=secret"));
        dialogs.answerInput(std::nullopt);
        dialogs.answerMsgBox(vb::OK);
        dialogs.answerMsgBox(vb::Abort);
        QVERIFY(!OpenDatabase());
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Input).size(), 2);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Input)[1].defaultText,
                 QStringLiteral("dbserver;Password=secret"));
        QVERIFY(dialogs.calls(ScriptedDialogs::Kind::MsgBox)[0].text.startsWith(
            QStringLiteral("服务器名称只能是")));
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("Server")), QString());
        QVERIFY(!gConnStr.contains(QStringLiteral("Password")));
        // A name edited by hand into the settings is refused the same way.
        SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("Server"),
                    QStringLiteral("db;Password=x"));
        dialogs.answerInput(std::nullopt);
        dialogs.answerMsgBox(vb::OK);
        dialogs.answerMsgBox(vb::Abort);
        QVERIFY(!OpenDatabase());
        QVERIFY(!gConnStr.contains(QStringLiteral("Password")));
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Input).size(), 3);
        gUseSqlServer = false;
        qunsetenv("ORVANTA_APP_DIR");
    }

    void theSslModeSettingTravelsWithTheStrings() {
        TempConfigDir config;
        QVERIFY(!serverConnectionString(QStringLiteral("db")).contains(QStringLiteral("SSL")));
        SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("SslMode"),
                    QStringLiteral("Require"));
        QVERIFY(serverConnectionString(QStringLiteral("db")).endsWith(QStringLiteral(";SSL Mode=require")));
        QVERIFY(serverFallbackConnectionString(QStringLiteral("db"))
                    .endsWith(QStringLiteral(";SSL Mode=require")));
        const DbError error =
            openFailure(QStringLiteral("Provider=SQLOLEDB.1;User ID=x;Initial Catalog=MoLian;"
                                       "Data Source=127.0.0.1,1;SSL Mode=always"));
        QCOMPARE(error.number, int(DbErrorCode::ConnectFailed));
        QVERIFY2(error.description.startsWith(QStringLiteral("sslmode 的值 'always' 不正确")),
                 qPrintable(error.description));
    }

    void eachLoginFailureHasItsOwnWords_data() {
        QTest::addColumn<QString>("driverText");
        QTest::addColumn<DbCondition>("condition");
        QTest::newRow("wrong password")
            << "connection to server at \"db\" (10.0.0.5), port 5432 failed: FATAL:  "
               "password authentication failed for user \"orvanta_desk\""
            << DbCondition::ServerPasswordWrong;
        QTest::newRow("no password") << "connection to server at \"db\", port 5432 failed: fe_sendauth: no "
                                        "password supplied"
                                     << DbCondition::ServerPasswordMissing;
        QTest::newRow("no such role")
            << "FATAL:  role \"orvanta_desk\" does not exist" << DbCondition::ServerRoleMissing;
        QTest::newRow("no such database")
            << "FATAL:  database \"MoLian\" does not exist" << DbCondition::ServerDatabaseMissing;
        QTest::newRow("not allowed, TLS only") << "FATAL:  no pg_hba.conf entry for host \"10.0.0.7\", user "
                                                  "\"orvanta_desk\", database \"MoLian\", no encryption"
                                               << DbCondition::ServerNotAllowed;
        QTest::newRow("no TLS on the server")
            << "server does not support SSL, but SSL was required" << DbCondition::ServerTlsUnavailable;
        QTest::newRow("not reachable")
            << "could not connect to server: Connection refused" << DbCondition::ServerUnreachable;
        QTest::newRow("unknown host")
            << "could not translate host name \"dbx\" to address" << DbCondition::ServerUnreachable;
    }

    void eachLoginFailureHasItsOwnWords() {
        QFETCH(QString, driverText);
        QFETCH(DbCondition, condition);
        QCOMPARE(serverLoginCondition(driverText), condition);
        const QString told = describeDbFailure(condition, driverText);
        QVERIFY(told.startsWith(conditionMessage(condition)));
        QVERIFY(told.endsWith(QStringLiteral("（") + driverText.simplified() + QStringLiteral("）")));
    }

    // The same failures provoked on the test server, as a workstation meets them.
    void theServerTellsWhyItRefused_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("catalog");
        QTest::addColumn<QString>("passwordFile"); // "wrong", "empty" or "" for the right one
        QTest::addColumn<QString>("sslMode");
        QTest::addColumn<DbCondition>("condition");
        QTest::newRow("wrong password") << kDeskRole << ""
                                        << "wrong"
                                        << "" << DbCondition::ServerPasswordWrong;
        QTest::newRow("no password") << kDeskRole << ""
                                     << "empty"
                                     << "" << DbCondition::ServerPasswordMissing;
        QTest::newRow("no such database") << kDeskRole << "nosuchdb"
                                          << ""
                                          << "" << DbCondition::ServerDatabaseMissing;
        QTest::newRow("TLS asked, none offered") << kDeskRole << ""
                                                 << ""
                                                 << "require" << DbCondition::ServerTlsUnavailable;
    }

    void theServerTellsWhyItRefused() {
        QFETCH(QString, user);
        QFETCH(QString, catalog);
        QFETCH(QString, passwordFile);
        QFETCH(QString, sslMode);
        QFETCH(DbCondition, condition);
        auto db = TestDatabase::create(TestDatabase::Kind::Server, false);
        if (!db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        QTemporaryDir dir;
        const QByteArray savedPassFile = qgetenv("PGPASSFILE");
        if (!passwordFile.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("pgpass")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (passwordFile == QLatin1String("wrong")) file.write("*:*:*:*:not-the-password\n");
            file.close();
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            qputenv("PGPASSFILE", QFile::encodeName(file.fileName()));
        }
        QString text = serverString(*db, user, catalog);
        if (!sslMode.isEmpty()) text += QStringLiteral(";SSL Mode=") + sslMode;
        const DbError error = openFailure(text);
        qputenv("PGPASSFILE", savedPassFile);
        QCOMPARE(error.number, int(DbErrorCode::ConnectFailed));
        QVERIFY2(error.description.startsWith(conditionMessage(condition)), qPrintable(error.description));
        QVERIFY2(error.description.endsWith(QStringLiteral("）")), qPrintable(error.description));
    }

    // The program works on the workstation role; the trail and the schema are out of its reach.
    void theWorkstationRoleHasOnlyWhatTheProgramNeeds() {
        auto db = TestDatabase::create(TestDatabase::Kind::Server);
        if (!db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        Connection desk;
        desk.Open(db->connectionString());
        QSqlQuery q(desk.database());
        QVERIFY(q.exec(QStringLiteral("SELECT current_user")) && q.next());
        QCOMPARE(q.value(0).toString(), kDeskRole);
        for (const QString& allowed :
             {QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('1', '甲')"),
              QStringLiteral("UPDATE DangAnKu SET 姓名 = '乙' WHERE 证号 = '1'"),
              QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = '1'"),
              QStringLiteral("INSERT INTO List (content, leixing) VALUES ('x', '职务')"),
              QStringLiteral("UPDATE Users SET 备注 = 'x'"), QStringLiteral("SELECT * FROM System"),
              QStringLiteral("SELECT * FROM AuditLog")})
            QVERIFY2(q.exec(allowed), qPrintable(allowed + q.lastError().text()));
        AuditLog::record(desk.database(), AuditLog::kLogin, QString(), QStringLiteral("管理员"));
        for (const QString& refused :
             {QStringLiteral("UPDATE AuditLog SET 操作员 = 'x'"), QStringLiteral("DELETE FROM AuditLog"),
              QStringLiteral("TRUNCATE AuditLog"), QStringLiteral("TRUNCATE DangAnKu"),
              QStringLiteral("ALTER TABLE DangAnKu ADD COLUMN x TEXT"), QStringLiteral("DROP TABLE List"),
              QStringLiteral("ALTER TABLE AuditLog DISABLE TRIGGER USER"),
              QStringLiteral("CREATE TABLE Extra (x TEXT)"), QStringLiteral("UPDATE System SET Ver = 1"),
              QStringLiteral("CREATE INDEX ix_extra ON DangAnKu (备注)")})
            QVERIFY2(!q.exec(refused), qPrintable(refused));
        desk.Close();
    }

    // A workstation that opens a schema made before the trail's chain says so and goes on reading.
    // Servers of that time also declared leading_number() parallel safe, which no parallel worker
    // can run (its exception block needs a subtransaction).
    void anOlderSchemaIsSaidAtTheWorkstation() {
        auto db = TestDatabase::create(TestDatabase::Kind::Server);
        if (!db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        db->execAll({QStringLiteral("DROP TRIGGER auditlog_no_change ON AuditLog"),
                     QStringLiteral("ALTER TABLE AuditLog DROP COLUMN 校验"),
                     QStringLiteral("ALTER FUNCTION leading_number(text) PARALLEL SAFE")});
        gConn.Open(db->connectionString());
        const QStringList gaps = schemaGaps(gConn.database());
        QCOMPARE(gaps, QStringList({QStringLiteral("操作日志没有校验链"),
                                    QStringLiteral("操作日志没有防修改、防删除的保护"),
                                    QStringLiteral("缺少查询用的索引")}));
        QVERIFY(olderSchemaMessage(gaps).contains(QStringLiteral("orvanta --upgrade-schema")));
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 AuditLog::record(gConn.database(), AuditLog::kLogin, QString(), QString()));
        gConn.Close();
        QCOMPARE(upgradeServerSchema(serverLibpq(*db, kOwnerRole)), QString());
        gConn.Open(db->connectionString());
        QCOMPARE(schemaGaps(gConn.database()), QStringList());
        AuditLog::record(gConn.database(), AuditLog::kLogin, QString(), QString());
        gConn.Close();
    }
};

QTEST_GUILESS_MAIN(ServerAccessTest)
#include "tst_serveraccess.moc"
