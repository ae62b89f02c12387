#pragma once
// Per-user settings store: application name → section → key → text. One INI file per application
// name, in $ORVANTA_CONFIG_DIR when set, else in the user's config folder under "Orvanta".

#include <QString>

inline constexpr int SettingsWriteError = 75;

inline constexpr auto kProductTitle = "Orvanta";

// The product title as text: the default caption and the settings name of the product.
inline QString ProductTitle() {
    return QString::fromLatin1(kProductTitle);
}

// The title the office set for its windows (选项设置 › 标题), else the product title: the main
// window's caption, the title of message boxes and the heading of notices.
QString OfficeTitle();

// Section names compare without case ("System" and "system" are one section); keys are exact.
QString GetSetting(const QString& appName, const QString& section, const QString& key,
                   const QString& defaultValue = QString());
// Written through to disk before returning, so another running copy reads the new value. Throws
// DbError (SettingsWriteError) when the file cannot be written, instead of losing the value silently.
void SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value);

// The running executable's base name without extension, the second application name the program uses.
QString ExeName();

// Folder holding the settings files.
QString SettingsDir();
