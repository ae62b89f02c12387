// Backing up the local database and restoring it: files written, checks, and the program's end.
#include "basGlobal.h"
#include "ModSql.h"
#include "sBeiFen.h"
#include "Schema.h"
#include "ScriptedDialogs.h"
#include "StartUpHost.h"
#include "TempConfigDir.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
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
} // namespace

class BackupTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_appDir;
    std::unique_ptr<QTemporaryDir> m_elsewhere;
    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    Host m_host;

    QString temporaryCopy() const {
        return AppPath() + QDate::currentDate().toString(QStringLiteral("yyMMdd")) + QStringLiteral(".dat");
    }

    qint64 certificates(const QString& path) {
        Connection conn;
        conn.Open(localConnectionString(path));
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), conn);
        return rs.RecordCount();
    }

private slots:
    void init() {
        m_appDir = std::make_unique<QTemporaryDir>();
        m_elsewhere = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<TempConfigDir>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_host = Host();
        qputenv("ORVANTA_APP_DIR", m_appDir->path().toUtf8());
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
        QCOMPARE(sBeiFen::backupTarget(QStringLiteral("/")), QStringLiteral("/MoLianBackUp.Mdb"));
        QCOMPARE(sBeiFen::backupTarget(QStringLiteral("/srv/backup/")),
                 QStringLiteral("/srv/backup/MoLianBackUp.Mdb"));
        QCOMPARE(sBeiFen::backupTarget(QStringLiteral("/srv/backup")),
                 QStringLiteral("/srv/backup/MoLianBackUp.Mdb"));
    }

    void backupWritesACompactCopyAndEndsTheProgram() {
        QFile stale(temporaryCopy()); // left by an earlier backup the same day
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("stale");
        stale.close();
        sBeiFen dialog(&m_host, true);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("数据备份"));
        dialog.setStartPath(gDbPath);
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("LblPath"))->text(), gDbPath);
        dialog.setDirPath(m_elsewhere->path());
        dialog.CmdAdd_Click();
        const QString target = QDir(m_elsewhere->path()).filePath(QStringLiteral("MoLianBackUp.Mdb"));
        QCOMPARE(m_dialogs->lastMessage().text,
                 QStringLiteral("备份数据：") + target + QStringLiteral("成功!"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Information);
        QCOMPARE(certificates(target), 1);
        QVERIFY(!QFile::exists(temporaryCopy()));
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

    void restoreFindsTheBackupAndReplacesTheDatabase() {
        sBeiFen dialog(&m_host, false);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("恢复数据"));
        dialog.setDirPath(m_elsewhere->path());
        dialog.DoSub();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("Label3"))->text(),
                 QStringLiteral("当前路径无待恢复数据!"));
        QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("CmdAdd"))->isEnabled());

        const QString backup = QDir(m_elsewhere->path()).filePath(QStringLiteral("MoLianBackUp.Mdb"));
        QCOMPARE(createLocalDatabase(backup), QString());
        dialog.DoSub();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("Label3"))->text(),
                 QStringLiteral("找到文件在下列路径中:"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("LblPath"))->text(), backup);
        QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("CmdAdd"))->isEnabled());

        gConn.Close(); // restores run before any database is opened
        m_dialogs->answerMsgBox(vb::Yes);
        dialog.CmdAdd_Click();
        QCOMPARE(m_dialogs->lastMessage().text,
                 QStringLiteral("从:") + backup + QStringLiteral("恢复数据成功!请重新启动系统！"));
        QCOMPARE(contents(gDbPath), contents(backup));
        QCOMPARE(certificates(gDbPath), 0);
        QVERIFY(m_host.bUnload);
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
        const QString backup = QDir(m_elsewhere->path()).filePath(QStringLiteral("MoLianBackUp.Mdb"));
        QCOMPARE(createLocalDatabase(backup), QString());
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
};

QTEST_MAIN(BackupTest)
#include "tst_backup.moc"
