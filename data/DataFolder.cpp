#include "DataFolder.h"
#include "DatabaseGlobals.h"

#include "ModSql.h"
#include "settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString withSeparator(QString dir) {
    dir = QDir::toNativeSeparators(dir);
    if (!dir.endsWith(QDir::separator())) dir += QDir::separator();
    return dir;
}

QString canonicalOrClean(const QString& dir) {
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(dir) : canonical;
}

} // namespace

bool isInstalledProgram(const DataFolderPlaces& places) {
    if (places.programDir.isEmpty() || places.installedProgramDir.isEmpty()) return false;
    return canonicalOrClean(places.programDir) == canonicalOrClean(places.installedProgramDir);
}

QString sharedDataFolder(const QString& machineIni) {
    if (machineIni.isEmpty() || !QFileInfo(machineIni).isFile()) return {};
    const QSettings ini(machineIni, QSettings::IniFormat);
    // Edited by hand: the section and key may be spelled in any case.
    for (const QString& key : ini.allKeys()) {
        if (key.compare(QLatin1String("data/folder"), Qt::CaseInsensitive) != 0) continue;
        const QString folder = ini.value(key).toString().trimmed();
        // A relative folder would depend on where the program was started from.
        if (QDir::isAbsolutePath(folder)) return QDir::cleanPath(folder);
    }
    return {};
}

QString dataFolderFor(const DataFolderPlaces& places) {
    if (!isInstalledProgram(places)) return QDir::cleanPath(places.programDir);
    const QString shared = sharedDataFolder(places.machineIni);
    return shared.isEmpty() ? QDir::cleanPath(places.userDataDir) : shared;
}

DataFolderPlaces currentDataFolderPlaces() {
    DataFolderPlaces places;
    places.programDir = qEnvironmentVariable("ORVANTA_APP_DIR");
    const bool moved = !places.programDir.isEmpty();
    if (!moved) places.programDir = QCoreApplication::applicationDirPath();
    // A folder given for the run is its own data folder, wherever it is.
    if (!moved) places.installedProgramDir = QStringLiteral(ORVANTA_INSTALLED_BINDIR);
    places.machineIni = QStringLiteral(ORVANTA_MACHINE_INI);
    places.userDataDir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QLatin1Char('/') + ProductTitle();
    return places;
}

bool runsInstalled() {
    return isInstalledProgram(currentDataFolderPlaces());
}

QString DataPath() {
    const DataFolderPlaces places = currentDataFolderPlaces();
    return isInstalledProgram(places) ? withSeparator(dataFolderFor(places)) : AppPath();
}

QString ReportFolder() {
    return gUseSqlServer ? DataPath() : QFileInfo(gDbPath).absolutePath();
}

QString ReportDatabaseName() {
    return gUseSqlServer ? QStringLiteral("数据库服务器") : gDbPath;
}

QString ExportPath() {
    if (!runsInstalled()) return AppPath();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return withSeparator(QFileInfo(documents).isDir() ? documents : QDir::homePath());
}

QString createFileIfAbsent(const QString& path, QString (*create)(const QString&)) {
    if (QFileInfo::exists(path)) return {};
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("无法建立数据文件夹 '%1'。").arg(QDir::toNativeSeparators(folder));
    const QString error = create(path);
    if (!error.isEmpty()) return error;
    if (QFileInfo(folder).permissions() & QFileDevice::WriteGroup)
        QFile::setPermissions(path,
                              QFile::permissions(path) | QFileDevice::ReadGroup | QFileDevice::WriteGroup);
    return {};
}

QString createDeliveredFile(const DataFolderPlaces& places, const QString& name,
                            QString (*create)(const QString&)) {
    if (!isInstalledProgram(places)) return {};
    const QString shared = sharedDataFolder(places.machineIni);
    if (!shared.isEmpty() && !QFileInfo(shared).isDir())
        return QStringLiteral("共用数据文件夹 '%1'（%2 中指定）不存在或无法访问。")
            .arg(QDir::toNativeSeparators(shared), QDir::toNativeSeparators(places.machineIni));
    return createFileIfAbsent(QDir(dataFolderFor(places)).filePath(name), create);
}
