#include "BackupMessages.h"

#include <cerrno>

BackupResult succeeded(const QString& message) {
    return {BackupStatus::Done, message, {}};
}

BackupResult failed(const QString& description) {
    return {BackupStatus::Failed, description + kContact, {}};
}

BackupResult writeProtected(const QString& more) {
    return failed(QStringLiteral("数据已被写保护!确认没有其它用户打开原有数据!") + more);
}

BackupResult fromErrno(int error, const QString& path) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
        return writeProtected();
    case ENOSPC:
        return failed(QStringLiteral("磁盘空间不足。"));
    default:
        return failed(QStringLiteral("无法写入文件 '%1'。").arg(path));
    }
}

BackupResult fromSeal(SealResult result, const QString& path) {
    switch (result) {
    case SealResult::Done:
        return succeeded();
    case SealResult::Cancelled:
        return {BackupStatus::Cancelled, {}, {}};
    case SealResult::WrongPassword:
        return {BackupStatus::WrongPassword, QStringLiteral("备份密码不正确!"), {}};
    case SealResult::Damaged:
        return {BackupStatus::Refused, kNotABackup, {}};
    case SealResult::NoMemory:
        return failed(QStringLiteral("内存不足，无法处理加密的备份数据。"));
    case SealResult::ReadFailed:
        return failed(QStringLiteral("无法读取文件 '%1'。").arg(path));
    case SealResult::DiskFull:
        return failed(QStringLiteral("磁盘空间不足。"));
    case SealResult::WriteFailed:
        break;
    }
    return failed(QStringLiteral("无法写入文件 '%1'。").arg(path));
}

BackupResult wrongRestorePassword() {
    return {BackupStatus::WrongPassword, QStringLiteral("备份密码不正确，现有数据没有改变。"), {}};
}

ProgressStep progressPart(const ProgressStep& progress, int from, int to) {
    if (!progress) return {};
    return [=](int permille) { return progress(from + (to - from) * permille / 1000); };
}
