#include "settings.h"

#include "DbError.h"

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

// QSettings groups are case-sensitive in INI files. The program writes one spelling per section;
// a file edited by hand may carry any other.
QString sectionGroup(const QString& section) {
    return section.toLower();
}

// The spellings of `section` in the file, the program's own first.
QStringList sectionSpellings(QSettings& store, const QString& section) {
    const QString own = sectionGroup(section);
    QStringList spellings{own};
    QStringList others;
    for (const QString& group : store.childGroups())
        if (group != own && group.compare(own, Qt::CaseInsensitive) == 0) others << group;
    others.sort();
    return spellings + others;
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
    QVariant value;
    for (const QString& group : sectionSpellings(store, section)) {
        value = store.value(group + QLatin1Char('/') + key);
        if (value.isValid()) break;
    }
    if (!value.isValid()) return defaultValue;
    // A hand-edited line with unquoted commas reads back as a list; it was one text.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value) {
    const QString file = settingsFile(appName);
    QDir().mkpath(SettingsDir());
    QSettings store(file, QSettings::IniFormat);
    const QStringList spellings = sectionSpellings(store, section);
    store.setValue(spellings.first() + QLatin1Char('/') + key, value);
    // A value written by hand under another spelling would otherwise stand beside the new one.
    for (qsizetype i = 1; i < spellings.size(); ++i)
        store.remove(spellings[i] + QLatin1Char('/') + key);
    store.sync();
    if (store.status() != QSettings::NoError)
        throw DbError(SettingsWriteError,
                      QStringLiteral("设置无法保存到文件%1。").arg(QDir::toNativeSeparators(file)));
}

QString OfficeTitle() {
    const QString title =
        GetSetting(ProductTitle(), QStringLiteral("System"), QStringLiteral("Title")).trimmed();
    return title.isEmpty() ? ProductTitle() : title;
}

QString ExeName() {
    const QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? ProductTitle() : name;
}
