#include "VerifyService.h"

#include "VerifyPages.h"
#include "VerifyTokens.h"

#include <QHttpServerRequest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

namespace {

// A request of the pages is well under a kilobyte; anything near these is not a phone.
constexpr qint64 kMaxUnansweredBytes = 16 * 1024;
constexpr qint64 kMaxBodyBytes = 2 * 1024;
constexpr int kMaxHeaders = 40;
constexpr int kIdleMilliseconds = 15000;
constexpr int kMaxConnections = 256;
constexpr int kMaxFieldLength = 64;
constexpr int kMaxPrunedClients = 100000;

QByteArray rawRefusal(QByteArray status, const QByteArray& page) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(page.size()) + "\r\nConnection: close\r\nX-Content-Type-Options: nosniff\r\n\r\n" + page;
}

// Watches one connection: more bytes than any page request needs before an answer, or silence
// for too long, closes it; the HTTP layer never buffers more than that.
void guardConnection(QTcpSocket* socket, const QString& title) {
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->start(kIdleMilliseconds);
    QObject::connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    auto unanswered = std::make_shared<qint64>(0);
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, unanswered, title] {
        *unanswered += socket->bytesAvailable();
        if (*unanswered <= kMaxUnansweredBytes) return;
        socket->readAll();
        socket->write(rawRefusal("413 Payload Too Large", VerifyPages::refusedPage(title, QStringLiteral("请求过大"))));
        socket->disconnectFromHost();
    });
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [unanswered, idle] {
        *unanswered = 0;
        idle->start(kIdleMilliseconds);
    });
}

// Hands the HTTP layer only connections it can afford, each under a guard.
class BoundedTcpServer : public QTcpServer {
public:
    BoundedTcpServer(QString title, QObject* parent) : QTcpServer(parent), m_title(std::move(title)) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor) || m_open >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++m_open;
        connect(socket, &QObject::destroyed, this, [this] { --m_open; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Connected before the HTTP layer sees the socket, so the guard reads first.
        guardConnection(socket, m_title);
        addPendingConnection(socket);
    }

private:
    QString m_title;
    int m_open = 0;
};

// Form fields as a browser sends them, in a query or a POST body: UTF-8, + for a space.
QString formField(const QByteArray& encoded, const QString& name) {
    for (QByteArray pair : encoded.split('&')) {
        pair.replace('+', ' ');
        const qsizetype equals = pair.indexOf('=');
        if (equals > 0 && QUrl::fromPercentEncoding(pair.left(equals)) == name)
            return QUrl::fromPercentEncoding(pair.mid(equals + 1)).trimmed();
    }
    return {};
}

void logProblem(const QString& message) {
    QTextStream(stderr) << message << Qt::endl;
}

} // namespace

bool RateLimit::admit(const QString& client, qint64 minute) {
    if (minute != m_minute || m_counts.size() > kMaxPrunedClients) {
        m_minute = minute;
        m_counts.clear();
    }
    return ++m_counts[client] <= m_perMinute;
}

VerifyService::VerifyService(VerifyRegisters& registers, VerifyCounts& counts, VerifyOptions options, QObject* parent)
    : QAbstractHttpServer(parent), m_registers(registers), m_counts(counts), m_options(std::move(options)),
      m_limit(m_options.requestsPerMinute) {}

quint16 VerifyService::listenOn(const QHostAddress& address, quint16 port) {
    auto* server = new BoundedTcpServer(m_options.title, this);
    if (!server->listen(address, port)) {
        delete server;
        return 0;
    }
    bind(server);
    return server->serverPort();
}

QString VerifyService::clientOf(const QHttpServerRequest& request) const {
    const QHostAddress peer = request.remoteAddress();
    if (m_options.behindProxy && peer.isLoopback()) {
        const QHostAddress forwarded(QString::fromLatin1(request.value("X-Real-IP").trimmed()));
        if (!forwarded.isNull()) return forwarded.toString();
    }
    return peer.toString();
}

