// Database conditions in the system's words: the drivers' codes, and the real conditions provoked
// on an SQLite file and against a closed server port.
#include "adodb.h"
#include "DbConditions.h"
#include "TestDatabase.h"

#include <functional>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

Q_DECLARE_METATYPE(DbCondition)
Q_DECLARE_METATYPE(QSqlDriver::DbmsType)

namespace {

// The error `step` raises; a DbError numbered 0 when it raised none.
DbError failureOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const DbError& error) {
        return error;
    }
    return DbError(0, QString());
}

void addOption(Connection& conn, const QString& content) {
    Recordset options;
    options.Open(QStringLiteral("List"), conn, ado::adOpenDynamic, ado::adLockOptimistic);
    options.AddNew();
    options.Fields(QStringLiteral("content")).setValue(content);
    options.Fields(QStringLiteral("leixing")).setValue(QStringLiteral("职务"));
    options.Update();
}

void exec(Connection& conn, const QString& sql) {
    QSqlQuery q(conn.database());
    QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
}

} // namespace

class DbConditionsTest : public QObject {
    Q_OBJECT

private slots:
    // The conditions not provoked for real below.
    void driverCodes_data() {
        QTest::addColumn<QSqlDriver::DbmsType>("engine");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<DbCondition>("condition");
        const auto row = [](const char* name, QSqlDriver::DbmsType engine, const char* code, const char* text,
                            DbCondition condition) {
            QTest::newRow(name) << engine << QString(code) << QString(text) << condition;
        };
        const auto sqlite = QSqlDriver::SQLite, pg = QSqlDriver::PostgreSQL;
        row("sqlite read-only folder", sqlite, "1544", "attempt to write a readonly database",
            DbCondition::ReadOnly);
        row("sqlite corrupt", sqlite, "11", "database disk image is malformed", DbCondition::Damaged);
        row("sqlite cannot open", sqlite, "14", "unable to open database file",
            DbCondition::PermissionDenied);
        row("sqlite syntax", sqlite, "1", "near \"SELEC\": syntax error", DbCondition::Unknown);
        row("pg standby", pg, "25006", "cannot execute INSERT in a read-only transaction",
            DbCondition::ReadOnly);
        row("pg disk full", pg, "53100", "could not extend file", DbCondition::DiskFull);
        row("pg privilege", pg, "42501", "permission denied for table users", DbCondition::PermissionDenied);
        row("pg connection gone", pg, "08006", "server closed the connection", DbCondition::ConnectionLost);
        row("pg not null", pg, "23502", "null value in column", DbCondition::Unknown);
        // The same number means something else to the other engine.
        row("sqlite code given as pg", pg, "13", "database or disk is full", DbCondition::Unknown);
    }

    void driverCodes() {
        QFETCH(QSqlDriver::DbmsType, engine);
        QFETCH(QString, code);
        QFETCH(QString, text);
        QFETCH(DbCondition, condition);
        QCOMPARE(conditionOf(QSqlError(QString(), text, QSqlError::StatementError, code), engine), condition);
    }

    void driverTextFollowsInBrackets() {
        QCOMPARE(describeDbFailure(DbCondition::DiskFull,
                                   QStringLiteral("database or disk is full\n  无法执行语句")),
                 conditionMessage(DbCondition::DiskFull) +
                     QStringLiteral("（database or disk is full 无法执行语句）"));
        QCOMPARE(describeDbFailure(DbCondition::Unknown, QStringLiteral(" near \"x\": syntax error ")),
                 QStringLiteral("near \"x\": syntax error"));
        QCOMPARE(describeDbFailure(DbCondition::Busy, QString()), conditionMessage(DbCondition::Busy));
    }

    void provokedOnTheLocalFile_data() {
        QTest::addColumn<int>("situation");
        QTest::addColumn<int>("number");
        QTest::addColumn<DbCondition>("condition");
        QTest::newRow("another desk holds the write lock")
            << 0 << int(DbErrorCode::Locked) << DbCondition::Busy;
        QTest::newRow("read-only") << 1 << int(DbErrorCode::Driver) << DbCondition::ReadOnly;
        QTest::newRow("disk full") << 2 << int(DbErrorCode::Driver) << DbCondition::DiskFull;
        QTest::newRow("not a database") << 3 << int(DbErrorCode::ConnectFailed) << DbCondition::NotThisSystem;
        QTest::newRow("no System table") << 4 << int(DbErrorCode::Driver) << DbCondition::NotThisSystem;
    }

