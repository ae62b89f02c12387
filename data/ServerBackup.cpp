#include "ServerBackup.h"

#include "AuditChain.h"
#include "AuditLog.h"
#include "BackupFiles.h"
#include "BackupMessages.h"
#include "DbConditions.h"
#include "FileModes.h"
#include "Passwords.h"
#include "Schema.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>
#include <QVariant>

namespace {

const QString kWorkName = QStringLiteral("MoLian.dump");
const QString kCheckPrefix = QStringLiteral("MoLian_check_");
const QString kRestorePrefix = QStringLiteral("MoLian_restore_");
const QString kPasswordColumn = QStringLiteral("备份密码");
constexpr int kSessionEndWaitMs = 3000;

using RowCounts = QMap<QString, qint64>;

// A libpq string split into its pairs. The password, when one is given, reaches the server's tools
// through their environment, never their command line, which every user of the machine can read.
class Conninfo {
public:
    explicit Conninfo(const QString& text) {
        for (const QString& item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const qsizetype eq = item.indexOf(QLatin1Char('='));
            if (eq > 0) m_pairs.insert(item.left(eq).trimmed(), item.mid(eq + 1).trimmed());
        }
        if (!m_pairs.contains(QStringLiteral("dbname")))
            m_pairs.insert(QStringLiteral("dbname"), QStringLiteral("MoLian"));
    }
    QString database() const { return m_pairs.value(QStringLiteral("dbname")); }
    QString password() const { return m_pairs.value(QStringLiteral("password")); }
    // The same server and login on another database.
    QString on(const QString& dbname, bool withPassword = true) const {
        QStringList items;
        for (auto it = m_pairs.cbegin(); it != m_pairs.cend(); ++it) {
            if (it.key() == QLatin1String("password") && !withPassword) continue;
            items << it.key() + QLatin1Char('=') +
                         (it.key() == QLatin1String("dbname") ? dbname : it.value());
        }
        return items.join(QLatin1Char(' '));
    }
    QString text() const { return on(database()); }

private:
    QMap<QString, QString> m_pairs;
};

QString quoted(QString name) {
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

QString shortId() {
    return QUuid::createUuid().toString(QUuid::Id128).left(12);
}

// One connection of its own to a database on the server, closed when it goes.
class ServerSession {
public:
    ServerSession(const QString& libpq)
        : m_name(QStringLiteral("server-backup-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        m_db = openServerDatabase(libpq, m_name);
    }
    ~ServerSession() {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
    }
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    QSqlDatabase db() const { return m_db; }
    bool isOpen() const { return m_db.isOpen(); }
    QString failure() const { return describeDbFailure(m_db.lastError(), m_db.driver()); }

    // The rows of the first column; nullopt (and the error in `error`) on failure.
    std::optional<QVariantList> column(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q(m_db);
        // The driver cannot prepare transaction control: those run as they are.
        bool ran = false;
        if (binds.isEmpty()) {
            ran = q.exec(sql);
        } else {
            q.prepare(sql);
            for (const QVariant& value : binds)
                q.addBindValue(value);
            ran = q.exec();
        }
        if (!ran) {
            error = describeDbFailure(q.lastError(), m_db.driver());
            return std::nullopt;
        }
        QVariantList values;
        while (q.next())
            values << q.value(0);
        return values;
    }
    bool exec(const QString& sql) { return column(sql).has_value(); }

    QString error;

private:
    QString m_name;
    QSqlDatabase m_db;
};

BackupResult serverFailure(const QString& what, const QString& why) {
    return failed(QStringLiteral("PostgreSQL 数据库服务器：") + what + QStringLiteral("（") + why +
                  QStringLiteral("）"));
}

// The rows of each of the system's tables, read in the session's current transaction.
std::optional<RowCounts> countRows(ServerSession& session) {
    RowCounts counts;
    for (const TableDef& table : databaseTables()) {
        const auto count = session.column(QStringLiteral("SELECT count(*) FROM ") + table.name);
        if (!count || count->isEmpty()) return std::nullopt;
        counts.insert(table.name.toLower(), count->first().toLongLong());
    }
    return counts;
}

// The newest PostgreSQL's tool of that name on this machine (Debian keeps each version apart).
QString toolPath(const QString& name) {
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(),
              [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& version : found) {
        const QString path = versions.filePath(version + QStringLiteral("/bin/") + name);
        if (QFileInfo(path).isExecutable()) return path;
    }
    return QStandardPaths::findExecutable(name);
}

// One run of pg_dump or pg_restore: its output is read as it comes, its errors kept for the message.
class ServerTool {
public:
    ServerTool(const QString& name, const QStringList& arguments, const Conninfo& server) : m_name(name) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!server.password().isEmpty()) environment.insert(QStringLiteral("PGPASSWORD"), server.password());
        environment.insert(QStringLiteral("PGAPPNAME"), QStringLiteral("orvanta-backup"));
        m_process.setProcessEnvironment(environment);
        const QString program = toolPath(name);
        if (program.isEmpty()) return;
        // Never a password prompt: a scheduled job has no one to answer it.
        m_process.start(program, QStringList{QStringLiteral("--no-password")} + arguments);
        m_started = m_process.waitForStarted(-1);
    }
    ~ServerTool() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(-1);
        }
    }
    ServerTool(const ServerTool&) = delete;
    ServerTool& operator=(const ServerTool&) = delete;

    bool started() const { return m_started; }
    QProcess& process() { return m_process; }
    // Waits for the end; true when the tool reported success.
    bool finish() {
        m_process.closeWriteChannel();
        m_process.waitForFinished(-1);
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    QString errorText() {
        if (!m_started) return QStringLiteral("找不到 %1，请安装 postgresql-client").arg(m_name);
        return QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed();
    }

private:
    QString m_name;
    QProcess m_process;
    bool m_started = false;
};

