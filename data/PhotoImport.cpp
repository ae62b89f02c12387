#include "PhotoImport.h"

#include "AuditLog.h"
#include "Connection.h"
#include "DbConditions.h"
#include "FileModes.h"
#include "RegisterCatalog.h"
#include "RosterImport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {

struct StoredRecord {
    QString key;
    bool hasPhoto;
};

QVector<StoredRecord> recordsNamed(Connection& conn, const RegisterDef& def, const QString& name) {
    QSqlQuery q(conn.database());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1, 照片 IS NOT NULL FROM %2 WHERE 身份证号 = ? OR %1 = ? ORDER BY %1")
                  .arg(def.keyColumn, def.table));
    q.addBindValue(name);
    q.addBindValue(name);
    if (!q.exec()) throw dbErrorFrom(q.lastError(), q.driver());
    QVector<StoredRecord> records;
    while (q.next())
        records.append({q.value(0).toString(), q.value(1).toBool()});
    return records;
}

QByteArray storedPhoto(Connection& conn, const RegisterDef& def, const QString& key) {
    QSqlQuery q(conn.database());
    q.prepare(QStringLiteral("SELECT 照片 FROM %1 WHERE %2 = ?").arg(def.table, def.keyColumn));
    q.addBindValue(key);
    if (!q.exec()) throw dbErrorFrom(q.lastError(), q.driver());
    return q.next() ? q.value(0).toByteArray() : QByteArray();
}

void storePhoto(Connection& conn, const RegisterDef& def, const QString& key, const QByteArray& bytes) {
    const QByteArray before = storedPhoto(conn, def, key);
    WriteScope scope(conn);
    QSqlQuery q(conn.database());
    q.prepare(QStringLiteral("UPDATE %1 SET 照片 = ? WHERE %2 = ?").arg(def.table, def.keyColumn));
    q.addBindValue(bytes);
    q.addBindValue(key);
    if (!q.exec()) throw dbErrorFrom(q.lastError(), q.driver());
    const QString photo = QStringLiteral("照片");
    AuditLog::record(conn.database(), AuditLog::kChanged, def.table, key,
                     {{photo, AuditLog::valueText(photo, before, ado::adLongVarBinary),
                       AuditLog::valueText(photo, bytes, ado::adLongVarBinary)}});
    scope.commit();
}

} // namespace

QStringList photoFilesIn(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.png"),
                                   QStringLiteral("*.bmp")},
                                  QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QString PhotoImportReport::text() const {
    QStringList lines{QStringLiteral("照片导入报告"), QStringLiteral("文件夹：%1").arg(folder),
                      QStringLiteral("登记表：%1").arg(table), QStringLiteral("数据库：%1").arg(database),
                      QStringLiteral("时间：%1")
                          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))};
    if (dryRun) lines << QStringLiteral("试导入：没有写入任何数据，下面是导入时将会发生的。");
    if (!fatal.isEmpty())
        lines << QStringLiteral("导入失败，没有写入任何照片：%1").arg(fatal);
    else
        lines << QStringLiteral("照片文件 %1 个：导入 %2 张（其中替换原有照片 %3 张），跳过 %4 个。")
                     .arg(files).arg(attached).arg(replaced).arg(skipped);
    lines << rows;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

PhotoImportReport importPhotos(const QString& folder, const QString& table, Connection& conn,
                               const PhotoImportOptions& options) {
    PhotoImportReport report;
    report.folder = folder;
    report.table = table;
    report.dryRun = options.dryRun;
    const RegisterDef* def = registerOfTable(table);
    if (!def) {
        report.fatal = QStringLiteral("没有登记表 %1，应为 DangAnKu、CaoZuoZheng 或 PeiXun。").arg(table);
        return report;
    }
    if (!QFileInfo(folder).isDir()) {
        report.fatal = QStringLiteral("照片文件夹 '%1' 不存在。").arg(folder);
        return report;
    }
    const QStringList files = photoFilesIn(folder);
    report.files = int(files.size());
    try {
        std::optional<WriteScope> transaction;
        if (!options.dryRun) transaction.emplace(conn);
        for (int i = 0; i < files.size(); ++i) {
            const QString& file = files[i];
            const QString name = QFileInfo(file).completeBaseName().trimmed().toUpper();
            const QVector<StoredRecord> records = recordsNamed(conn, *def, name);
            const auto skip = [&](const QString& why) {
                ++report.skipped;
                report.rows << QStringLiteral("%1：跳过——%2").arg(file, why);
            };
            if (records.isEmpty()) {
                skip(QStringLiteral("没有身份证号或编号为 %1 的记录").arg(name));
            } else if (records.size() > 1) {
                QStringList keys;
                for (const StoredRecord& r : records)
                    keys << r.key;
                skip(QStringLiteral("有 %1 条记录与之相符（%2），不知放到哪一条")
                         .arg(records.size()).arg(keys.join(QStringLiteral("、"))));
            } else if (records.front().hasPhoto && !options.replaceExisting) {
                skip(QStringLiteral("记录 %1 已有照片，没有替换").arg(records.front().key));
            } else {
                QFile in(QDir(folder).filePath(file));
                QByteArray bytes;
                if (in.open(QIODevice::ReadOnly)) bytes = in.readAll();
                if (!bytes.isEmpty() && options.fit) bytes = options.fit(bytes);
                if (bytes.isEmpty()) {
                    skip(QStringLiteral("无法读取这张照片"));
                } else {
                    if (!options.dryRun) storePhoto(conn, *def, records.front().key, bytes);
                    ++report.attached;
                    if (records.front().hasPhoto) ++report.replaced;
                    report.rows << QStringLiteral("%1：%2 %3（%4）")
                                       .arg(file, records.front().hasPhoto ? QStringLiteral("替换照片")
                                                                           : QStringLiteral("导入照片"),
                                            records.front().key,
                                            AuditLog::valueText(QStringLiteral("照片"), bytes, ado::adLongVarBinary));
                }
            }
            if (options.progress) options.progress(i + 1, int(files.size()));
        }
        if (transaction) transaction->commit();
    } catch (const DbError& e) {
        report.fatal = e.description;
        report.attached = report.replaced = report.skipped = 0;
        report.rows.clear();
    }
    return report;
}

void savePhotoReport(PhotoImportReport& report, const QString& folder) {
    report.savedAs = saveReportFile(folder, QStringLiteral("照片导入报告"), report.text());
}
