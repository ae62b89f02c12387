// The verification service on the loopback address: each page, the misses that must look alike,
// escaping, the limits, and a desk editing a record while the service answers, on both engines.
#include "Connection.h"
#include "SchemaUpgrade.h"
#include "ServerLibpq.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"
#include "VerifyService.h"
#include "VerifyTokens.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTest>
#include <QUuid>

namespace {

const QString kValid = QStringLiteral("VALIDVALIDVALIDVALID0001");
const QString kExpired = QStringLiteral("EXPIREDEXPIREDEXPIRED002");
const QString kEscaped = QStringLiteral("ESCAPEDESCAPEDESCAPED003");
const QString kRevoked = QStringLiteral("REVOKEDREVOKEDREVOKED004");
const QString kDeleted = QStringLiteral("DELETEDDELETEDDELETED005");

struct Reply {
    int status = 0; // 0: the connection closed without an answer
    QByteArray headers;
    QString body;
};

Reply fetch(quint16 port, const QByteArray& request) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000)) return {};
    socket.write(request);
    QByteArray data;
    const auto complete = [&] {
        data += socket.readAll();
        const qsizetype end = data.indexOf("\r\n\r\n");
        if (end < 0) return socket.state() == QAbstractSocket::UnconnectedState;
        const qsizetype length = data.indexOf("Content-Length: ");
        const qsizetype needed = data.mid(length + 16, data.indexOf("\r\n", length) - length - 16).toLongLong();
        return data.size() - end - 4 >= needed || socket.state() == QAbstractSocket::UnconnectedState;
    };
    if (!QTest::qWaitFor(complete, 5000)) return {};
    Reply reply;
    const qsizetype end = data.indexOf("\r\n\r\n");
    if (!data.startsWith("HTTP/1.1 ") || end < 0) return reply;
    reply.status = data.mid(9, 3).toInt();
    reply.headers = data.left(end);
    reply.body = QString::fromUtf8(data.mid(end + 4));
    return reply;
}

QByteArray get(const QString& path, const QByteArray& extraHeaders = {}) {
    return "GET " + QUrl(path).toEncoded() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}

QByteArray post(const QByteArray& form) {
    return "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
           QByteArray::number(form.size()) + "\r\n\r\n" + form;
}

QByteArray formFields(const QString& key, const QString& name) {
    return "%E8%AF%81%E5%8F%B7=" + QUrl::toPercentEncoding(key) + "&%E5%A7%93%E5%90%8D=" + QUrl::toPercentEncoding(name);
}

QString isoDay(int fromToday) {
    return QDate::currentDate().addDays(fromToday).toString(Qt::ISODate);
}

// One running service over one database, as orvanta-verify sets it up.
struct RunningService {
    VerifyRegisters registers;
    VerifyCounts counts;
    std::unique_ptr<VerifyService> service;
    quint16 port = 0;

    RunningService(const TestDatabase& db, const QString& countsPath, VerifyOptions options) {
        const QString error = db.kind() == TestDatabase::Kind::Local ? registers.openLocal(db.localPath())
                                                                     : registers.openServer(serverLibpq(db, kVerifyRole));
        if (!error.isEmpty()) qFatal("service database: %s", qPrintable(error));
        if (!counts.open(countsPath).isEmpty()) qFatal("counts file");
        service = std::make_unique<VerifyService>(registers, counts, options);
        port = service->listenOn(QHostAddress::LocalHost, 0);
    }
};

VerifyOptions options(int perMinute = 100000, bool behindProxy = false) {
    VerifyOptions o;
    o.title = QStringLiteral("某市<应急>管理局");
    o.requestsPerMinute = perMinute;
    o.behindProxy = behindProxy;
    return o;
}

} // namespace

class VerifyServiceTest : public QObject {
    Q_OBJECT