// Hands a backup file to a running pg_restore on its standard input: an encrypted one is decrypted
// on the way, so its plain form is never written anywhere.
SealResult feedBackup(const QString& backupPath, const QString& password, QProcess& tool,
                      const ProgressStep& progress) {
    const auto write = [&](const QByteArray& piece) {
        if (tool.write(piece) != piece.size()) return false;
        while (tool.bytesToWrite() > 0)
            if (!tool.waitForBytesWritten(-1)) return false;
        return true;
    };
    if (isSealedBackup(backupPath)) return openSealedStream(backupPath, password, write, progress);
    QFile in(backupPath);
    if (!in.open(QIODevice::ReadOnly)) return SealResult::ReadFailed;
    while (!in.atEnd()) {
        if (!write(in.read(1 << 16))) return SealResult::WriteFailed;
        if (progress && !progress(int(in.pos() * 1000 / qMax<qint64>(1, in.size()))))
            return SealResult::Cancelled;
    }
    return in.error() == QFileDevice::NoError ? SealResult::Done : SealResult::ReadFailed;
}

// pg_restore with `arguments` reading the backup; its standard output in `output`.
BackupResult runRestoreTool(const QStringList& arguments, const QString& backupPath, const QString& password,
                            const Conninfo& server, const ProgressStep& progress, QString& output) {
    ServerTool tool(QStringLiteral("pg_restore"), arguments, server);
    if (!tool.started()) return serverFailure(QStringLiteral("无法检查备份"), tool.errorText());
    const SealResult fed = feedBackup(backupPath, password, tool.process(), progress);
    const bool ok = tool.finish();
    output = QString::fromUtf8(tool.process().readAllStandardOutput());
    if (fed == SealResult::WrongPassword) return wrongRestorePassword();
    // A tool that stopped reading shows as a failed write: its own words tell why.
    if (fed != SealResult::Done && fed != SealResult::WriteFailed) return fromSeal(fed, backupPath);
    if (!ok || fed != SealResult::Done)
        return {BackupStatus::Refused,
                kNotABackup + QStringLiteral("（") + tool.errorText() + QStringLiteral("）"),
                {}};
    return succeeded();
}

