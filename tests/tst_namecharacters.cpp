// Names found by their characters, on the local file and on the server: the index of the characters
// finds what a scan of the names finds, in the query windows' order, after every kind of change.
#include "Connection.h"
#include "NameCharacters.h"
#include "SchemaUpgrade.h"
#include "ServerLibpq.h"
#include "TestDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {

// Repeated characters, letters in either case, a character beyond the basic plane, the pattern's
// own characters, empty and missing names, and a row without a key (never shown by the windows).
const QString kRows = QStringLiteral(
    "INSERT INTO DangAnKu (证号, 姓名, 发证日期) VALUES ('B2', '张张', '2001-01-01'), ('A1', '王小张', NULL), "
    "('C3', 'Zhang San', '2003-03-03'), ('D4', 'zhang', NULL), ('E5', '𠮷田', NULL), ('F6', '50%_x', NULL), "
    "('G7', '', NULL), ('H8', NULL, NULL), ('', '张无证', NULL)");

} // namespace

class NameCharactersTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<Connection> m_conn;

    bool prepare() {
        QFETCH(int, kind);
        m_conn.reset();
        m_db = TestDatabase::create(TestDatabase::Kind(kind));
        if (!m_db) return false;
        m_db->exec(kRows);
        m_conn = std::make_unique<Connection>();
        m_conn->Open(m_db->connectionString());
        return true;
    }

#define PREPARE_OR_SKIP()                                                                                    \
    if (!prepare()) QSKIP("no test server: ORVANTA_TEST_PG is not set");

    bool server() const {
        return m_conn->engine() == Connection::Engine::Postgres;
    }

    QList<qint64> ids(const QString& sql, const QVariantList& binds) const {
        QSqlQuery q(m_conn->database());
        q.prepare(sql);
        for (const QVariant& v : binds)
            q.addBindValue(v);
        if (!q.exec()) qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        QList<qint64> found;
        while (q.next())
            found << q.value(0).toLongLong();
        return found;
    }

    // What a scan of the names finds, in the certificate query's order.
    QList<qint64> scanned(const QString& fragment) const {
        QString pattern = fragment;
        pattern.replace(QLatin1Char('%'), QLatin1String("\\%")).replace(QLatin1Char('_'), QLatin1String("\\_"));
        const QString nullsFirst = server() ? QStringLiteral(" NULLS FIRST") : QString();
        return ids(QStringLiteral("SELECT rowid FROM DangAnKu WHERE 证号 <> '' AND 姓名 %1 ? ESCAPE '\\' "
                                  "ORDER BY 证号%2, 发证日期%2, rowid")
                       .arg(server() ? QStringLiteral("ILIKE") : QStringLiteral("LIKE"), nullsFirst),
                   {QLatin1Char('%') + pattern + QLatin1Char('%')});
    }

    QList<qint64> holding(const QString& fragment) const {
        QVariantList binds;
        const QString condition =
            NameCharacters::rowsHoldingCharacters(QStringLiteral("DangAnKu"), fragment, m_conn->engine(), binds);
        return ids(QStringLiteral("SELECT rowid FROM DangAnKu WHERE %1").arg(condition), binds);
    }

    QList<qint64> inOrder(const QString& character) const {
        return ids(NameCharacters::identitiesInOrder(QStringLiteral("DangAnKu"),
                                                     {QStringLiteral("证号"), QStringLiteral("发证日期")},
                                                     m_conn->engine()),
                   {character});
    }

    // One character reads exactly the scan's hits in its order; more characters never lose a hit.
    void checkFound(const QString& fragment) const {
        if (fragment.toUcs4().size() == 1) {
            QCOMPARE(inOrder(fragment), scanned(fragment));
            return;
        }
        const QList<qint64> narrowed = holding(fragment);
        for (const qint64 id : scanned(fragment))
            QVERIFY2(narrowed.contains(id), qPrintable(fragment));
    }

