#include "DeskPresence.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

// A restore holds the lock for the few renames of its last step.
constexpr int kWaitForRestoreMs = 10000;
constexpr int kPollMs = 50;
// In the page SQLite keeps free for its own locks, past the 512 bytes it uses. The lock belongs
// to the open file description: closing another descriptor of the file does not end it, nor does
// it touch SQLite's locks on their bytes.
constexpr off_t kDeskByte = 0x40000000 + 1024;

bool lockDeskByte(int fd, short kind) {
    struct flock lock {};
    lock.l_type = kind;
    lock.l_whence = SEEK_SET;
    lock.l_start = kDeskByte;
    lock.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

} // namespace

DeskPresence::DeskPresence(const QString& databasePath, Use use) : m_path(databasePath) {
    const QByteArray native = QFile::encodeName(databasePath);
    // A write lock needs a descriptor open for writing; the file itself is never written through it.
    const int fd = ::open(native.constData(), (use == Use::Sole ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return;
    const short kind = use == Use::Sole ? F_WRLCK : F_RDLCK;
    bool locked = lockDeskByte(fd, kind);
    for (int waited = 0; !locked && use == Use::Shared && waited < kWaitForRestoreMs; waited += kPollMs) {
        QThread::msleep(kPollMs);
        locked = lockDeskByte(fd, kind);
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0) {
        m_device = info.st_dev;
        m_inode = info.st_ino;
        m_known = true;
    }
    if (locked || use == Use::Shared)
        m_lock = fd; // a desk that could not lock still learns when its file is replaced
    else
        ::close(fd);
    m_held = locked;
}

DeskPresence::~DeskPresence() {
    if (m_lock >= 0) ::close(m_lock);
}

bool DeskPresence::databaseReplaced() const {
    if (!m_known) return false;
    struct stat info {};
    if (::stat(QFile::encodeName(m_path).constData(), &info) != 0) return true;
    return info.st_dev != m_device || info.st_ino != m_inode;
}

QString databaseRestoredMessage() {
    return QStringLiteral("数据库已被恢复，请重新启动系统");
}
