#include "VerifyHelp.h"

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

QString verifySummary() {
    return QStringLiteral("证书核验服务");
}

QString verifySynopsis() {
    return QStringLiteral("[--listen 地址:端口] [--database 路径 | --server \"连接串\"] [选项…]");
}

QString verifyIntroduction() {
    return QStringLiteral("手机扫描证书上的核验码即可查看该证书的状态。服务只读打开数据库，"
                          "消息写到标准错误，任何失败都以非零状态退出。");
}

QString verifyHelpText() {
    QString text = QStringLiteral("用法：orvanta-verify ") + verifySynopsis() + QStringLiteral("\n\n") +
                   verifySummary() + QStringLiteral("：") + verifyIntroduction() + QStringLiteral("\n\n选项：\n");
    for (const VerifyCommandOption& option : verifyCommandOptions())
        text += QStringLiteral("  ") + option.usage + QStringLiteral("\n        ") + option.description + QLatin1Char('\n');
    return text;
}
