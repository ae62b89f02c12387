// Backing up the local database and restoring it: what is written, what is refused, and that
// nothing the office has is ever lost on the way.
#include "Backup.h"
#include "BackupFiles.h"
#include "basGlobal.h"
#include "CommandLine.h"
#include "DeskPresence.h"
#include "ModSql.h"
#include "OtherDesk.h"
#include "sBeiFen.h"
#include "Schema.h"
#include "ServerLibpq.h"
#include "TestDatabase.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "StartUpHost.h"
#include "Operators.h"
#include "TempConfigDir.h"

#include <csignal>
#include <sqlite3.h>
#include <sys/stat.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTest>

namespace {
struct Host : StartUpHost {
    void showOperator(const QString&) override {}
};

QByteArray contents(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

void execSql(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    QCOMPARE(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

qint64 certificates(const QString& path) {
    Connection conn;
    conn.Open(localConnectionString(path));
    Recordset rs;
    rs.Open(QStringLiteral("DangAnKu"), conn);
    return rs.RecordCount();
}

qint64 trailRows(const QString& path, const QString& action) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM AuditLog WHERE 操作 = ?", -1, &q, nullptr);
    const QByteArray text = action.toUtf8();
    sqlite3_bind_text(q, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    const qint64 rows = sqlite3_step(q) == SQLITE_ROW ? sqlite3_column_int64(q, 0) : -1;
    sqlite3_finalize(q);
    sqlite3_close(db);
    return rows;
}

bool intact(const QString& path) {
    Connection conn;
    conn.Open(localConnectionString(path));
    QSqlQuery check(conn.database());
    return check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next() &&
           check.value(0).toString() == QLatin1String("ok");
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// Leaves beside `path` the journal of a desk that died while saving: hot, so SQLite replays it onto
// whatever file next opens under that name.
void leaveHotJournal(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    const auto exec = [&](const char* sql) {
        QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    };
    exec("PRAGMA cache_size = 10");
    exec("BEGIN");
    exec(
        "UPDATE DangAnKu SET 备注 = hex(randomblob(1500))"); // more than the cache holds: spilled to the file
    const QByteArray journal = contents(path + QStringLiteral("-journal"));
    exec("ROLLBACK");
    sqlite3_close(db);
    QVERIFY(journal.size() > 4096);
    write(path + QStringLiteral("-journal"), journal);
}
// True when any file under `folder` holds the register's text or an SQLite header.
bool readableCopyIn(const QString& folder) {
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QByteArray bytes = contents(files.next());
        if (bytes.contains("SQLite format 3") || bytes.contains(QStringLiteral("张三").toUtf8())) return true;
    }
    return false;
}

QStringList workLeftIn(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.tmp"), QStringLiteral("*.tmp-journal")},
                                  QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
}

const char kKillAtStep[] = "ORVANTA_TEST_KILL_RESTORE_AT";

// A run started with kKillAtStep restores its arguments' backup and dies at that step of the
// progress display, as a power cut would end it.
void restoreAndDieIfAsked() {
    if (!qEnvironmentVariableIsSet(kKillAtStep)) return;
    const int killAt = qEnvironmentVariableIntValue(kKillAtStep);
    BackupStatus status = BackupStatus::Failed;
    {
        int argc = 1;
        char name[] = "restore";
        char* argv[] = {name, nullptr};
        QCoreApplication application(argc, argv);
        int step = 0;
        status = restoreDatabase(qEnvironmentVariable("ORVANTA_TEST_BACKUP"),
                                 qEnvironmentVariable("ORVANTA_TEST_DATABASE"), {},
                                 [&](int) {
                                     if (++step == killAt) std::raise(SIGKILL);
                                     return true;
                                 })
                     .status;
    }
    std::exit(status == BackupStatus::Done ? 0 : 2);
}
} // namespace

class BackupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_appDir;
    std::unique_ptr<QTemporaryDir> m_elsewhere;
    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    Host m_host;
    QByteArray m_sealed; // an encrypted backup, password "geheim", of a database with one certificate

    QString inElsewhere(const QString& name) const { return QDir(m_elsewhere->path()).filePath(name); }
    QString elsewhereBackup() const { return backupFilePath(m_elsewhere->path()); }

public:
    static void initMain() {
        OtherDesk::runErrandIfAsked();
        restoreAndDieIfAsked();
    }

private slots:
    void initTestCase() {
        QTemporaryDir dir;
        const QString db = QDir(dir.path()).filePath(QStringLiteral("MoLian.mdb"));
        QCOMPARE(createLocalDatabase(db), QString());
        execSql(db, QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('9', '加密')"));
        const BackupResult sealed = backUpDatabase(db, dir.path(), QStringLiteral("geheim"));
        QCOMPARE(sealed.status, BackupStatus::Done);
        m_sealed = contents(backupFilePath(dir.path()));
    }

    void init() {
        m_appDir = std::make_unique<QTemporaryDir>();
        m_elsewhere = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<TempConfigDir>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_host = Host();
        qputenv("ORVANTA_APP_DIR", m_appDir->path().toUtf8());
        gOperator = QStringLiteral("管理员");
        gDbPath = AppPath() + QStringLiteral("MoLian.mdb");
        QCOMPARE(createLocalDatabase(gDbPath), QString());
        gConnStr = localConnectionString(gDbPath);
        gConn.Open(gConnStr);
        QSqlQuery(gConn.database())
            .exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('1', '张三')"));
    }

    void cleanup() {
        gConn.Close();
        m_dialogs.reset();
    }

    void targetsJoinWithoutDoubledSeparators() {
        QCOMPARE(backupFilePath(QStringLiteral("/")), QStringLiteral("/MoLianBackUp.Mdb"));
        QCOMPARE(backupFilePath(QStringLiteral("/srv/backup/")),
                 QStringLiteral("/srv/backup/MoLianBackUp.Mdb"));
        QCOMPARE(backupFilePath(QStringLiteral("/srv/backup")),
                 QStringLiteral("/srv/backup/MoLianBackUp.Mdb"));
    }

    void backupWritesACompactCopyAndEndsTheProgram() {
        // Room freed by a deleted photo is not carried into the backup.
        QSqlQuery(gConn.database())
            .exec(QStringLiteral("UPDATE DangAnKu SET 照片 = zeroblob(400000) WHERE 证号 = '1'"));
        QSqlQuery(gConn.database()).exec(QStringLiteral("UPDATE DangAnKu SET 照片 = NULL"));
        sBeiFen dialog(&m_host, true);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("数据备份"));
        dialog.setStartPath(gDbPath); // opens on the database's own folder
        QCOMPARE(QDir(dialog.dirPath()), QDir(m_appDir->path()));
        QCOMPARE(QDir(dialog.findChild<QLabel*>(QStringLiteral("LblPath"))->text()), QDir(m_appDir->path()));
        dialog.setDirPath(m_elsewhere->path());
        dialog.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().text,
                 QStringLiteral("备份数据：") + elsewhereBackup() + QStringLiteral("成功!"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Information);
        QCOMPARE(certificates(elsewhereBackup()), 1);
        QVERIFY(QFileInfo(elsewhereBackup()).size() < QFileInfo(gDbPath).size() - 300000);
        QCOMPARE(filesIn(m_elsewhere->path()), QStringList{QStringLiteral("MoLianBackUp.Mdb")});
        QVERIFY(m_host.bUnload);
        QCOMPARE(gConn.State(), int(ado::adStateClosed));
    }

    void refusedBackupsKeepTheFormAndTheConnection() {
        sBeiFen dialog(&m_host, true);
        dialog.setDirPath(m_appDir->path());
        QFile::copy(gDbPath, AppPath() + QStringLiteral("MoLianBackUp.Mdb"));
        gDbPath = AppPath() + QStringLiteral("MoLianBackUp.Mdb"); // the database is the target itself
        dialog.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("当前账套数据与备份数据存放目录相同!"));
        QVERIFY(!m_host.bUnload);
        gDbPath = AppPath() + QStringLiteral("MoLian.mdb");

        m_dialogs->answerMsgBox(vb::No); // an older backup there: not overwritten
        dialog.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("当前目录 ' ") + m_appDir->path() +
                                                    QStringLiteral(" ' 已有目标数据!覆盖吗?"));
        QVERIFY(!m_host.bUnload);
        dialog.reject();
        QCOMPARE(gConn.State(), int(ado::adStateOpen)); // abandoned: the program goes on working
    }

