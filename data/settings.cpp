#include "settings.h"

#include "adodb.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace {

QString settingsFile(const QString& appName) {
    // The name becomes a file name: keep it inside the settings folder.
    QString name = appName;
    name.replace(QLatin1Char('/'), QLatin1Char('_')).replace(QLatin1Char('\\'), QLatin1Char('_'));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.'))) name.prepend(QLatin1Char('_'));
    return QDir(SettingsDir()).filePath(name + QStringLiteral(".ini"));
}

// QSettings groups are case-sensitive in INI files; one spelling per section makes them not.
QString sectionGroup(const QString& section) {
    return section.toLower();
}

} // namespace

QString SettingsDir() {
    const QString overridden = qEnvironmentVariable("ORVANTA_CONFIG_DIR");
    if (!overridden.isEmpty()) return overridden;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/") +
           ProductTitle();
}

QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue) {
    QSettings store(settingsFile(appName), QSettings::IniFormat);
    store.beginGroup(sectionGroup(section));
    const QVariant value = store.value(key);
    if (!value.isValid()) return defaultValue;
    // A hand-edited line with unquoted commas reads back as a list; it was one text.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value) {
    const QString file = settingsFile(appName);
    QDir().mkpath(SettingsDir());
    QSettings store(file, QSettings::IniFormat);
    store.beginGroup(sectionGroup(section));
    store.setValue(key, value);
    store.endGroup();
    store.sync();
    if (store.status() != QSettings::NoError)
        throw DbError(SettingsWriteError,
                      QStringLiteral("设置无法保存到文件%1。").arg(QDir::toNativeSeparators(file)));
}

QString ExeName() {
    const QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? ProductTitle() : name;
}
