// The delivered database: its tables, keys and content, and the commands that create it.
#include "adodb.h"
#include "Passwords.h"
#include "Schema.h"
#include "TestDatabase.h"

#include <QFile>
#include <QProcess>
#include <QTest>

class SchemaTest : public QObject {
    Q_OBJECT

    static QString local(const QString& path) {
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
               QStringLiteral(" ;Persist Security Info=False");
    }

private slots:
    void deliveredContent_data() {
        TestDatabase::addEngineRows("kind");
    }
    void deliveredContent() {
        QFETCH(int, kind);
        auto db = TestDatabase::create(TestDatabase::Kind(kind));
        if (!db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        Connection conn;
        conn.Open(db->connectionString());
        Recordset system;
        system.Open(QStringLiteral("System"), conn);
        QCOMPARE(system.RecordCount(), 1);
        QCOMPARE(system.Fields(QStringLiteral("Ver")).Value().toDouble(), 2.0);

        Recordset users;
        users.Open(QStringLiteral("Users"), conn, ado::adOpenDynamic, ado::adLockOptimistic);
        QCOMPARE(users.RecordCount(), 1);
        QCOMPARE(users.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("管理员"));
        // Kept only as a hash, which the delivered password opens.
        const QVariant stored = users.Fields(QStringLiteral("PWD")).Value();
        QVERIFY(isPasswordHash(stored.toString()));
        QVERIFY(passwordMatches(stored, QStringLiteral("736")));
        for (const char* right : {"资料录入", "人员查询", "打印操作", "Tag1", "Tag2", "求职登记", "招聘登记",
                                  "职位查询", "职位速配"})
            QCOMPARE(users.Fields(QString::fromUtf8(right)).Value(), QVariant(true));
        // A new operator has no right until one is given.
        users.AddNew();
        users.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("新操作员"));
        users.Update();
        QCOMPARE(users.Fields(QStringLiteral("资料录入")).Value(), QVariant(false));

        Recordset options;
        options.Open(QStringLiteral("SELECT leixing FROM List ORDER BY id"), conn);
        QSet<QString> categories;
        for (; !options.IsEOF(); options.MoveNext())
            categories << options.Fields(0).Value().toString();
        QCOMPARE(categories, (QSet<QString>{QStringLiteral("作业类别"), QStringLiteral("文化程度"),
                                            QStringLiteral("证书级别"), QStringLiteral("职业工种"),
                                            QStringLiteral("职务")}));

        // A value is unique within its category only.
        Recordset list;
        list.Open(QStringLiteral("List"), conn, ado::adOpenDynamic, ado::adLockOptimistic);
        list.AddNew();
        list.Fields(QStringLiteral("content")).setValue(QStringLiteral("电工"));
        list.Fields(QStringLiteral("leixing")).setValue(QStringLiteral("作业类别"));
        list.Update();
        list.AddNew();
        list.Fields(QStringLiteral("content")).setValue(QStringLiteral("电工"));
        list.Fields(QStringLiteral("leixing")).setValue(QStringLiteral("作业类别"));
        bool refused = false;
        try {
            list.Update();
        } catch (const DbError& e) {
            refused = e.number == DbErrorCode::DuplicateKey;
        }
        QVERIFY(refused);
    }

    void creationRefusesExistingFilesAndLeavesNoHalfDatabase() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("MoLian.mdb"));
        QCOMPARE(createLocalDatabase(path), QString());
        const QByteArray before = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        QVERIFY(!createLocalDatabase(path).isEmpty());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);

        const QString printPath = dir.filePath(QStringLiteral("print.dat"));
        QCOMPARE(createPrintSettingsFile(printPath), QString());
        Connection print;
        print.Open(local(printPath));
        Recordset setup;
        setup.Open(QStringLiteral("PrintSetup"), print, ado::adOpenDynamic, ado::adLockOptimistic);
        QCOMPARE(setup.RecordCount(), 0);
        QVERIFY(setup.fieldIndex(QStringLiteral("Title")) >= 0);

        // A folder that cannot hold the file: an error, and nothing left behind.
        QVERIFY(!createLocalDatabase(dir.filePath(QStringLiteral("no/such/folder/MoLian.mdb"))).isEmpty());
    }
};

QTEST_MAIN(SchemaTest)
#include "tst_schema.moc"