    void restoreKeepsTheReplacedDatabaseBesideIt() {
        sBeiFen dialog(&m_host, false);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("恢复数据"));
        dialog.setDirPath(m_elsewhere->path());
        dialog.DoSub();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("Label3"))->text(),
                 QStringLiteral("当前路径无待恢复数据!"));
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("CmdAdd"))->isEnabled());

        QCOMPARE(createLocalDatabase(elsewhereBackup()), QString());
        dialog.DoSub();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("Label3"))->text(),
                 QStringLiteral("找到文件在下列路径中:"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("LblPath"))->text(), elsewhereBackup());
        QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("CmdAdd"))->isEnabled());

        gConn.Close(); // restores run before any database is opened
        const QByteArray before = contents(gDbPath);
        m_dialogs->answerMsgBox(vb::Yes);
        m_dialogs->answerInput(QStringLiteral("735")); // not the administrator's password
        dialog.CmdAdd_Click();
        QVERIFY(m_dialogs->lastMessage().text.startsWith(QStringLiteral("操作员 管理员：密码错误!")));
        QCOMPARE(certificates(gDbPath), 1);
        QCOMPARE(trailRows(gDbPath, QStringLiteral("登录失败")), 1);
        QVERIFY(!m_host.bUnload);

        m_dialogs->answerMsgBox(vb::Yes);
        m_dialogs->answerInput(QStringLiteral("736"));
        dialog.CmdAdd_Click();
        const QStringList kept = QDir(m_appDir->path()).entryList({QStringLiteral("MoLian-*.mdb")});
        QCOMPARE(kept.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^MoLian-\\d{8}-\\d{6}\\.mdb$")).match(kept[0]).hasMatch());
        const QString keptPath = QDir(m_appDir->path()).filePath(kept[0]);
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("从:") + elsewhereBackup() +
                                                    QStringLiteral("恢复数据成功!原有数据已保存为：") +
                                                    keptPath + QStringLiteral("。请重新启动系统！"));
        QVERIFY(contents(keptPath) != before); // with the refused attempt and the login in its trail
        QCOMPARE(certificates(keptPath), 1);
        QCOMPARE(certificates(gDbPath), 0);
        QVERIFY(m_host.bUnload);
        Connection restored;
        restored.Open(localConnectionString(gDbPath));
        QSqlQuery row(restored.database());
        QVERIFY(row.exec(QStringLiteral("SELECT 新值 FROM AuditLog WHERE 操作 = '恢复'")) && row.next());
        QCOMPARE(row.value(0).toString(),
                 QStringLiteral("从 %1 恢复，原有数据保存为 %2").arg(elsewhereBackup(), keptPath));

    }

    void oldAccessBackupIsNotRestored() {
        const QByteArray before = contents(gDbPath);
        const QString backup = QDir(m_elsewhere->path()).filePath(QStringLiteral("MoLianBackUp.Mdb"));
        QFile jet(backup);
        QVERIFY(jet.open(QIODevice::WriteOnly));
        jet.write(QByteArray("\0\1\0\0Standard Jet DB\0", 20) + QByteArray(4096 - 20, '\0'));
        jet.close();
        gConn.Close();
        sBeiFen dialog(&m_host, false);
        dialog.setDirPath(m_elsewhere->path());
        dialog.DoSub();
        dialog.CmdAdd_Click();
        QVERIFY2(m_dialogs->lastMessage().text.contains(QStringLiteral("[导入旧数据]")),
                 qPrintable(m_dialogs->lastMessage().text));
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        QCOMPARE(contents(gDbPath), before);
        QVERIFY(!m_host.bUnload);
    }

    void declinedRestoreLeavesTheDatabase() {
        const QByteArray before = contents(gDbPath);
        QCOMPARE(createLocalDatabase(elsewhereBackup()), QString());
        gConn.Close();
        sBeiFen dialog(&m_host, false);
        dialog.setDirPath(m_elsewhere->path());
        dialog.DoSub();
        m_dialogs->answerMsgBox(vb::No);
        dialog.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("取消恢复数据操作到：") + gDbPath);
        QCOMPARE(contents(gDbPath), before);
        QVERIFY(m_host.bUnload);
    }

    void refusedRestoresChangeNothing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const int refused = int(BackupStatus::Refused);
        const QString notABackup = QStringLiteral("所选文件不是有效的备份数据，现有数据没有改变。");
        QTest::newRow("random bytes") << "random"
                                      << "" << refused << notABackup;
        QTest::newRow("empty file") << "empty"
                                    << "" << refused << notABackup;
        QTest::newRow("truncated backup") << "truncated"
                                          << "" << refused << notABackup;
        QTest::newRow("database without the tables") << "no tables"
                                                     << "" << refused << notABackup;
        QTest::newRow("version 1.9") << "old version"
                                     << "" << refused << notABackup;
        QTest::newRow("encrypted, one byte changed") << "flipped"
                                                     << "geheim" << refused << notABackup;
        QTest::newRow("encrypted, cut off") << "sealed truncated"
                                            << "geheim" << refused << notABackup;
        QTest::newRow("encrypted, header changed") << "header flipped"
                                                   << "geheim" << refused << notABackup;
        QTest::newRow("encrypted, header changed, wrong password") << "header flipped"
                                                                   << "falsch" << refused << notABackup;
        QTest::newRow("encrypted, wrong password") << "sealed"
                                                   << "falsch" << int(BackupStatus::WrongPassword)
                                                   << QStringLiteral("备份密码不正确，现有数据没有改变。");
    }

    void refusedRestoresChangeNothing() {
        QFETCH(QString, kind);
        QFETCH(QString, password);
        const QString chosen = inElsewhere(QStringLiteral("chosen.mdb"));
        QCOMPARE(backUpDatabase(gDbPath, m_elsewhere->path(), {}).status, BackupStatus::Done);
        const QByteArray plain = contents(elsewhereBackup());
        if (kind == QLatin1String("random")) {
            QByteArray noise(100000, '\0');
            for (char& byte : noise)
                byte = char(QRandomGenerator::global()->generate());
            write(chosen, noise);
        } else if (kind == QLatin1String("empty")) {
            write(chosen, {});
        } else if (kind == QLatin1String("truncated")) {
            write(chosen, plain.left(plain.size() / 2));
        } else if (kind == QLatin1String("no tables")) {
            execSql(chosen, QStringLiteral("CREATE TABLE notes (text TEXT)"));
        } else if (kind == QLatin1String("old version")) {
            write(chosen, plain);
            execSql(chosen, QStringLiteral("UPDATE System SET Ver = 1.9"));
        } else if (kind == QLatin1String("flipped")) {
            QByteArray sealed = m_sealed;
            sealed[sealed.size() / 2] = char(sealed[sealed.size() / 2] ^ 0x01);
            write(chosen, sealed);
        } else if (kind == QLatin1String("header flipped")) {
            QByteArray sealed = m_sealed;
            sealed[20] = char(sealed[20] ^ 0x01); // in the salt
            write(chosen, sealed);
        } else if (kind == QLatin1String("sealed truncated")) {
            write(chosen, m_sealed.left(m_sealed.size() - 100));
        } else {
            write(chosen, m_sealed);
        }
        gConn.Close();
        const QByteArray before = contents(gDbPath);
        const QStringList filesBefore = filesIn(m_appDir->path());

        const BackupResult result = restoreDatabase(chosen, gDbPath, password);
        QFETCH(int, status);
        QFETCH(QString, message);
        QCOMPARE(int(result.status), status);
        QCOMPARE(result.message, message);
        QCOMPARE(contents(gDbPath), before);
        QCOMPARE(filesIn(m_appDir->path()), filesBefore);
    }

    // Once a backup password is set an unencrypted file could be anybody's: it is refused, and the
    // attempt stays in the trail of the database that stays.
    void unencryptedRestoreIsRefusedOnceAPasswordIsSet() {
        QCOMPARE(backUpDatabase(gDbPath, m_elsewhere->path(), {}).status, BackupStatus::Done);
        gConn.Close();
        QCOMPARE(setBackupPassword(gDbPath, QStringLiteral("geheim")), QString());
        const qint64 restoresBefore = trailRows(gDbPath, QStringLiteral("恢复"));
        const BackupResult result = restoreDatabase(elsewhereBackup(), gDbPath, QStringLiteral("geheim"));
        QCOMPARE(result.status, BackupStatus::Refused);
        QCOMPARE(certificates(gDbPath), 1);
        QCOMPARE(trailRows(gDbPath, QStringLiteral("恢复")), restoresBefore + 1);
        QVERIFY(filesIn(m_appDir->path()).filter(QStringLiteral("MoLian-")).isEmpty());
    }

    void restoreRollsBackAStaleJournalBeforeKeepingTheReplacedFile() {
        gConn.Close();
        QCOMPARE(backUpDatabase(gDbPath, m_elsewhere->path(), {}).status, BackupStatus::Done);
        for (int i = 0; i < 200; ++i)
            execSql(gDbPath,
                    QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('k%1', '李四')").arg(i));
        leaveHotJournal(gDbPath);

        const BackupResult result = restoreDatabase(elsewhereBackup(), gDbPath, {});
        QCOMPARE(result.status, BackupStatus::Done);
        QVERIFY(intact(gDbPath));
        QCOMPARE(certificates(gDbPath), 1);
        QVERIFY(!QFile::exists(gDbPath + QStringLiteral("-journal")));
        QVERIFY(!QFile::exists(result.keptCopy + QStringLiteral("-journal")));
        QCOMPARE(certificates(result.keptCopy), 201); // the kept copy as it was before the desk died
        // The backup is in the trail of the data it was taken from, the restore in the restored data.
        QCOMPARE(trailRows(result.keptCopy, QStringLiteral("备份")), 1);
        QCOMPARE(trailRows(gDbPath, QStringLiteral("恢复")), 1);
    }

    void everyBackupTakenWhileAnotherDeskSavesIsSound() {
        gConn.Close();
        const QString stop = inElsewhere(QStringLiteral("stop"));
        const QString folder = inElsewhere(QStringLiteral("backups"));
        QVERIFY(QDir().mkpath(folder));
        const auto desk = OtherDesk::startSaving(localConnectionString(gDbPath), stop);
        QTRY_VERIFY_WITH_TIMEOUT(certificates(gDbPath) > 20, 20000);
        QList<qint64> taken;
        for (int i = 0; i < 20; ++i) {
            const BackupResult result = backUpDatabase(gDbPath, folder, {});
            QCOMPARE(result.status, BackupStatus::Done);
            QVERIFY(intact(backupFilePath(folder)));
            taken << certificates(backupFilePath(folder));
        }
        write(stop, {});
        QVERIFY(desk->waitForFinished(30000));
        QCOMPARE(desk->exitCode(), 0); // the desk's saves all went through meanwhile
        QVERIFY(taken.last() > taken.first());
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("MoLianBackUp.Mdb")});
    }

    void cancelledBackupKeepsTheEarlierOne() {
        write(elsewhereBackup(), "the earlier backup");
        const BackupResult result =
            backUpDatabase(gDbPath, m_elsewhere->path(), {}, [](int permille) { return permille < 100; });
        QCOMPARE(result.status, BackupStatus::Cancelled);
        QCOMPARE(result.message, QStringLiteral("取消备份操作到：") + elsewhereBackup());
        QCOMPARE(contents(elsewhereBackup()), QByteArray("the earlier backup"));
        QCOMPARE(filesIn(m_elsewhere->path()), QStringList{QStringLiteral("MoLianBackUp.Mdb")});
    }

    void lockedDatabaseMakesTheBackupWaitThenRefuse() {
        write(elsewhereBackup(), "the earlier backup");
        sqlite3* desk = nullptr;
        sqlite3_open(QFile::encodeName(gDbPath).constData(), &desk);
        QCOMPARE(sqlite3_exec(desk, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        const BackupResult result = backUpDatabase(gDbPath, m_elsewhere->path(), {});
        sqlite3_exec(desk, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(desk);
        QCOMPARE(result.status, BackupStatus::Failed);
        QCOMPARE(result.message,
                 QStringLiteral("数据已被写保护!确认没有其它用户打开原有数据!如有问题，请与程序开发商联系!"));
        QCOMPARE(contents(elsewhereBackup()), QByteArray("the earlier backup"));
    }

    void encryptedRoundTripThroughTheForms() {
        sBeiFen backup(&m_host, true);
        m_dialogs->answerInput(QStringLiteral("geheim"));
        m_dialogs->answerInput(QStringLiteral("geheim"));
        backup.CmdMiMa_Click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("备份密码已设置，以后的备份都将加密。"));
        const QString hash = backupPasswordHash(gDbPath);
        QVERIFY(hash.startsWith(QLatin1String("$argon2id$")));
        QVERIFY(!contents(gDbPath).contains("geheim"));

        backup.setDirPath(m_elsewhere->path());
        m_dialogs->answerInput(QStringLiteral("falsch"));
        backup.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("备份密码不正确!"));
        QVERIFY(!QFile::exists(elsewhereBackup()));
        QVERIFY(!m_host.bUnload);
        m_dialogs->answerInput(QStringLiteral("geheim"));
        backup.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Information);
        const QByteArray sealed = contents(elsewhereBackup());
        QVERIFY(!sealed.contains("SQLite format 3"));
        QVERIFY(!sealed.contains(QStringLiteral("张三").toUtf8()));

        gConn.Close();
        execSql(gDbPath, QStringLiteral("DELETE FROM DangAnKu"));
        m_host = Host();
        sBeiFen restore(&m_host, false);
        restore.setDirPath(m_elsewhere->path());
        restore.DoSub();
        m_dialogs->answerMsgBox(vb::Yes);
        m_dialogs->answerInput(QStringLiteral("736"));
        m_dialogs->answerInput(QStringLiteral("geheim"));
        restore.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Information);
        QCOMPARE(certificates(gDbPath), 1);
        QVERIFY(m_host.bUnload);
    }

    void passwordChangesNeedTheCurrentOneAndTwoEqualEntries() {
        QCOMPARE(setBackupPassword(gDbPath, QStringLiteral("geheim")), QString());
        const QString hash = backupPasswordHash(gDbPath);
        sBeiFen backup(&m_host, true);
        m_dialogs->answerInput(QStringLiteral("falsch"));
        backup.CmdMiMa_Click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("备份密码不正确!"));
        m_dialogs->answerInput(QStringLiteral("geheim"));
        m_dialogs->answerInput(QStringLiteral("neu"));
        m_dialogs->answerInput(QStringLiteral("nue"));
        backup.CmdMiMa_Click();
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("两次输入的密码不一致，备份密码没有改变。"));
        QCOMPARE(backupPasswordHash(gDbPath), hash);

        gOperator = QStringLiteral("张三");
        sBeiFen operatorsForm(&m_host, true);
        QVERIFY(!operatorsForm.findChild<QPushButton*>(QStringLiteral("CmdMiMa"))->isEnabled());
    }

    void encryptedBackupWritesNoReadableCopyAnywhereButItsPrivateFolder() {
        gConn.Close();
        QCOMPARE(setBackupPassword(gDbPath, QStringLiteral("geheim")), QString());
        bool readable = false;
        QStringList privateModes;
        const BackupResult result =
            backUpDatabase(gDbPath, m_elsewhere->path(), QStringLiteral("geheim"), [&](int) {
                readable = readable || readableCopyIn(m_elsewhere->path());
                for (const QString& work : workLeftIn(m_appDir->path())) {
                    struct stat info {};
                    ::stat(QFile::encodeName(QDir(m_appDir->path()).filePath(work)).constData(), &info);
                    privateModes << QString::number(info.st_mode & 0777, 8);
                }
                return true;
            });
        QCOMPARE(result.status, BackupStatus::Done);
        QVERIFY(!readable);
        QVERIFY(!readableCopyIn(m_elsewhere->path()));
        privateModes.removeDuplicates();
        QCOMPARE(privateModes,
                 QStringList{QStringLiteral("700")}); // the plain copy's folder, while it was there
        QCOMPARE(workLeftIn(m_appDir->path()), QStringList());
        QCOMPARE(filesIn(m_elsewhere->path()), QStringList{QStringLiteral("MoLianBackUp.Mdb")});
    }

    void workAKilledRunLeftIsRemovedByTheNextOne() {
        gConn.Close();
        write(inElsewhere(QStringLiteral("MoLianBackUp.Mdb.0123456789ab.tmp")), "half a backup");
        write(inElsewhere(QStringLiteral("MoLianBackUp.Mdb.0123456789ab.tmp-journal")), "its journal");
        QVERIFY(QDir(m_appDir->path()).mkdir(QStringLiteral("MoLian.mdb.ba9876543210.tmp")));
        write(QDir(m_appDir->path()).filePath(QStringLiteral("MoLian.mdb.ba9876543210.tmp/MoLianBackUp.Mdb")),
              "plain");
        const WorkFile running(m_elsewhere->path(),
                               QStringLiteral("MoLianBackUp.Mdb")); // another run's, at work

        const BackupResult result = backUpDatabase(gDbPath, m_elsewhere->path(), {});
        QCOMPARE(result.status, BackupStatus::Done);
        QVERIFY2(result.message.contains(
                     QStringLiteral("已删除上次中断时留下的临时文件：MoLianBackUp.Mdb.0123456789ab.tmp")),
                 qPrintable(result.message));
        QVERIFY(result.message.contains(QStringLiteral("MoLian.mdb.ba9876543210.tmp")));
        QCOMPARE(workLeftIn(m_appDir->path()), QStringList());
        QCOMPARE(workLeftIn(m_elsewhere->path()), QStringList{QFileInfo(running.path).fileName()});
    }

    void aRestoreKilledAtAnyStepLeavesTheOldOrTheNewDatabase() {
        gConn.Close();
        QCOMPARE(backUpDatabase(gDbPath, m_elsewhere->path(), {}).status, BackupStatus::Done);
        execSql(gDbPath, QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('2', '李四')"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ORVANTA_TEST_BACKUP"), elsewhereBackup());
        environment.insert(QStringLiteral("ORVANTA_TEST_DATABASE"), gDbPath);
        int killedAt = 0;
        for (int step = 1;; ++step) {
            QProcess restore;
            environment.insert(QString::fromLatin1(kKillAtStep), QString::number(step));
            restore.setProcessEnvironment(environment);
            restore.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(restore.waitForFinished(60000));
            QVERIFY2(QFile::exists(gDbPath),
                     qPrintable(QStringLiteral("no database after step %1").arg(step)));
            QVERIFY(intact(gDbPath));
            const qint64 found = certificates(gDbPath);
            if (restore.exitStatus() == QProcess::NormalExit) {
                QCOMPARE(restore.exitCode(), 0);
                QCOMPARE(found, 1); // the backup's
                break;
            }
            killedAt = step;
            QVERIFY(found == 2 || found == 1);
            QVERIFY(step < 100);
        }
        QVERIFY(killedAt >= 5); // copying, checks, the trail, keeping the old file, the rename
        QCOMPARE(workLeftIn(m_appDir->path()), QStringList()); // the last run swept what the others left
    }

    void progressMovesWhileTheRestoredCopyIsChecked() {
        gConn.database().transaction();
        for (int i = 0; i < 3000; ++i)
            QSqlQuery(gConn.database())
                .exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 备注) VALUES ('p%1', '赵六', '%2')")
                          .arg(i)
                          .arg(QString(200, QLatin1Char('x'))));
        gConn.database().commit();
        gConn.Close();
        QCOMPARE(backUpDatabase(gDbPath, m_elsewhere->path(), {}).status, BackupStatus::Done);
        QSet<int> duringChecks;
        const BackupResult result = restoreDatabase(elsewhereBackup(), gDbPath, {}, [&](int permille) {
            if (permille > 800 && permille < 940) duringChecks << permille;
            return true;
        });
        QCOMPARE(result.status, BackupStatus::Done);
        QVERIFY2(duringChecks.size() >= 3, qPrintable(QString::number(duringChecks.size())));
    }

    void restoreRefusedWhileAnotherDeskHasTheFileOpen() {
        QCOMPARE(backUpDatabase(gDbPath, m_elsewhere->path(), {}).status, BackupStatus::Done);
        const QByteArray before = contents(gDbPath);
        // gConn is the other desk here: a connection of its own on the file, as in another program.
        const BackupResult result = restoreDatabase(elsewhereBackup(), gDbPath, {});
        QCOMPARE(result.status, BackupStatus::Failed);
        QCOMPARE(result.message,
                 QStringLiteral("数据已被写保护!确认没有其它用户打开原有数据!"
                                "其它工作站正在使用这个数据库，请先在那里退出系统，再恢复数据。"
                                "如有问题，请与程序开发商联系!"));
        QCOMPARE(contents(gDbPath), before);
        QCOMPARE(QDir(m_appDir->path()).entryList({QStringLiteral("MoLian-*")}), QStringList());
    }

    void aDeskWhoseDatabaseWasReplacedSavesNothing() {
        // Replaced by hand, or by a program that does not ask who has the file open.
        const QString replacement = inElsewhere(QStringLiteral("MoLian.mdb"));
        QCOMPARE(createLocalDatabase(replacement), QString());
        const QString kept = inElsewhere(QStringLiteral("kept.mdb"));
        QVERIFY(QFile::rename(gDbPath, kept));
        QVERIFY(QFile::rename(replacement, gDbPath));
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        rs.AddNew();
        rs.Fields(QStringLiteral("证号")).setValue(QStringLiteral("5"));
        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("王五"));
        try {
            rs.Update();
            QFAIL("saved into the replaced file");
        } catch (const DbError& error) {
            QCOMPARE(error.description, databaseRestoredMessage());
        }
        rs.CancelUpdate();
        rs.Close();
        gConn.Close();
        QCOMPARE(certificates(kept), 1);
        QCOMPARE(certificates(gDbPath), 0);
    }

    void commandLineBacksUpAndRestoresTheServer() {
        const auto server = TestDatabase::create(TestDatabase::Kind::Server);
        if (!server) QSKIP("no test server (ORVANTA_TEST_PG)");
        const auto run = [this](const QStringList& arguments) {
            return runCommand(QStringList{QStringLiteral("orvanta")} + arguments + operatorArguments(m_appDir->path()))
                .value_or(-1);
        };
        const QString folder = m_elsewhere->path();
        const QString libpq = serverLibpq(*server);
        QCOMPARE(run({"--backup", folder, "--server", libpq, "--keep", "1"}), 0);
        QCOMPARE(run({"--backup", folder, "--server", libpq, "--keep", "1"}), 0);
        const QStringList dumps = QDir(folder).entryList({QStringLiteral("MoLian-*.dump")});
        QCOMPARE(dumps.size(), 1);
        QCOMPARE(run({"--backup", folder, "--database", gDbPath, "--keep", "1"}), 1); // one backup a folder here
        QCOMPARE(run({"--backup", folder, "--server", libpq, "--keep", "none"}), 1);
        QCOMPARE(run({"--restore", QDir(folder).filePath(dumps.first()), "--server", libpq}), 0);
    }

    void commandLineChecksAsTheFormDoes() {
        gConn.Close();
        const auto run = [this](const QStringList& arguments) {
            return runCommand(QStringList{QStringLiteral("orvanta")} + arguments +
                              operatorArguments(m_appDir->path()))
                .value_or(-1);
        };
        const QString folder = m_elsewhere->path();
        QCOMPARE(run({"--backup", folder, "--database", gDbPath}), 0);
        QVERIFY(intact(elsewhereBackup()));

        const QString junk = inElsewhere(QStringLiteral("junk.mdb"));
        write(junk, "not a database");
        const qint64 before = certificates(gDbPath);
        QCOMPARE(run({"--restore", junk, "--database", gDbPath}), 1);
        QCOMPARE(certificates(gDbPath), before);

        QCOMPARE(setBackupPassword(gDbPath, QStringLiteral("geheim")), QString());
        QFile::remove(elsewhereBackup());
        QCOMPARE(run({"--backup", folder, "--database", gDbPath}), 1); // a password is set: none given
        QVERIFY(!QFile::exists(elsewhereBackup()));
        const QString passwordFile = inElsewhere(QStringLiteral("password"));
        write(passwordFile, "geheim\n");
        QCOMPARE(run({"--backup", folder, "--database", gDbPath, "--password-file", passwordFile}), 0);
        QVERIFY(isSealedBackup(elsewhereBackup()));
        QCOMPARE(run({"--restore", elsewhereBackup(), "--database", gDbPath}), 1);
        QCOMPARE(
            run({"--restore", elsewhereBackup(), "--database", gDbPath, "--password-file", passwordFile}), 0);
        QCOMPARE(certificates(gDbPath), 1);
        QCOMPARE(run({"--set-backup-password", "--database", gDbPath}), 1); // neither a password nor --clear
        QCOMPARE(run({"--set-backup-password", "--clear", "--database", gDbPath}), 0);
        QVERIFY(backupPasswordHash(gDbPath).isEmpty());

        // The program opens the server here: the local file is not what the office works on.
        SaveSetting(ExeName(), QStringLiteral("System"), QStringLiteral("LinkData"), QStringLiteral("True"));
        QFile::remove(elsewhereBackup());
        QCOMPARE(run({"--backup", folder, "--password-file", passwordFile}), 1);
        QVERIFY(!QFile::exists(elsewhereBackup()));
    }
};

QTEST_MAIN(BackupTest)
#include "tst_backup.moc"
