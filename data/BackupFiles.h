#pragma once
// The files a backup or restore works on before anything is in place. Each carries a name that
// marks it unfinished (`NAME.<id>.tmp`) and is locked while its run goes on: what a killed run
// left behind is not locked, and the next run finds and removes it.

#include <QString>
#include <QStringList>

// A new, empty, private file in `folder`, removed unless it has been placed.
class WorkFile {
public:
    WorkFile(const QString& folder, const QString& name);
    ~WorkFile();
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;

    // Empty when the file was made; else the errno of the failure.
    int error() const { return m_error; }
    // Renames the file over `target` in one step and flushes the folder; errno on failure.
    int place(const QString& target);

    const QString path;

private:
    int m_lock = -1;
    int m_error = 0;
    bool m_placed = false;
};

// A new folder of mode 0700 in `parent` for plain copies no one else may read; removed with all
// it holds.
class WorkFolder {
public:
    WorkFolder(const QString& parent, const QString& name);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    int error() const { return m_error; }
    QString filePath(const QString& name) const;

    const QString path;

private:
    int m_lock = -1;
    int m_error = 0;
};

// Removes the work files and folders of `name` in `folder` that no running backup or restore
// holds; returns the names removed.
QStringList removeAbandonedWork(const QString& folder, const QString& name);
// What the operator is told of them; empty when there were none.
QString abandonedWorkNote(const QStringList& removed);

// Flushes a folder's entries (a rename, a new link) to the disk.
void syncFolder(const QString& folder);

// The name a replaced database keeps beside itself: NAME-yyyyMMdd-HHmmss.SUFFIX, numbered when
// taken. Also the dated name of a server backup.
QString datedName(const QString& folder, const QString& baseName, const QString& suffix);
