#include "SchemaCommands.h"

#include "AuditChain.h"
#include "DatabaseGlobals.h"
#include "SchemaUpgrade.h"

#include <QTextStream>

namespace {

// These modes act on a database named on purpose, never on the one a desk would open.
bool databaseNamed(const CommandLine& commandLine) {
    return commandLine.has(QStringLiteral("--database")) || commandLine.has(QStringLiteral("--server"));
}

const QString kNameTheDatabase = QStringLiteral("请用 --database 文件 或 --server \"连接串\" 指定数据库。");

} // namespace

std::optional<int> runVerifyAudit(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--verify-audit")) return std::nullopt;
    if (!databaseNamed(commandLine)) return failCommand(kNameTheDatabase);
    std::optional<AuditChain::Anchor> noted;
    if (const auto text = commandLine.value(QStringLiteral("--anchor"))) {
        noted = AuditChain::Anchor::parse(*text);
        if (!noted)
            return failCommand(QStringLiteral("锚点的格式是“记录数:校验值”（校验值为 64 位十六进制数），"
                                              "例如 --anchor 120:3f5a…"));
    }
    const QString error = openCommandDatabase(commandLine);
    if (!error.isEmpty()) return failCommand(error);
    AuditChain::Verification result;
    try {
        result = AuditChain::verify(gConn.database(), noted);
    } catch (const DbError& e) {
        gConn.Close();
        return failCommand(QStringLiteral("无法读取操作日志：") + e.description);
    }
    gConn.Close();
    if (!result.intact) return failCommand(result.message);
    tellCommand(result.message);
    // The anchor alone on standard output, for the office's paper file or a script.
    QTextStream(stdout) << result.anchor.text() << Qt::endl;
    return 0;
}

std::optional<int> runUpgradeSchema(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--upgrade-schema")) return std::nullopt;
    if (!databaseNamed(commandLine)) return failCommand(kNameTheDatabase);
    if (const auto server = commandLine.value(QStringLiteral("--server"))) {
        const QString error = upgradeServerSchema(*server);
        if (!error.isEmpty()) return failCommand(QStringLiteral("数据库没有升级：") + error);
        tellCommand(QStringLiteral("服务器上的数据库已是最新的结构。"));
        return 0;
    }
    const QString error = openCommandDatabase(commandLine);
    if (!error.isEmpty()) return failCommand(error);
    try {
        upgradeSchema(gConn.database());
    } catch (const DbError& e) {
        gConn.Close();
        return failCommand(QStringLiteral("数据库没有升级：") + e.description);
    }
    gConn.Close();
    tellCommand(QStringLiteral("数据库 '%1' 已是最新的结构。").arg(gDbPath));
    return 0;
}
