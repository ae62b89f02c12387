#include "LegacyImport.h"

#include "adodb.h"
#include "AuditLog.h"
#include "DbConditions.h"
#include "FileModes.h"
#include "LegacyFile.h"
#include "Passwords.h"
#include "Schema.h"
#include "StandardErrorCapture.h"

#include <algorithm>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString kUsers = QStringLiteral("Users");

struct ImportedTable {
    QString name;
    QString label;
    QStringList keyColumns; // the record's identity; List merges on both of its columns
};

const QVector<ImportedTable>& importedTables() {
    static const QVector<ImportedTable> tables = {
        {QStringLiteral("DangAnKu"), QStringLiteral("证书"), {QStringLiteral("证号")}},
        {QStringLiteral("CaoZuoZheng"), QStringLiteral("操作证"), {QStringLiteral("证号")}},
        {QStringLiteral("PeiXun"), QStringLiteral("安全生产培训"), {QStringLiteral("编号")}},
        {QStringLiteral("Users"), QStringLiteral("操作员"), {QStringLiteral("姓名")}},
        {QStringLiteral("List"),
         QStringLiteral("选项"),
         {QStringLiteral("content"), QStringLiteral("leixing")}},
    };
    return tables;
}

QString labelOf(const QString& table) {
    for (const ImportedTable& t : importedTables())
        if (t.name == table) return QStringLiteral("%1（%2）").arg(t.name, t.label);
    return table;
}

QString shown(const QVariant& value) {
    if (value.isNull()) return QStringLiteral("(空)");
    if (value.typeId() == QMetaType::QByteArray)
        return QStringLiteral("(%1 字节)").arg(value.toByteArray().size());
    return value.toString();
}

