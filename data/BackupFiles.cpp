#include "BackupFiles.h"

#include "FileModes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QUuid>

namespace {

QString workName(const QString& name) {
    return name + QLatin1Char('.') + QUuid::createUuid().toString(QUuid::Id128).left(12) +
           QStringLiteral(".tmp");
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// A lock on the file description: it holds as long as the descriptor stays open, whatever else
// the process opens or closes, and ends with the process however that ends.
int lockedDescriptor(const QString& path, bool wait) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

WorkFile::WorkFile(const QString& folder, const QString& name) : path(QDir(folder).filePath(workName(name))) {
    if (!createPrivateFile(path).isEmpty()) {
        m_error = errno ? errno : EIO;
        return;
    }
    m_lock = lockedDescriptor(path, true);
}

WorkFile::~WorkFile() {
    if (!m_placed && m_error == 0) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
    }
    if (m_lock >= 0) ::close(m_lock);
}

int WorkFile::place(const QString& target) {
    if (::rename(native(path).constData(), native(target).constData()) != 0) return errno;
    m_placed = true;
    syncFolder(QFileInfo(target).absolutePath());
    return 0;
}

WorkFolder::WorkFolder(const QString& parent, const QString& name)
    : path(QDir(parent).filePath(workName(name))) {
    if (::mkdir(native(path).constData(), 0700) != 0) {
        m_error = errno;
        return;
    }
    m_lock = lockedDescriptor(path, true);
}

WorkFolder::~WorkFolder() {
    if (m_error == 0) QDir(path).removeRecursively();
    if (m_lock >= 0) ::close(m_lock);
}

QString WorkFolder::filePath(const QString& name) const {
    return QDir(path).filePath(name);
}

QStringList removeAbandonedWork(const QString& folder, const QString& name) {
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(name) +
                                     QStringLiteral("\\.[0-9a-f]{12}\\.tmp(-journal)?$"));
    QStringList removed;
    const QDir dir(folder);
    for (const QFileInfo& entry :
         dir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QRegularExpressionMatch match = pattern.match(entry.fileName());
        if (!match.hasMatch() || entry.isSymLink()) continue;
        // A journal goes with its file; alone, it is removed.
        if (!match.captured(1).isEmpty() && QFileInfo::exists(entry.absoluteFilePath().chopped(8))) continue;
        // A run still at work holds its lock; the first version's files carried none.
        const int fd = lockedDescriptor(entry.absoluteFilePath(), false);
        if (fd < 0 && errno == EWOULDBLOCK) continue;
        const bool gone = entry.isDir() ? QDir(entry.absoluteFilePath()).removeRecursively()
                                        : QFile::remove(entry.absoluteFilePath());
        QFile::remove(entry.absoluteFilePath() + QStringLiteral("-journal"));
        if (fd >= 0) ::close(fd);
        if (gone) removed << entry.fileName();
    }
    return removed;
}

QString abandonedWorkNote(const QStringList& removed) {
    if (removed.isEmpty()) return {};
    return QStringLiteral("（已删除上次中断时留下的临时文件：%1）").arg(removed.join(QStringLiteral("、")));
}

void syncFolder(const QString& folder) {
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

QString datedName(const QString& folder, const QString& baseName, const QString& suffix) {
    const QString stem = QDir(folder).filePath(
        baseName + QDateTime::currentDateTime().toString(QStringLiteral("-yyyyMMdd-HHmmss")));
    const QString dotted = suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
    QString name = stem + dotted;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = stem + QLatin1Char('-') + QString::number(n) + dotted;
    return name;
}
