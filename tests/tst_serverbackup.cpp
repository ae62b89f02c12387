// Backups of the database on the server and restores from them: what comes back is what was
// there (rows, photos, the trail's chain), an encrypted backup is never plain on disk, and a
// restore waits for the desks to leave.
#include "AuditChain.h"
#include "AuditLog.h"
#include "DbError.h"
#include "Passwords.h"
#include "Schema.h"
#include "ServerBackup.h"
#include "ServerLibpq.h"
#include "TestDatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

namespace {

// A session of its own on a server database, for reading what a test checks.
class Session {
public:
    explicit Session(const QString& libpq)
        : m_name(QStringLiteral("check-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        openServerDatabase(libpq, m_name);
    }
    ~Session() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    QVariant value(const QString& sql) const {
        QSqlQuery q(db());
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }

private:
    QString m_name;
};

QString onDatabase(QString libpq, const QString& database) {
    return libpq.replace(QRegularExpression(QStringLiteral("dbname=\\S+")),
                         QStringLiteral("dbname=") + database);
}

QString catalogOf(const QString& libpq) {
    return QRegularExpression(QStringLiteral("dbname=(\\S+)")).match(libpq).captured(1);
}

void dropDatabase(const QString& libpq, const QString& name) {
    Session admin(onDatabase(libpq, QStringLiteral("postgres")));
    QSqlQuery(admin.db()).exec(QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(name));
}

bool plainDumpIn(const QString& folder) {
    QDirIterator files(folder, QDir::Files | QDir::Hidden);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly) && file.read(5) == "PGDMP") return true;
    }
    return false;
}

} // namespace

class ServerBackupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    QTemporaryDir m_folder;

    QString admin() const { return serverLibpq(*m_db); }
    QString backupIn() const {
        const QStringList found =
            QDir(m_folder.path()).entryList({serverBackupPattern()}, QDir::Files, QDir::Name);
        return found.isEmpty() ? QString() : QDir(m_folder.path()).filePath(found.last());
    }