    void provokedOnTheLocalFile() {
        QFETCH(int, situation);
        QFETCH(int, number);
        QFETCH(DbCondition, condition);
        auto db = TestDatabase::create(TestDatabase::Kind::Local);
        const QString path = db->localPath();
        Connection conn;
        QSqlDatabase otherDesk;
        DbError error(0, QString());
        if (situation == 3) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray(8192, 'x'));
            file.close();
            error = failureOf([&] { conn.Open(db->connectionString()); });
        } else {
            if (situation == 4) db->exec(QStringLiteral("DROP TABLE System"));
            conn.Open(db->connectionString());
            exec(conn, QStringLiteral("PRAGMA busy_timeout = 50"));
            if (situation == 0) {
                otherDesk =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other-desk"));
                otherDesk.setDatabaseName(path);
                QVERIFY(otherDesk.open());
                QVERIFY(QSqlQuery(otherDesk).exec(QStringLiteral("BEGIN IMMEDIATE")));
            }
            if (situation == 1) exec(conn, QStringLiteral("PRAGMA query_only = 1"));
            if (situation == 2) {
                QSqlQuery pages(conn.database());
                QVERIFY(pages.exec(QStringLiteral("PRAGMA page_count")) && pages.next());
                exec(conn, QStringLiteral("PRAGMA max_page_count = %1").arg(pages.value(0).toInt()));
            }
            error = failureOf([&] {
                if (situation == 4) {
                    Recordset system;
                    system.Open(QStringLiteral("System"), conn, ado::adOpenDynamic, ado::adLockOptimistic);
                } else {
                    addOption(conn, QString(situation == 2 ? 200000 : 4, QChar(0x804C)));
                }
            });
        }
        QCOMPARE(error.number, number);
        QVERIFY2(error.description.contains(conditionMessage(condition)), qPrintable(error.description));
        // The driver's own words follow for the technician.
        QVERIFY2(error.description.endsWith(QStringLiteral("）")), qPrintable(error.description));
        if (otherDesk.isValid()) {
            otherDesk.close();
            otherDesk = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("other-desk"));
        }
        conn.Close();
    }

    void provokedOnTheServer_data() {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<DbCondition>("condition");
        QTest::newRow("another desk holds the table") << true << DbCondition::Busy;
        QTest::newRow("no System table") << false << DbCondition::NotThisSystem;
    }

    void provokedOnTheServer() {
        QFETCH(bool, locked);
        QFETCH(DbCondition, condition);
        auto db = TestDatabase::create(TestDatabase::Kind::Server);
        if (!db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        Connection otherDesk, conn;
        if (locked) {
            otherDesk.Open(db->connectionString());
            exec(otherDesk, QStringLiteral("BEGIN"));
            exec(otherDesk, QStringLiteral("LOCK TABLE List IN ACCESS EXCLUSIVE MODE"));
        } else {
            db->exec(QStringLiteral("DROP TABLE System"));
        }
        conn.Open(db->connectionString());
        exec(conn, QStringLiteral("SET lock_timeout = '100ms'"));
        const DbError error = failureOf([&] {
            Recordset rows;
            rows.Open(locked ? QStringLiteral("List") : QStringLiteral("System"), conn);
        });
        QCOMPARE(error.number, errorNumberOf(condition));
        QVERIFY2(error.description.startsWith(conditionMessage(condition)), qPrintable(error.description));
        otherDesk.Close();
        conn.Close();
    }

    void refusedServerConnection() {
        Connection conn;
        // Nothing listens on port 1.
        const DbError error = failureOf([&] {
            conn.Open(QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;"
                                     "Initial Catalog=MoLian;Data Source=127.0.0.1,1"));
        });
        QCOMPARE(error.number, int(DbErrorCode::ConnectFailed));
        QVERIFY2(error.description.startsWith(conditionMessage(DbCondition::ServerUnreachable)),
                 qPrintable(error.description));
        QCOMPARE(conn.State(), int(ado::adStateClosed));
    }
};

QTEST_GUILESS_MAIN(DbConditionsTest)
#include "tst_dbconditions.moc"
