// Who may read what the system writes: a new database, its print settings, a backup and an import
// report are the owner's alone (0600), or also the group's (0660, the folder's group) in a folder
// a group shares; a restored database keeps the mode and group of the one it replaces.
#include "Backup.h"
#include "FileModes.h"
#include "LegacyImport.h"
#include "Schema.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Mode {
    unsigned bits = 0;
    gid_t group = 0;
};

Mode modeOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return {};
    return {unsigned(info.st_mode & 07777), info.st_gid};
}

// A group the test may give a folder: another one than the user's own when running as root.
gid_t sharingGroup() {
    return geteuid() == 0 ? gid_t(1) : getegid();
}

} // namespace

class FileModesTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString sharedFolder() {
        const QString folder = m_dir.filePath(QStringLiteral("shared"));
        QDir().mkpath(folder);
        if (::chown(QFile::encodeName(folder).constData(), uid_t(-1), sharingGroup()) != 0 ||
            ::chmod(QFile::encodeName(folder).constData(), 02770) != 0)
            qFatal("cannot share the test folder");
        return folder;
    }

private slots:
    void newFilesFollowTheirFolder_data() {
        QTest::addColumn<bool>("shared");
        QTest::newRow("a private folder") << false;
        QTest::newRow("a folder a group shares") << true;
    }

    void newFilesFollowTheirFolder() {
        QFETCH(bool, shared);
        const QString folder = shared ? sharedFolder() : m_dir.filePath(QStringLiteral("private"));
        QDir().mkpath(folder);
        const Mode expected = shared ? Mode{0660, sharingGroup()} : Mode{0600, modeOf(folder).group};
        const mode_t savedMask = ::umask(022); // the usual mask would take the group's bits off

        const QString database = QDir(folder).filePath(QStringLiteral("MoLian.mdb"));
        QCOMPARE(createLocalDatabase(database), QString());
        QCOMPARE(createPrintSettingsFile(QDir(folder).filePath(QStringLiteral("print.dat"))), QString());
        const QString backups = QDir(folder).filePath(QStringLiteral("backup"));
        QDir().mkpath(backups);
        ::chmod(QFile::encodeName(backups).constData(), shared ? 02770 : 0700);
        QCOMPARE(int(backUpDatabase(database, backups, QString()).status), int(BackupStatus::Done));
        LegacyImportReport report;
        saveImportReport(report, folder);
        QVERIFY(!report.savedAs.isEmpty());
        ::umask(savedMask);

        for (const QString& file : {database, QDir(folder).filePath(QStringLiteral("print.dat")),
                                    backupFilePath(backups), report.savedAs}) {
            const Mode found = modeOf(file);
            QVERIFY2(found.bits == expected.bits,
                     qPrintable(file + QStringLiteral(" %1").arg(found.bits, 0, 8)));
            QCOMPARE(found.group, expected.group);
        }
    }

    void aRestoreKeepsTheModeAndGroupOfTheReplacedDatabase() {
        const QString folder = sharedFolder();
        const QString database = QDir(folder).filePath(QStringLiteral("MoLian.mdb"));
        QFile::remove(database);
        QCOMPARE(createLocalDatabase(database), QString());
        const QString backups = m_dir.filePath(QStringLiteral("restore-from"));
        QDir().mkpath(backups);
        QCOMPARE(int(backUpDatabase(database, backups, QString()).status), int(BackupStatus::Done));
        // The office made its database readable to the group only.
        ::chmod(QFile::encodeName(database).constData(), 0640);
        const BackupResult restored = restoreDatabase(backupFilePath(backups), database, QString());
        QCOMPARE(int(restored.status), int(BackupStatus::Done));
        QCOMPARE(modeOf(database).bits, 0640u);
        QCOMPARE(modeOf(database).group, sharingGroup());
        QCOMPARE(modeOf(restored.keptCopy).bits, 0640u);
    }

    void anExistingFileIsNeverTakenOver() {
        const QString path = m_dir.filePath(QStringLiteral("there"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("kept");
        file.close();
        QVERIFY(!createPrivateFile(path).isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("kept"));
        // Two reports in the same second are two files.
        const QString first = saveReportFile(m_dir.path(), QStringLiteral("报告"), QStringLiteral("一"));
        const QString second = saveReportFile(m_dir.path(), QStringLiteral("报告"), QStringLiteral("二"));
        QVERIFY(!first.isEmpty() && !second.isEmpty() && first != second);
    }
};

QTEST_GUILESS_MAIN(FileModesTest)
#include "tst_filemodes.moc"
