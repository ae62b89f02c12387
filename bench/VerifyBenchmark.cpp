#include "VerifyBenchmark.h"

#include "Benchmarks.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace {

constexpr quint16 kPort = 48280;
constexpr int kBurst = 10000;
constexpr int kBurstInFlight = 16;
constexpr int kLoadPerSecond = 200;
constexpr int kLoadAddresses = 20;

// The codes here are hex: the same length and alphabet as the program's, made by the engine in one
// statement for a million records.
QString addCodes(const QString& database, QStringList& tokens, QList<QPair<QString, QString>>& pairs) {
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("verify-bench"));
        db.setDatabaseName(database);
        QSqlQuery q(db);
        if (!db.open()) {
            error = db.lastError().text();
        } else if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM VerifyToken")) || !q.next()) {
            error = q.lastError().text();
        } else if (q.value(0).toLongLong() == 0 &&
                   !q.exec(QStringLiteral("INSERT INTO VerifyToken (表名, 关键字, 核验码, 发码时间) SELECT 'DangAnKu', "
                                          "证号, hex(randomblob(12)), '' FROM DangAnKu WHERE 证号 IS NOT NULL"))) {
            error = q.lastError().text();
        } else if (!q.exec(QStringLiteral("SELECT t.核验码, d.证号, d.姓名 FROM DangAnKu d JOIN VerifyToken t ON "
                                          "t.关键字 = d.证号 WHERE d.rowid % 197 = 0 LIMIT 5000"))) {
            error = q.lastError().text();
        } else {
            while (q.next()) {
                tokens << q.value(0).toString();
                pairs.append({q.value(1).toString(), q.value(2).toString()});
            }
        }
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("verify-bench"));
    if (error.isEmpty() && tokens.isEmpty()) error = QStringLiteral("no certificates to verify");
    return error;
}

// One request on a connection of its own from `from`; `done` gets the status (0: no answer).
void send(const QHostAddress& from, const QByteArray& request, std::function<void(int)> done) {
    auto* socket = new QTcpSocket;
    auto data = std::make_shared<QByteArray>();
    auto finished = std::make_shared<bool>(false);
    auto finish = [socket, data, finished, done](bool complete) {
        if (*finished) return;
        *finished = true;
        done(complete && data->startsWith("HTTP/1.1 ") ? data->mid(9, 3).toInt() : 0);
        socket->deleteLater();
    };
    QObject::connect(socket, &QTcpSocket::connected, socket, [socket, request] { socket->write(request); });
    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, data, finish] {
        *data += socket->readAll();
        const qsizetype end = data->indexOf("\r\n\r\n");
        const qsizetype length = data->indexOf("Content-Length: ");
        if (end < 0 || length < 0) return;
        const qint64 needed = data->mid(length + 16, data->indexOf("\r\n", length) - length - 16).toLongLong();
        if (data->size() - end - 4 >= needed) finish(true);
    });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, [finish] { finish(true); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket, [finish] { finish(false); });
    socket->bind(from);
    socket->connectToHost(QHostAddress::LocalHost, kPort);
}

QByteArray get(const QString& path) {
    return "GET " + QUrl(path).toEncoded() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

struct Service {
    QProcess process;
    QTemporaryDir counts;

    bool start(const QString& database, int perMinute) {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/orvanta-verify"),
                      {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(kPort), QStringLiteral("--database"),
                       database, QStringLiteral("--counts"), counts.filePath(QStringLiteral("counts.sqlite")),
                       QStringLiteral("--per-minute"), QString::number(perMinute)});
        if (!process.waitForStarted()) return false;
        for (int attempt = 0; attempt < 100; ++attempt) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, kPort);
            if (probe.waitForConnected(100)) return true;
            QThread::msleep(100);
        }
        return false;
    }
    ~Service() {
        process.terminate();
        process.waitForFinished(5000);
    }
};

void waitUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Returns false when an answer was neither allowed nor refused for the rate.
bool burst(const QString& database, const QStringList& tokens, QTextStream& out) {
    Service service;
    if (!service.start(database, 60)) {
        out << "orvanta-verify did not start" << Qt::endl;
        return false;
    }
    QHash<int, int> statuses;
    int sent = 0, answered = 0;
    QElapsedTimer timer;
    timer.start();
    const qint64 firstMinute = QDateTime::currentSecsSinceEpoch() / 60;
    std::function<void()> next = [&] {
        if (sent >= kBurst) return;
        const QString token = tokens[sent % tokens.size()];
        ++sent;
        send(QHostAddress::LocalHost, get(QStringLiteral("/v/") + token), [&](int status) {
            ++statuses[status];
            ++answered;
            next();
        });
    };
    for (int i = 0; i < kBurstInFlight; ++i)
        next();
    waitUntil([&] { return answered >= kBurst; }, 300000);
    const double seconds = timer.elapsed() / 1000.0;
    const qint64 minutes = QDateTime::currentSecsSinceEpoch() / 60 - firstMinute + 1;
    int alive = 0;
    send(QHostAddress(QStringLiteral("127.0.0.99")), get(QStringLiteral("/v/") + tokens.first()),
         [&](int status) { alive = status; });
    waitUntil([&] { return alive != 0; }, 5000);
    const int allowed = statuses.value(200), refused = statuses.value(429);
    const bool sound = answered == kBurst && allowed + refused == kBurst && allowed >= 60 && allowed <= 60 * minutes &&
                       alive == 200 && service.process.state() == QProcess::Running;
    out << "burst of " << kBurst << " from one address: " << seconds << " s (" << int(kBurst / seconds)
        << " requests/s), " << allowed << " answered 200, " << refused << " refused 429, "
        << (kBurst - allowed - refused) << " other or lost; another address afterwards: " << alive
        << (sound ? "" : "  <- FAILED") << Qt::endl;
    return sound;
}

struct LoadFigures {
    double p50 = 0, p99 = 0, slowest = 0, perSecond = 0;
    int failed = 0;
};

LoadFigures load(const QString& database, const QStringList& tokens, const QList<QPair<QString, QString>>& pairs,
                 int seconds) {
    LoadFigures figures;
    Service service;
    if (!service.start(database, 100000)) {
        figures.failed = -1;
        return figures;
    }
    const int total = kLoadPerSecond * seconds;
    QList<double> latencies;
    int sent = 0, answered = 0;
    QRandomGenerator random(27);
    QElapsedTimer clock;
    clock.start();
    QTimer tick;
    // Open loop: each request leaves at its own time whatever the earlier ones do, and its
    // latency counts from then.
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 due = std::min<qint64>(total, clock.nsecsElapsed() * kLoadPerSecond / 1000000000 + 1);
        for (; sent < due; ++sent) {
            const qint64 leaves = clock.nsecsElapsed();
            const QHostAddress from(QStringLiteral("127.0.1.%1").arg(1 + sent % kLoadAddresses));
            // One in ten asks by 证号 and 姓名 instead of the code.
            QByteArray request;
            if (sent % 10 == 9) {
                const auto& [key, name] = pairs[random.bounded(pairs.size())];
                request = "GET /?%E8%AF%81%E5%8F%B7=" + QUrl::toPercentEncoding(key) + "&%E5%A7%93%E5%90%8D=" +
                          QUrl::toPercentEncoding(name) + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
            } else {
                request = get(QStringLiteral("/v/") + tokens[random.bounded(tokens.size())]);
            }
            send(from, request, [&, leaves](int status) {
                ++answered;
                if (status != 200) ++figures.failed;
                latencies << (clock.nsecsElapsed() - leaves) / 1e6;
            });
        }
    });
    tick.start(1);
    waitUntil([&] { return answered >= total; }, (seconds + 30) * 1000);
    figures.perSecond = answered / (clock.elapsed() / 1000.0);
    figures.failed += total - answered;
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.isEmpty()) {
        figures.p50 = latencies[latencies.size() / 2];
        figures.p99 = latencies[std::min<qsizetype>(latencies.size() - 1, latencies.size() * 99 / 100)];
        figures.slowest = latencies.last();
    }
    return figures;
}

} // namespace

int measureVerifyService(const QString& database, int seconds, int runs, QTextStream& out) {
    QStringList tokens;
    QList<QPair<QString, QString>> pairs;
    if (const QString error = addCodes(database, tokens, pairs); !error.isEmpty()) {
        out << "preparing the codes failed: " << error << Qt::endl;
        return 1;
    }
    bool sound = burst(database, tokens, out);
    QList<double> p50s, p99s, slowest;
    for (int run = 0; run < runs; ++run) {
        const LoadFigures figures = load(database, tokens, pairs, seconds);
        out << "load run " << run + 1 << ": " << figures.perSecond << " verifications/s from " << kLoadAddresses
            << " addresses, p50 " << figures.p50 << " ms, p99 " << figures.p99 << " ms, slowest " << figures.slowest
            << " ms, " << figures.failed << " not answered 200" << Qt::endl;
        if (figures.failed != 0) sound = false;
        p50s << figures.p50;
        p99s << figures.p99;
        slowest << figures.slowest;
    }
    const double p99 = median(p99s);
    out << "load, median of " << runs << " runs: p50 " << median(p50s) << " ms, p99 " << p99 << " ms (target <= 50), slowest "
        << median(slowest) << " ms" << Qt::endl;
    return sound && p99 <= 50 ? 0 : 1;
}
