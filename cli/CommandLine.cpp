#include "CommandLine.h"

#include "Backup.h"
#include "CommandHelp.h"
#include "DatabaseGlobals.h"
#include "DataFolder.h"
#include "DueListCommand.h"
#include "LegacyFile.h"
#include "LegacyImport.h"
#include "ListCommand.h"
#include "ModSql.h"
#include "OperatorCheck.h"
#include "RosterCommand.h"
#include "Schema.h"
#include "SchemaCommands.h"
#include "SchemaUpgrade.h"
#include "ServerBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

CommandLine::CommandLine(QStringList arguments) : m_arguments(std::move(arguments)) {}

QString CommandLine::mode() const {
    if (m_arguments.size() < 2 || !m_arguments[1].startsWith(QLatin1String("--"))) return {};
    return m_arguments[1];
}

QString CommandLine::modeArgument() const {
    if (m_arguments.size() < 3 || m_arguments[2].startsWith(QLatin1String("--"))) return {};
    return m_arguments[2];
}

std::optional<QString> CommandLine::value(const QString& flag) const {
    const qsizetype at = m_arguments.indexOf(flag, 2);
    if (at < 0) return std::nullopt;
    return at + 1 < m_arguments.size() ? m_arguments[at + 1] : QString();
}

QStringList CommandLine::values(const QString& flag) const {
    QStringList found;
    for (qsizetype at = 2; at + 1 < m_arguments.size(); ++at)
        if (m_arguments[at] == flag) found << m_arguments[at + 1];
    return found;
}

bool CommandLine::has(const QString& flag) const {
    return m_arguments.indexOf(flag, 2) >= 0;
}

int failCommand(const QString& message) {
    tellCommand(message);
    return 1;
}

void tellCommand(const QString& message) {
    QTextStream(stderr) << message << Qt::endl;
}

QString commandDatabasePath(const CommandLine& commandLine) {
    if (const auto path = commandLine.value(QStringLiteral("--database"))) return *path;
    return defaultDatabasePath();
}

namespace {

// "host=h port=p dbname=d user=u" as the server string the connection layer takes.
QString serverStringFromConninfo(const QString& conninfo) {
    QString host, port, dbname, user, password, sslmode;
    for (const QString& pair : conninfo.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString key = pair.left(eq).trimmed(), value = pair.mid(eq + 1).trimmed();
        if (key == QLatin1String("host"))
            host = value;
        else if (key == QLatin1String("port"))
            port = value;
        else if (key == QLatin1String("dbname"))
            dbname = value;
        else if (key == QLatin1String("user"))
            user = value;
        else if (key == QLatin1String("password"))
            password = value;
        else if (key == QLatin1String("sslmode"))
            sslmode = value;
    }
    QString server =
        QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") + user +
        QStringLiteral(";Initial Catalog=") + (dbname.isEmpty() ? QStringLiteral("MoLian") : dbname) +
        QStringLiteral(";Data Source=") + host + (port.isEmpty() ? QString() : QLatin1Char(',') + port);
    if (!password.isEmpty()) server += QStringLiteral(";Password=") + password;
    if (!sslmode.isEmpty()) server += QStringLiteral(";SSL Mode=") + sslmode;
    return server;
}

} // namespace

QString openCommandDatabase(const CommandLine& commandLine) {
    const auto server = commandLine.value(QStringLiteral("--server"));
    gUseSqlServer = server.has_value();
    gConnStr = gUseSqlServer ? serverStringFromConninfo(*server)
                             : localConnectionString(gDbPath = commandDatabasePath(commandLine));
    if (!gUseSqlServer) {
        const QString legacy = jetFileMessage(gDbPath);
        if (!legacy.isEmpty()) return legacy;
    }
    try {
        gConn.CursorLocation = ado::adUseClient;
        gConn.Open(gConnStr);
    } catch (const DbError& error) {
        // A server failure already says it could not connect; a file failure is told with its name.
        if (gUseSqlServer) return error.description;
        return QStringLiteral("无法打开数据库 '%1'：").arg(gDbPath) + error.description;
    }
    return {};
}

