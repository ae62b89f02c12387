#pragma once
// The audit trail in table AuditLog: who added, changed or deleted what, when and at which
// workstation, and the logins (failed ones too), prints, exports, backups, restores and imports.
// The program only ever adds rows.

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>

namespace AuditLog {

inline const QString kAdded = QStringLiteral("新增");
inline const QString kChanged = QStringLiteral("修改");
inline const QString kDeleted = QStringLiteral("删除");
inline const QString kLogin = QStringLiteral("登录");
inline const QString kBackup = QStringLiteral("备份");
inline const QString kRestore = QStringLiteral("恢复");
inline const QString kImport = QStringLiteral("导入");
inline const QString kLoginFailed = QStringLiteral("登录失败");
inline const QString kPrint = QStringLiteral("打印");
inline const QString kExport = QStringLiteral("输出");

struct ColumnChange {
    QString column;
    QString oldValue;
    QString newValue;
};

// The operator the rows name from now on (set at login). Without one, as in a command-line run,
// the rows name the system account in brackets.
void setOperator(const QString& name);
QString currentOperator();

// Writes one event: a row per changed column, or a single row when `changes` is empty (a login,
// a backup; `detail` then goes into the new-value column). Throws DbError when the rows cannot be
// written, so a caller inside a transaction fails with them. Creates the table when the database
// has none yet.
void record(QSqlDatabase db, const QString& action, const QString& table, const QString& key,
            const QVector<ColumnChange>& changes = {}, const QString& detail = {});

// Gives a database made before the audit trail its table. Throws DbError when that fails.
void ensureTable(QSqlDatabase db);

// A column whose values the trail never shows (the password hash).
bool isSecret(const QString& column);
// A stored value as the trail shows it: empty for Null, 是/否, dates as yyyy-MM-dd, a photo by
// its size and SHA-256 (never its bytes), a secret as asterisks.
QString valueText(const QString& column, const QVariant& value, int adoType);

} // namespace AuditLog
