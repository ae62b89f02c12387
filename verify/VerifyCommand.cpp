#include "VerifyCommand.h"

#include "DataFolder.h"
#include "ModSql.h"
#include "settings.h"
#include "VerifyService.h"

#include <atomic>
#include <csignal>
#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QTextStream>
#include <QTimer>

namespace {

std::atomic_bool stopAsked = false;

void askStop(int) {
    stopAsked = true;
}

int fail(const QString& message) {
    QTextStream(stderr) << message << Qt::endl;
    return 1;
}

QString flagOf(const VerifyCommandOption& option) {
    return option.usage.section(QLatin1Char(' '), 0, 0);
}

// The counts file: systemd's state folder for the service, else the data folder.
QString defaultCountsPath() {
    const QString state = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    return QDir(state.isEmpty() ? DataPath() : state).filePath(QStringLiteral("verify-counts.sqlite"));
}

// "127.0.0.1:8080", "[::1]:8080".
bool parseListen(const QString& text, QHostAddress& address, quint16& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number == 0 || number > 65535 || !address.setAddress(host)) return false;
    port = quint16(number);
    return true;
}

} // namespace

const QList<VerifyCommandOption>& verifyCommandOptions() {
    static const QList<VerifyCommandOption> options = {
        {QStringLiteral("--listen 地址:端口"),
         QStringLiteral("在这个地址和端口上应答，默认 127.0.0.1:8080；对外请放在 HTTPS 反向代理之后。"), true},
        {QStringLiteral("--database 路径"),
         QStringLiteral("只读打开这个本地数据库文件（默认是本程序用户的数据文件夹中的数据库）。"), true},
        {QStringLiteral("--server \"连接串\""),
         QStringLiteral("只读连接 PostgreSQL 服务器上的数据库，libpq 连接串如 \"host=服务器 dbname=MoLian "
                        "user=orvanta_verify\"；密码放在 libpq 的密码文件中。"),
         true},
        {QStringLiteral("--counts 文件"),
         QStringLiteral("记录每张证书被核验次数的文件（不记录查询者），默认在 systemd 的 STATE_DIRECTORY "
                        "或数据文件夹中的 verify-counts.sqlite。"),
         true},
        {QStringLiteral("--per-minute 次数"), QStringLiteral("每个客户地址每分钟最多的请求数，默认 60，超过时答 429。"), true},
        {QStringLiteral("--behind-proxy"),
         QStringLiteral("请求来自本机的反向代理时，按代理给出的 X-Real-IP 计算每个地址的请求数。"), false},
        {QStringLiteral("--show-photos"), QStringLiteral("在核验页上显示持证人照片（默认不显示）。"), false},
        {QStringLiteral("--title 标题"), QStringLiteral("核验页上的发证机构名称，默认是程序选项设置中的标题。"), true},
        {QStringLiteral("--show-counts"), QStringLiteral("把核验次数（表名、证号、次数、最近核验日期）写到标准输出后退出。"), false},
        {QStringLiteral("--help"), QStringLiteral("显示本说明后退出。"), false},
        {QStringLiteral("--version"), QStringLiteral("显示版本后退出。"), false},
    };
    return options;
}

QString verifyHelpText() {
    QString text = QStringLiteral(
        "用法：orvanta-verify [--listen 地址:端口] [--database 路径 | --server \"连接串\"] [选项…]\n\n"
        "证书核验服务：手机扫描证书上的核验码即可查看该证书的状态。服务只读打开数据库，"
        "消息写到标准错误，任何失败都以非零状态退出。\n\n选项：\n");
    for (const VerifyCommandOption& option : verifyCommandOptions())
        text += QStringLiteral("  ") + option.usage + QStringLiteral("\n        ") + option.description + QLatin1Char('\n');
    return text;
}

int runVerifyCommand(const QStringList& arguments) {
    QHash<QString, QString> given;
    for (qsizetype at = 1; at < arguments.size(); ++at) {
        const auto known = std::find_if(verifyCommandOptions().cbegin(), verifyCommandOptions().cend(),
                                        [&](const VerifyCommandOption& o) { return flagOf(o) == arguments[at]; });
        if (known == verifyCommandOptions().cend())
            return fail(QStringLiteral("未知的参数：%1（orvanta-verify --help 列出全部选项）").arg(arguments[at]));
        if (known->takesValue && at + 1 >= arguments.size())
            return fail(QStringLiteral("%1 后缺少参数。").arg(arguments[at]));
        const QString flag = arguments[at];
        given.insert(flag, known->takesValue ? arguments[++at] : QString());
    }
    if (given.contains(QStringLiteral("--help"))) {
        QTextStream(stdout) << verifyHelpText();
        return 0;
    }
    if (given.contains(QStringLiteral("--version"))) {
        QTextStream(stdout) << QStringLiteral("orvanta-verify %1（证书核验服务）\n").arg(QStringLiteral(ORVANTA_VERSION));
        return 0;
    }

    VerifyCounts counts;
    if (const QString error = counts.open(given.value(QStringLiteral("--counts"), defaultCountsPath())); !error.isEmpty())
        return fail(error);
    if (given.contains(QStringLiteral("--show-counts"))) {
        QTextStream(stdout) << counts.report();
        return 0;
    }

    if (given.contains(QStringLiteral("--database")) && given.contains(QStringLiteral("--server")))
        return fail(QStringLiteral("--database 和 --server 只能给出一个。"));
    VerifyRegisters registers;
    const QString openError = given.contains(QStringLiteral("--server"))
                                  ? registers.openServer(given.value(QStringLiteral("--server")))
                                  : registers.openLocal(given.value(QStringLiteral("--database"), defaultDatabasePath()));
    if (!openError.isEmpty()) return fail(openError);

    VerifyOptions options;
    options.title = given.value(QStringLiteral("--title"), OfficeTitle());
    options.showPhotos = given.contains(QStringLiteral("--show-photos"));
    options.behindProxy = given.contains(QStringLiteral("--behind-proxy"));
    if (given.contains(QStringLiteral("--per-minute"))) {
        bool ok = false;
        options.requestsPerMinute = given.value(QStringLiteral("--per-minute")).toInt(&ok);
        if (!ok || options.requestsPerMinute < 1)
            return fail(QStringLiteral("--per-minute 须为正整数。"));
    }
    QHostAddress address(QHostAddress::LocalHost);
    quint16 port = 8080;
    if (given.contains(QStringLiteral("--listen")) && !parseListen(given.value(QStringLiteral("--listen")), address, port))
        return fail(QStringLiteral("--listen 的值 '%1' 不正确，应如 127.0.0.1:8080。").arg(given.value(QStringLiteral("--listen"))));

    VerifyService service(registers, counts, options);
    if (service.listenOn(address, port) == 0)
        return fail(QStringLiteral("无法在 %1:%2 上应答（端口已被占用或没有权限）。").arg(address.toString()).arg(port));
    QTextStream(stderr) << QStringLiteral("证书核验服务已在 %1:%2 上应答。").arg(address.toString()).arg(port) << Qt::endl;

    std::signal(SIGTERM, askStop);
    std::signal(SIGINT, askStop);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [] {
        if (stopAsked) QCoreApplication::quit();
    });
    stopWatch.start(200);
    QCoreApplication::exec();
    if (const QString error = counts.flush(); !error.isEmpty()) return fail(QStringLiteral("核验次数未能保存：") + error);
    return 0;
}
