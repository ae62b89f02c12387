#pragma once
// What the public verification pages may show of a certificate, read from a database opened
// read-only: the register, the key, the holder's name masked, the kind of certificate, its dates
// and its status. Nothing else of the record leaves here (no identity number, address, phone).

#include <optional>
#include <QByteArray>
#include <QDate>
#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QString>

enum class CertificateStatus { Valid, ReviewDue, Expired, Cancelled };

// 有效, 30 天内需复审, 已过期, 已注销.
QString certificateStatusText(CertificateStatus status);
// Expired once the last review or renewal date has passed, due when one falls within 30 days from
// today; dates never entered (the old forms' 2000-01-01) count for nothing.
CertificateStatus certificateStatus(const QList<QDate>& dueDates, const QDate& today);
// 张三 → 张*, 张小三 → 张*三, 欧阳小三 → 欧**三.
QString maskedName(const QString& name);

struct VerifiedCertificate {
    QString table;
    QString key;
    QString registerName;
    QString keyLabel;
    QString maskedName;
    QList<QPair<QString, QString>> lines; // label, value
    CertificateStatus status = CertificateStatus::Valid;
    QByteArray photo; // only when asked for
};

class VerifyRegisters {
public:
    VerifyRegisters();
    ~VerifyRegisters();
    VerifyRegisters(const VerifyRegisters&) = delete;
    VerifyRegisters& operator=(const VerifyRegisters&) = delete;

    // Opens a local file or a server (libpq string) for reading only; an error text, empty on
    // success. A database without the verification codes' table is refused.
    QString openLocal(const QString& path);
    QString openServer(const QString& libpqConnection);

    // The certificate behind a current code. A code of a record deleted since answers as
    // cancelled, with its key alone. Throws DbError.
    std::optional<VerifiedCertificate> byToken(const QString& token, bool withPhoto, const QDate& today);
    // Every register's certificate with exactly this key and name. Throws DbError.
    QList<VerifiedCertificate> byKeyAndName(const QString& key, const QString& name, bool withPhoto,
                                            const QDate& today);

private:
    QString checkTables();
    // Runs a prepared statement; a lost server session is opened again once.
    void run(QSqlQuery& query, const QString& sql, const QVariantList& values);
    std::optional<VerifiedCertificate> certificate(const QString& table, const QString& keyColumn,
                                                   const QVariantList& where, const QString& nameColumn,
                                                   bool withPhoto, const QDate& today);

    QString m_name;
    QString m_serverConnection;
};
