#include "OperatorCheck.h"

#include "AuditLog.h"
#include "DatabaseGlobals.h"
#include "OperatorAccess.h"
#include "Passwords.h"

#include <QFileInfo>
#include <QTextStream>
#include <termios.h>
#include <unistd.h>

namespace {

struct ModeAccess {
    QString mode;
    bool needsOperator;
    QString right; // kAdministrator for the administrator's own modes; empty: any operator
};

// Every mode, so that one added without its line here is refused rather than run unchecked. The
// creating modes make a database that has no operator yet.
const QList<ModeAccess>& modeAccess() {
    static const QList<ModeAccess> modes = {
        {QStringLiteral("--help"), false, {}},
        {QStringLiteral("--version"), false, {}},
        {QStringLiteral("--create-database"), false, {}},
        {QStringLiteral("--create-database-if-absent"), false, {}},
        {QStringLiteral("--create-schema-postgres"), false, {}},
        {QStringLiteral("--upgrade-schema"), true, kAdministrator},
        {QStringLiteral("--verify-audit"), true, kAdministrator},
        {QStringLiteral("--import-legacy"), true, kAdministrator},
        {QStringLiteral("--restore"), true, kAdministrator},
        {QStringLiteral("--set-backup-password"), true, kAdministrator},
        {QStringLiteral("--backup"), true, {}},
        {QStringLiteral("--import-roster"), true, kEntryRight},
        {QStringLiteral("--import-photos"), true, kEntryRight},
        {QStringLiteral("--list"), true, kPrintRight},
        {QStringLiteral("--due-list"), true, kPrintRight},
    };
    return modes;
}

// Asks on the terminal with the typed characters hidden; nullopt without a terminal.
std::optional<QString> askOnTerminal(const QString& name) {
    if (!isatty(STDIN_FILENO)) return std::nullopt;
    QTextStream(stderr) << QStringLiteral("操作员 %1 的密码：").arg(name) << Qt::flush;
    termios shown{};
    const bool hidden = tcgetattr(STDIN_FILENO, &shown) == 0;
    if (hidden) {
        termios silent = shown;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    const QString typed = QTextStream(stdin).readLine();
    if (hidden) tcsetattr(STDIN_FILENO, TCSAFLUSH, &shown);
    tellCommand(QString()); // the Enter typed was not shown
    return typed;
}

// The restore replaces a file; one that is not there yet has nobody to ask.
bool nothingToReplace(const CommandLine& commandLine) {
    return commandLine.mode() == QLatin1String("--restore") && !commandLine.has(QStringLiteral("--server")) &&
           !QFileInfo::exists(commandDatabasePath(commandLine));
}

} // namespace

std::optional<int> refuseUnauthorisedOperator(const CommandLine& commandLine) {
    const auto access = std::find_if(modeAccess().begin(), modeAccess().end(),
                                     [&](const ModeAccess& m) { return m.mode == commandLine.mode(); });
    if (access == modeAccess().end())
        return failCommand(QStringLiteral("%1 没有规定由谁使用，不能运行。").arg(commandLine.mode()));
    if (!access->needsOperator || nothingToReplace(commandLine)) return std::nullopt;

    const QString name = commandLine.value(QStringLiteral("--operator")).value_or(QString());
    if (name.isEmpty())
        return failCommand(
            QStringLiteral("%1 须以操作员身份运行：请用 --operator 姓名 --operator-password-file 文件 指定。")
                .arg(commandLine.mode()));
    QString password;
    if (const auto file = commandLine.value(QStringLiteral("--operator-password-file"))) {
        QString error;
        const auto read = passwordInFile(*file, error);
        if (!read) return failCommand(error);
        password = *read;
    } else if (const auto typed = askOnTerminal(name)) {
        password = *typed;
    } else {
        return failCommand(
            QStringLiteral("请用 --operator-password-file 指定存放操作员 %1 密码的文件。").arg(name));
    }

    const QString error = openCommandDatabase(commandLine);
    if (!error.isEmpty())
        return failCommand(commandLine.mode() == QLatin1String("--restore")
                               ? error +
                                     QStringLiteral("\n无法核对操作员；如数据库已损坏，请先把它移开再恢复。")
                               : error);
    const QString refusal = authenticateOperator(gConn.database(), name, password, access->right,
                                                 QStringLiteral("命令行 ") + commandLine.mode());
    gConn.Close();
    if (!refusal.isEmpty()) return failCommand(refusal);
    AuditLog::setOperator(name);
    return std::nullopt;
}
