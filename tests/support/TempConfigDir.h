#pragma once
// Points the settings store at a fresh temporary folder while it lives. Lifetimes may overlap (a
// test's next folder is made before the last one is gone): the store always names the newest
// folder still alive, and goes back to where it was once the last one ends.

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
};
