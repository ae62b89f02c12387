#include "OperatorAccess.h"

#include "AuditLog.h"
#include "DbConditions.h"
#include "Passwords.h"
#include "Schema.h"

#include <cmath>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {

const QString kUsers = QStringLiteral("Users");
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

bool isRightColumn(const QString& right) {
    for (const ColumnDef& column : tableDef(kUsers).columns)
        if (column.kind == ColumnKind::Boolean && column.name == right) return true;
    return false;
}

QSqlQuery run(QSqlDatabase db, const QString& statement, const QVariantList& values) {
    QSqlQuery q(db);
    q.prepare(statement);
    for (const QVariant& value : values)
        q.addBindValue(value);
    if (!q.exec()) throw dbErrorFrom(q.lastError(), q.driver());
    return q;
}

} // namespace

bool RightGranted(const QVariant& value) {
    if (value.isNull() || !value.isValid()) return false;
    if (value.typeId() == QMetaType::Bool) return value.toBool();
    const QString text = value.toString().trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber && number != 0;
}

std::optional<bool> storedRight(QSqlDatabase db, const QString& name, const QString& right) {
    // The right becomes part of the statement only when it is one of the table's own columns.
    const QString column = isRightColumn(right) ? right : QStringLiteral("NULL");
    QSqlQuery q = run(db, QStringLiteral("SELECT %1 FROM Users WHERE 姓名 = ?").arg(column), {name});
    if (!q.next()) return std::nullopt;
    return RightGranted(q.value(0));
}

namespace LoginGuard {

int waitAfter(int failures) {
    constexpr int kFreeAttempts = 5;
    constexpr int kLongestWait = 300;
    if (failures < kFreeAttempts) return 0;
    const int doublings = failures - kFreeAttempts + 1;
    return doublings >= 9 ? kLongestWait : std::min(1 << doublings, kLongestWait);
}

Standing standing(QSqlDatabase db, const QString& name, const Clock& now) {
    // Enough rows to reach the longest wait; the (表名, 关键字) index serves the search.
    QSqlQuery q =
        run(db,
            QStringLiteral("SELECT 操作, 时间 FROM AuditLog WHERE 表名 = ? AND 关键字 = ? AND 操作 IN (?, ?) "
                           "ORDER BY 编号 DESC LIMIT 16"),
            {kUsers, name, AuditLog::kLogin, AuditLog::kLoginFailed});
    Standing result;
    QDateTime lastFailure;
    while (q.next() && q.value(0).toString() == AuditLog::kLoginFailed) {
        if (result.failuresInARow == 0)
            lastFailure = QDateTime::fromString(q.value(1).toString(), kTimeFormat);
        ++result.failuresInARow;
    }
    const int wait = waitAfter(result.failuresInARow);
    if (wait > 0 && lastFailure.isValid()) {
        const qint64 left = now().msecsTo(lastFailure.addSecs(wait));
        // Never longer than the wait itself, whatever a desk's clock says.
        result.secondsToWait = int(std::clamp<qint64>((left + 999) / 1000, 0, wait));
    }
    return result;
}

void recordFailure(QSqlDatabase db, const QString& name, const QString& reason) {
    AuditLog::record(db, AuditLog::kLoginFailed, kUsers, name, {}, reason);
}

QString waitText(const Standing& standing) {
    return QStringLiteral("已连续 %1 次登录失败，请 %2 秒后再试。")
        .arg(standing.failuresInARow)
        .arg(standing.secondsToWait);
}

} // namespace LoginGuard

namespace {

// The trail's part of a login never keeps an operator out: a database made before the trail, or
// one whose trail cannot take the row, still lets its operators in (and be upgraded).
LoginGuard::Standing standingIfReadable(QSqlDatabase db, const QString& name, const LoginGuard::Clock& now) {
    try {
        return LoginGuard::standing(db, name, now);
    } catch (const DbError&) {
        return {};
    }
}

void recordIfPossible(QSqlDatabase db, const QString& action, const QString& name, const QString& how) {
    try {
        AuditLog::record(db, action, kUsers, name, {}, how);
    } catch (const DbError&) {
    }
}

} // namespace

QString authenticateOperator(QSqlDatabase db, const QString& name, const QString& password,
                             const QString& right, const QString& how, const LoginGuard::Clock& now) {
    const LoginGuard::Standing standing = standingIfReadable(db, name, now);
    if (standing.secondsToWait > 0)
        return QStringLiteral("操作员 %1：").arg(name) + LoginGuard::waitText(standing);
    try {
        QSqlQuery q = run(db, QStringLiteral("SELECT PWD FROM Users WHERE 姓名 = ?"), {name});
        const bool known = q.next();
        const bool matches = known && passwordMatches(q.value(0), password);
        q.finish();
        if (!matches) {
            recordIfPossible(db, AuditLog::kLoginFailed, name, how);
            return QStringLiteral("操作员 %1：").arg(name) +
                   (known ? QStringLiteral("密码错误!") : QStringLiteral("没有找到操作员!"));
        }
        recordIfPossible(db, AuditLog::kLogin, name, how);
        if (right == kAdministrator) {
            if (name != kAdministrator) return QStringLiteral("对不起，%1 只有管理员可以使用!").arg(how);
        } else if (!right.isEmpty() && !storedRight(db, name, right).value_or(false)) {
            return QStringLiteral("对不起，您无'") + right +
                   QStringLiteral("'权限!请通过管理员为您设置该权限!");
        }
    } catch (const DbError& e) {
        return QStringLiteral("无法核对操作员：") + e.description;
    }
    return {};
}

QString authenticateAdministratorOfFile(const QString& databasePath, const QString& password,
                                        const QString& how) {
    const QString connection = QStringLiteral("operator-check-") + QUuid::createUuid().toString();
    QString refusal;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        refusal = db.open() ? authenticateOperator(db, kAdministrator, password, kAdministrator, how)
                            : QStringLiteral("无法核对操作员：") + db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return refusal;
}