// A value of the legacy file as the target column's kind needs it; nullopt when it cannot be one.
std::optional<QVariant> convert(const QVariant& value, ColumnKind kind) {
    if (value.isNull()) return QVariant();
    const int type = value.typeId();
    switch (kind) {
    case ColumnKind::Text:
    case ColumnKind::Memo:
        if (type == QMetaType::QString) return value;
        if (type == QMetaType::QDate) return value.toDate().toString(Qt::ISODate);
        if (type == QMetaType::Double) return QString::number(value.toDouble(), 'g', 15);
        if (type == QMetaType::Bool)
            return QString(value.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
        return std::nullopt;
    case ColumnKind::Date: {
        if (type == QMetaType::QDate) return value;
        if (type != QMetaType::QString) return std::nullopt;
        const QString text = value.toString().trimmed();
        if (text.isEmpty()) return QVariant();
        for (const char* format : {"yyyy-M-d", "yyyy/M/d", "yyyy.M.d", "yyyyMMdd"}) {
            const QDate date = QDate::fromString(text, QLatin1String(format));
            if (date.isValid()) return date;
        }
        return std::nullopt;
    }
    case ColumnKind::Boolean:
        if (type == QMetaType::Bool) return value;
        if (type == QMetaType::Double) return value.toDouble() != 0;
        return std::nullopt;
    case ColumnKind::Binary:
        if (type == QMetaType::QByteArray) return value;
        return std::nullopt;
    case ColumnKind::Number:
    case ColumnKind::Counter:
        if (type == QMetaType::Double) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

QVariant typedNull(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::Date:
        return QVariant(QMetaType::fromType<QDate>());
    case ColumnKind::Boolean:
        return QVariant(QMetaType::fromType<bool>());
    case ColumnKind::Binary:
        return QVariant(QMetaType::fromType<QByteArray>());
    case ColumnKind::Number:
    case ColumnKind::Counter:
        return QVariant(QMetaType::fromType<double>());
    default:
        return QVariant(QMetaType::fromType<QString>());
    }
}

// The value as the engine stores the kind (SQLite: ISO date text, 0/1).
QVariant forEngine(const QVariant& value, ColumnKind kind, bool sqlite) {
    if (value.isNull()) return typedNull(kind);
    if (sqlite && kind == ColumnKind::Date) return value.toDate().toString(Qt::ISODate);
    if (sqlite && kind == ColumnKind::Boolean) return value.toBool() ? 1 : 0;
    return value;
}

QString refused(const QSqlQuery& q) {
    return QStringLiteral("数据库拒绝了这条记录（%1）。").arg(describeDbFailure(q.lastError(), q.driver()));
}

class TableImporter {
public:
    TableImporter(const ImportedTable& imported, LegacyTable& legacy, QSqlDatabase db,
                  const LegacyImportHooks& hooks, std::optional<DuplicatePolicy>& policy, int total,
                  bool replaceOperators)
        : m_table(imported), m_legacy(legacy), m_db(db), m_hooks(hooks), m_policy(policy), m_total(total),
          m_sqlite(db.driverName() == QLatin1String("QSQLITE")), m_operators(imported.name == kUsers),
          m_replaceOperators(replaceOperators) {}

    TableImport run() {
        m_result.table = m_table.name;
        mapColumns();
        for (const QString& key : m_table.keyColumns) {
            if (m_legacy.columnIndex(key) < 0) {
                m_result.failed = true;
                m_result.problems << QStringLiteral("旧数据中没有 %1 列，此表没有导入。").arg(key);
                return m_result;
            }
        }
        if (!m_db.transaction()) {
            fail({}, {}, describeDbFailure(m_db.lastError(), m_db.driver()));
            return m_result;
        }
        prepare();
        while (m_legacy.next()) {
            ++m_result.read;
            if (!importRow()) break;
            if (m_hooks.progress) m_hooks.progress(m_table.name, m_result.read, m_total);
        }
        if (!m_result.failed && !m_legacy.error().isEmpty()) fail({}, {}, m_legacy.error());
        if (!m_result.failed) recordInTrail();
        if (m_result.failed) {
            m_exists = QSqlQuery();
            m_insert = QSqlQuery();
            m_update = QSqlQuery();
            m_stored = QSqlQuery();
            m_db.rollback();
            m_result.imported = m_result.replaced = m_result.skipped = 0;
        } else if (!m_db.commit()) {
            fail({}, {}, describeDbFailure(m_db.lastError(), m_db.driver()));
            m_db.rollback();
        }
        return m_result;
    }

private:
    // One trail row per table, in the table's own transaction: a table rolled back leaves none.
    void recordInTrail() {
        try {
            AuditLog::record(m_db, AuditLog::kImport, m_table.name, {}, {},
                             QStringLiteral("导入 %1 条，其中替换 %2 条；跳过 %3 条")
                                 .arg(m_result.imported)
                                 .arg(m_result.replaced)
                                 .arg(m_result.skipped));
        } catch (const DbError& e) {
            fail({}, {}, e.description);
        }
    }

    struct Mapped {
        int legacyIndex;
        ColumnDef target;
    };

    void mapColumns() {
        const TableDef& def = tableDef(m_table.name);
        QStringList unknown;
        for (int i = 0; i < m_legacy.columns().size(); ++i) {
            const QString& name = m_legacy.columns()[i].name;
            const auto target = std::find_if(def.columns.begin(), def.columns.end(), [&](const ColumnDef& c) {
                return c.name.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (target == def.columns.end())
                unknown << name;
            else if (target->kind != ColumnKind::Counter) // the database numbers its own rows
                m_columns.append({i, *target});
        }
        if (!unknown.isEmpty())
            m_result.problems << QStringLiteral("旧数据中的列 %1 本系统没有，这些列没有导入。")
                                     .arg(unknown.join(QStringLiteral("、")));
        for (const QString& key : m_table.keyColumns)
            for (int i = 0; i < m_columns.size(); ++i)
                if (m_columns[i].target.name == key) m_keyPositions.append(i);
    }

    void prepare() {
        QStringList names, marks, sets, where;
        for (const Mapped& m : m_columns) {
            names << m.target.name;
            marks << QStringLiteral("?");
            sets << m.target.name + QStringLiteral(" = ?");
        }
        for (const QString& key : m_table.keyColumns)
            where << key + QStringLiteral(" = ?");
        const QString condition = where.join(QStringLiteral(" AND "));
        m_exists = QSqlQuery(m_db);
        m_exists.prepare(QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(m_table.name, condition));
        m_insert = QSqlQuery(m_db);
        m_insert.prepare(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(m_table.name, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
        m_update = QSqlQuery(m_db);
        m_update.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                             .arg(m_table.name, sets.join(QStringLiteral(", ")), condition));
        if (!m_operators) return;
        m_stored = QSqlQuery(m_db);
        m_stored.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                             .arg(names.join(QStringLiteral(", ")), m_table.name, condition));
    }

    // An operator's row as stored, before it is replaced; empty when he is new.
    QVector<QVariant> storedOperator(const QVector<QVariant>& values) {
        QVector<QVariant> stored;
        bindKey(m_stored, values);
        if (m_stored.exec() && m_stored.next())
            for (int i = 0; i < m_columns.size(); ++i)
                stored.append(m_stored.value(i));
        m_stored.finish();
        return stored;
    }

    // Each operator added or replaced gets his trail rows: every column that changed, the password
    // as asterisks only.
    bool recordOperator(const QString& key, const QVector<QVariant>& before, const QVector<QVariant>& values) {
        QVector<AuditLog::ColumnChange> changes;
        for (int i = 0; i < m_columns.size(); ++i) {
            const ColumnDef& column = m_columns[i].target;
            const int adoType = column.kind == ColumnKind::Boolean ? ado::adBoolean : ado::adVarWChar;
            const QString oldText = before.isEmpty() ? QString() : AuditLog::valueText(column.name, before[i], adoType);
            QString newText = AuditLog::valueText(column.name, values[i], adoType);
            // A fresh hash never equals the stored one: a replaced password is always named.
            const bool replacedPassword = AuditLog::isSecret(column.name) && !before.isEmpty() && !newText.isEmpty();
            if (replacedPassword) newText += QStringLiteral("（旧数据中的密码）");
            if (oldText == newText) continue;
            changes.append({column.name, oldText, newText});
        }
        try {
            AuditLog::record(m_db, before.isEmpty() ? AuditLog::kAdded : AuditLog::kChanged, kUsers, key, changes,
                             QStringLiteral("导入旧数据"));
        } catch (const DbError& e) {
            fail(key, {}, e.description);
            return false;
        }
        return true;
    }

    QString keyText(const QVector<QVariant>& values) const {
        QStringList parts;
        for (int position : m_keyPositions)
            parts << values[position].toString();
        return parts.join(QLatin1Char('/'));
    }

    void fail(const QString& key, const QString& column, const QString& reason) {
        m_result.failed = true;
        QString where = key.isEmpty()
                            ? QString()
                            : QStringLiteral("%1 为 '%2' 的记录").arg(m_table.keyColumns.first(), key);
        if (!column.isEmpty()) where += QStringLiteral("，%1 列").arg(column);
        m_result.problems << (where.isEmpty() ? QString() : where + QStringLiteral("：")) + reason +
                                 QStringLiteral(" 此表已撤销，没有导入任何记录。");
    }

    bool importRow() {
        QVector<QVariant> values;
        values.reserve(m_columns.size());
        const QString rawKey = m_legacy.value(m_legacy.columnIndex(m_table.keyColumns.first())).toString();
        for (const Mapped& m : m_columns) {
            const QVariant raw = m_legacy.value(m.legacyIndex);
            const auto value = convert(raw, m.target.kind);
            if (!value) {
                fail(rawKey, m.target.name, QStringLiteral("值 %1 不能存入此列。").arg(shown(raw)));
                return false;
            }
            values.append(*value);
        }
        if (!m_legacy.error().isEmpty()) return false;

        const bool isList = m_table.name == QLatin1String("List");
        for (int position : m_keyPositions) {
            if (values[position].toString().isEmpty()) {
                if (isList) { // an empty option offers nothing
                    ++m_result.skipped;
                    return true;
                }
                fail(rawKey, m_columns[position].target.name, QStringLiteral("关键字为空。"));
                return false;
            }
        }
        if (m_operators) {
            for (int i = 0; i < m_columns.size(); ++i) {
                if (m_columns[i].target.name.compare(QLatin1String("PWD"), Qt::CaseInsensitive) != 0)
                    continue;
                if (values[i].toString().isEmpty()) continue; // no password stays no password
                const QString hash = hashPassword(values[i].toString());
                if (hash.isEmpty()) {
                    fail(rawKey, m_columns[i].target.name, QStringLiteral("密码无法加密保存。"));
                    return false;
                }
                values[i] = hash;
            }
        }

        const QString key = keyText(values);
        bindKey(m_exists, values);
        if (!m_exists.exec() || !m_exists.next()) {
            fail(key, {}, refused(m_exists));
            return false;
        }
        const bool exists = m_exists.value(0).toLongLong() > 0;
        m_exists.finish();
        if (exists) {
            if (isList) { // merged: the category has the value already
                ++m_result.skipped;
                return true;
            }
            if (m_operators ? !m_replaceOperators : decide(key) == DuplicatePolicy::Skip) {
                if (m_operators)
                    m_result.notes << QStringLiteral("操作员 %1 已存在，保留了现有的密码和权限。").arg(key);
                ++m_result.skipped;
                return true;
            }
            const QVector<QVariant> before = m_operators ? storedOperator(values) : QVector<QVariant>();
            bindValues(m_update, values);
            bindKey(m_update, values);
            if (!m_update.exec()) {
                fail(key, {}, refused(m_update));
                return false;
            }
            if (m_operators && !recordOperator(key, before, values)) return false;
            ++m_result.imported;
            ++m_result.replaced;
            return true;
        }
        bindValues(m_insert, values);
        if (!m_insert.exec()) {
            fail(key, {}, refused(m_insert));
            return false;
        }
        if (m_operators && !recordOperator(key, {}, values)) return false;
        ++m_result.imported;
        return true;
    }

    DuplicatePolicy decide(const QString& key) {
        if (!m_policy)
            m_policy = m_hooks.askDuplicate ? m_hooks.askDuplicate(labelOf(m_table.name), key)
                                            : DuplicatePolicy::Skip;
        return *m_policy;
    }

    void bindValues(QSqlQuery& q, const QVector<QVariant>& values) const {
        for (int i = 0; i < m_columns.size(); ++i)
            q.addBindValue(forEngine(values[i], m_columns[i].target.kind, m_sqlite));
    }

    void bindKey(QSqlQuery& q, const QVector<QVariant>& values) const {
        for (int position : m_keyPositions)
            q.addBindValue(forEngine(values[position], m_columns[position].target.kind, m_sqlite));
    }

    const ImportedTable& m_table;
    LegacyTable& m_legacy;
    QSqlDatabase m_db;
    const LegacyImportHooks& m_hooks;
    std::optional<DuplicatePolicy>& m_policy;
    int m_total;
    bool m_sqlite;
    bool m_operators;
    bool m_replaceOperators;
    QVector<Mapped> m_columns;
    QVector<int> m_keyPositions;
    QSqlQuery m_exists, m_insert, m_update, m_stored;
    TableImport m_result;
};

// Reads every value of every table once, photos included, so that a damaged file is found before
// anything is written. Returns the error, or the row count of each table.
QString checkFile(LegacyFile& file, QVector<int>& rowCounts) {
    const QStringList present = file.tableNames();
    for (const ImportedTable& imported : importedTables()) {
        if (!present.contains(imported.name, Qt::CaseInsensitive))
            return QStringLiteral("旧数据文件中没有表 %1。").arg(labelOf(imported.name));
    }
    for (const ImportedTable& imported : importedTables()) {
        const auto table = file.table(imported.name);
        if (!table) return QStringLiteral("旧数据文件中的表 %1 无法读取。").arg(labelOf(imported.name));
        int rows = 0;
        while (table->next()) {
            for (int i = 0; i < table->columns().size(); ++i)
                table->value(i);
            ++rows;
        }
        if (!table->error().isEmpty()) return table->error();
        rowCounts.append(rows);
    }
    return {};
}

// The old file's operators whose names the database has already, in the file's order.
QStringList operatorsAlreadyStored(LegacyFile& file, QSqlDatabase db) {
    QStringList names;
    const auto users = file.table(kUsers);
    const int name = users ? users->columnIndex(QStringLiteral("姓名")) : -1;
    if (name < 0) return names;
    QSqlQuery stored(db);
    stored.prepare(QStringLiteral("SELECT count(*) FROM Users WHERE 姓名 = ?"));
    while (users->next()) {
        const QString candidate = users->value(name).toString();
        stored.addBindValue(candidate);
        if (stored.exec() && stored.next() && stored.value(0).toLongLong() > 0 && !names.contains(candidate))
            names << candidate;
        stored.finish();
    }
    return names;
}

} // namespace

QStringList legacyImportTables() {
    QStringList names;
    for (const ImportedTable& t : importedTables())
        names << t.name;
    return names;
}

bool LegacyImportReport::nothingImported() const {
    return std::all_of(tables.begin(), tables.end(), [](const TableImport& t) { return t.imported == 0; });
}

QString LegacyImportReport::outcome() const {
    if (complete()) return QStringLiteral("旧数据已导入。");
    if (nothingImported()) return QStringLiteral("没有导入任何数据，请查看导入报告。");
    return QStringLiteral("旧数据没有全部导入，请查看导入报告。");
}

bool LegacyImportReport::complete() const {
    if (!fatal.isEmpty()) return false;
    for (const TableImport& t : tables)
        if (t.failed || t.imported + t.skipped != t.read) return false;
    return true;
}

QString LegacyImportReport::text() const {
    QStringList lines;
    lines << QStringLiteral("旧数据导入报告") << QStringLiteral("旧数据文件：%1").arg(file)
          << QStringLiteral("导入到：%1").arg(database);
    const auto withReaderMessages = [&] {
        if (readerMessages.isEmpty()) return;
        lines << QString() << QStringLiteral("读取旧数据文件时读取程序的提示（供技术人员参考）：");
        for (const QString& message : readerMessages)
            lines << QStringLiteral("  ") + message;
    };
    if (!fatal.isEmpty()) {
        lines << QString() << QStringLiteral("没有导入任何数据：%1").arg(fatal);
        withReaderMessages();
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    lines << QStringLiteral("已有的记录：%1")
                 .arg(!policy                               ? QStringLiteral("没有遇到")
                      : *policy == DuplicatePolicy::Replace ? QStringLiteral("用旧数据替换")
                                                            : QStringLiteral("跳过，保留原记录"));
    // One line a table: the names are of different widths in any font.
    lines << QString();
    for (const TableImport& t : tables)
        lines << QStringLiteral("%1：读出 %2，导入 %3，跳过 %4，问题 %5%6")
                     .arg(labelOf(t.table))
                     .arg(t.read)
                     .arg(t.imported)
                     .arg(t.skipped)
                     .arg(t.problems.size())
                     .arg(t.failed ? QStringLiteral("（已撤销）") : QString());
    for (const TableImport& t : tables) {
        if (t.problems.isEmpty() && t.notes.isEmpty() && t.replaced == 0) continue;
        lines << QString() << labelOf(t.table) + QStringLiteral("：");
        if (t.replaced > 0) lines << QStringLiteral("  %1 条已有的记录换成了旧数据。").arg(t.replaced);
        for (const QString& line : t.problems + t.notes)
            lines << QStringLiteral("  ") + line;
    }
    if (!otherTables.isEmpty())
        lines << QString()
              << QStringLiteral("旧数据文件中的表 %1 不属于本系统导入的数据，没有导入。")
                     .arg(otherTables.join(QStringLiteral("、")));
    withReaderMessages();
    lines << QString()
          << (complete()          ? QStringLiteral("结果：全部记录都已导入或按选择跳过。")
              : nothingImported() ? QStringLiteral("结果：没有导入任何数据，请查看上面列出的问题。")
                                  : QStringLiteral("结果：有记录没有导入，请查看上面列出的问题。"));
    if (!savedAs.isEmpty()) lines << QStringLiteral("报告已保存在：%1").arg(savedAs);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

LegacyImportReport importLegacyFile(const QString& path, Connection& conn, const QString& databaseName,
                                    const LegacyImportHooks& hooks) {
    LegacyImportReport report;
    report.file = path;
    report.database = databaseName;
    // The reading library writes its warnings to standard error, in English: they go into the
    // report instead, for the technician.
    const StandardErrorCapture capture;
    const auto keepReaderMessages = [&] { report.readerMessages = capture.lines(); };
    LegacyFile file;
    report.fatal = file.open(path);
    QVector<int> rowCounts;
    if (report.fatal.isEmpty()) report.fatal = checkFile(file, rowCounts);
    if (!report.fatal.isEmpty()) {
        keepReaderMessages();
        return report;
    }
    for (const QString& name : file.tableNames())
        if (!legacyImportTables().contains(name, Qt::CaseInsensitive)) report.otherTables << name;

    QSqlDatabase db = conn.database();
    for (int i = 0; i < importedTables().size(); ++i) {
        const ImportedTable& imported = importedTables()[i];
        bool replaceOperators = false;
        if (imported.name == kUsers) {
            const QStringList stored = operatorsAlreadyStored(file, db);
            replaceOperators = !stored.isEmpty() && hooks.replaceOperators && hooks.replaceOperators(stored);
        }
        const auto legacy = file.table(imported.name);
        report.tables.append(
            TableImporter(imported, *legacy, db, hooks, report.policy, rowCounts[i], replaceOperators).run());
    }
    keepReaderMessages();
    return report;
}

void saveImportReport(LegacyImportReport& report, const QString& folder) {
    report.savedAs = saveReportFile(folder, QStringLiteral("导入报告"), report.text());
}