    TempConfigDir m_config;
    QTemporaryDir m_dir;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<RunningService> m_service;

private slots:
    void initTestCase() {
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        m_db->execAll({
            QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 职业工种, 证书级别, 发证日期, 一次复审, 二次复审, 换证日期) "
                           "VALUES ('A-1', '张小三', '电工', '初级', '%1', '%2', '%3', '%3')")
                .arg(isoDay(-400), isoDay(200), isoDay(900)),
            QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 发证日期, 换证日期) VALUES ('A-2', '李四', '%1', '%2')")
                .arg(isoDay(-3000), isoDay(-5)),
            QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('<script>alert(1)</script>', '<b>王五</b>')"),
            QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名, 作业类别, 换证日期) VALUES ('C-1', '张小三', '电工作业', '%1')")
                .arg(isoDay(20)),
            QStringLiteral("INSERT INTO VerifyToken (表名, 关键字, 核验码, 发码时间) VALUES "
                           "('DangAnKu', 'A-1', '%1', ''), ('DangAnKu', 'A-2', '%2', ''), "
                           "('DangAnKu', '<script>alert(1)</script>', '%3', ''), ('DangAnKu', 'GONE', '%4', '')")
                .arg(kValid, kExpired, kEscaped, kDeleted),
            QStringLiteral("INSERT INTO VerifyToken (表名, 关键字, 核验码, 发码时间, 停用时间) "
                           "VALUES ('DangAnKu', 'A-1', '%1', '', '2026-01-01 08:00:00')")
                .arg(kRevoked),
        });
        m_service = std::make_unique<RunningService>(*m_db, m_dir.filePath(QStringLiteral("counts.sqlite")), options());
        QVERIFY(m_service->port != 0);
    }

    void statusFromDates_data() {
        QTest::addColumn<QList<int>>("daysFromToday"); // 9999: never entered (2000-01-01)
        QTest::addColumn<QString>("status");
        QTest::newRow("all ahead") << QList<int>{400, 800} << "有效";
        QTest::newRow("no dates") << QList<int>{} << "有效";
        QTest::newRow("one within 30 days") << QList<int>{-100, 30, 700} << "30 天内需复审";
        QTest::newRow("due today") << QList<int>{0} << "30 天内需复审";
        QTest::newRow("last one passed") << QList<int>{-900, -1} << "已过期";
        QTest::newRow("never-entered review ignored") << QList<int>{9999, 300} << "有效";
    }
    void statusFromDates() {
        QFETCH(QList<int>, daysFromToday);
        QFETCH(QString, status);
        const QDate today(2026, 12, 9);
        QList<QDate> dates;
        for (int days : daysFromToday)
            dates << (days == 9999 ? QDate(2000, 1, 1) : today.addDays(days));
        QCOMPARE(certificateStatusText(certificateStatus(dates, today)), status);
    }

    void maskedNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("masked");
        QTest::newRow("one") << "张" << "*";
        QTest::newRow("two") << "张三" << "张*";
        QTest::newRow("three") << "张小三" << "张*三";
        QTest::newRow("four") << "欧阳小三" << "欧**三";
        QTest::newRow("beyond the basic plane") << QString::fromUtf8("\xF0\xA0\x80\x80\xE4\xB8\x89") << QString::fromUtf8("\xF0\xA0\x80\x80*");
    }
    void maskedNames() {
        QFETCH(QString, name);
        QFETCH(QString, masked);
        QCOMPARE(maskedName(name), masked);
    }

    void pages_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("notShown");
        const QString miss = QStringLiteral("未找到该证书");
        QTest::newRow("valid code") << get(QStringLiteral("/v/") + kValid) << 200 << "有效</p>" << "张小三";
        QTest::newRow("name masked") << get(QStringLiteral("/v/") + kValid) << 200 << "<dd>张*三</dd>" << "身份证号";
        QTest::newRow("dates") << get(QStringLiteral("/v/") + kValid) << 200 << isoDay(900) << "";
        QTest::newRow("expired") << get(QStringLiteral("/v/") + kExpired) << 200 << "已过期</p>" << "";
        QTest::newRow("record deleted") << get(QStringLiteral("/v/") + kDeleted) << 200 << "已注销</p>" << "";
        QTest::newRow("revoked code") << get(QStringLiteral("/v/") + kRevoked) << 404 << miss << "A-1";
        QTest::newRow("unknown code") << get(QStringLiteral("/v/ZZZZZZZZZZZZZZZZZZZZZZZZ")) << 404 << miss << "";
        QTest::newRow("injection as code") << get(QStringLiteral("/v/' OR '1'='1")) << 404 << miss << "A-1";
        QTest::newRow("escaped values") << get(QStringLiteral("/v/") + kEscaped) << 200
                                        << "&lt;script&gt;alert(1)&lt;/script&gt;" << "<script";
        QTest::newRow("escaped title") << get(QStringLiteral("/")) << 200 << "某市&lt;应急&gt;管理局" << "<应急>";
        QTest::newRow("form") << get(QStringLiteral("/")) << 200 << "name=\"证号\"" << "<script";
        QTest::newRow("form as a query") << get(QStringLiteral("/?证号=C-1&姓名=张小三")) << 200 << "特种作业操作证" << "特种作业人员证书";
        QTest::newRow("form posted") << post(formFields(QStringLiteral("A-1"), QStringLiteral("张小三"))) << 200
                                     << "特种作业人员证书" << "特种作业操作证";
        QTest::newRow("name in part") << post(formFields(QStringLiteral("A-1"), QStringLiteral("张"))) << 404 << miss << "";
        QTest::newRow("wildcards") << post(formFields(QStringLiteral("%"), QStringLiteral("%"))) << 404 << miss << "";
        QTest::newRow("other's name") << post(formFields(QStringLiteral("A-1"), QStringLiteral("李四"))) << 404 << miss << "";
        QTest::newRow("one field") << get(QStringLiteral("/?证号=A-1")) << 200 << "请同时填写证号和姓名" << "张*三";
        QTest::newRow("one field kept") << get(QStringLiteral("/?证号=\"><script>")) << 200 << "value=\"&quot;&gt;&lt;script&gt;\"" << "<script";
        QTest::newRow("other path") << get(QStringLiteral("/admin")) << 404 << miss << "";
        QTest::newRow("other method") << QByteArray("DELETE / HTTP/1.1\r\nHost: x\r\n\r\n") << 405 << "不支持" << "";
        QTest::newRow("body too large") << post(QByteArray(3000, 'a')) << 413 << "请求过大" << "";
        QTest::newRow("header too large") << get(QStringLiteral("/"), "X-Pad: " + QByteArray(20000, 'a') + "\r\n") << 413
                                          << "请求过大" << "";
        QByteArray many;
        for (int i = 0; i < 60; ++i)
            many += "X-H" + QByteArray::number(i) + ": 1\r\n";
        QTest::newRow("too many headers") << get(QStringLiteral("/"), many) << 431 << "请求过大" << "";
        QTest::newRow("not HTTP") << QByteArray("\x16\x03\x01 hello\r\n\r\n") << 0 << "" << "";
    }
    void pages() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, shown);
        QFETCH(QString, notShown);
        const Reply reply = fetch(m_service->port, request);
        QCOMPARE(reply.status, status);
        QVERIFY2(reply.body.contains(shown), qPrintable(reply.body));
        if (!notShown.isEmpty()) QVERIFY(!reply.body.contains(notShown));
        // Whatever was asked, the service goes on answering.
        QCOMPARE(fetch(m_service->port, get(QStringLiteral("/"))).status, 200);
    }

    void missesLookAlike() {
        const Reply revoked = fetch(m_service->port, get(QStringLiteral("/v/") + kRevoked));
        const Reply unknown = fetch(m_service->port, get(QStringLiteral("/v/AAAAAAAAAAAAAAAAAAAAAAAA")));
        const Reply wrongPair = fetch(m_service->port, post(formFields(QStringLiteral("A-1"), QStringLiteral("王五"))));
        QCOMPARE(revoked.headers, unknown.headers);
        QCOMPARE(revoked.body, unknown.body);
        QCOMPARE(wrongPair.body, unknown.body);
    }

    void securityHeaders() {
        const QByteArray headers = fetch(m_service->port, get(QStringLiteral("/v/") + kValid)).headers.toLower();
        for (const char* expected : {"content-security-policy: default-src 'none'", "frame-ancestors 'none'",
                                     "x-content-type-options: nosniff", "x-frame-options: deny",
                                     "referrer-policy: no-referrer", "cache-control: no-store"})
            QVERIFY2(headers.contains(expected), expected);
        QVERIFY(!headers.contains("server:"));
        QVERIFY(!headers.contains("x-powered-by"));
    }

    void tooManyFromOneAddress() {
        RunningService limited(*m_db, m_dir.filePath(QStringLiteral("limited.sqlite")), options(3, true));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(fetch(limited.port, get(QStringLiteral("/"))).status, 200);
        const Reply refused = fetch(limited.port, get(QStringLiteral("/v/") + kValid));
        QCOMPARE(refused.status, 429);
        QVERIFY(refused.body.contains(QStringLiteral("查询过于频繁")));
        // Behind the proxy each client counts on its own.
        QCOMPARE(fetch(limited.port, get(QStringLiteral("/"), "X-Real-IP: 203.0.113.7\r\n")).status, 200);
    }

    void deskEditsWhileServing_data() {
        QTest::addColumn<int>("engine");
        QTest::newRow("local") << int(TestDatabase::Kind::Local);
        QTest::newRow("server") << int(TestDatabase::Kind::Server);
    }
    void deskEditsWhileServing() {
        QFETCH(int, engine);
        auto db = TestDatabase::create(TestDatabase::Kind(engine));
        if (!db) QSKIP("no test server (ORVANTA_TEST_PG)");
        db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 换证日期) VALUES ('E-1', '赵六', '%1')").arg(isoDay(10)));
        Connection desk;
        desk.Open(db->connectionString());
        const QString token = currentVerifyToken(desk, QStringLiteral("DangAnKu"), QStringLiteral("E-1"));
        QCOMPARE(currentVerifyToken(desk, QStringLiteral("DangAnKu"), QStringLiteral("E-1")), token);
        QVERIFY(looksLikeVerifyToken(token));

        RunningService running(*db, m_dir.filePath(QStringLiteral("desk-%1.sqlite").arg(engine)), options());
        const QByteArray page = get(QStringLiteral("/v/") + token);
        QVERIFY(fetch(running.port, page).body.contains(QStringLiteral("30 天内需复审")));

        // The desk's edit is under way: the service answers with what is stored, then the new date.
        {
            QSqlDatabase deskDb = desk.database();
            QVERIFY(deskDb.transaction());
            QSqlQuery edit(deskDb);
            QVERIFY(edit.exec(QStringLiteral("UPDATE DangAnKu SET 换证日期 = '%1' WHERE 证号 = 'E-1'").arg(isoDay(1000))));
            const Reply during = fetch(running.port, page);
            QCOMPARE(during.status, 200);
            QVERIFY(during.body.contains(isoDay(10)));
            QVERIFY(deskDb.commit());
        }
        const Reply after = fetch(running.port, page);
        QVERIFY(after.body.contains(isoDay(1000)));
        QVERIFY(after.body.contains(QStringLiteral("有效</p>")));

        // A lost card: the old code stops answering, the new one answers.
        const QString reissued = reissueVerifyToken(desk, QStringLiteral("DangAnKu"), QStringLiteral("E-1"));
        QVERIFY(reissued != token);
        QCOMPARE(fetch(running.port, page).status, 404);
        QCOMPARE(fetch(running.port, get(QStringLiteral("/v/") + reissued)).status, 200);

        // Counted per certificate, four answers, nothing of who asked.
        QCOMPARE(running.counts.flush(), QString());
        QCOMPARE(running.counts.report(), QStringLiteral("DangAnKu\tE-1\t4\t%1\n").arg(isoDay(0)));
        desk.Close();
    }

    void upgradeAddsTheCodes_data() {
        deskEditsWhileServing_data();
    }
    void upgradeAddsTheCodes() {
        QFETCH(int, engine);
        auto db = TestDatabase::create(TestDatabase::Kind(engine));
        if (!db) QSKIP("no test server (ORVANTA_TEST_PG)");
        db->exec(QStringLiteral("DROP TABLE VerifyToken"));
        VerifyRegisters registers;
        const QString refused = engine == int(TestDatabase::Kind::Local) ? registers.openLocal(db->localPath())
                                                                         : registers.openServer(serverLibpq(*db, kVerifyRole));
        QVERIFY2(refused.contains(QStringLiteral("--upgrade-schema")), qPrintable(refused));
        Connection desk;
        desk.Open(db->connectionString());
        QVERIFY(schemaGaps(desk.database()).contains(QStringLiteral("没有证书核验码表")));
        if (engine == int(TestDatabase::Kind::Local))
            upgradeSchema(desk.database());
        else
            QCOMPARE(upgradeServerSchema(serverLibpq(*db)), QString());
        QCOMPARE(schemaGaps(desk.database()), QStringList());
        // The desk role may issue codes, the service's role may read them and nothing more.
        QVERIFY(looksLikeVerifyToken(currentVerifyToken(desk, QStringLiteral("PeiXun"), QStringLiteral("P-1"))));
        desk.Close();
    }
};

QTEST_GUILESS_MAIN(VerifyServiceTest)
#include "tst_verifyservice.moc"
