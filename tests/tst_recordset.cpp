// Cursor semantics of the record-set layer, on the local file and on the server.
#include "adodb.h"
#include "RegisterCounts.h"
#include "SchemaUpgrade.h"
#include "ServerLibpq.h"
#include "TestDatabase.h"

#include <QDate>
#include <QSqlQuery>
#include <QTest>

class RecordsetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Connection> m_conn;

    void engines() {
        TestDatabase::addEngineRows("kind");
    }

    // Opens a fresh database of the row's kind with three certificates in it.
    bool prepare() {
        QFETCH(int, kind);
        m_conn.reset();
        m_db = TestDatabase::create(TestDatabase::Kind(kind));
        if (!m_db) return false;
        m_db->execAll(
            {QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 出生年月) VALUES ('1', '张三', '1980-05-01')"),
             QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('2', 'O''Brien')"),
             QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 证书编号) VALUES ('3', '李四', 'ZS-9')")});
        m_conn = std::make_unique<Connection>();
        m_conn->Open(m_db->connectionString());
        return true;
    }

    static int errorNumber(const std::function<void()>& action) {
        try {
            action();
        } catch (const DbError& e) {
            return e.number;
        }
        return 0;
    }

#define PREPARE_OR_SKIP()                                                                                    \
    if (!prepare()) QSKIP("no test server: ORVANTA_TEST_PG is not set");