bool VerifyService::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    if (!m_limit.admit(clientOf(request), QDateTime::currentSecsSinceEpoch() / 60)) {
        respond(request, socket, Status::TooManyRequests, VerifyPages::tooManyPage(m_options.title));
        return true;
    }
    if (request.headers().size() > kMaxHeaders) {
        respond(request, socket, Status::RequestHeaderFieldsTooLarge,
                VerifyPages::refusedPage(m_options.title, QStringLiteral("请求过大")));
        return true;
    }
    const QString path = request.url().path();
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    if (!get && !post) {
        respond(request, socket, Status::MethodNotAllowed,
                VerifyPages::refusedPage(m_options.title, QStringLiteral("不支持这种请求")));
        return true;
    }
    if (request.body().size() > kMaxBodyBytes) {
        respond(request, socket, Status::PayloadTooLarge,
                VerifyPages::refusedPage(m_options.title, QStringLiteral("请求过大")));
        return true;
    }
    if (get && path.startsWith(QLatin1String("/v/"))) {
        answerToken(request, socket, path.mid(3));
    } else if (path == QLatin1String("/")) {
        const QByteArray fields = post ? request.body() : request.url().query(QUrl::FullyEncoded).toLatin1();
        answerForm(request, socket, fields);
    } else {
        respond(request, socket, Status::NotFound, VerifyPages::notFoundPage(m_options.title));
    }
    return true;
}

void VerifyService::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    respond(request, socket, Status::NotFound, VerifyPages::notFoundPage(m_options.title));
}

void VerifyService::answerToken(const QHttpServerRequest& request, QTcpSocket* socket, const QString& token) {
    // Every code, well-formed or not, costs the same lookup, so a miss tells nothing by its timing.
    const QString asked = looksLikeVerifyToken(token) ? token : token.left(kMaxFieldLength);
    try {
        QList<VerifiedCertificate> found;
        if (auto one = m_registers.byToken(asked, m_options.showPhotos, QDate::currentDate()); one && looksLikeVerifyToken(token))
            found << *one;
        answerFound(request, socket, found);
    } catch (const DbError& error) {
        logProblem(QStringLiteral("核验查询失败：") + error.description);
        respond(request, socket, Status::ServiceUnavailable,
                VerifyPages::refusedPage(m_options.title, QStringLiteral("暂时无法核验，请稍后再试")));
    }
}

void VerifyService::answerForm(const QHttpServerRequest& request, QTcpSocket* socket, const QByteArray& encodedFields) {
    const QString key = formField(encodedFields, QStringLiteral("证号"));
    const QString name = formField(encodedFields, QStringLiteral("姓名"));
    if (key.isEmpty() && name.isEmpty()) {
        respond(request, socket, Status::Ok, VerifyPages::formPage(m_options.title));
        return;
    }
    if (key.isEmpty() || name.isEmpty()) {
        respond(request, socket, Status::Ok,
                VerifyPages::formPage(m_options.title, QStringLiteral("请同时填写证号和姓名。"), key, name));
        return;
    }
    if (key.size() > kMaxFieldLength || name.size() > kMaxFieldLength) {
        answerFound(request, socket, {});
        return;
    }
    try {
        answerFound(request, socket, m_registers.byKeyAndName(key, name, m_options.showPhotos, QDate::currentDate()));
    } catch (const DbError& error) {
        logProblem(QStringLiteral("核验查询失败：") + error.description);
        respond(request, socket, Status::ServiceUnavailable,
                VerifyPages::refusedPage(m_options.title, QStringLiteral("暂时无法核验，请稍后再试")));
    }
}

void VerifyService::answerFound(const QHttpServerRequest& request, QTcpSocket* socket,
                                const QList<VerifiedCertificate>& found) {
    if (found.isEmpty()) {
        respond(request, socket, Status::NotFound, VerifyPages::notFoundPage(m_options.title));
        return;
    }
    for (const VerifiedCertificate& certificate : found)
        m_counts.count(certificate.table, certificate.key);
    respond(request, socket, Status::Ok, VerifyPages::certificatesPage(m_options.title, found, QDate::currentDate()));
}

void VerifyService::respond(const QHttpServerRequest& request, QTcpSocket* socket, Status status,
                            const QByteArray& page) {
    static const QByteArray policy = VerifyPages::contentSecurityPolicy();
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(page,
                    {{"Content-Type", "text/html; charset=utf-8"},
                     {"Content-Security-Policy", policy},
                     {"X-Content-Type-Options", "nosniff"},
                     {"X-Frame-Options", "DENY"},
                     {"Referrer-Policy", "no-referrer"},
                     {"Cache-Control", "no-store"}},
                    status);
}
