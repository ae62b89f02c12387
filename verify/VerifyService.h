#pragma once
// The verification service: a small HTTP server answering /v/TOKEN and the 证号 + 姓名 form at /,
// for phones scanning a card. It only reads; every request counts against its client address's
// allowance per minute, and oversized, slow or malformed requests are cut off before they cost
// memory.

#include "VerifyCounts.h"
#include "VerifyLookup.h"

#include <QAbstractHttpServer>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QHttpServerResponder>

struct VerifyOptions {
    QString title;
    bool showPhotos = false;
    int requestsPerMinute = 60;
    // Behind a reverse proxy on this machine the client's address is the proxy's X-Real-IP.
    bool behindProxy = false;
};

// Requests each client address may make in the current minute.
class RateLimit {
public:
    explicit RateLimit(int perMinute) : m_perMinute(perMinute) {}
    bool admit(const QString& client, qint64 minute);

private:
    int m_perMinute;
    qint64 m_minute = -1;
    QHash<QString, int> m_counts; // of the current minute only
};

class VerifyService : public QAbstractHttpServer {
    Q_OBJECT

public:
    VerifyService(VerifyRegisters& registers, VerifyCounts& counts, VerifyOptions options, QObject* parent = nullptr);
    // The port listened on, 0 when the address cannot be had.
    quint16 listenOn(const QHostAddress& address, quint16 port);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    using Status = QHttpServerResponder::StatusCode;
    QString clientOf(const QHttpServerRequest& request) const;
    void answerToken(const QHttpServerRequest& request, QTcpSocket* socket, const QString& token);
    void answerForm(const QHttpServerRequest& request, QTcpSocket* socket, const QByteArray& encodedFields);
    void answerFound(const QHttpServerRequest& request, QTcpSocket* socket, const QList<VerifiedCertificate>& found);
    void respond(const QHttpServerRequest& request, QTcpSocket* socket, Status status, const QByteArray& page);

    VerifyRegisters& m_registers;
    VerifyCounts& m_counts;
    VerifyOptions m_options;
    RateLimit m_limit;
};
