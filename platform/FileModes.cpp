#include "FileModes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

struct FolderShare {
    mode_t mode = 0600;
    gid_t group = gid_t(-1); // -1: leave the group as it is
};

FolderShare shareOf(const QString& folder) {
    struct stat info {};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || !(info.st_mode & S_IWGRP)) return {};
    return {0660, info.st_gid};
}

QString folderOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

bool apply(int fd, const FolderShare& share) {
    // The umask would take the group's bits off a 0660; the mode is set whatever it is.
    if (::fchmod(fd, share.mode) != 0) return false;
    return share.group == gid_t(-1) || ::fchown(fd, uid_t(-1), share.group) == 0;
}

} // namespace

QString createPrivateFile(const QString& path) {
    const FolderShare share = shareOf(folderOf(path));
    const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
    const bool applied = apply(fd, share);
    const int error = errno;
    ::close(fd);
    if (applied) return {};
    QFile::remove(path);
    return QString::fromLocal8Bit(std::strerror(error));
}

bool openPrivateFile(QFile& file, QIODevice::OpenMode extra) {
    const bool existed = file.exists();
    if (!file.open(QIODevice::WriteOnly | extra, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    return existed || apply(file.handle(), shareOf(folderOf(file.fileName())));
}

NewPrivateFile::NewPrivateFile(const QString& path)
    : m_path(path), m_created(!QFile::exists(path) && createPrivateFile(path).isEmpty()) {}

NewPrivateFile::~NewPrivateFile() {
    if (m_created && !m_kept) QFile::remove(m_path);
}

QString saveReportFile(const QString& folder, const QString& name, const QString& text) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString path = QDir(folder).filePath(QStringLiteral("%1-%2.txt").arg(name, stamp));
    for (int n = 2; QFile::exists(path); ++n)
        path = QDir(folder).filePath(QStringLiteral("%1-%2-%3.txt").arg(name, stamp).arg(n));
    QFile out(path);
    if (!openPrivateFile(out)) return {};
    if (out.write(text.toUtf8()) >= 0 && out.flush()) return path;
    out.remove();
    return {};
}

QString reportSavedText(const QString& savedAs) {
    return savedAs.isEmpty() ? QStringLiteral("报告没能保存。") : QStringLiteral("报告已保存在 %1。").arg(savedAs);
}

bool protectFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool applied = apply(fd, shareOf(folderOf(path)));
    ::close(fd);
    return applied;
}

bool copyModeAndGroup(const QString& from, const QString& to) {
    struct stat info {};
    if (::stat(QFile::encodeName(from).constData(), &info) != 0) return false;
    const int fd = ::open(QFile::encodeName(to).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool applied = apply(fd, {mode_t(info.st_mode & 07777), info.st_gid});
    ::close(fd);
    return applied;
}
