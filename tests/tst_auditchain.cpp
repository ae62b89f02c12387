// The audit trail's chain on both engines: a trail written by the program verifies; a row removed,
// changed, slipped in or renumbered by hand shows at that row; the end of the trail removed shows
// against the anchor; the engine itself refuses to change or remove rows; an older database gets
// its chain and triggers from the upgrade; the command line and the 操作日志 window tell the result.
#include "AuditChain.h"
#include "AuditLog.h"
#include "CommandLine.h"
#include "DatabaseGlobals.h"
#include "dialogs.h"
#include "fRiZhi.h"
#include "Operators.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "ScriptedDialogs.h"
#include "ServerLibpq.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

class AuditChainTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;

    bool onServer() const { return m_db->kind() == TestDatabase::Kind::Server; }

    // Runs statements on a connection of its own (the file's owner, or a role of the server) and
    // returns the first error, empty when all ran.
    QString runAs(const QStringList& statements, const QString& role = {}) const {
        const QString name = QStringLiteral("raw-") + QUuid::createUuid().toString(QUuid::Id128);
        QString error;
        {
            QSqlDatabase db;
            if (onServer()) {
                db = openServerDatabase(serverLibpq(*m_db, role), name);
            } else {
                db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                db.setDatabaseName(m_db->localPath());
                db.open();
            }
            QSqlQuery q(db);
            for (const QString& statement : statements)
                if (!q.exec(statement)) {
                    error = q.lastError().text();
                    break;
                }
            q = QSqlQuery();
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        return error;
    }

    // The statements are run with the append-only protection out of the way, as one who owns
    // the file or the server could.
    void tamper(const QStringList& statements) const {
        const QStringList off = onServer()
                                    ? QStringList{QStringLiteral("ALTER TABLE AuditLog DISABLE TRIGGER USER")}
                                    : QStringList{QStringLiteral("DROP TRIGGER AuditLog_no_update"),
                                                  QStringLiteral("DROP TRIGGER AuditLog_no_delete")};
        const QStringList on = onServer()
                                   ? QStringList{QStringLiteral("ALTER TABLE AuditLog ENABLE TRIGGER USER")}
                                   : auditTriggerStatements(SqlDialect::Sqlite);
        const QString error = runAs(off + statements + on);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    static void writeEvents(int count) {
        for (int i = 1; i <= count; ++i)
            AuditLog::record(gConn.database(), AuditLog::kChanged, QStringLiteral("DangAnKu"),
                             QStringLiteral("K%1").arg(i),
                             {{QStringLiteral("姓名"), QStringLiteral("甲"), QStringLiteral("乙")}});
    }

    static QString storedHash(qint64 number) {
        QSqlQuery q(gConn.database());
        q.exec(QStringLiteral("SELECT 校验 FROM AuditLog WHERE 编号 = %1").arg(number));
        return q.next() ? q.value(0).toString() : QString();
    }

    int command(const QStringList& arguments) const {
        QStringList target = onServer()
                                 ? QStringList{QStringLiteral("--server"), serverLibpq(*m_db, kDeskRole)}
                                 : QStringList{QStringLiteral("--database"), m_db->localPath()};
        return runCommand(QStringList{QStringLiteral("orvanta")} + arguments + target +
                          operatorArguments(m_db->folder()))
            .value_or(-1);
    }

private slots:
    void initTestCase_data() {
        TestDatabase::addEngineRows("engine");
    }

    void init() {
        QFETCH_GLOBAL(int, engine);
        m_db = TestDatabase::create(TestDatabase::Kind(engine));
        if (!m_db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        m_config = std::make_unique<TempConfigDir>();
        gConn.Open(m_db->connectionString());
        AuditLog::setOperator(QStringLiteral("管理员"));
    }

    void cleanup() {
        delete fRiZhi::instance();
        AuditLog::setOperator(QString());
        gConn.Close();
        m_db.reset();
        m_config.reset();
    }

    void aTrailWrittenByTheProgramVerifiesWithItsAnchor() {
        QCOMPARE(AuditChain::verify(gConn.database()).anchor.text(),
                 QStringLiteral("0:") + AuditChain::kGenesis);
        writeEvents(2);
        AuditLog::record(gConn.database(), AuditLog::kAdded, QStringLiteral("PeiXun"), QStringLiteral("7"),
                         {{QStringLiteral("编号"), QString(), QStringLiteral("7")},
                          {QStringLiteral("姓名"), QString(), QStringLiteral("张'三")}});
        const AuditChain::Verification result = AuditChain::verify(gConn.database());
        QVERIFY2(result.intact, qPrintable(result.message));
        QCOMPARE(result.rowsChecked, qint64(4));
        QCOMPARE(result.anchor.count, qint64(4));
        QCOMPARE(result.anchor.hash, storedHash(4));
        QVERIFY(result.message.contains(result.anchor.text()));
        const auto parsed = AuditChain::Anchor::parse(QStringLiteral(" 4 : ") + storedHash(4).toUpper());
        QVERIFY(parsed);
        QVERIFY(AuditChain::verify(gConn.database(), parsed).intact);
        QVERIFY(!AuditChain::Anchor::parse(QStringLiteral("4:abc")));
    }

    void aChangeByHandShowsAtItsRow_data() {
        QTest::addColumn<QStringList>("statements");
        QTest::addColumn<qint64>("brokenNumber");
        QTest::newRow("a row removed")
            << QStringList{QStringLiteral("DELETE FROM AuditLog WHERE 编号 = 3")} << qint64(4);
        QTest::newRow("re-attributed to another operator")
            << QStringList{QStringLiteral("UPDATE AuditLog SET 操作员 = '张三' WHERE 编号 = 2")} << qint64(2);
        QTest::newRow("an old value changed")
            << QStringList{QStringLiteral("UPDATE AuditLog SET 旧值 = '丙' WHERE 编号 = 5")} << qint64(5);
        QTest::newRow("a row renumbered")
            << QStringList{QStringLiteral("UPDATE AuditLog SET 编号 = 105 WHERE 编号 = 5")} << qint64(105);
        QTest::newRow("a column made Null")
            << QStringList{QStringLiteral("UPDATE AuditLog SET 字段 = NULL WHERE 编号 = 1")} << qint64(1);
        QTest::newRow("rows renumbered to make room for another")
            << QStringList{QStringLiteral("UPDATE AuditLog SET 编号 = 编号 + 10 WHERE 编号 >= 3"),
                           QStringLiteral(
                               "INSERT INTO AuditLog (编号, 时间, 操作员, 工作站, 表名, 关键字, 操作, 字段, "
                               "旧值, 新值) VALUES (3, '2020-01-01 00:00:00', '张三', 'x', 'DangAnKu', "
                               "'K9', '删除', '姓名', '丁', '')")}
            << qint64(3);
    }

    void aChangeByHandShowsAtItsRow() {
        QFETCH(QStringList, statements);
        QFETCH(qint64, brokenNumber);
        writeEvents(5);
        tamper(statements);
        const AuditChain::Verification result = AuditChain::verify(gConn.database());
        QVERIFY(!result.intact);
        QCOMPARE(result.brokenNumber, brokenNumber);
        QVERIFY2(result.message.contains(QStringLiteral("编号 %1").arg(brokenNumber)),
                 qPrintable(result.message));
    }

    // Whoever knows the form can hash a forged row; the row after it still tells.
    void aForgedRowWithAProperHashShowsAtTheNextRow() {
        writeEvents(4);
        QVariantList forged{QStringLiteral("3"),        QStringLiteral("2020-01-01 00:00:00"),
                            QStringLiteral("张三"),     QStringLiteral("x"),
                            QStringLiteral("DangAnKu"), QStringLiteral("K9"),
                            QStringLiteral("删除"),     QStringLiteral("姓名"),
                            QStringLiteral("丁"),       QString("")};
        const QString hash = AuditChain::rowHash(storedHash(2), forged);
        tamper({QStringLiteral("UPDATE AuditLog SET 编号 = 编号 + 10 WHERE 编号 >= 3"),
                QStringLiteral(
                    "INSERT INTO AuditLog (编号, 时间, 操作员, 工作站, 表名, 关键字, 操作, 字段, 旧值, 新值, "
                    "校验) VALUES (3, '2020-01-01 00:00:00', '张三', 'x', 'DangAnKu', 'K9', '删除', "
                    "'姓名', '丁', '', '%1')")
                    .arg(hash)});
        const AuditChain::Verification result = AuditChain::verify(gConn.database());
        QVERIFY(!result.intact);
        QCOMPARE(result.brokenNumber, qint64(13));
    }

    void theEndRemovedShowsAgainstTheAnchor() {
        writeEvents(3);
        const AuditChain::Anchor noted = AuditChain::verify(gConn.database()).anchor;
        writeEvents(1);
        QVERIFY(AuditChain::verify(gConn.database(), noted).intact);
        tamper({QStringLiteral("DELETE FROM AuditLog WHERE 编号 >= 3")});
        QVERIFY(AuditChain::verify(gConn.database()).intact); // the chain alone cannot tell
        const AuditChain::Verification result = AuditChain::verify(gConn.database(), noted);
        QVERIFY(!result.intact);
        QVERIFY2(result.message.contains(QStringLiteral("现在只有 2 条")), qPrintable(result.message));
        // The whole trail rewritten from scratch does not carry the noted hash.
        tamper({QStringLiteral("DELETE FROM AuditLog")});
        for (int i = 0; i < 3; ++i)
            AuditLog::record(gConn.database(), AuditLog::kLogin, QString(), QStringLiteral("张三"));
        QVERIFY(!AuditChain::verify(gConn.database(), noted).intact);
    }

    void theEngineRefusesToChangeOrRemoveRows() {
        writeEvents(1);
        QSqlQuery q(gConn.database());
        QVERIFY(!q.exec(QStringLiteral("UPDATE AuditLog SET 操作员 = '张三'")));
        QVERIFY(!q.exec(QStringLiteral("DELETE FROM AuditLog")));
        // The file's owner and the schema's owner alike meet the triggers.
        const QString owner = onServer() ? kOwnerRole : QString();
        for (const QString& statement : {QStringLiteral("UPDATE AuditLog SET 操作员 = '张三'"),
                                         QStringLiteral("DELETE FROM AuditLog")}) {
            const QString error = runAs({statement}, owner);
            QVERIFY2(error.contains(QStringLiteral("操作日志只能添加")), qPrintable(statement + error));
        }
        if (onServer())
            QVERIFY(runAs({QStringLiteral("TRUNCATE AuditLog")}, owner)
                        .contains(QStringLiteral("操作日志只能添加")));
        QVERIFY(AuditChain::verify(gConn.database()).intact);
        QCOMPARE(AuditChain::verify(gConn.database()).rowsChecked, qint64(1));
    }

    void twoDesksHangOnOneChain() {
        Connection otherDesk;
        otherDesk.Open(m_db->connectionString());
        for (int i = 0; i < 3; ++i) {
            writeEvents(1);
            AuditLog::record(otherDesk.database(), AuditLog::kLogin, QString(), QStringLiteral("张三"));
        }
        otherDesk.Close();
        const AuditChain::Verification result = AuditChain::verify(gConn.database());
        QVERIFY2(result.intact, qPrintable(result.message));
        QCOMPARE(result.rowsChecked, qint64(6));
    }

    void anOlderDatabaseIsChainedByTheUpgrade() {
        QVERIFY(schemaGaps(gConn.database()).isEmpty());
        const QString dropTriggers =
            onServer() ? QStringLiteral("DROP TRIGGER auditlog_no_change ON AuditLog; DROP TRIGGER "
                                        "auditlog_no_truncate ON AuditLog")
                       : QStringLiteral("DROP TRIGGER AuditLog_no_update");
        QStringList older{dropTriggers, QStringLiteral("ALTER TABLE AuditLog DROP COLUMN 校验")};
        if (!onServer()) older.insert(1, QStringLiteral("DROP TRIGGER AuditLog_no_delete"));
        for (int i = 1; i <= 3; ++i)
            older << QStringLiteral(
                         "INSERT INTO AuditLog (时间, 操作员, 工作站, 表名, 关键字, 操作, 字段, 旧值, 新值) "
                         "VALUES ('2024-05-0%1 10:00:00', '管理员', 'pc', 'DangAnKu', 'A%1', '修改', "
                         "'姓名', '甲', '乙')")
                         .arg(i);
        QCOMPARE(runAs(older), QString());
        gConn.Close();
        gConn.Open(m_db->connectionString());
        QCOMPARE(schemaGaps(gConn.database()),
                 QStringList({QStringLiteral("操作日志没有校验链"),
                              QStringLiteral("操作日志没有防修改、防删除的保护")}));
        if (onServer()) {
            // The workstation role may not change the schema; the owner's upgrade does.
            QVERIFY_THROWS_EXCEPTION(DbError, upgradeSchema(gConn.database()));
            QCOMPARE(upgradeServerSchema(serverLibpq(*m_db)), QString());
        } else {
            upgradeSchema(gConn.database());
        }
        QCOMPARE(schemaGaps(gConn.database()), QStringList());
        writeEvents(1);
        const AuditChain::Verification result = AuditChain::verify(gConn.database());
        QVERIFY2(result.intact, qPrintable(result.message));
        QCOMPARE(result.rowsChecked, qint64(4));
        QVERIFY(!QSqlQuery(gConn.database()).exec(QStringLiteral("DELETE FROM AuditLog")));
    }

    void theCommandLineExitsNonZeroOnABreak() {
        writeEvents(3);
        const QString anchor = AuditChain::verify(gConn.database()).anchor.text();
        gConn.Close(); // the command opens the database itself
        QCOMPARE(command({QStringLiteral("--verify-audit")}), 0);
        QCOMPARE(command({QStringLiteral("--verify-audit"), QStringLiteral("--anchor"), anchor}), 0);
        QCOMPARE(command({QStringLiteral("--verify-audit"), QStringLiteral("--anchor"), QStringLiteral("3")}),
                 1);
        tamper({QStringLiteral("UPDATE AuditLog SET 新值 = '丙' WHERE 编号 = 2")});
        QCOMPARE(command({QStringLiteral("--verify-audit")}), 1);
    }

    void theWindowsButtonTellsTheBreak() {
        writeEvents(3);
        ScriptedDialogs dialogs;
        fRiZhi::instance()->cmdVerify_Click();
        QVERIFY2(dialogs.lastMessage().text.startsWith(QStringLiteral("操作日志校验通过：共 3 条记录")),
                 qPrintable(dialogs.lastMessage().text));
        QCOMPARE(dialogs.lastMessage().icon, vb::Information);
        tamper({QStringLiteral("DELETE FROM AuditLog WHERE 编号 = 2")});
        fRiZhi::instance()->cmdVerify_Click();
        QVERIFY2(dialogs.lastMessage().text.contains(QStringLiteral("编号 3")),
                 qPrintable(dialogs.lastMessage().text));
        QVERIFY(dialogs.lastMessage().text.contains(QStringLiteral("编号 1 之后")));
        QCOMPARE(dialogs.lastMessage().icon, vb::Critical);
    }
};

QTEST_MAIN(AuditChainTest)
#include "tst_auditchain.moc"
