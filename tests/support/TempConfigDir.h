#pragma once
// Points the settings store at a fresh temporary folder while it lives, then back where it was.

#include <QByteArray>
#include <QTemporaryDir>

class TempConfigDir {
public:
    TempConfigDir();
    ~TempConfigDir();
    TempConfigDir(const TempConfigDir&) = delete;
    TempConfigDir& operator=(const TempConfigDir&) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious;
};