// A backup of this system's database: pg_restore reads its table of contents and finds every table.
BackupResult checkContents(const QString& backupPath, const QString& password, const Conninfo& server,
                           const ProgressStep& progress) {
    QString contents;
    BackupResult read =
        runRestoreTool({QStringLiteral("--list")}, backupPath, password, server, progress, contents);
    if (read.status != BackupStatus::Done) return read;
    for (const TableDef& table : databaseTables())
        if (!contents.contains(QStringLiteral(" TABLE DATA public ") + table.name.toLower() +
                               QLatin1Char(' ')))
            return {BackupStatus::Refused, kNotABackup, {}};
    return succeeded();
}

// Databases a run of ours made for a moment and a killed run left behind; one still in use (by a
// run under way) cannot be dropped and stays.
QStringList dropAbandonedDatabases(ServerSession& maintenance, const QString& prefix) {
    QStringList dropped;
    const auto names = maintenance.column(
        QStringLiteral("SELECT datname FROM pg_database WHERE datname LIKE ?"),
        {QString(prefix).replace(QLatin1Char('_'), QStringLiteral("\\_")) + QLatin1Char('%')});
    if (!names) return dropped;
    const QRegularExpression ours(QLatin1Char('^') + prefix + QStringLiteral("[0-9a-f]{12}$"));
    for (const QVariant& name : *names)
        if (ours.match(name.toString()).hasMatch() &&
            maintenance.exec(QStringLiteral("DROP DATABASE ") + quoted(name.toString())))
            dropped << name.toString();
    return dropped;
}

QString abandonedDatabasesNote(const QStringList& dropped) {
    if (dropped.isEmpty()) return {};
    return QStringLiteral("（已删除上次中断时留下的临时数据库：%1）").arg(dropped.join(QStringLiteral("、")));
}

// A database made for a moment, dropped when it goes.
class ScratchDatabase {
public:
    ScratchDatabase(ServerSession& maintenance, const QString& name, const QString& options)
        : name(name), m_maintenance(maintenance) {
        m_made = maintenance.exec(QStringLiteral("CREATE DATABASE ") + quoted(name) + options);
    }
    ~ScratchDatabase() {
        if (m_made) m_maintenance.exec(QStringLiteral("DROP DATABASE IF EXISTS ") + quoted(name));
    }
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    bool made() const { return m_made; }
    // It has taken another's name and is no longer ours to drop.
    void release() { m_made = false; }

    const QString name;

private:
    ServerSession& m_maintenance;
    bool m_made = false;
};

// Where the server keeps no other database to connect to for creating and renaming.
QString maintenanceDatabase(const Conninfo& server) {
    return server.database() == QLatin1String("postgres") ? QStringLiteral("template1")
                                                          : QStringLiteral("postgres");
}

// Restores the backup into the scratch database and compares its rows with `expected`.
BackupResult trialRestore(const QString& backupPath, const QString& password, const Conninfo& server,
                          const QString& scratch, const QStringList& extraArguments,
                          const ProgressStep& progress, RowCounts* restored) {
    QString output;
    BackupResult run =
        runRestoreTool(QStringList{QStringLiteral("--exit-on-error"), QStringLiteral("--single-transaction"),
                                   QStringLiteral("--dbname=") + server.on(scratch, false)} +
                           extraArguments,
                       backupPath, password, server, progress, output);
    if (run.status != BackupStatus::Done) return run;
    ServerSession check(server.on(scratch));
    if (!check.isOpen()) return serverFailure(QStringLiteral("无法连接临时数据库"), check.failure());
    const auto counts = countRows(check);
    if (!counts) return {BackupStatus::Refused, kNotABackup, {}};
    *restored = *counts;
    return succeeded();
}

// A backup that failed its checks, with what the check said (told as of the backup, not of a file
// chosen for a restore).
BackupResult unchecked(QString why) {
    why.remove(kNotABackup).remove(kContact);
    return failed(QStringLiteral("备份数据没有通过检查，没有保存。") + why);
}

