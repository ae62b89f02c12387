#include "VerifyTokens.h"

#include "AuditLog.h"
#include "DbConditions.h"
#include "Schema.h"
#include "settings.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <sodium.h>

namespace {

constexpr int kTokenBytes = 18;
const QString kReissued = QStringLiteral("重新发核验码");

[[noreturn]] void fail(const QSqlQuery& q) {
    throw dbErrorFrom(q.lastError(), q.driver());
}

QSqlQuery bound(Connection& conn, const QString& sql, const QVariantList& values) {
    conn.requireOpen();
    QSqlQuery q(conn.database());
    q.prepare(sql);
    for (const QVariant& value : values)
        q.addBindValue(value);
    return q;
}

std::optional<QString> storedToken(Connection& conn, const QString& table, const QString& key) {
    QSqlQuery q = bound(conn,
                        QStringLiteral("SELECT 核验码 FROM %1 WHERE 表名 = ? AND 关键字 = ? AND 停用时间 IS NULL")
                            .arg(kVerifyTokenTable),
                        {table, key});
    if (!q.exec()) fail(q);
    if (!q.next()) return std::nullopt;
    return q.value(0).toString();
}

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QSqlQuery tokenInsert(Connection& conn, const QString& table, const QString& key, const QString& token) {
    return bound(conn,
                 QStringLiteral("INSERT INTO %1 (表名, 关键字, 核验码, 发码时间) VALUES (?, ?, ?, ?)")
                     .arg(kVerifyTokenTable),
                 {table, key, token, now()});
}

} // namespace

QString newVerifyToken() {
    if (sodium_init() < 0) throw DbError(DbErrorCode::Driver, QStringLiteral("无法取得随机数。"));
    unsigned char bytes[kTokenBytes];
    randombytes_buf(bytes, sizeof bytes);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

bool looksLikeVerifyToken(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^[A-Za-z0-9_-]{24}$"));
    return form.match(text).hasMatch();
}

QString currentVerifyToken(Connection& conn, const QString& table, const QString& key) {
    if (const auto token = storedToken(conn, table, key)) return *token;
    const QString token = newVerifyToken();
    QSqlQuery issue = tokenInsert(conn, table, key, token);
    if (issue.exec()) return token;
    // Another desk issued one at the same moment: the index kept theirs, so use it.
    if (const auto theirs = storedToken(conn, table, key)) return *theirs;
    fail(issue);
}

QString reissueVerifyToken(Connection& conn, const QString& table, const QString& key) {
    WriteScope scope(conn);
    QSqlQuery revoke = bound(conn,
                             QStringLiteral("UPDATE %1 SET 停用时间 = ? WHERE 表名 = ? AND 关键字 = ? AND 停用时间 IS NULL")
                                 .arg(kVerifyTokenTable),
                             {now(), table, key});
    if (!revoke.exec()) fail(revoke);
    const QString token = newVerifyToken();
    QSqlQuery issue = tokenInsert(conn, table, key, token);
    if (!issue.exec()) fail(issue);
    // The trail names the record, never the codes: they are the card's secret.
    AuditLog::record(conn.database(), kReissued, table, key, {},
                     revoke.numRowsAffected() > 0 ? QStringLiteral("原核验码已停用") : QString());
    scope.commit();
    return token;
}

QString verifyHost() {
    return GetSetting(ProductTitle(), QStringLiteral("System"), QStringLiteral("VerifyHost"), QString()).trimmed();
}

void saveVerifyHost(const QString& host) {
    SaveSetting(ProductTitle(), QStringLiteral("System"), QStringLiteral("VerifyHost"), host.trimmed());
}

QString verifyHostProblem(const QString& host) {
    static const QRegularExpression form(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?)*(:[0-9]{1,5})?$"));
    const QString trimmed = host.trimmed();
    if (trimmed.isEmpty()) return {};
    if (!form.match(trimmed).hasMatch() || QUrl(QStringLiteral("https://") + trimmed).host().isEmpty())
        return QStringLiteral("核验网址只填主机名（可带端口），如 check.example.org 或 check.example.org:8443，"
                              "不要填 https:// 或路径。");
    return {};
}

QString verifyAddress(const QString& host, const QString& token) {
    return QStringLiteral("https://%1/v/%2").arg(host, token);
}