QString commandDatabaseName(const CommandLine& commandLine) {
    if (!gUseSqlServer) return gDbPath;
    QStringList shown =
        commandLine.value(QStringLiteral("--server")).value_or(QString()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    shown.removeIf([](const QString& pair) { return pair.startsWith(QLatin1String("password=")); });
    return QStringLiteral("数据库服务器 ") + shown.join(QLatin1Char(' '));
}

std::optional<QString> passwordInFile(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("无法读取密码文件 '%1'。").arg(path);
        return std::nullopt;
    }
    QString password = QString::fromUtf8(file.readLine());
    while (password.endsWith(QLatin1Char('\n')) || password.endsWith(QLatin1Char('\r')))
        password.chop(1);
    if (password.isEmpty()) {
        error = QStringLiteral("密码文件 '%1' 中没有密码。").arg(path);
        return std::nullopt;
    }
    return password;
}

namespace {

// --help and --version answer on standard output, as every program does.
std::optional<int> runHelp(const CommandLine& commandLine) {
    if (commandLine.mode() == QLatin1String("--help"))
        QTextStream(stdout) << helpText();
    else if (commandLine.mode() == QLatin1String("--version"))
        QTextStream(stdout) << versionText();
    else
        return std::nullopt;
    return 0;
}

// Modes that prepare databases.
std::optional<int> runCreateDatabase(const CommandLine& commandLine) {
    const QString target = commandLine.modeArgument();
    if (target.isEmpty()) return std::nullopt;
    if (commandLine.mode() == QLatin1String("--create-database")) {
        const QString error = createLocalDatabase(target);
        return error.isEmpty() ? 0 : failCommand(error);
    }
    if (commandLine.mode() == QLatin1String("--create-database-if-absent")) {
        const QDir dir(target);
        for (const auto& [file, create] :
             {std::pair{QStringLiteral("MoLian.mdb"), &createLocalDatabase},
              std::pair{QStringLiteral("print.dat"), &createPrintSettingsFile}}) {
            const QString error = createFileIfAbsent(dir.filePath(file), create);
            if (!error.isEmpty()) return failCommand(error);
        }
        return 0;
    }
    if (commandLine.mode() == QLatin1String("--create-schema-postgres")) {
        const QString error = createServerSchema(target, true);
        return error.isEmpty() ? 0 : failCommand(error);
    }
    return std::nullopt;
}

// The backup password for a mode: from --password-file, or nullopt with the error told when one
// is needed (`needed`) and none was given.
std::optional<QString> commandBackupPassword(const CommandLine& commandLine, bool needed, const QString& why,
                                             QString& error) {
    if (const auto file = commandLine.value(QStringLiteral("--password-file")))
        return passwordInFile(*file, error);
    if (!needed) return QString();
    error = why + QStringLiteral("请用 --password-file 指定存放备份密码的文件。");
    return std::nullopt;
}

// --keep N: how many server backups to keep; 0 when not given, nullopt when not a count.
std::optional<int> keptBackups(const CommandLine& commandLine) {
    const auto text = commandLine.value(QStringLiteral("--keep"));
    if (!text) return 0;
    bool number = false;
    const int keep = text->toInt(&number);
    if (!number || keep < 1) return std::nullopt;
    return keep;
}

// `--backup DIR` and `--restore FILE`, with the checks of the backup form: on the local file, or
// with --server on the PostgreSQL database.
std::optional<int> runBackupOrRestore(const CommandLine& commandLine) {
    const bool backup = commandLine.mode() == QLatin1String("--backup");
    if (!backup && commandLine.mode() != QLatin1String("--restore")) return std::nullopt;
    const QString chosen = commandLine.modeArgument();
    if (chosen.isEmpty())
        return failCommand(backup ? QStringLiteral("请在 --backup 后指定备份目录。")
                                  : QStringLiteral("请在 --restore 后指定备份文件。"));
    const auto server = commandLine.value(QStringLiteral("--server"));
    if (!server && !commandLine.has(QStringLiteral("--database")) && SavedServerChoice())
        return failCommand(QStringLiteral("本工作站使用 PostgreSQL 数据库服务器，请用 --server \"连接串\" "
                                          "指定要备份或恢复的数据库。"));
    if (backup ? !QFileInfo(chosen).isDir() : !QFileInfo(chosen).isFile())
        return failCommand(
            (backup ? QStringLiteral("备份目录 '%1' 不存在。") : QStringLiteral("找不到备份文件 '%1'。"))
                .arg(chosen));
    const auto keep = keptBackups(commandLine);
    if (!keep) return failCommand(QStringLiteral("--keep 后面应是要保留的备份个数（1 或更多）。"));
    if (*keep > 0 && !server) return failCommand(QStringLiteral("--keep 只用于服务器上的备份（--server）。"));

    const QString database = server ? QString() : commandDatabasePath(commandLine);
    const bool needed =
        backup ? !(server ? serverBackupPasswordHash(*server) : backupPasswordHash(database)).isEmpty()
               : isSealedBackup(chosen);
    QString error;
    const auto password = commandBackupPassword(
        commandLine, needed, backup ? QStringLiteral("已设置备份密码，") : QStringLiteral("备份数据已加密，"),
        error);
    if (!password) return failCommand(error);
    BackupResult result;
    if (server)
        result = backup ? backUpServerDatabase(*server, chosen, *password, *keep)
                        : restoreServerDatabase(chosen, *server, *password);
    else
        result = backup ? backUpDatabase(database, chosen, *password)
                        : restoreDatabase(chosen, database, *password);
    if (result.status != BackupStatus::Done) return failCommand(result.message);
    tellCommand(result.message);
    return 0;
}

// --set-backup-password: the password of --password-file, or none with --clear.
std::optional<int> runSetBackupPassword(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--set-backup-password")) return std::nullopt;
    const bool clear = commandLine.has(QStringLiteral("--clear"));
    QString password;
    if (!clear) {
        QString error;
        const auto read = commandBackupPassword(commandLine, true, QStringLiteral("要设置备份密码，"), error);
        if (!read) return failCommand(error + QStringLiteral("（--clear 取消备份密码）"));
        password = *read;
    }
    const auto server = commandLine.value(QStringLiteral("--server"));
    const QString error = server ? setServerBackupPassword(*server, password)
                                 : setBackupPassword(commandDatabasePath(commandLine), password);
    if (!error.isEmpty()) return failCommand(QStringLiteral("备份密码没有改变：") + error);
    tellCommand(clear ? QStringLiteral("备份密码已取消，以后的备份不再加密。")
                      : QStringLiteral("备份密码已设置，以后的备份都将加密。"));
    return 0;
}

// --import-legacy FILE [--on-duplicate skip|replace] [--replace-operators]: the report goes to
// standard output.
std::optional<int> runImportLegacy(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--import-legacy")) return std::nullopt;
    const QString file = commandLine.modeArgument();
    if (file.isEmpty())
        return failCommand(QStringLiteral("请给出要导入的旧数据文件：--import-legacy 文件名"));
    const QString onDuplicate =
        commandLine.value(QStringLiteral("--on-duplicate")).value_or(QStringLiteral("skip"));
    if (onDuplicate != QLatin1String("skip") && onDuplicate != QLatin1String("replace"))
        return failCommand(QStringLiteral("--on-duplicate 只能是 skip（跳过）或 replace（替换）。"));
    const DuplicatePolicy policy =
        onDuplicate == QLatin1String("replace") ? DuplicatePolicy::Replace : DuplicatePolicy::Skip;
    const QString error = openCommandDatabase(commandLine);
    if (!error.isEmpty()) return failCommand(error);

    LegacyImportHooks hooks;
    hooks.askDuplicate = [policy](const QString&, const QString&) { return policy; };
    // Operators of the same name keep their passwords and rights unless asked for by name of option.
    const bool replaceOperators = commandLine.has(QStringLiteral("--replace-operators"));
    hooks.replaceOperators = [replaceOperators](const QStringList&) { return replaceOperators; };
    LegacyImportReport report = importLegacyFile(file, gConn, commandDatabaseName(commandLine), hooks);
    gConn.Close();
    saveImportReport(report, ReportFolder());
    QTextStream(stdout) << report.text();
    if (report.complete()) return 0;
    return failCommand(report.outcome());
}

} // namespace

std::optional<int> runCommand(const QStringList& arguments) {
    const CommandLine commandLine(arguments);
    if (commandLine.mode().isEmpty()) return std::nullopt;
    // Only what --help lists is run, so the help cannot leave a mode out.
    if (!isListedMode(commandLine.mode()))
        return failCommand(
            QStringLiteral("未知的命令行参数：%1（orvanta --help 列出全部命令）").arg(commandLine.mode()));
    if (const auto refused = refuseUnauthorisedOperator(commandLine)) return refused;
    // Each mode is one entry: it answers nullopt when the mode is not its own.
    for (const auto& run : {&runHelp, &runCreateDatabase, &runDueList, &runList, &runImportLegacy,
                            &runImportRoster, &runImportPhotos, &runBackupOrRestore, &runSetBackupPassword, &runVerifyAudit,
                            &runUpgradeSchema}) {
        if (const auto code = run(commandLine)) return code;
    }
    return failCommand(QStringLiteral("%1 缺少参数（orvanta --help 列出用法）。").arg(commandLine.mode()));
}