private slots:
    void navigation_data() {
        engines();
    }
    void navigation() {
        PREPARE_OR_SKIP();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        QCOMPARE(rs.Source(), QStringLiteral("DangAnKu"));
        QCOMPARE(rs.RecordCount(), 3);
        QVERIFY(!rs.IsBOF() && !rs.IsEOF());
        QCOMPARE(rs.AbsolutePosition(), 1);
        QCOMPARE(rs.Fields(QStringLiteral("证号")).Value().toString(), QStringLiteral("1"));
        rs.MovePrevious();
        QVERIFY(rs.IsBOF());
        QCOMPARE(errorNumber([&] { rs.Fields(0).Value(); }), DbErrorCode::NoCurrentRecord);
        QCOMPARE(errorNumber([&] { rs.MovePrevious(); }), DbErrorCode::NoCurrentRecord);
        rs.MoveLast();
        QCOMPARE(rs.Fields(0).Value().toString(), QStringLiteral("3"));
        const auto mark = rs.bookmark();
        rs.MoveNext();
        QVERIFY(rs.IsEOF());
        QCOMPARE(errorNumber([&] { rs.MoveNext(); }), DbErrorCode::NoCurrentRecord);
        rs.setAbsolutePosition(2);
        QCOMPARE(rs.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("O'Brien"));
        rs.setBookmark(mark);
        QCOMPARE(rs.AbsolutePosition(), 3);
        QVERIFY(errorNumber([&] { rs.setAbsolutePosition(4); }) != 0);

        Recordset empty;
        empty.Open(QStringLiteral("PeiXun"), *m_conn);
        QVERIFY(empty.IsBOF() && empty.IsEOF());
        QCOMPARE(empty.RecordCount(), 0);
        empty.MoveFirst(); // no error on an empty set, as the windows expect
        QVERIFY(empty.IsEOF());
    }

    void fieldKindsAndValues_data() {
        engines();
    }
    void fieldKindsAndValues() {
        PREPARE_OR_SKIP();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn);
        QCOMPARE(rs.Fields(QStringLiteral("照片")).Type(), int(ado::adLongVarBinary));
        QCOMPARE(rs.Fields(QStringLiteral("出生年月")).Type(), int(ado::adDate));
        QCOMPARE(rs.Fields(QStringLiteral("证号")).Type(), int(ado::adVarWChar));
        QCOMPARE(rs.Fields(QStringLiteral("出生年月")).Value().toDate(), QDate(1980, 5, 1));
        QVERIFY(rs.Fields(QStringLiteral("照片")).Value().isNull());
        QCOMPARE(rs.Fields(QStringLiteral("照片")).ActualSize(), 0);
        QCOMPARE(rs.FieldCount(), 18); // the server's row identity is not a field

        Recordset other;
        other.Open(QStringLiteral("CaoZuoZheng"), *m_conn);
        QCOMPARE(other.Fields(QStringLiteral("其它")).Type(), int(ado::adLongVarWChar));
        Recordset users;
        users.Open(QStringLiteral("Users"), *m_conn);
        QCOMPARE(users.Fields(QStringLiteral("资料录入")).Type(), int(ado::adBoolean));
        QCOMPARE(users.Fields(QStringLiteral("资料录入")).Value(), QVariant(true));
        QVERIFY(
            users.Fields(QStringLiteral("pwd")).Value().toString().startsWith(QLatin1String("$argon2id$")));
        QVERIFY(errorNumber([&] { users.Fields(QStringLiteral("无此列")); }) != 0);
    }

    void addEditCancelAndImplicitUpdate_data() {
        engines();
    }
    void addEditCancelAndImplicitUpdate() {
        PREPARE_OR_SKIP();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.AddNew();
        QCOMPARE(rs.EditMode(), int(ado::adEditAdd));
        rs.Fields(QStringLiteral("证号")).setValue(QStringLiteral("4"));
        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("王五"));
        rs.Fields(QStringLiteral("发证日期")).setValue(QDate(2006, 12, 31));
        rs.Update();
        QCOMPARE(rs.EditMode(), int(ado::adEditNone));
        QCOMPARE(rs.RecordCount(), 4);
        QCOMPARE(rs.AbsolutePosition(), 4);
        QCOMPARE(rs.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("王五"));

        rs.MoveFirst();
        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("作废"));
        QCOMPARE(rs.EditMode(), int(ado::adEditInProgress));
        rs.CancelUpdate();
        QCOMPARE(rs.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("张三"));

        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("张三丰"));
        rs.Fields(QStringLiteral("出生年月")).setValue(QVariant()); // a date can be emptied
        rs.MoveNext();                                              // stores the change
        QCOMPARE(
            errorNumber([&] { rs.Fields(QStringLiteral("出生年月")).setValue(QStringLiteral("不是日期")); }),
            DbErrorCode::Conversion);

        Recordset fresh;
        fresh.Open(QStringLiteral("SELECT * FROM DangAnKu ORDER BY 证号"), *m_conn);
        QCOMPARE(fresh.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("张三丰"));
        QVERIFY(fresh.Fields(QStringLiteral("出生年月")).Value().isNull());
        fresh.MoveLast();
        QCOMPARE(fresh.Fields(QStringLiteral("发证日期")).Value().toDate(), QDate(2006, 12, 31));
        QCOMPARE(errorNumber([&] { fresh.Fields(0).setValue(QStringLiteral("x")); }), DbErrorCode::ReadOnly);
    }

    void duplicateKeyIsRefused_data() {
        engines();
    }
    void duplicateKeyIsRefused() {
        PREPARE_OR_SKIP();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.AddNew();
        rs.Fields(QStringLiteral("证号")).setValue(QStringLiteral("2"));
        QCOMPARE(errorNumber([&] { rs.Update(); }), DbErrorCode::DuplicateKey);
        // The failed row can be renumbered and stored.
        rs.Fields(QStringLiteral("证号")).setValue(QStringLiteral("5"));
        rs.Update();
        QCOMPARE(rs.RecordCount(), 4);
        rs.MoveFirst();
        rs.Fields(QStringLiteral("证号")).setValue(QStringLiteral("3"));
        QCOMPARE(errorNumber([&] { rs.Update(); }), DbErrorCode::DuplicateKey);
        // Refused writes leave no prepared statement behind in the server's session.
        if (m_conn->engine() == Connection::Engine::Postgres) {
            QSqlQuery left(m_conn->database());
            QVERIFY(left.exec(QStringLiteral("SELECT count(*) FROM pg_prepared_statements")) && left.next());
            QCOMPARE(left.value(0).toInt(), 0);
        }
    }

    void secondDeskCannotOverwriteFirst_data() {
        engines();
    }
    void secondDeskCannotOverwriteFirst() {
        PREPARE_OR_SKIP();
        Connection otherDesk;
        otherDesk.Open(m_db->connectionString());
        Recordset first, second;
        first.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        second.Open(QStringLiteral("DangAnKu"), otherDesk, ado::adOpenDynamic, ado::adLockOptimistic);
        QCOMPARE(second.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("张三"));
        first.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("第一台"));
        first.Update();
        second.Fields(QStringLiteral("备注")).setValue(QStringLiteral("第二台"));
        QCOMPARE(errorNumber([&] { second.Update(); }), DbErrorCode::WriteConflict);

        Recordset check;
        check.Open(QStringLiteral("SELECT * FROM DangAnKu WHERE 证号 = '1'"), *m_conn);
        QCOMPARE(check.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("第一台"));
        QVERIFY(check.Fields(QStringLiteral("备注")).Value().isNull());
    }

    void chunksAndPhotos_data() {
        engines();
    }
    void chunksAndPhotos() {
        PREPARE_OR_SKIP();
        QByteArray photo;
        for (int i = 0; i < 70000; ++i)
            photo.append(char(i * 7));
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.Fields(QStringLiteral("照片")).AppendChunk(photo.left(100));
        rs.Fields(QStringLiteral("照片")).AppendChunk(photo.mid(100));
        rs.Update();
        Recordset other;
        other.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        QCOMPARE(other.Fields(QStringLiteral("照片")).ActualSize(), photo.size());
        QCOMPARE(other.Fields(QStringLiteral("照片")).GetChunk(photo.size()).toByteArray(), photo);
        // A first chunk in a new edit replaces what was stored.
        other.Fields(QStringLiteral("照片")).AppendChunk(QByteArray("GIF89a"));
        other.Update();
        QCOMPARE(other.Fields(QStringLiteral("照片")).Value().toByteArray(), QByteArray("GIF89a"));

        Recordset memo;
        memo.Open(QStringLiteral("CaoZuoZheng"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        memo.AddNew();
        memo.Fields(QStringLiteral("证号")).setValue(QStringLiteral("1"));
        memo.Fields(QStringLiteral("其它")).AppendChunk(QStringLiteral("电工"));
        memo.Fields(QStringLiteral("其它")).AppendChunk(QStringLiteral("作业"));
        memo.Update();
        QCOMPARE(memo.Fields(QStringLiteral("其它")).ActualSize(), 4);
        QCOMPARE(memo.Fields(QStringLiteral("其它")).GetChunk(2).toString(), QStringLiteral("电工"));
        QCOMPARE(memo.Fields(QStringLiteral("其它")).GetChunk(2).toString(), QStringLiteral("作业"));
    }

    void findAndCriteria_data() {
        engines();
    }
    void findAndCriteria() {
        PREPARE_OR_SKIP();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.Find(QStringLiteral("姓名 = 'O''Brien'"));
        QCOMPARE(rs.AbsolutePosition(), 2);
        rs.Find(QStringLiteral("证号 = '1'")); // forward from the current row only
        QVERIFY(rs.IsEOF());
        rs.MoveFirst();
        rs.Find(QStringLiteral("证书编号 = 'ZS-9'"));
        QCOMPARE(rs.Fields(0).Value().toString(), QStringLiteral("3"));
        rs.MoveFirst();
        rs.Find(QStringLiteral("姓名 LIKE '李%'"));
        QCOMPARE(rs.AbsolutePosition(), 3);
        rs.MoveFirst();
        rs.Find(QStringLiteral("证号 <> '1'"));
        QCOMPARE(rs.AbsolutePosition(), 2);
        rs.MoveFirst();
        rs.Find(QStringLiteral("证号 = 'x'' OR ''1''=''1'")); // a quote stays inside the literal
        QVERIFY(rs.IsEOF());

        rs.MoveFirst();
        for (const char* bad : {"姓名 = 'abc", "姓名 ~ 'x'", "", "无此列 = 'x'", "姓名 = 'x' extra", "= 'x'",
                                "姓名 = '1'' OR 1=1"}) {
            QCOMPARE(errorNumber([&] { rs.Find(QString::fromUtf8(bad)); }), DbErrorCode::BadCriterion);
        }
        QCOMPARE(rs.AbsolutePosition(), 1);
    }

    void deleteMovesOn_data() {
        engines();
    }
    void deleteMovesOn() {
        PREPARE_OR_SKIP();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.MoveNext();
        rs.Delete();
        QCOMPARE(errorNumber([&] { rs.Fields(0).Value(); }), DbErrorCode::NoCurrentRecord);
        rs.MoveNext();
        QCOMPARE(rs.Fields(0).Value().toString(), QStringLiteral("3"));
        rs.Delete();
        rs.MoveNext(); // deleting the last row leaves the set at its end
        QVERIFY(rs.IsEOF());
        QCOMPARE(rs.RecordCount(), 1);
        rs.MoveFirst();
        QCOMPARE(rs.Fields(0).Value().toString(), QStringLiteral("1"));
    }

    void statementsBindTheirValues_data() {
        engines();
    }
    void statementsBindTheirValues() {
        PREPARE_OR_SKIP();
        const Statement statement{QStringLiteral("SELECT * FROM DangAnKu WHERE (姓名 = 'O''Brien')"),
                                  QStringLiteral("SELECT * FROM DangAnKu WHERE (姓名 = ?) ORDER BY 证号"),
                                  {QStringLiteral("O'Brien")}};
        Recordset rs;
        rs.Open(statement, *m_conn);
        QCOMPARE(rs.Source(), statement.text);
        QCOMPARE(rs.RecordCount(), 1);
        const Statement dated{QStringLiteral("by date"),
                              QStringLiteral("SELECT 证号 FROM DangAnKu WHERE (出生年月 BETWEEN ? AND ?)"),
                              {QDate(1980, 5, 1), QDate(1980, 5, 1)}};
        rs.Open(dated, *m_conn);
        QCOMPARE(rs.RecordCount(), 1);
        QCOMPARE(rs.FieldCount(), 1);
        // Statements outside the paged form are read whole, and read-only.
        rs.Open(QStringLiteral("SELECT count(*) AS n FROM DangAnKu"), *m_conn);
        QCOMPARE(rs.Fields(0).Value().toInt(), 3);
        rs.Open(QStringLiteral("SELECT 姓名, NULL AS 人员查询 FROM Users"), *m_conn);
        QVERIFY(rs.Fields(QStringLiteral("人员查询")).Value().isNull());
    }

    void manyRowsAcrossPages_data() {
        engines();
    }
    void manyRowsAcrossPages() {
        PREPARE_OR_SKIP();
        QStringList inserts;
        for (int i = 10; i < 1010; ++i)
            inserts << QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('%1', '人%1')").arg(i);
        m_db->execAll(inserts);
        Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM DangAnKu WHERE (证号 <> '') Order By 证号"), *m_conn);
        QCOMPARE(rs.RecordCount(), 1003);
        int seen = 0;
        QString previous;
        for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
            const QString key = rs.Fields(0).Value().toString();
            QVERIFY(key > previous);
            previous = key;
            ++seen;
        }
        QCOMPARE(seen, 1003);
        rs.setAbsolutePosition(777);
        const QString key = rs.Fields(0).Value().toString();
        rs.MoveFirst();
        rs.Find(QStringLiteral("证号 = '%1'").arg(key));
        QCOMPARE(rs.AbsolutePosition(), 777);
    }

    void connectionFailures() {
        Connection conn;
        QCOMPARE(errorNumber([&] {
                     conn.Open(QStringLiteral(
                         "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/nonexistent/MoLian.mdb "
                         ";Persist Security Info=False"));
                 }),
                 DbErrorCode::ConnectFailed);
        QTemporaryDir dir;
        const QString notADatabase = dir.filePath(QStringLiteral("MoLian.mdb"));
        QFile f(notADatabase);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
        f.close();
        QCOMPARE(errorNumber([&] {
                     conn.Open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") +
                               notADatabase + QStringLiteral(" ;Persist Security Info=False"));
                 }),
                 DbErrorCode::ConnectFailed);
        QCOMPARE(conn.State(), int(ado::adStateClosed));
        Recordset rs;
        QCOMPARE(errorNumber([&] { rs.Open(QStringLiteral("DangAnKu"), conn); }), DbErrorCode::NotOpen);
    }

    void emptyValuesSortFirstOnBothEngines_data() {
        engines();
    }
    void emptyValuesSortFirstOnBothEngines() {
        PREPARE_OR_SKIP();
        m_db->execAll({QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES (NULL, '甲'), ('', '乙'), "
                                      "(NULL, '丙'), ('b', '丁'), ('B', '戊'), ('张', '己')"),
                       QStringLiteral("INSERT INTO PeiXun (编号, 证书号码) VALUES ('1', 'Z'), ('2', NULL), "
                                      "('3', ''), ('4', NULL)")});
        const auto column = [&](const QString& source, const QString& name) {
            Recordset rs;
            rs.Open(source, *m_conn);
            QStringList values;
            for (; !rs.IsEOF(); rs.MoveNext())
                values << rs.Fields(name).Value().toString();
            return values;
        };
        // A whole register in key order; the two empty keys in the order they were added.
        QCOMPARE(column(QStringLiteral("DangAnKu"), QStringLiteral("姓名")),
                 QString::fromUtf8("甲 丙 乙 张三 O'Brien 李四 戊 丁 己").split(QLatin1Char(' ')));
        QCOMPARE(column(QStringLiteral(
                            "SELECT * FROM PeiXun WHERE (编号 <> '') ORDER BY 证书号码,生产经营单位,编号"),
                        QStringLiteral("编号")),
                 QStringList({"2", "4", "3", "1"}));
        QCOMPARE(column(QStringLiteral("SELECT * FROM PeiXun ORDER BY 证书号码 DESC, 编号"),
                        QStringLiteral("编号")),
                 QStringList({"1", "3", "2", "4"}));
    }

    void serverIndexesGiveTheOrder_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("source");
        const int server = int(TestDatabase::Kind::Server);
        QTest::newRow("whole register") << server << QStringLiteral("DangAnKu");
        QTest::newRow("rows as added") << server << QStringLiteral("SELECT * FROM DangAnKu WHERE 姓名 <> ''");
    }
    void serverIndexesGiveTheOrder() {
        PREPARE_OR_SKIP();
        QFETCH(QString, source);
        Recordset rs;
        rs.Open(source, *m_conn);
        // With sorting priced out, a plan that still sorts has no index giving the order.
        QSqlQuery q(m_conn->database());
        QVERIFY(q.exec(QStringLiteral("SET enable_sort = off")));
        QVERIFY(q.exec(QStringLiteral("EXPLAIN ") + rs.executedSql()));
        QString plan;
        while (q.next())
            plan += q.value(0).toString() + QLatin1Char('\n');
        QVERIFY(q.exec(QStringLiteral("RESET enable_sort")));
        QVERIFY2(!plan.contains(QStringLiteral("Sort")), qPrintable(plan));
    }

    void lostServerConnectionIsReportedThenReopened_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("rowShownFirst");
        QTest::newRow("server") << int(TestDatabase::Kind::Server) << false;
        // The row's values already read: the write's own transaction is the first to fail.
        QTest::newRow("server, row shown") << int(TestDatabase::Kind::Server) << true;
    }
    void lostServerConnectionIsReportedThenReopened() {
        QFETCH(bool, rowShownFirst);
        PREPARE_OR_SKIP();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        if (rowShownFirst) QVERIFY(!rs.Fields(QStringLiteral("姓名")).Value().toString().isEmpty());
        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("改"));
        // What a server restart does to every session of this desk.
        m_db->exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                  "WHERE datname = current_database() AND pid <> pg_backend_pid()"));
        try {
            rs.Update();
            QFAIL("the update went through a dead session");
        } catch (const DbError& e) {
            QCOMPARE(e.number, DbErrorCode::ConnectionLost);
            QVERIFY2(e.description.startsWith(QStringLiteral("与服务器的连接已断开")),
                     qPrintable(e.description));
        }
        // The typed value is still pending and the retry stores it on the new session.
        QCOMPARE(rs.EditMode(), int(ado::adEditInProgress));
        rs.Update();
        Recordset check;
        check.Open(QStringLiteral("SELECT * FROM DangAnKu WHERE 证号 = '1'"), *m_conn);
        QCOMPARE(check.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("改"));
    }

    // Sets read by windows must give the rows, places and bookmarks a full read of the same order
    // gives, across window edges, the empty keys and both directions.
    void windowsMatchTheWholeOrder_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("sameOrderRead"); // a bound condition keeps the set in one read
        for (const auto& [name, kind] : {std::pair{"file", TestDatabase::Kind::Local},
                                         std::pair{"server", TestDatabase::Kind::Server}}) {
            const int k = int(kind);
            QTest::addRow("%s, whole register", name)
                << k << QStringLiteral("DangAnKu") << QStringLiteral("WHERE 1 = ? ORDER BY 证号, rowid");
            QTest::addRow("%s, query order less empty keys", name)
                << k << QStringLiteral("SELECT * FROM DangAnKu WHERE (证号 <> '') ORDER BY 证号,发证日期")
                << QStringLiteral("WHERE (证号 <> '') AND 1 = ? ORDER BY 证号, 发证日期, rowid");
            QTest::addRow("%s, descending, empty values last", name)
                << k << QStringLiteral("SELECT * FROM PeiXun ORDER BY 证书号码 DESC, 编号")
                << QStringLiteral("WHERE 1 = ? ORDER BY 证书号码 DESC, 编号, rowid");
        }
    }
    void windowsMatchTheWholeOrder() {
        QFETCH(QString, source);
        QFETCH(QString, sameOrderRead);
        PREPARE_OR_SKIP();
        QStringList rows, trainings;
        for (int i = 0; i < 700; ++i) {
            // Every 50th key missing and one empty; certificate numbers shared by many, some missing.
            const QString key = i % 50 == 0 ? QStringLiteral("NULL")
                                : i == 1    ? QStringLiteral("''")
                                            : QStringLiteral("'k%1'").arg(i, 4, 10, QLatin1Char('0'));
            const QString number = i % 9 == 0 ? QStringLiteral("NULL") : QStringLiteral("'n%1'").arg(i % 7);
            rows << QStringLiteral("(%1, '人%2')").arg(key).arg(i);
            trainings << QStringLiteral("('%1', %2)").arg(i, 4, 10, QLatin1Char('0')).arg(number);
        }
        m_db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ") + rows.join(QLatin1Char(',')));
        m_db->exec(QStringLiteral("INSERT INTO PeiXun (编号, 证书号码) VALUES ") + trainings.join(QLatin1Char(',')));
        const QString table = source.contains(QLatin1String("PeiXun")) ? QStringLiteral("PeiXun") : QStringLiteral("DangAnKu");
        const QString fullSql = QStringLiteral("SELECT * FROM %1 %2").arg(table, sameOrderRead);
        Recordset whole;
        whole.Open(Statement{fullSql, fullSql, {1}}, *m_conn);
        QVector<qint64> expected;
        for (; !whole.IsEOF(); whole.MoveNext())
            expected << whole.bookmark();

        Recordset rs;
        rs.Open(source, *m_conn);
        QCOMPARE(rs.RecordCount(), expected.size());
        QVector<qint64> forward, backward;
        for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext())
            forward << rs.bookmark();
        QCOMPARE(forward, expected);
        for (rs.MoveLast(); !rs.IsBOF(); rs.MovePrevious())
            backward.prepend(rs.bookmark());
        QCOMPARE(backward, expected);

        const qint64 count = expected.size();
        for (const qint64 position : {qint64(1), qint64(2), qint64(129), qint64(256), count / 2, count - 130, count}) {
            rs.setAbsolutePosition(position);
            QCOMPARE(rs.bookmark(), expected[position - 1]);
            if (position > 1) {
                rs.MovePrevious();
                QCOMPARE(rs.bookmark(), expected[position - 2]);
            }
            // From a row never read nearby, a bookmark still finds its place.
            Recordset other;
            other.Open(source, *m_conn);
            other.setBookmark(expected[position - 1]);
            QCOMPARE(other.AbsolutePosition(), position);
            other.MoveNext();
            QCOMPARE(other.IsEOF() ? qint64(-1) : other.bookmark(), position < count ? expected[position] : -1);
        }
        // Find walks on from where the set stands, past the windows read.
        rs.setAbsolutePosition(count / 2);
        rs.Find(QStringLiteral("%1 = '%2'").arg(table == QLatin1String("PeiXun") ? QStringLiteral("编号") : QStringLiteral("姓名"),
                                               table == QLatin1String("PeiXun") ? QStringLiteral("0003") : QStringLiteral("人3")));
        const qint64 foundAt = rs.IsEOF() ? -1 : rs.AbsolutePosition();
        whole.MoveFirst();
        whole.Find(QStringLiteral("%1 = '%2'").arg(table == QLatin1String("PeiXun") ? QStringLiteral("编号") : QStringLiteral("姓名"),
                                                  table == QLatin1String("PeiXun") ? QStringLiteral("0003") : QStringLiteral("人3")));
        const qint64 wholeAt = whole.AbsolutePosition();
        QCOMPARE(foundAt, wholeAt >= count / 2 ? wholeAt : -1);
    }

    // A clone walks the rows its set found, from its own place, without reading them again: rows
    // another desk adds to a search afterwards stay out of both.
    void clonesWalkTheRowsFound_data() {
        engines();
    }
    void clonesWalkTheRowsFound() {
        PREPARE_OR_SKIP();
        const QVector<Statement> sets = {
            {QStringLiteral("whole"), QStringLiteral("SELECT * FROM DangAnKu"), {}},
            {QStringLiteral("search"), QStringLiteral("SELECT * FROM DangAnKu WHERE (姓名 LIKE ?) ORDER BY 证号"),
             {QStringLiteral("%i%")}},
            {QStringLiteral("read whole"), QStringLiteral("SELECT 证号 FROM DangAnKu UNION SELECT '9'"), {}}};
        const auto rowText = [](Recordset& rs) {
            return rs.Fields(0).Value().toString() + QLatin1Char('@') + QString::number(rs.bookmark());
        };
        for (const Statement& statement : sets) {
            Recordset found;
            found.Open(statement, *m_conn, ado::adOpenStatic, ado::adLockOptimistic);
            QStringList expected;
            for (; !found.IsEOF(); found.MoveNext())
                expected << rowText(found);
            const auto clone = found.Clone();
            QSqlQuery otherDesk(m_conn->database());
            QVERIFY(otherDesk.exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('0', 'Ti')")));
            QCOMPARE(clone->RecordCount(), expected.size());
            QStringList walked;
            for (; !clone->IsEOF(); clone->MoveNext())
                walked << rowText(*clone);
            // A walk over a whole register shows rows added elsewhere in their place.
            if (statement.text == QLatin1String("whole"))
                walked.removeIf([](const QString& row) { return row.startsWith(QLatin1String("0@")); });
            QCOMPARE(walked, expected);
            QVERIFY(found.IsEOF());
            clone->MoveFirst();
            QCOMPARE(errorNumber([&] { clone->Fields(0).setValue(QStringLiteral("x")); }), DbErrorCode::ReadOnly);
            QVERIFY(otherDesk.exec(QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = '0'")));
        }
    }

    // The engine keeps each register's row count with every insert and delete, whoever makes it;
    // a set counts its register as it stood when opened, or when it last wrote.
    void countsFollowEveryDesk_data() {
        engines();
    }
    void countsFollowEveryDesk() {
        PREPARE_OR_SKIP();
        Recordset mine;
        mine.Open(QStringLiteral("DangAnKu"), *m_conn, ado::adOpenDynamic, ado::adLockOptimistic);
        Connection otherDesk;
        otherDesk.Open(m_db->connectionString());
        QSqlQuery other(otherDesk.database());
        QVERIFY(other.exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('20', '甲'), ('21', '乙'), (NULL, '丙'), ('', '丁')")));
        QVERIFY(other.exec(QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = '2'")));
        QCOMPARE(mine.RecordCount(), 3);
        mine.AddNew();
        mine.Fields(QStringLiteral("证号")).setValue(QStringLiteral("15"));
        mine.Update();
        QCOMPARE(mine.RecordCount(), 7); // counted anew with this desk's own write
        QCOMPARE(DeleteWhere(otherDesk, QStringLiteral("DangAnKu"), QStringLiteral("证号 = ?"), {QStringLiteral("20")}), 1);

        const auto counted = [&](const QString& source) {
            Recordset rs;
            rs.Open(source, *m_conn);
            return rs.RecordCount();
        };
        QSqlQuery truth(m_conn->database());
        QVERIFY(truth.exec(QStringLiteral("SELECT COUNT(*), COUNT(NULLIF(证号, '')) FROM DangAnKu")) && truth.next());
        QCOMPARE(counted(QStringLiteral("DangAnKu")), truth.value(0).toLongLong());
        QCOMPARE(counted(QStringLiteral("SELECT * FROM DangAnKu WHERE (证号 <> '') ORDER BY 证号,发证日期")),
                 truth.value(1).toLongLong());
        // The set opened before reads the register as it stands now when it moves on.
        mine.MoveLast();
        QCOMPARE(mine.Fields(QStringLiteral("证号")).Value().toString(), QStringLiteral("3"));
        QCOMPARE(mine.RecordCount(), truth.value(0).toLongLong());
        QStringList keys;
        for (mine.MoveFirst(); !mine.IsEOF(); mine.MoveNext())
            keys << mine.Fields(QStringLiteral("证号")).Value().toString();
        QCOMPARE(keys, QStringList({"", "", "1", "15", "21", "3"}));
    }

    // A database made before the kept counts is counted row by row until the upgrade adds them,
    // with the rows it already holds.
    void anOlderDatabaseGetsItsCounts_data() {
        engines();
    }
    void anOlderDatabaseGetsItsCounts() {
        PREPARE_OR_SKIP();
        const bool server = m_conn->engine() == Connection::Engine::Postgres;
        QStringList older{QStringLiteral("DROP TABLE RegisterCount")};
        for (const QString& table : RegisterCounts::countedTables())
            for (const char* change : {"added", "removed"})
                older << QStringLiteral("DROP TRIGGER %1_count_%2%3")
                             .arg(table.toLower(), QLatin1String(change),
                                  server ? QStringLiteral(" ON ") + table : QString());
        older << QStringLiteral("INSERT INTO DangAnKu (证号) VALUES ('7'), ('8')");
        m_db->execAll(older);
        QVERIFY(!RegisterCounts::present(m_conn->database()));
        QVERIFY(schemaGaps(m_conn->database()).contains(QStringLiteral("没有各登记表的记录数")));
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), *m_conn);
        QCOMPARE(rs.RecordCount(), 5);
        if (server)
            QCOMPARE(upgradeServerSchema(serverLibpq(*m_db)), QString());
        else
            upgradeSchema(m_conn->database());
        QCOMPARE(schemaGaps(m_conn->database()), QStringList());
        m_db->exec(QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = '7'"));
        QCOMPARE(RegisterCounts::read(m_conn->database(), QStringLiteral("DangAnKu")), std::optional<qint64>(4));
        QCOMPARE(RegisterCounts::read(m_conn->database(), QStringLiteral("PeiXun")), std::optional<qint64>(0));
    }
};

QTEST_MAIN(RecordsetTest)
#include "tst_recordset.moc"