// Removes the oldest dated backups beyond `keep`; returns how many went.
int pruneOldBackups(const QString& folder, int keep) {
    if (keep <= 0) return 0;
    QStringList backups = QDir(folder).entryList({serverBackupPattern()}, QDir::Files);
    const QRegularExpression dated(QStringLiteral("^MoLian-(\\d{8}-\\d{6})(?:-(\\d+))?\\.dump$"));
    backups.removeIf([&](const QString& name) { return !dated.match(name).hasMatch(); });
    // Oldest first: by the time in the name, then by the number a second backup of that second got.
    std::sort(backups.begin(), backups.end(), [&](const QString& a, const QString& b) {
        const QRegularExpressionMatch left = dated.match(a), right = dated.match(b);
        return std::pair(left.captured(1), left.captured(2).toInt()) <
               std::pair(right.captured(1), right.captured(2).toInt());
    });
    int removed = 0;
    while (backups.size() > keep)
        if (QFile::remove(QDir(folder).filePath(backups.takeFirst()))) ++removed;
    return removed;
}

// The sessions on `database` other than this one, as the operator is shown them.
std::optional<QStringList> otherSessions(ServerSession& session, const QString& database) {
    QSqlQuery q(session.db());
    q.prepare(QStringLiteral(
        "SELECT coalesce(usename, ''), coalesce(host(client_addr), '本机'), "
        "coalesce(application_name, ''), to_char(backend_start, 'YYYY-MM-DD HH24:MI') "
        "FROM pg_stat_activity WHERE datname = ? AND pid <> pg_backend_pid() ORDER BY backend_start"));
    q.addBindValue(database);
    if (!q.exec()) {
        session.error = describeDbFailure(q.lastError(), session.db().driver());
        return std::nullopt;
    }
    QStringList sessions;
    while (q.next())
        sessions << QStringLiteral("%1@%2 %3（自 %4）")
                        .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                             q.value(3).toString());
    return sessions;
}

BackupResult sessionsRefusal(const QString& database, const QStringList& sessions) {
    return writeProtected(
        QStringLiteral("PostgreSQL 数据库 %1 还有 %2 个连接：%3。请先在这些工作站上退出系统，再恢复数据。")
            .arg(database)
            .arg(sessions.size())
            .arg(sessions.join(QStringLiteral("；"))));
}

} // namespace

QString serverBackupPattern() {
    return QStringLiteral("MoLian-*.dump");
}

QString libpqFromConnectionString(const QString& connectionString) {
    QHash<QString, QString> parts;
    for (const QString& item : connectionString.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq > 0) parts.insert(item.left(eq).trimmed().toLower(), item.mid(eq + 1).trimmed());
    }
    QString host = parts.value(QStringLiteral("data source"));
    QStringList items;
    const qsizetype portMark = host.indexOf(QRegularExpression(QStringLiteral("[,:]")));
    if (portMark >= 0) {
        items << QStringLiteral("port=") + host.mid(portMark + 1).trimmed();
        host = host.left(portMark).trimmed();
    }
    items.prepend(QStringLiteral("host=") + host);
    items << QStringLiteral("dbname=") +
                 parts.value(QStringLiteral("initial catalog"), QStringLiteral("MoLian"));
    // Integrated security logs in as the operating-system user: libpq's own default.
    if (!parts.contains(QStringLiteral("integrated security")) && parts.contains(QStringLiteral("user id")))
        items << QStringLiteral("user=") + parts.value(QStringLiteral("user id"));
    if (parts.contains(QStringLiteral("password")))
        items << QStringLiteral("password=") + parts.value(QStringLiteral("password"));
    if (parts.contains(QStringLiteral("ssl mode")))
        items << QStringLiteral("sslmode=") + parts.value(QStringLiteral("ssl mode"));
    return items.join(QLatin1Char(' '));
}

QString serverBackupPasswordHash(const QString& libpqConnection) {
    ServerSession session(libpqConnection);
    if (!session.isOpen()) return {};
    const auto hash =
        session.column(QStringLiteral("SELECT ") + kPasswordColumn + QStringLiteral(" FROM System"));
    return hash && !hash->isEmpty() ? hash->first().toString() : QString();
}

QString setServerBackupPassword(const QString& libpqConnection, const QString& password) {
    const QString hash = password.isEmpty() ? QString() : hashPassword(password);
    if (!password.isEmpty() && hash.isEmpty()) return QStringLiteral("内存不足，无法保存备份密码。");
    ServerSession session(libpqConnection);
    if (!session.isOpen()) return session.failure();
    if (!session.column(QStringLiteral("UPDATE System SET ") + kPasswordColumn + QStringLiteral(" = ?"),
                        {hash.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(hash)}))
        return session.error;
    return {};
}

