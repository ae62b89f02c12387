#pragma once
// Which desks have a local database open. Each desk holds a shared lock on one byte of the
// database file, beyond those SQLite locks, for as long as it has the database open; a restore
// holds it exclusively while it replaces the file, so it never replaces a database a desk is
// working on. A desk whose file was replaced all the same (by hand, or by a program that takes no
// such lock) finds out before it saves.

#include <QString>

#include <sys/types.h>

class DeskPresence {
public:
    enum class Use { Shared, Sole };
    // Shared waits a moment for a restore under way to end; Sole never waits.
    DeskPresence(const QString& databasePath, Use use);
    ~DeskPresence();
    DeskPresence(const DeskPresence&) = delete;
    DeskPresence& operator=(const DeskPresence&) = delete;

    // Sole: false when another desk has the database open.
    bool held() const { return m_held; }
    // True when the name no longer leads to the file that was there when this desk opened it.
    bool databaseReplaced() const;

private:
    QString m_path;
    int m_lock = -1;
    bool m_held = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_known = false;
};

// What a desk says when its database was replaced under it; it saves nothing more.
QString databaseRestoredMessage();