private slots:
    void init() {
        m_db = TestDatabase::create(TestDatabase::Kind::Server);
        if (!m_db) QSKIP("no test server (ORVANTA_TEST_PG)");
        for (const QString& name : QDir(m_folder.path()).entryList(QDir::Files))
            QFile::remove(QDir(m_folder.path()).filePath(name));
        const QByteArray photo(70000, '\x5a');
        m_db->execAll(
            {QStringLiteral(
                 "INSERT INTO DangAnKu (证号, 姓名, 照片) VALUES ('1', '张三', decode('%1', 'hex'))")
                 .arg(QString::fromLatin1(photo.toHex())),
             QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('2', '李四')"),
             QStringLiteral("INSERT INTO PeiXun (编号, 姓名) VALUES ('1', '王五')")});
        Session desk(admin());
        AuditLog::record(desk.db(), AuditLog::kLogin, {}, {}, {}, QStringLiteral("一次登录"));
    }

    void roundTripBringsBackRowsPhotosAndTheTrail_data() {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QString();
        QTest::newRow("encrypted") << QStringLiteral("geheim");
    }

    void roundTripBringsBackRowsPhotosAndTheTrail() {
        QFETCH(QString, password);
        if (!password.isEmpty())
            m_db->exec(QStringLiteral("UPDATE System SET 备份密码 = '%1'").arg(hashPassword(password)));
        const QString photoSql =
            QStringLiteral("SELECT encode(sha256(照片), 'hex') FROM DangAnKu WHERE 证号 = '1'");
        const QString photoHash = Session(admin()).value(photoSql).toString();
        bool plainSeen = false;
        const BackupResult backup = backUpServerDatabase(admin(), m_folder.path(), password, 0, [&](int) {
            plainSeen = plainSeen || plainDumpIn(m_folder.path());
            return true;
        });
        QCOMPARE(int(backup.status), int(BackupStatus::Done));
        QVERIFY2(backup.message.contains(QStringLiteral("记录数与原数据库相同")), qPrintable(backup.message));
        QVERIFY(
            QRegularExpression(QStringLiteral("/MoLian-\\d{8}-\\d{6}\\.dump$")).match(backupIn()).hasMatch());
        QCOMPARE(plainSeen || plainDumpIn(m_folder.path()), password.isEmpty());

        m_db->exec(QStringLiteral("DELETE FROM DangAnKu"));
        const BackupResult restored = restoreServerDatabase(backupIn(), admin(), password);
        QCOMPARE(int(restored.status), int(BackupStatus::Done));
        Session now(admin());
        QCOMPARE(now.value(QStringLiteral("SELECT count(*) FROM DangAnKu")).toInt(), 2);
        QCOMPARE(now.value(QStringLiteral("SELECT count(*) FROM PeiXun")).toInt(), 1);
        QCOMPARE(now.value(photoSql).toString(), photoHash);
        const AuditChain::Verification trail = AuditChain::verify(now.db());
        QVERIFY2(trail.intact, qPrintable(trail.message));
        QCOMPARE(now.value(QStringLiteral("SELECT 操作 FROM AuditLog ORDER BY 编号 DESC LIMIT 1")).toString(),
                 AuditLog::kRestore);
        // The desks' role has its rights on the restored tables.
        QVERIFY(Session(serverLibpq(*m_db, QStringLiteral("orvanta_desk")))
                    .value(QStringLiteral("SELECT count(*) FROM DangAnKu"))
                    .isValid());
        QVERIFY(restored.message.contains(QStringLiteral("PostgreSQL")));
        QCOMPARE(Session(onDatabase(admin(), restored.keptCopy))
                     .value(QStringLiteral("SELECT count(*) FROM DangAnKu"))
                     .toInt(),
                 0);
        dropDatabase(admin(), restored.keptCopy);
    }

    void encryptedBackupNeedsItsPassword() {
        // Set by the schema's owner; the desks' role may not change it.
        QVERIFY(
            !setServerBackupPassword(serverLibpq(*m_db, QStringLiteral("orvanta_desk")), QStringLiteral("x"))
                 .isEmpty());
        QCOMPARE(setServerBackupPassword(serverLibpq(*m_db, QStringLiteral("orvanta_owner")),
                                         QStringLiteral("geheim")),
                 QString());
        QCOMPARE(int(backUpServerDatabase(admin(), m_folder.path(), QStringLiteral("falsch"), 0).status),
                 int(BackupStatus::WrongPassword));
        QCOMPARE(backupIn(), QString());
        QCOMPARE(int(backUpServerDatabase(admin(), m_folder.path(), QStringLiteral("geheim"), 0).status),
                 int(BackupStatus::Done));
        const BackupResult wrong = restoreServerDatabase(backupIn(), admin(), QStringLiteral("falsch"));
        QCOMPARE(int(wrong.status), int(BackupStatus::WrongPassword));
        QCOMPARE(Session(admin()).value(QStringLiteral("SELECT count(*) FROM DangAnKu")).toInt(), 2);
    }

    void restoreWaitsForTheOtherSessions() {
        QCOMPARE(int(backUpServerDatabase(admin(), m_folder.path(), {}, 0).status), int(BackupStatus::Done));
        m_db->exec(QStringLiteral("DELETE FROM PeiXun"));
        Session desk(serverLibpq(*m_db, QStringLiteral("orvanta_desk")));
        const BackupResult refused = restoreServerDatabase(backupIn(), admin(), {});
        QCOMPARE(int(refused.status), int(BackupStatus::Failed));
        QVERIFY2(refused.message.startsWith(
                     QStringLiteral("数据已被写保护!确认没有其它用户打开原有数据!PostgreSQL 数据库 ") +
                     catalogOf(admin()) + QStringLiteral(" 还有 1 个连接：orvanta_desk@")),
                 qPrintable(refused.message));
        QCOMPARE(desk.value(QStringLiteral("SELECT count(*) FROM PeiXun")).toInt(), 0);
    }

    void theDesksRoleBacksUpWithoutATrialAndOldBackupsGo() {
        const QString desk = serverLibpq(*m_db, QStringLiteral("orvanta_desk"));
        for (int i = 0; i < 3; ++i) {
            const BackupResult result = backUpServerDatabase(desk, m_folder.path(), {}, 2);
            QCOMPARE(int(result.status), int(BackupStatus::Done));
            QVERIFY2(result.message.contains(QStringLiteral("没有试恢复")), qPrintable(result.message));
        }
        const QStringList kept = QDir(m_folder.path()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(kept.size(), 2);
        QVERIFY(!kept.contains(QStringLiteral("MoLian.dump")));
    }

    void aFileThatIsNoServerBackupChangesNothing() {
        const QString junk = QDir(m_folder.path()).filePath(QStringLiteral("MoLian-20260101-000000.dump"));
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("PGDMP but nothing after it");
        file.close();
        const BackupResult result = restoreServerDatabase(junk, admin(), {});
        QCOMPARE(int(result.status), int(BackupStatus::Refused));
        QCOMPARE(Session(admin()).value(QStringLiteral("SELECT count(*) FROM DangAnKu")).toInt(), 2);
        QCOMPARE(
            Session(onDatabase(admin(), QStringLiteral("postgres")))
                .value(QStringLiteral("SELECT count(*) FROM pg_database WHERE datname LIKE 'MoLian\\_%'"))
                .toInt(),
            0);
    }
};

QTEST_GUILESS_MAIN(ServerBackupTest)
#include "tst_serverbackup.moc"
