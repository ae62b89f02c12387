#include "Backup.h"

#include "adodb.h"
#include "AuditLog.h"
#include "BackupFiles.h"
#include "BackupMessages.h"
#include "DeskPresence.h"
#include "FileModes.h"
#include "Passwords.h"

#include <cerrno>
#include <sqlite3.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlDatabase>
#include <QUrl>
#include <QUuid>
#include <QVariant>

namespace {

const QString kBackupName = QStringLiteral("MoLianBackUp.Mdb");
const QString kPasswordColumn = QStringLiteral("备份密码");
// How long a desk may hold its write lock before the backup gives up.
constexpr int kBusyWaitMs = 5000;
constexpr int kPagesPerStep = 256;

BackupResult fromSqlite(int code, const QString& path) {
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return writeProtected();
    case SQLITE_FULL:
        return failed(QStringLiteral("磁盘空间不足。"));
    case SQLITE_CANTOPEN:
        return failed(QStringLiteral("无法打开文件 '%1'。").arg(path));
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return failed(QStringLiteral("数据文件 '%1' 已损坏。").arg(path));
    default:
        return failed(QStringLiteral("读写文件 '%1' 时出错（%2）。").arg(path).arg(code));
    }
}

// One connection of its own, straight on SQLite: the backup interface needs the handle.
class Sqlite {
public:
    Sqlite(const QString& path, int flags) : m_path(path) {
        code = sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr);
        sqlite3_busy_timeout(m_db, kBusyWaitMs);
    }
    ~Sqlite() { sqlite3_close_v2(m_db); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    sqlite3* handle() const { return m_db; }
    bool ok() const { return code == SQLITE_OK; }
    BackupResult failure() const { return fromSqlite(code, m_path); }

    // The first column of every row; sets `code` and returns what was read so far on failure.
    QVariantList column(const QString& sql, const QVariant& bind = {}) {
        QVariantList values;
        if (!ok()) return values;
        sqlite3_stmt* statement = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        code = sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &statement, nullptr);
        if (code != SQLITE_OK) return values;
        const QByteArray text = bind.toString().toUtf8();
        if (bind.isValid() && !bind.isNull())
            sqlite3_bind_text(statement, 1, text.constData(), int(text.size()), SQLITE_STATIC);
        while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
            if (sqlite3_column_type(statement, 0) == SQLITE_NULL)
                values << QVariant();
            else
                values << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        }
        sqlite3_finalize(statement);
        if (code == SQLITE_DONE) code = SQLITE_OK;
        return values;
    }
    bool exec(const QString& sql, const QVariant& bind = {}) {
        column(sql, bind);
        return ok();
    }

    int code = SQLITE_OK;

private:
    QString m_path;
    sqlite3* m_db = nullptr;
};

using RowCounts = QMap<QString, qint64>;