BackupResult backUpServerDatabase(const QString& libpqConnection, const QString& folder,
                                  const QString& password, int keep, const ProgressStep& progress) {
    const Conninfo server(libpqConnection);
    const QString database = server.database();
    ServerSession source(server.text());
    if (!source.isOpen()) return failed(source.failure()); // it names the server and the database
    const auto hash =
        source.column(QStringLiteral("SELECT ") + kPasswordColumn + QStringLiteral(" FROM System"));
    if (hash && !hash->isEmpty() && !hash->first().toString().isEmpty() &&
        !passwordMatches(hash->first().toString(), password))
        return {BackupStatus::WrongPassword, QStringLiteral("备份密码不正确!"), {}};

    QStringList droppedDatabases;
    std::unique_ptr<ServerSession> maintenance;
    const auto mayCreate = source.column(
        QStringLiteral("SELECT rolcreatedb OR rolsuper FROM pg_roles WHERE rolname = current_user"));
    if (mayCreate && !mayCreate->isEmpty() && mayCreate->first().toBool()) {
        maintenance = std::make_unique<ServerSession>(server.on(maintenanceDatabase(server)));
        if (maintenance->isOpen()) droppedDatabases = dropAbandonedDatabases(*maintenance, kCheckPrefix);
    }
    const QString note =
        abandonedWorkNote(removeAbandonedWork(folder, kWorkName)) + abandonedDatabasesNote(droppedDatabases);
    const BackupResult cancelled{
        BackupStatus::Cancelled, QStringLiteral("取消备份操作到：") + folder + note, {}};

    // The dump and the row counts see one moment: the dump takes the snapshot this transaction
    // exported, however the desks save meanwhile.
    if (!source.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY")))
        return serverFailure(QStringLiteral("无法读取数据库 ") + database, source.error);
    const auto snapshot = source.column(QStringLiteral("SELECT pg_export_snapshot()"));
    const auto live = snapshot ? countRows(source) : std::nullopt;
    const auto size = source.column(QStringLiteral("SELECT pg_database_size(current_database())"));
    if (!snapshot || !live || !size)
        return serverFailure(QStringLiteral("无法读取数据库 ") + database, source.error);

    WorkFile written(folder, kWorkName);
    if (written.error()) return fromErrno(written.error(), written.path);
    const ProgressStep dumping = progressPart(progress, 0, 500);
    {
        ServerTool dump(QStringLiteral("pg_dump"),
                        {QStringLiteral("--format=custom"),
                         QStringLiteral("--snapshot=") + snapshot->first().toString(),
                         QStringLiteral("--dbname=") + server.on(database, false)},
                        server);
        if (!dump.started())
            return serverFailure(QStringLiteral("无法备份数据库 ") + database, dump.errorText());
        SealResult sealed = SealResult::Done;
        if (!password.isEmpty()) {
            // Sealed as it arrives: no plain copy is ever written.
            sealed =
                sealStream(dump.process(), size->first().toLongLong() / 4, written.path, password, dumping);
        } else {
            QFile out(written.path);
            if (!openPrivateFile(out, QIODevice::Truncate)) return fromErrno(errno, written.path);
            qint64 total = 0;
            while (dump.process().waitForReadyRead(-1) || dump.process().bytesAvailable() > 0) {
                const QByteArray piece = dump.process().readAll();
                total += piece.size();
                if (out.write(piece) != piece.size()) {
                    sealed = out.error() == QFileDevice::ResourceError ? SealResult::DiskFull
                                                                       : SealResult::WriteFailed;
                    break;
                }
                if (dumping && !dumping(int(qMin<qint64>(
                                   999, total * 4000 / qMax<qint64>(1, size->first().toLongLong()))))) {
                    sealed = SealResult::Cancelled;
                    break;
                }
            }
            if (sealed == SealResult::Done && (!out.flush() || ::fsync(out.handle()) != 0))
                sealed = SealResult::WriteFailed;
        }
        const bool dumped = sealed == SealResult::Done && dump.finish();
        if (sealed == SealResult::Cancelled) return cancelled;
        if (sealed != SealResult::Done) return fromSeal(sealed, written.path);
        if (!dumped) {
            const QString why = dump.errorText();
            const QString roles =
                why.contains(QLatin1String("permission denied"))
                    ? QStringLiteral(
                          "备份须以能读取全部表和序列的账号连接（orvanta_desk、"
                          "orvanta_owner 或 pg_read_all_data 的成员；旧版本建立的服务器先由管理员运行 "
                          "orvanta --upgrade-schema）。")
                    : QString();
            return failed(QStringLiteral("PostgreSQL 数据库服务器：pg_dump 没有完成（") + why +
                          QStringLiteral("）") + roles);
        }
    }
    source.exec(QStringLiteral("COMMIT"));

    BackupResult step = checkContents(written.path, password, server, progressPart(progress, 500, 700));
    if (step.status == BackupStatus::Cancelled) return cancelled;
    if (step.status != BackupStatus::Done) return unchecked(step.message);
    QString trial = QStringLiteral("已在临时数据库中试恢复，记录数与原数据库相同。");
    if (maintenance && maintenance->isOpen()) {
        const ScratchDatabase scratch(*maintenance, kCheckPrefix + shortId(),
                                      QStringLiteral(" TEMPLATE template0"));
        if (!scratch.made()) return serverFailure(QStringLiteral("无法创建临时数据库"), maintenance->error);
        RowCounts restored;
        // Restored as this role: owners and grants are the server's business, the rows are ours.
        step = trialRestore(written.path, password, server, scratch.name,
                            {QStringLiteral("--no-owner"), QStringLiteral("--no-privileges")},
                            progressPart(progress, 700, 950), &restored);
        if (step.status == BackupStatus::Cancelled) return cancelled;
        if (step.status != BackupStatus::Done) return unchecked(step.message);
        if (restored != *live) return unchecked(QStringLiteral("试恢复后的记录数与原数据库不同。"));
    } else {
        trial = QStringLiteral("（此账号不能创建数据库，没有试恢复；请定期在别处试恢复备份。）");
    }
    if (progress && !progress(960)) return cancelled;

    const QString target = datedName(folder, QStringLiteral("MoLian"), QStringLiteral("dump"));
    if (const int error = written.place(target)) return fromErrno(error, target);
    const int pruned = pruneOldBackups(folder, keep);
    QString message = QStringLiteral("备份 PostgreSQL 数据库 %1 到：%2 成功!").arg(database, target) + trial;
    if (pruned > 0) message += QStringLiteral("已删除较早的备份 %1 个。").arg(pruned);
    try {
        AuditLog::record(source.db(), AuditLog::kBackup, {}, {}, {}, target);
    } catch (const DbError&) {
        message += QStringLiteral("（操作日志无法写入）");
    }
    return succeeded(message + note);
}

BackupResult restoreServerDatabase(const QString& backupPath, const QString& libpqConnection,
                                   const QString& password, const ProgressStep& progress) {
    const Conninfo server(libpqConnection);
    const QString database = server.database();
    ServerSession maintenance(server.on(maintenanceDatabase(server)));
    if (!maintenance.isOpen()) return failed(maintenance.failure());
    const QString note = abandonedDatabasesNote(dropAbandonedDatabases(maintenance, kRestorePrefix));
    const BackupResult cancelled{BackupStatus::Cancelled,
                                 QStringLiteral("取消恢复数据操作到：PostgreSQL 数据库 ") + database + note,
                                 {}};

    // A desk that has just left may still show for a moment.
    auto sessions = otherSessions(maintenance, database);
    for (int waited = 0; sessions && !sessions->isEmpty() && waited < kSessionEndWaitMs; waited += 100) {
        QThread::msleep(100);
        sessions = otherSessions(maintenance, database);
    }
    if (!sessions) return serverFailure(QStringLiteral("无法查看数据库的连接"), maintenance.error);
    if (!sessions->isEmpty()) return sessionsRefusal(database, *sessions);
    BackupResult step = checkContents(backupPath, password, server, progressPart(progress, 0, 200));
    if (step.status == BackupStatus::Cancelled) return cancelled;
    if (step.status != BackupStatus::Done) return step;

    // The new database is made like the one it replaces: same owner, encoding and sort order.
    QSqlQuery like(maintenance.db());
    like.prepare(
        QStringLiteral("SELECT pg_get_userbyid(datdba), pg_encoding_to_char(encoding), datcollate, datctype "
                       "FROM pg_database WHERE datname = ?"));
    like.addBindValue(database);
    if (!like.exec())
        return serverFailure(QStringLiteral("无法读取数据库的设置"),
                             describeDbFailure(like.lastError(), maintenance.db().driver()));
    const bool exists = like.next();
    const QString options =
        exists ? QStringLiteral(" TEMPLATE template0 OWNER %1 ENCODING '%2' LC_COLLATE '%3' LC_CTYPE '%4'")
                     .arg(quoted(like.value(0).toString()), like.value(1).toString(),
                          like.value(2).toString(), like.value(3).toString())
               : QStringLiteral(" TEMPLATE template0 ENCODING 'UTF8'");
    ScratchDatabase restored(maintenance, kRestorePrefix + shortId(), options);
    if (!restored.made()) return serverFailure(QStringLiteral("无法创建新的数据库"), maintenance.error);
    RowCounts counts;
    step = trialRestore(backupPath, password, server, restored.name, {}, progressPart(progress, 200, 900),
                        &counts);
    if (step.status == BackupStatus::Cancelled) return cancelled;
    if (step.status != BackupStatus::Done) return step;
    {
        // The restored data must be this system's and its trail sound; it then carries its own restore.
        ServerSession check(server.on(restored.name));
        if (!check.isOpen()) return serverFailure(QStringLiteral("无法连接新的数据库"), check.failure());
        const auto version = check.column(QStringLiteral("SELECT Ver FROM System"));
        if (!version || version->isEmpty() || version->first().toDouble() < 2.0)
            return {BackupStatus::Refused, kNotABackup, {}};
        try {
            const AuditChain::Verification trail = AuditChain::verify(check.db());
            if (!trail.intact)
                return {BackupStatus::Refused,
                        QStringLiteral("备份中的操作日志不完整：") + trail.message +
                            QStringLiteral("现有数据没有改变。"),
                        {}};
            AuditLog::record(check.db(), AuditLog::kRestore, {}, {}, {}, backupPath);
        } catch (const DbError& e) {
            return failed(QStringLiteral("操作日志无法写入，现有数据没有改变。（") + e.description +
                          QStringLiteral("）"));
        }
    }
    if (progress && !progress(950)) return cancelled;

    // Both names change in one transaction: the server has the old database or the new one under
    // its name at every moment. A session that came meanwhile makes the rename fail, changing nothing.
    const QString kept = database + QDateTime::currentDateTime().toString(QStringLiteral("-yyyyMMdd-HHmmss"));
    const bool renamed =
        maintenance.exec(QStringLiteral("BEGIN")) &&
        (!exists ||
         maintenance.exec(
             QStringLiteral("ALTER DATABASE %1 RENAME TO %2").arg(quoted(database), quoted(kept)))) &&
        maintenance.exec(
            QStringLiteral("ALTER DATABASE %1 RENAME TO %2").arg(quoted(restored.name), quoted(database))) &&
        maintenance.exec(QStringLiteral("COMMIT"));
    if (!renamed) {
        const QString why = maintenance.error;
        maintenance.exec(QStringLiteral("ROLLBACK"));
        const auto now = otherSessions(maintenance, database);
        if (now && !now->isEmpty()) return sessionsRefusal(database, *now);
        return serverFailure(QStringLiteral("无法换上恢复的数据库"), why);
    }
    restored.release();
    QString message = QStringLiteral("从:") + backupPath + QStringLiteral("恢复 PostgreSQL 数据库 ") +
                      database + QStringLiteral(" 成功!");
    if (exists) message += QStringLiteral("原有数据库已保存为：") + kept + QStringLiteral("。");
    return {BackupStatus::Done, message + QStringLiteral("请重新启动系统！") + note,
            exists ? kept : QString()};
}