private slots:
    void findsWhatAScanOfTheNamesFinds_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("fragment");
        const QStringList fragments{QStringLiteral("张"),       QStringLiteral("z"),  QStringLiteral("Z"),
                                    QStringLiteral("𠮷"),       QStringLiteral("%"),  QStringLiteral("_"),
                                    QStringLiteral(" "),        QStringLiteral("无"), QStringLiteral("张张"),
                                    QStringLiteral("zhang s"), QStringLiteral("田𠮷")};
        for (const auto& [engine, kind] : {std::pair{"local", TestDatabase::Kind::Local},
                                           std::pair{"server", TestDatabase::Kind::Server}})
            for (const QString& fragment : fragments)
                QTest::addRow("%s: %s", engine, qPrintable(fragment)) << int(kind) << fragment;
    }
    void findsWhatAScanOfTheNamesFinds() {
        PREPARE_OR_SKIP();
        QFETCH(QString, fragment);
        checkFound(fragment);
        QVERIFY(!scanned(QStringLiteral("张")).isEmpty());
    }

    // Renaming, rekeying, redating, deleting and adding, here and at another desk.
    void keptInStepWithEveryChange_data() {
        TestDatabase::addEngineRows("kind");
    }
    void keptInStepWithEveryChange() {
        PREPARE_OR_SKIP();
        const QStringList changes{
            QStringLiteral("UPDATE DangAnKu SET 姓名 = '李四张' WHERE 证号 = 'D4'"),
            QStringLiteral("UPDATE DangAnKu SET 证号 = '0B' WHERE 证号 = 'B2'"),
            QStringLiteral("UPDATE DangAnKu SET 发证日期 = '1999-09-09', 备注 = '补证' WHERE 证号 = 'C3'"),
            QStringLiteral("UPDATE DangAnKu SET 证号 = 'A0' WHERE 证号 = ''"),
            QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = 'A1'"),
            QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('A2', '张一'), ('A3', NULL)"),
            QStringLiteral("UPDATE DangAnKu SET 姓名 = 'ZHANG' WHERE 证号 = 'A3'"),
        };
        for (const QString& change : changes) {
            QSqlQuery here(m_conn->database());
            QVERIFY2(here.exec(change), qPrintable(here.lastError().text()));
            for (const char* fragment : {"张", "z", "李", "san", "一", "田"})
                checkFound(QString::fromUtf8(fragment));
        }
        m_db->exec(QStringLiteral("UPDATE DangAnKu SET 姓名 = '周张' WHERE 证号 = 'A2'"));
        m_db->exec(QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = '0B'"));
        for (const char* fragment : {"张", "周", "一"})
            checkFound(QString::fromUtf8(fragment));
    }

    // Only so many places fit a row's entries: a longer name is refused and nothing is written.
    void aNameOfMoreThan255CharactersIsRefused_data() {
        TestDatabase::addEngineRows("kind");
    }
    void aNameOfMoreThan255CharactersIsRefused() {
        PREPARE_OR_SKIP();
        const QString longest = QString(254, QLatin1Char('x')) + QStringLiteral("末");
        QSqlQuery q(m_conn->database());
        QVERIFY(q.exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('L1', '%1')").arg(longest)));
        QCOMPARE(inOrder(QStringLiteral("末")).size(), 1);
        const QList<qint64> before = scanned(QStringLiteral("x"));
        for (const QString& refused :
             {QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('L2', '%1x')").arg(longest),
              QStringLiteral("UPDATE DangAnKu SET 姓名 = '%1x' WHERE 证号 = 'L1'").arg(longest)}) {
            QVERIFY(!q.exec(refused));
            QVERIFY2(q.lastError().text().contains(QStringLiteral("姓名不能超过255个字")),
                     qPrintable(q.lastError().text()));
        }
        QCOMPARE(scanned(QStringLiteral("x")), before);
        QCOMPARE(inOrder(QStringLiteral("末")).size(), 1);
    }

    // A database made before the index has it made, with the names it already holds.
    void anOlderDatabaseGetsTheIndexOfItsNames_data() {
        TestDatabase::addEngineRows("kind");
    }
    void anOlderDatabaseGetsTheIndexOfItsNames() {
        PREPARE_OR_SKIP();
        QStringList older = NameCharacters::bulkLoadStatements(server() ? SqlDialect::Postgres : SqlDialect::Sqlite);
        for (const QString& table : NameCharacters::tables())
            older << QStringLiteral("DROP TABLE %1").arg(table);
        older << QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('K1', '张后')");
        m_db->execAll(older);
        QVERIFY(!NameCharacters::present(m_conn->database()));
        QVERIFY(schemaGaps(m_conn->database()).contains(QStringLiteral("缺少查询用的索引")));
        if (server())
            QCOMPARE(upgradeServerSchema(serverLibpq(*m_db)), QString());
        else
            upgradeSchema(m_conn->database());
        QCOMPARE(schemaGaps(m_conn->database()), QStringList());
        for (const char* fragment : {"张", "后", "z"})
            checkFound(QString::fromUtf8(fragment));
    }
};

QTEST_MAIN(NameCharactersTest)
#include "tst_namecharacters.moc"