QString quotedName(QString name) {
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// The rows of every table, by lower-cased table name.
bool countRows(Sqlite& db, RowCounts& counts) {
    const QVariantList tables = db.column(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'"));
    for (const QVariant& table : tables) {
        const QVariantList count =
            db.column(QStringLiteral("SELECT count(*) FROM ") + quotedName(table.toString()));
        if (!db.ok() || count.isEmpty()) return false;
        counts.insert(table.toString().toLower(), count.first().toLongLong());
    }
    return db.ok();
}

// Calls `progress` while a long statement runs. Its length is not known beforehand: the display
// moves on ever more slowly, and always moves.
class StatementProgress {
public:
    StatementProgress(sqlite3* db, const ProgressStep& progress) : m_db(db), m_progress(progress) {
        if (m_progress) sqlite3_progress_handler(m_db, kStepsPerCall, &StatementProgress::step, this);
    }
    ~StatementProgress() { sqlite3_progress_handler(m_db, 0, nullptr, nullptr); }
    StatementProgress(const StatementProgress&) = delete;
    StatementProgress& operator=(const StatementProgress&) = delete;

private:
    static constexpr int kStepsPerCall = 20000;
    static int step(void* self) {
        auto* me = static_cast<StatementProgress*>(self);
        ++me->m_calls;
        return me->m_progress(int(1000 - 1000 * 200 / (200 + me->m_calls))) ? 0 : 1;
    }
    sqlite3* m_db;
    ProgressStep m_progress;
    qint64 m_calls = 0;
};

// A sound database of this system: intact, with its system tables and registers, of version 2.0
// or later. Opened read-only, so checking changes nothing.
bool isSoundDatabase(const QString& path, RowCounts& counts, const ProgressStep& progress = {}) {
    Sqlite db(path, SQLITE_OPEN_READONLY);
    QVariantList integrity;
    {
        const StatementProgress moving(db.handle(), progress);
        integrity = db.column(QStringLiteral("PRAGMA integrity_check"));
    }
    if (!db.ok() || integrity != QVariantList{QStringLiteral("ok")} || !countRows(db, counts)) return false;
    for (const char* table : {"system", "users", "list", "danganku", "caozuozheng", "peixun"})
        if (!counts.contains(QString::fromLatin1(table))) return false;
    const QVariantList version = db.column(QStringLiteral("SELECT Ver FROM System"));
    return db.ok() && !version.isEmpty() && !version.first().isNull() && version.first().toDouble() >= 2.0;
}

// Copies the live database through SQLite's online backup. One read transaction spans the copy and
// the row counts, so both show the same moment however the other desks save meanwhile; their saves
// wait for the copy, and a desk holding its write lock makes the copy wait up to kBusyWaitMs.
BackupResult copyLiveDatabase(const QString& databasePath, const QString& copyPath, RowCounts& counts,
                              const ProgressStep& progress) {
    if (!QFileInfo(databasePath).isFile())
        return failed(QStringLiteral("找不到数据库文件 '%1'。").arg(databasePath));
    // Read-write, so that SQLite can roll back what a desk that crashed while saving left behind.
    Sqlite source(databasePath, SQLITE_OPEN_READWRITE);
    if (!QFileInfo::exists(copyPath) && !createPrivateFile(copyPath).isEmpty())
        return fromErrno(errno, copyPath);
    Sqlite copy(copyPath, SQLITE_OPEN_READWRITE);
    if (!source.ok()) return source.failure();
    if (!copy.ok()) return copy.failure();
    if (!source.exec(QStringLiteral("BEGIN")) || !countRows(source, counts)) return source.failure();
    sqlite3_backup* backup = sqlite3_backup_init(copy.handle(), "main", source.handle(), "main");
    if (!backup) return fromSqlite(sqlite3_errcode(copy.handle()), copyPath);
    int code = SQLITE_OK;
    bool cancelled = false;
    while ((code = sqlite3_backup_step(backup, kPagesPerStep)) == SQLITE_OK) {
        const int total = sqlite3_backup_pagecount(backup);
        if (progress && !progress((total - sqlite3_backup_remaining(backup)) * 1000 / qMax(1, total))) {
            cancelled = true;
            break;
        }
    }
    sqlite3_backup_finish(backup);
    source.exec(QStringLiteral("COMMIT"));
    if (cancelled) return {BackupStatus::Cancelled, {}, {}};
    if (code != SQLITE_DONE) return fromSqlite(code, databasePath);
    return {BackupStatus::Done, {}, {}};
}

// Copies a file, flushed to the disk, under the progress display.
BackupResult copyFile(const QString& from, const QString& to, const ProgressStep& progress) {
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly)) return failed(QStringLiteral("无法读取文件 '%1'。").arg(from));
    if (!openPrivateFile(out, QIODevice::Truncate)) return fromErrno(errno, to);
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (in.error() != QFileDevice::NoError)
            return failed(QStringLiteral("无法读取文件 '%1'。").arg(from));
        if (out.write(chunk) != chunk.size()) return fromErrno(errno, to);
        if (progress && !progress(int(in.pos() * 1000 / qMax<qint64>(1, in.size()))))
            return {BackupStatus::Cancelled, {}, {}};
    }
    if (!out.flush() || ::fsync(out.handle()) != 0) return fromErrno(errno, to);
    return {BackupStatus::Done, {}, {}};
}

const QStringList kJournalSuffixes = {QStringLiteral("-journal"), QStringLiteral("-wal"),
                                      QStringLiteral("-shm")};

// Whether the database to be replaced could be settled: what a desk that crashed while saving left
// in its journal is rolled back, so no journal is left beside the name to be replayed onto the
// restored file, and the kept copy needs none. A file SQLite cannot open as a database is not.
enum class Settled { Yes, NotADatabase, Busy };

Settled settle(const QString& databasePath) {
    Sqlite db(databasePath, SQLITE_OPEN_READWRITE);
    if (db.ok() && db.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        db.exec(QStringLiteral("ROLLBACK"));
        return Settled::Yes;
    }
    const int code = db.code & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED ? Settled::Busy : Settled::NotADatabase;
}

