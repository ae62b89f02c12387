#pragma once
// What backups and restores, local and on the server, tell the operator, in the system's words.

#include "Backup.h"

inline const QString kContact = QStringLiteral("如有问题，请与程序开发商联系!");
inline const QString kNotABackup = QStringLiteral("所选文件不是有效的备份数据，现有数据没有改变。");

BackupResult succeeded(const QString& message = {});
BackupResult failed(const QString& description);
// The 70-style refusal: the file is write-protected or another desk has it open.
BackupResult writeProtected(const QString& more = {});
BackupResult fromErrno(int error, const QString& path);
BackupResult fromSeal(SealResult result, const QString& path);
// The wrong-password refusal of a restore, which changes nothing.
BackupResult wrongRestorePassword();

// The share from..to (of 1000) of a progress display.
ProgressStep progressPart(const ProgressStep& progress, int from, int to);
