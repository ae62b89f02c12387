#include "DataFolder.h"
#include "Schema.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(content);
    return path;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString failingCreate(const QString&) {
    return QStringLiteral("磁盘已满");
}

} // namespace

class tst_datafolder : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir().mkpath(path("usr/bin"));
        QDir().mkpath(path("build"));
    }

    void folderForEachPlace_data();
    void folderForEachPlace();
    void linkedProgramFolderCountsAsInstalled();
    void existingFileIsLeftAlone();
    void newFileGoesIntoANewFolder();
    void sharedFolderMakesGroupWritableFiles();
    void failedCreationIsTold();
    void deliveredDatabaseOnFirstInstalledStart();
    void missingSharedFolderGetsNoNewDatabase();
    void buildRunCreatesNothing();

private:
    QString path(const QString& relative) const { return QDir(m_dir->path()).filePath(relative); }
    DataFolderPlaces installedPlaces() const {
        return {path("usr/bin"), path("usr/bin"), path("etc/orvanta/orvanta.ini"),
                path("home/.local/share/Orvanta")};
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_datafolder::folderForEachPlace_data() {
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QByteArray>("machineIni"); // empty: no such file
    QTest::addColumn<QString>("expected");      // relative to the temporary folder, or absolute

    QTest::newRow("build tree, beside the program") << false << QByteArray() << "build";
    QTest::newRow("build tree ignores the machine's file")
        << false << QByteArray("[data]\nfolder=/srv/orvanta\n") << "build";
    QTest::newRow("installed, no machine file: the user's own")
        << true << QByteArray() << "home/.local/share/Orvanta";
    QTest::newRow("installed, the delivered file with its example commented out")
        << true << QByteArray("; shared folder\n[data]\n; folder=/srv/orvanta\n")
        << "home/.local/share/Orvanta";
    QTest::newRow("installed, a shared folder")
        << true << QByteArray("[data]\nfolder=/srv/orvanta\n") << "/srv/orvanta";
    QTest::newRow("installed, spelled in another case")
        << true << QByteArray("[Data]\nFolder = /srv/orvanta/\n") << "/srv/orvanta";
    QTest::newRow("installed, a relative folder is not used")
        << true << QByteArray("[data]\nfolder=orvanta\n") << "home/.local/share/Orvanta";
    QTest::newRow("installed, an empty folder is not used")
        << true << QByteArray("[data]\nfolder=\n") << "home/.local/share/Orvanta";
}

void tst_datafolder::folderForEachPlace() {
    QFETCH(bool, installed);
    QFETCH(QByteArray, machineIni);
    QFETCH(QString, expected);
    DataFolderPlaces places = installedPlaces();
    if (!installed) places.programDir = path("build");
    if (!machineIni.isEmpty()) writeFile(places.machineIni, machineIni);
    QCOMPARE(isInstalledProgram(places), installed);
    QCOMPARE(dataFolderFor(places), QDir::isAbsolutePath(expected) ? expected : path(expected));
}

void tst_datafolder::linkedProgramFolderCountsAsInstalled() {
    // /bin is a link to /usr/bin on merged systems; either spelling is the installed program.
    QVERIFY(QFile::link(path("usr/bin"), path("bin")));
    DataFolderPlaces places = installedPlaces();
    places.programDir = path("bin");
    QVERIFY(isInstalledProgram(places));
    places.programDir = path("usr/bin/");
    QVERIFY(isInstalledProgram(places));
    places.installedProgramDir.clear(); // a run given its own folder
    QVERIFY(!isInstalledProgram(places));
}

void tst_datafolder::existingFileIsLeftAlone() {
    const QString file = writeFile(path("data/MoLian.mdb"), "the office's records");
    QVERIFY(createFileIfAbsent(file, &createLocalDatabase).isEmpty());
    QCOMPARE(readFile(file), QByteArray("the office's records"));
}

void tst_datafolder::newFileGoesIntoANewFolder() {
    const QString file = path("a/b/print.dat");
    QVERIFY(createFileIfAbsent(file, &createPrintSettingsFile).isEmpty());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "printdat");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec("SELECT count(*) FROM PrintSetup"));
    }
    QSqlDatabase::removeDatabase("printdat");
}

void tst_datafolder::sharedFolderMakesGroupWritableFiles() {
    QDir().mkpath(path("shared"));
    QVERIFY(
        QFile::setPermissions(path("shared"), QFile::permissions(path("shared")) | QFileDevice::WriteGroup));
    QVERIFY(createFileIfAbsent(path("shared/print.dat"), &createPrintSettingsFile).isEmpty());
    QVERIFY(QFile::permissions(path("shared/print.dat")) & QFileDevice::WriteGroup);

    QDir().mkpath(path("own"));
    QVERIFY(QFile::setPermissions(path("own"), QFile::permissions(path("own")) & ~QFileDevice::WriteGroup));
    QVERIFY(createFileIfAbsent(path("own/print.dat"), &createPrintSettingsFile).isEmpty());
    QVERIFY(!(QFile::permissions(path("own/print.dat")) & QFileDevice::WriteGroup));
}

void tst_datafolder::failedCreationIsTold() {
    QCOMPARE(createFileIfAbsent(path("x/MoLian.mdb"), &failingCreate), QStringLiteral("磁盘已满"));
    // A folder that cannot be made: its parent is a file.
    writeFile(path("plain"), "x");
    QVERIFY(createFileIfAbsent(path("plain/sub/MoLian.mdb"), &createLocalDatabase)
                .contains("无法建立数据文件夹"));
}

void tst_datafolder::deliveredDatabaseOnFirstInstalledStart() {
    const DataFolderPlaces places = installedPlaces();
    QVERIFY(createDeliveredFile(places, "MoLian.mdb", &createLocalDatabase).isEmpty());
    const QString file = path("home/.local/share/Orvanta/MoLian.mdb");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "delivered");
        db.setDatabaseName(file);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec("SELECT Ver FROM System"));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toDouble(), 2.0);
    }
    QSqlDatabase::removeDatabase("delivered");
    // The next start (or an upgrade) finds it and leaves it as it is.
    const QByteArray before = readFile(file);
    QVERIFY(createDeliveredFile(places, "MoLian.mdb", &failingCreate).isEmpty());
    QCOMPARE(readFile(file), before);
}

void tst_datafolder::missingSharedFolderGetsNoNewDatabase() {
    const DataFolderPlaces places = installedPlaces();
    writeFile(places.machineIni, "[data]\nfolder=" + path("mnt/share").toUtf8() + "\n");
    const QString error = createDeliveredFile(places, "MoLian.mdb", &createLocalDatabase);
    QVERIFY(error.contains(path("mnt/share")));
    QVERIFY(error.contains(places.machineIni));
    QVERIFY(!QFileInfo::exists(path("mnt")));
    QVERIFY(!QFileInfo::exists(path("home")));

    QDir().mkpath(path("mnt/share"));
    QVERIFY(createDeliveredFile(places, "MoLian.mdb", &createLocalDatabase).isEmpty());
    QVERIFY(QFileInfo(path("mnt/share/MoLian.mdb")).isFile());
}

void tst_datafolder::buildRunCreatesNothing() {
    DataFolderPlaces places = installedPlaces();
    places.programDir = path("build");
    QVERIFY(createDeliveredFile(places, "MoLian.mdb", &createLocalDatabase).isEmpty());
    QVERIFY(QDir(path("build")).isEmpty());
    QVERIFY(!QFileInfo::exists(path("home")));
}

QTEST_GUILESS_MAIN(tst_datafolder)
#include "tst_datafolder.moc"