BackupResult othersAtWork() {
    return writeProtected(QStringLiteral("其它工作站正在使用这个数据库，请先在那里退出系统，再恢复数据。"));
}

// Keeps the database under `kept`: a second name for the same file, or a copy where the file
// system has no links.
BackupResult keepAside(const QString& databasePath, const QString& kept) {
    if (::link(QFile::encodeName(databasePath).constData(), QFile::encodeName(kept).constData()) == 0)
        return succeeded();
    WorkFile copy(QFileInfo(databasePath).absolutePath(), QFileInfo(databasePath).fileName());
    if (copy.error()) return fromErrno(copy.error(), kept);
    if (const BackupResult copied = copyFile(databasePath, copy.path, {});
        copied.status != BackupStatus::Done)
        return copied;
    if (!copyModeAndGroup(databasePath, copy.path)) return fromErrno(errno, kept);
    if (const int error = copy.place(kept)) return fromErrno(error, kept);
    return succeeded();
}

// Puts the checked candidate in the database's place so that a database stands under its name at
// every moment: the old one is kept first, then one rename replaces the name. Past this point a
// cancel comes too late; `progress` only shows the steps. The old one is kept as `keptName`, the
// name the restore's trail row gives it.
BackupResult swapIn(const QString& candidate, const QString& databasePath, Settled settled, const QString& keptName,
                    QString& keptCopy, const ProgressStep& progress) {
    const QFileInfo database(databasePath);
    if (database.exists()) {
        keptCopy = keptName;
        if (const BackupResult kept = keepAside(databasePath, keptCopy); kept.status != BackupStatus::Done) {
            keptCopy.clear();
            return kept;
        }
        syncFolder(database.absolutePath());
        if (progress) progress(980);
        // A journal SQLite could not roll back stays with the file it belongs to.
        if (settled == Settled::NotADatabase)
            for (const QString& suffix : kJournalSuffixes)
                if (QFileInfo::exists(databasePath + suffix))
                    ::rename(QFile::encodeName(databasePath + suffix).constData(),
                             QFile::encodeName(keptCopy + suffix).constData());
        if (progress) progress(990);
    }
    if (::rename(QFile::encodeName(candidate).constData(), QFile::encodeName(databasePath).constData()) !=
        0) {
        const int error = errno;
        if (!keptCopy.isEmpty()) {
            for (const QString& suffix : kJournalSuffixes)
                ::rename(QFile::encodeName(keptCopy + suffix).constData(),
                         QFile::encodeName(databasePath + suffix).constData());
            QFile::remove(keptCopy);
            keptCopy.clear();
        }
        return fromErrno(error, databasePath);
    }
    syncFolder(database.absolutePath());
    return succeeded();
}

bool sameFile(const QString& a, const QString& b) {
    const QFileInfo left(a), right(b);
    if (left.exists() && right.exists()) return left.canonicalFilePath() == right.canonicalFilePath();
    return QDir::cleanPath(left.absoluteFilePath()).toUpper() ==
           QDir::cleanPath(right.absoluteFilePath()).toUpper();
}

bool hasPasswordColumn(Sqlite& db) {
    return db.column(QStringLiteral("SELECT name FROM pragma_table_info('System')"))
        .contains(kPasswordColumn);
}

// The stored hash, empty when none is set; nullopt when the database could not be read.
std::optional<QString> storedHash(Sqlite& db) {
    if (!hasPasswordColumn(db)) return db.ok() ? std::optional<QString>(QString()) : std::nullopt;
    const QVariantList hashes =
        db.column(QStringLiteral("SELECT ") + kPasswordColumn + QStringLiteral(" FROM System"));
    if (!db.ok()) return std::nullopt;
    return hashes.isEmpty() ? QString() : hashes.first().toString();
}

// The trail row of a backup or restore, through a connection of its own to the file.
bool recordInTrail(const QString& databasePath, const QString& action, const QString& detail) {
    const QString connection = QStringLiteral("trail-") + QUuid::createUuid().toString();
    bool written = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(databasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyWaitMs));
        if (db.open()) {
            try {
                AuditLog::record(db, action, {}, {}, {}, detail);
                written = true;
            } catch (const DbError&) {
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return written;
}

} // namespace

QString backupFilePath(const QString& folder) {
    // Joined without doubling the separator, also at the root of a drive.
    return QDir(folder).filePath(kBackupName);
}

std::optional<BackupResult> sameFileRefusal(const QString& file, const QString& databasePath) {
    if (!sameFile(file, databasePath)) return std::nullopt;
    return BackupResult{BackupStatus::Refused, QStringLiteral("当前账套数据与备份数据存放目录相同!"), {}};
}

QString backupPasswordHash(const QString& databasePath) {
    Sqlite db(databasePath, SQLITE_OPEN_READWRITE);
    return storedHash(db).value_or(QString());
}

QString setBackupPassword(const QString& databasePath, const QString& password) {
    const QString hash = password.isEmpty() ? QString() : hashPassword(password);
    if (!password.isEmpty() && hash.isEmpty()) return QStringLiteral("内存不足，无法保存备份密码。");
    Sqlite db(databasePath, SQLITE_OPEN_READWRITE);
    // Databases made before backup passwords existed get the column the first time one is set.
    if (!hasPasswordColumn(db) && db.ok())
        db.exec(QStringLiteral("ALTER TABLE System ADD COLUMN ") + kPasswordColumn + QStringLiteral(" TEXT"));
    if (!db.ok() || !db.exec(QStringLiteral("UPDATE System SET ") + kPasswordColumn + QStringLiteral(" = ?"),
                             hash.isEmpty() ? QVariant() : QVariant(hash)))
        return db.failure().message;
    return {};
}

BackupResult backUpDatabase(const QString& databasePath, const QString& folder, const QString& password,
                            const ProgressStep& progress) {
    const QString target = backupFilePath(folder);
    if (auto refusal = sameFileRefusal(target, databasePath)) return *refusal;
    {
        Sqlite db(databasePath, SQLITE_OPEN_READWRITE);
        const std::optional<QString> hash = storedHash(db);
        if (!hash) return db.failure();
        if (!hash->isEmpty() && !passwordMatches(*hash, password))
            return {BackupStatus::WrongPassword, QStringLiteral("备份密码不正确!"), {}};
    }
    const QFileInfo database(databasePath);
    const QString note = abandonedWorkNote(removeAbandonedWork(folder, kBackupName) +
                                           removeAbandonedWork(database.absolutePath(), database.fileName()));
    const bool encrypt = !password.isEmpty();
    const BackupResult cancelled{
        BackupStatus::Cancelled, QStringLiteral("取消备份操作到：") + target + note, {}};
    const QString unchecked = QStringLiteral("备份数据没有通过检查，原有的备份没有改变。");

    // The backup is written under a name of its own and takes the place of the earlier one only
    // once checked. Encrypted, it is sealed as it is written there; its plain copy stays beside the
    // database, in a folder only this user may enter.
    WorkFile written(folder, kBackupName);
    if (written.error()) return fromErrno(written.error(), written.path);
    std::unique_ptr<WorkFolder> plainFolder;
    if (encrypt) {
        plainFolder = std::make_unique<WorkFolder>(database.absolutePath(), database.fileName());
        if (plainFolder->error()) return fromErrno(plainFolder->error(), plainFolder->path);
    }
    const QString copy = encrypt ? plainFolder->filePath(kBackupName) : written.path;
    RowCounts live;
    BackupResult step =
        copyLiveDatabase(databasePath, copy, live, progressPart(progress, 0, encrypt ? 300 : 700));
    if (step.status == BackupStatus::Cancelled) return cancelled;
    if (step.status != BackupStatus::Done) return step;
    {
        Sqlite compact(copy, SQLITE_OPEN_READWRITE);
        if (!compact.exec(QStringLiteral("VACUUM"))) return compact.failure();
    }
    RowCounts copied;
    const bool sound =
        isSoundDatabase(copy, copied, progressPart(progress, encrypt ? 300 : 700, encrypt ? 400 : 990));
    if (progress && !progress(encrypt ? 400 : 990)) return cancelled;
    if (!sound || copied != live) return failed(unchecked);

    if (encrypt) {
        step = fromSeal(sealBackup(copy, written.path, password, progressPart(progress, 400, 1000)), target);
        if (step.status == BackupStatus::Cancelled) return cancelled;
        if (step.status != BackupStatus::Done) return step;
    }
    if (const int error = written.place(target)) return fromErrno(error, target);
    QString message = QStringLiteral("备份数据：") + target + QStringLiteral("成功!");
    // The backup stands verified; a trail that cannot take its row is said, not hidden.
    if (!recordInTrail(databasePath, AuditLog::kBackup, target))
        message += QStringLiteral("（操作日志无法写入）");
    return succeeded(message + note);
}

std::optional<BackupResult> unsealedRestoreRefusal(const QString& backupPath, const QString& databasePath) {
    if (isSealedBackup(backupPath)) return std::nullopt;
    {
        // Read as the file stands, without replaying a journal a crashed desk left beside it.
        Sqlite db(QUrl::fromLocalFile(databasePath).toString(QUrl::FullyEncoded) + QStringLiteral("?immutable=1"),
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
        if (storedHash(db).value_or(QString()).isEmpty()) return std::nullopt;
    }
    // Refused in the trail of the database that stays, so the attempt is on record.
    recordInTrail(databasePath, AuditLog::kRestore, QStringLiteral("拒绝用未加密的文件 %1 恢复").arg(backupPath));
    return BackupResult{BackupStatus::Refused,
                        QStringLiteral("已设置备份密码，只能用加密的备份恢复；所选文件没有加密，现有数据没有改变。"),
                        {}};
}

BackupResult restoreDatabase(const QString& backupPath, const QString& databasePath, const QString& password,
                             const ProgressStep& progress) {
    if (auto refusal = sameFileRefusal(backupPath, databasePath)) return *refusal;
    if (auto refusal = unsealedRestoreRefusal(backupPath, databasePath)) return *refusal;
    const QFileInfo target(databasePath);
    const QString note = abandonedWorkNote(removeAbandonedWork(target.absolutePath(), target.fileName()));
    const BackupResult cancelled{
        BackupStatus::Cancelled, QStringLiteral("取消恢复数据操作到：") + databasePath + note, {}};
    // The decrypted candidate is plain: it waits in a folder only this user may enter, on the same
    // file system as the database, so that one rename puts it in place.
    WorkFolder work(target.absolutePath(), target.fileName());
    if (work.error()) return fromErrno(work.error(), work.path);
    const QString candidate = work.filePath(target.fileName());
    BackupResult step =
        isSealedBackup(backupPath)
            ? fromSeal(openSealedBackup(backupPath, candidate, password, progressPart(progress, 0, 800)),
                       backupPath)
            : copyFile(backupPath, candidate, progressPart(progress, 0, 800));
    if (step.status == BackupStatus::Cancelled) return cancelled;
    if (step.status == BackupStatus::WrongPassword) return wrongRestorePassword();
    if (step.status != BackupStatus::Done) return step;
    RowCounts counts;
    const bool sound = isSoundDatabase(candidate, counts, progressPart(progress, 800, 940));
    if (progress && !progress(940)) return cancelled;
    if (!sound) return {BackupStatus::Refused, kNotABackup, {}};
    // The restored data carries its own restore in the trail, naming the file and where the replaced
    // data is kept; without that row nothing is replaced.
    const QString kept =
        target.exists() ? datedName(target.absolutePath(), target.completeBaseName(), target.suffix()) : QString();
    const QString restored = kept.isEmpty() ? QStringLiteral("从 %1 恢复").arg(backupPath)
                                            : QStringLiteral("从 %1 恢复，原有数据保存为 %2").arg(backupPath, kept);
    if (!recordInTrail(candidate, AuditLog::kRestore, restored))
        return failed(QStringLiteral("操作日志无法写入，现有数据没有改变。"));
    if (progress && !progress(950)) return cancelled;

    // No desk may have the file open while it is replaced, nor open it until it is.
    const DeskPresence sole(databasePath, DeskPresence::Use::Sole);
    if (target.exists() && !sole.held())
        return QFileInfo(databasePath).isWritable() ? othersAtWork() : writeProtected();
    const Settled settled = target.exists() ? settle(databasePath) : Settled::Yes;
    if (settled == Settled::Busy) return othersAtWork();
    // The restored file is read by the same people as the one it replaces.
    if (!(target.exists() ? copyModeAndGroup(databasePath, candidate) : protectFile(candidate)))
        return failed(QStringLiteral("无法让恢复的数据保持原有数据的访问权限和组，现有数据没有改变。"));
    if (progress && !progress(960)) return cancelled;

    QString keptCopy;
    step = swapIn(candidate, databasePath, settled, kept, keptCopy, progress);
    if (step.status != BackupStatus::Done) return step;
    QString message = QStringLiteral("从:") + backupPath + QStringLiteral("恢复数据成功!");
    if (!keptCopy.isEmpty())
        message += QStringLiteral("原有数据已保存为：") + keptCopy + QStringLiteral("。");
    return {BackupStatus::Done, message + QStringLiteral("请重新启动系统！") + note, keptCopy};
}
