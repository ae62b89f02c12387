#include "RosterImport.h"

#include "AuditLog.h"
#include "Connection.h"
#include "DbConditions.h"
#include "FileModes.h"
#include "IdentityNumber.h"
#include "RegisterCatalog.h"
#include "settings.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

namespace {

const QString kName = QStringLiteral("姓名");
const QString kSex = QStringLiteral("性别");
const QString kIdentity = QStringLiteral("身份证号");
const QString kBirth = QStringLiteral("出生年月");
const QString kPhoto = QStringLiteral("照片");
const QString kMappingSection = QStringLiteral("RosterMapping");

// The headings offices write for each column, beside the column's own name.
const QHash<QString, QStringList>& headingVariants() {
    static const QHash<QString, QStringList> variants = {
        {QStringLiteral("姓名"), {QStringLiteral("名字"), QStringLiteral("学员姓名"), QStringLiteral("人员姓名")}},
        {QStringLiteral("性别"), {}},
        {QStringLiteral("身份证号"),
         {QStringLiteral("身份证号码"), QStringLiteral("公民身份号码"), QStringLiteral("身份证"),
          QStringLiteral("身份号"), QStringLiteral("身份证件号码"), QStringLiteral("证件号码")}},
        {QStringLiteral("出生年月"),
         {QStringLiteral("出生日期"), QStringLiteral("出生年月日"), QStringLiteral("生日")}},
        {QStringLiteral("文化程度"), {QStringLiteral("学历"), QStringLiteral("文化")}},
        {QStringLiteral("生产经营单位"),
         {QStringLiteral("工作单位"), QStringLiteral("单位"), QStringLiteral("单位名称"),
          QStringLiteral("所在单位"), QStringLiteral("生产单位")}},
        {QStringLiteral("联系电话"),
         {QStringLiteral("电话"), QStringLiteral("电话号码"), QStringLiteral("手机"), QStringLiteral("手机号"),
          QStringLiteral("手机号码"), QStringLiteral("联系方式")}},
        {QStringLiteral("电话号码"),
         {QStringLiteral("电话"), QStringLiteral("联系电话"), QStringLiteral("手机"), QStringLiteral("手机号"),
          QStringLiteral("手机号码"), QStringLiteral("联系方式")}},
        {QStringLiteral("住址"),
         {QStringLiteral("地址"), QStringLiteral("家庭住址"), QStringLiteral("通讯地址"),
          QStringLiteral("联系地址")}},
        {QStringLiteral("作业类别"),
         {QStringLiteral("作业类型"), QStringLiteral("工种类别"), QStringLiteral("类别")}},
        {QStringLiteral("操作项目"), {QStringLiteral("准操项目"), QStringLiteral("作业项目")}},
        {QStringLiteral("职业工种"), {QStringLiteral("工种")}},
        {QStringLiteral("证书级别"), {QStringLiteral("级别"), QStringLiteral("等级")}},
        {QStringLiteral("证书编号"),
         {QStringLiteral("证书号码"), QStringLiteral("证书号"), QStringLiteral("证书编码")}},
        {QStringLiteral("证书号码"),
         {QStringLiteral("证书编号"), QStringLiteral("证书号"), QStringLiteral("证书编码")}},
        {QStringLiteral("理论成绩"), {QStringLiteral("理论"), QStringLiteral("理论考试成绩")}},
        {QStringLiteral("实操成绩"), {QStringLiteral("实操"), QStringLiteral("实际操作成绩")}},
        {QStringLiteral("评定成绩"), {QStringLiteral("综合评定"), QStringLiteral("评定")}},
        {QStringLiteral("发证日期"), {QStringLiteral("发证时间"), QStringLiteral("领证日期")}},
        {QStringLiteral("初次领证"),
         {QStringLiteral("初次领证日期"), QStringLiteral("初领日期"), QStringLiteral("初次领证时间")}},
        {QStringLiteral("一次复审"), {QStringLiteral("一次复审日期"), QStringLiteral("第一次复审")}},
        {QStringLiteral("二次复审"), {QStringLiteral("二次复审日期"), QStringLiteral("第二次复审")}},
        {QStringLiteral("受理日期"), {QStringLiteral("受理时间")}},
        {QStringLiteral("换证日期"), {QStringLiteral("换证时间")}},
        {QStringLiteral("职务"), {QStringLiteral("职位"), QStringLiteral("岗位")}},
        {QStringLiteral("复审记录"), {}},
        {QStringLiteral("其它"), {QStringLiteral("其他")}},
        {QStringLiteral("备注"), {QStringLiteral("说明")}},
    };
    return variants;
}

// A heading without spaces, asterisks, colons and a note in brackets: "身份证号（18位）*：".
QString bareHeading(const QString& heading) {
    static const QRegularExpression note(QStringLiteral("[（(【\\[].*[）)】\\]]"));
    static const QRegularExpression marks(QStringLiteral("[\\s*＊:：]"));
    QString bare = heading;
    bare.remove(note);
    bare.remove(marks);
    return bare;
}

// Full-width digits and letters as ASCII, spaces gone, x as X.
QString normalIdentity(const QString& text) {
    QString number;
    for (QChar ch : text) {
        if (ch.unicode() >= 0xFF10 && ch.unicode() <= 0xFF19) ch = QChar(ch.unicode() - 0xFF10 + '0');
        if (ch.unicode() == 0xFF38 || ch.unicode() == 0xFF58) ch = QLatin1Char('X');
        if (ch.isSpace()) continue;
        number += ch == QLatin1Char('x') ? QLatin1Char('X') : ch;
    }
    return number;
}

QString numberText(double value) {
    return QString::number(value, 'g', 15);
}

int adoTypeOf(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::Date:
        return ado::adDate;
    case ColumnKind::Memo:
        return ado::adLongVarWChar;
    default:
        return ado::adVarWChar;
    }
}

QString cellText(const RosterCell& cell) {
    return cell.kind == RosterCell::Empty ? QString() : cell.text.trimmed();
}

// 1990年3月, 1990-03, 1990.3, 199003: the first of that month.
QDate monthOnly(const QString& text) {
    static const QRegularExpression month(
        QStringLiteral("^(\\d{4})(?:\\s*[-/.年]\\s*(\\d{1,2})\\s*月?|(\\d{2}))$"));
    const auto m = month.match(text);
    if (!m.hasMatch()) return {};
    const int monthNumber = (m.captured(2).isEmpty() ? m.captured(3) : m.captured(2)).toInt();
    return QDate(m.captured(1).toInt(), monthNumber, 1);
}

bool plausible(const QDate& date) {
    return date.isValid() && date.year() >= 1900 && date.year() <= 2100;
}

QString mappingKey(const Roster& roster) {
    const QByteArray digest =
        QCryptographicHash::hash(roster.headings.join(QLatin1Char('\n')).toUtf8(), QCryptographicHash::Sha1);
    return roster.table + QLatin1Char('-') + QString::fromLatin1(digest.toHex());
}

} // namespace

QDate rosterDate(const RosterCell& cell) {
    if (cell.kind == RosterCell::Date) return plausible(cell.date) ? cell.date : QDate();
    if (cell.kind == RosterCell::Number) {
        const double n = cell.number;
        if (n >= 19000101 && n <= 21001231 && n == qint64(n)) return rosterDate(RosterCell{RosterCell::Text, cell.text, 0, {}});
        // A spreadsheet's day number, counted from 1899-12-30.
        if (n >= 1 && n < 80000) {
            const QDate date = QDate(1899, 12, 30).addDays(qint64(n));
            return plausible(date) ? date : QDate();
        }
        return {};
    }
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})\\s*[-/.年]\\s*(\\d{1,2})\\s*[-/.月]\\s*(\\d{1,2})\\s*日?(?:[\\sT]+\\d{1,2}:\\d{2}(?::\\d{2})?)?$"));
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})$"));
    const QString text = cell.text.trimmed();
    auto m = form.match(text);
    if (!m.hasMatch()) m = compact.match(text);
    if (!m.hasMatch()) return {};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return plausible(date) ? date : QDate();
}

QVector<RosterField> rosterFields(const QString& table) {
    QVector<RosterField> fields;
    const RegisterDef* def = registerOfTable(table);
    if (!def) return fields;
    const TableDef& columns = tableDef(table);
    for (const BoundField& bound : def->fields) {
        if (bound.column == def->keyColumn || bound.column == kPhoto) continue;
        RosterField field;
        field.column = bound.column;
        field.kind = ColumnKind::Text;
        for (const ColumnDef& c : columns.columns)
            if (c.name == bound.column) field.kind = c.kind;
        for (const OptionCombo& combo : def->optionCombos)
            if (combo.control == bound.control) field.optionCategory = combo.category;
        field.required = bound.column == kName || bound.column == kSex;
        fields << field;
    }
    return fields;
}

QString fieldForHeading(const QString& table, const QString& heading) {
    const QString bare = bareHeading(heading);
    if (bare.isEmpty()) return {};
    const QVector<RosterField> fields = rosterFields(table);
    for (const RosterField& field : fields)
        if (field.column == bare) return field.column;
    for (const RosterField& field : fields)
        if (headingVariants().value(field.column).contains(bare)) return field.column;
    return {};
}

QStringList Roster::unmappedHeadings() const {
    QStringList unmapped;
    for (int i = 0; i < headings.size(); ++i)
        if (mapping.value(i).isEmpty()) unmapped << headings[i];
    return unmapped;
}

QString Roster::mapColumn(const QString& heading, const QString& column) {
    const qsizetype at = headings.indexOf(heading.trimmed());
    if (at < 0) return QStringLiteral("文件中没有标题为“%1”的列。").arg(heading);
    if (!column.isEmpty()) {
        const QVector<RosterField> fields = rosterFields(table);
        const bool known = std::any_of(fields.begin(), fields.end(),
                                       [&](const RosterField& f) { return f.column == column; });
        if (!known) return QStringLiteral("登记表 %1 中没有可导入的字段“%2”。").arg(table, column);
        // One column per field: the one chosen last wins.
        for (QString& other : mapping)
            if (other == column) other.clear();
    }
    mapping[at] = column;
    return {};
}

Roster loadRoster(const QString& path, const QString& table) {
    Roster roster;
    roster.file = path;
    roster.table = table;
    if (!registerOfTable(table)) {
        roster.error = QStringLiteral("没有登记表 %1，应为 DangAnKu、CaoZuoZheng 或 PeiXun。").arg(table);
        return roster;
    }
    RosterGrid grid = readRosterFile(path);
    roster.encoding = grid.encoding;
    if (!grid.error.isEmpty()) {
        roster.error = grid.error;
        return roster;
    }
    // The headings are the row among the first ones that names the most fields; a title above
    // them names none.
    int headingRow = -1, bestMatches = 0;
    for (int r = 0; r < std::min<qsizetype>(grid.rows.size(), 20); ++r) {
        int matches = 0;
        for (const RosterCell& cell : grid.rows[r])
            if (!fieldForHeading(table, cellText(cell)).isEmpty()) ++matches;
        if (matches > bestMatches) {
            bestMatches = matches;
            headingRow = r;
        }
    }
    if (headingRow < 0) {
        roster.error = QStringLiteral("文件 '%1' 中找不到标题行（如 姓名、身份证号）。").arg(path);
        return roster;
    }
    qsizetype width = 0;
    for (const auto& row : grid.rows)
        width = std::max(width, row.size());
    for (int c = 0; c < width; ++c) {
        const QString heading = cellText(grid.rows[headingRow].value(c));
        roster.headings << (heading.isEmpty() ? QStringLiteral("第%1列").arg(c + 1) : heading);
    }
    roster.headingLine = headingRow + 1;
    for (int r = headingRow + 1; r < grid.rows.size(); ++r) {
        QVector<RosterCell>& row = grid.rows[r];
        if (std::all_of(row.begin(), row.end(), [](const RosterCell& c) { return c.isEmpty(); })) continue;
        row.resize(width);
        roster.rows << row;
        roster.lines << r + 1;
    }
    roster.mapping.resize(width);
    const QStringList saved =
        GetSetting(ProductTitle(), kMappingSection, mappingKey(roster)).split(QLatin1Char('\t'));
    if (saved.size() == width) {
        roster.mappingWasSaved = true;
        for (int c = 0; c < width; ++c)
            roster.mapColumn(roster.headings[c], saved[c]);
    } else {
        for (int c = 0; c < width; ++c) {
            const QString field = fieldForHeading(table, roster.headings[c]);
            if (!field.isEmpty() && !roster.mapping.contains(field)) roster.mapping[c] = field;
        }
    }
    return roster;
}

void saveRosterMapping(const Roster& roster) {
    SaveSetting(ProductTitle(), kMappingSection, mappingKey(roster),
                QStringList(roster.mapping.begin(), roster.mapping.end()).join(QLatin1Char('\t')));
}

int RosterCheck::rowsWithProblems() const {
    return int(std::count_if(rows.begin(), rows.end(), [](const RosterRow& r) { return !r.acceptable(); }));
}

int RosterCheck::rowsAlreadyStored() const {
    return int(std::count_if(rows.begin(), rows.end(),
                             [](const RosterRow& r) { return r.acceptable() && !r.storedKeys.isEmpty(); }));
}

namespace {

QHash<QString, QSet<QString>> storedOptions(Connection& conn) {
    QHash<QString, QSet<QString>> options;
    QSqlQuery q(conn.database());
    if (!q.exec(QStringLiteral("SELECT leixing, content FROM List")))
        throw dbErrorFrom(q.lastError(), q.driver());
    while (q.next())
        options[q.value(0).toString()].insert(q.value(1).toString().trimmed());
    return options;
}

// The stored records of each identity number asked about, by key.
QHash<QString, QStringList> storedKeysByIdentity(Connection& conn, const RegisterDef& def,
                                                 const QStringList& identities) {
    QHash<QString, QStringList> keys;
    constexpr int kChunk = 400;
    for (qsizetype from = 0; from < identities.size(); from += kChunk) {
        const QStringList chunk = identities.mid(from, kChunk);
        QStringList marks;
        for (qsizetype i = 0; i < chunk.size(); ++i)
            marks << QStringLiteral("?");
        QSqlQuery q(conn.database());
        q.prepare(QStringLiteral("SELECT %1, 身份证号 FROM %2 WHERE 身份证号 IN (%3) ORDER BY %1")
                      .arg(def.keyColumn, def.table, marks.join(QLatin1Char(','))));
        for (const QString& identity : chunk)
            q.addBindValue(identity);
        if (!q.exec()) throw dbErrorFrom(q.lastError(), q.driver());
        while (q.next())
            keys[q.value(1).toString()] << q.value(0).toString();
    }
    return keys;
}

class RowChecker {
public:
    RowChecker(const Roster& roster, const QHash<QString, QSet<QString>>& options)
        : m_roster(roster), m_fields(rosterFields(roster.table)), m_options(options) {
        for (const RosterField& field : m_fields)
            m_columnOf[field.column] = int(roster.mapping.indexOf(field.column));
    }

    RosterRow check(int index) {
        RosterRow row;
        row.line = m_roster.lines[index];
        const QVector<RosterCell>& cells = m_roster.rows[index];
        for (const RosterField& field : m_fields) {
            const int column = m_columnOf.value(field.column, -1);
            const RosterCell cell = column >= 0 ? cells.value(column) : RosterCell{};
            if (field.kind == ColumnKind::Date)
                row.values[field.column] = dateValue(row, field, column, cell);
            else
                row.values[field.column] = textValue(row, field, column, cell);
        }
        checkIdentity(row, cells);
        row.name = row.values.value(kName).toString();
        for (const RosterField& field : m_fields)
            if (field.required && row.values.value(field.column).toString().isEmpty())
                row.problems << RosterProblem{m_columnOf.value(field.column, -1),
                                              QStringLiteral("缺少%1").arg(field.column)};
        return row;
    }

private:
    QVariant dateValue(RosterRow& row, const RosterField& field, int column, const RosterCell& cell) {
        if (cell.isEmpty()) return QVariant(QMetaType::fromType<QDate>());
        QDate date = rosterDate(cell);
        if (!date.isValid() && field.column == kBirth && cell.kind == RosterCell::Text)
            date = monthOnly(cell.text.trimmed());
        if (!date.isValid()) {
            row.problems << RosterProblem{column, QStringLiteral("无法识别的日期“%1”").arg(cell.text.trimmed())};
            return QVariant(QMetaType::fromType<QDate>());
        }
        return date;
    }

    QString textValue(RosterRow& row, const RosterField& field, int column, const RosterCell& cell) {
        QString text = cellText(cell);
        if (field.column == kSex && !text.isEmpty()) {
            if (text == QStringLiteral("男性")) text = QStringLiteral("男");
            if (text == QStringLiteral("女性")) text = QStringLiteral("女");
            if (text != QStringLiteral("男") && text != QStringLiteral("女"))
                row.problems << RosterProblem{column, QStringLiteral("性别应为“男”或“女”，不是“%1”").arg(text)};
        }
        if (!field.optionCategory.isEmpty() && !text.isEmpty() &&
            !m_options.value(field.optionCategory).contains(text))
            row.problems << RosterProblem{column, QStringLiteral("“%1”不在%2的选项中").arg(text, field.optionCategory)};
        return text;
    }

    void checkIdentity(RosterRow& row, const QVector<RosterCell>& cells) {
        const int column = m_columnOf.value(kIdentity, -1);
        if (column < 0) return;
        const RosterCell& cell = cells.value(column);
        const QString number = normalIdentity(cellText(cell));
        row.values[kIdentity] = number;
        row.identity = number;
        if (number.isEmpty()) return;
        const auto problem = [&](const QString& reason) { row.problems << RosterProblem{column, reason}; };
        if (cell.kind == RosterCell::Number && cell.number >= 1e15) {
            problem(QStringLiteral("身份证号被存成了数字，末几位已经丢失；请把该列设为文本后重新填写"));
            return;
        }
        if (number.size() != 18) {
            problem(QStringLiteral("身份证号应为18位，这里是%1位").arg(number.size()));
            return;
        }
        const QChar check = IdentityCheckCharacter(number);
        if (check.isNull() || !(number.back().isDigit() || number.back() == QLatin1Char('X'))) {
            problem(QStringLiteral("身份证号只能是数字，最后一位可以是X"));
            return;
        }
        if (check != number.back()) {
            problem(QStringLiteral("身份证号校验码有误（按前17位应为%1）").arg(check));
            return;
        }
        const QDate birth = BirthDateFromIdentity(number);
        if (!birth.isValid()) {
            problem(QStringLiteral("身份证号中的出生日期%1不是有效日期").arg(number.mid(6, 8)));
            return;
        }
        if (const int first = m_firstLine.value(number))
            problem(QStringLiteral("与第%1行是同一身份证号").arg(first));
        else
            m_firstLine.insert(number, row.line);
        consistent(row, kSex, SexFromIdentity(number), SexFromIdentity(number));
        if (row.values.contains(kBirth)) {
            const QDate stated = row.values.value(kBirth).toDate();
            // A month alone agrees when it is the number's month.
            const bool sameMonth = stated.isValid() && stated.day() == 1 &&
                                   stated.year() == birth.year() && stated.month() == birth.month();
            if (sameMonth) row.values[kBirth] = birth;
            else
                consistent(row, kBirth, birth, birth.toString(QStringLiteral("yyyy-MM-dd")));
        }
    }

    // An empty column takes what the number tells; a different value is a problem.
    void consistent(RosterRow& row, const QString& column, const QVariant& told, const QString& shown) {
        const QVariant stated = row.values.value(column);
        const bool empty = stated.isNull() || stated.toString().isEmpty();
        if (empty) {
            row.values[column] = told;
            return;
        }
        const int at = m_columnOf.value(column, -1);
        const bool sexStatedWrongly = column == kSex && stated.toString() != QStringLiteral("男") &&
                                      stated.toString() != QStringLiteral("女");
        if (stated != told && !sexStatedWrongly)
            row.problems << RosterProblem{at, QStringLiteral("%1与身份证号不符（身份证号为%2）").arg(column, shown)};
    }

    const Roster& m_roster;
    const QVector<RosterField> m_fields;
    const QHash<QString, QSet<QString>>& m_options;
    QHash<QString, int> m_columnOf;
    QHash<QString, int> m_firstLine;
};

} // namespace

RosterCheck checkRoster(const Roster& roster, Connection& conn) {
    RosterCheck result;
    const RegisterDef* def = registerOfTable(roster.table);
    if (!def || !roster.error.isEmpty()) return result;
    const QHash<QString, QSet<QString>> options = storedOptions(conn);
    RowChecker checker(roster, options);
    QStringList identities;
    for (int i = 0; i < roster.rows.size(); ++i) {
        result.rows << checker.check(i);
        if (!result.rows.back().identity.isEmpty()) identities << result.rows.back().identity;
    }
    const QHash<QString, QStringList> stored = storedKeysByIdentity(conn, *def, identities);
    QSet<QPair<QString, QString>> seen;
    for (RosterRow& row : result.rows) {
        row.storedKeys = stored.value(row.identity);
        for (const RosterField& field : rosterFields(roster.table)) {
            const QString value = row.values.value(field.column).toString();
            if (field.optionCategory.isEmpty() || value.isEmpty() ||
                options.value(field.optionCategory).contains(value))
                continue;
            const QPair<QString, QString> option{field.optionCategory, value};
            if (!seen.contains(option)) result.unknownOptions << option;
            seen.insert(option);
        }
    }
    return result;
}

void addOptionValue(Connection& conn, const QString& category, const QString& value) {
    WriteScope scope(conn);
    QSqlQuery q(conn.database());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM List WHERE leixing = ? AND content = ?"));
    q.addBindValue(category);
    q.addBindValue(value);
    if (!q.exec() || !q.next()) throw dbErrorFrom(q.lastError(), q.driver());
    if (q.value(0).toInt() > 0) return;
    q.prepare(QStringLiteral("INSERT INTO List (content, leixing) VALUES (?, ?)"));
    q.addBindValue(value);
    q.addBindValue(category);
    if (!q.exec()) throw dbErrorFrom(q.lastError(), q.driver());
    AuditLog::record(conn.database(), AuditLog::kAdded, QStringLiteral("List"), value + QLatin1Char('[') + category + QLatin1Char(']'),
                     {{QStringLiteral("content"), {}, value}, {QStringLiteral("leixing"), {}, category}});
    scope.commit();
}

namespace {

QString rowLabel(const RosterRow& row) {
    QString label = QStringLiteral("第%1行").arg(row.line);
    if (!row.name.isEmpty()) label += QLatin1Char(' ') + row.name;
    if (!row.identity.isEmpty()) label += QLatin1Char(' ') + row.identity;
    return label;
}

QString reasons(const RosterRow& row) {
    QStringList texts;
    for (const RosterProblem& p : row.problems)
        texts << p.reason;
    return texts.join(QStringLiteral("；"));
}

QVariant forEngine(const QVariant& value, ColumnKind kind, bool sqlite) {
    if (kind != ColumnKind::Date) return value.isNull() ? QVariant(QString()) : value;
    if (value.isNull() || !value.toDate().isValid()) return QVariant(QMetaType::fromType<QDate>());
    return sqlite ? QVariant(value.toDate().toString(Qt::ISODate)) : value;
}

QVariant fromEngine(const QVariant& value, ColumnKind kind) {
    if (kind != ColumnKind::Date || value.isNull()) return value;
    return value.typeId() == QMetaType::QDate ? value.toDate()
                                              : QDate::fromString(value.toString().left(10), Qt::ISODate);
}

class RosterWriter {
public:
    RosterWriter(const Roster& roster, Connection& conn, bool dryRun)
        : m_def(*registerOfTable(roster.table)), m_fields(rosterFields(roster.table)), m_conn(conn),
          m_dryRun(dryRun), m_sqlite(conn.engine() != Connection::Engine::Postgres) {
        for (const RosterField& field : m_fields)
            if (roster.mapping.contains(field.column) || field.column == kSex || field.column == kBirth)
                m_suppliedColumns << field.column;
    }

    // The next number the entry form would propose: the counter it keeps in the settings, or
    // past the largest stored number when that is further on.
    void startNumbering() {
        const double counted =
            GetSetting(ExeName(), QStringLiteral("system"), m_def.counterKey, QStringLiteral("0")).trimmed().toDouble();
        const SqlDialect dialect = m_sqlite ? SqlDialect::Sqlite : SqlDialect::Postgres;
        QSqlQuery q(m_conn.database());
        const QString number = keyNumberExpression(m_def.keyColumn, dialect);
        if (!q.exec(QStringLiteral("SELECT %1 FROM %2 WHERE %1 < 1.7976931348623157e308 ORDER BY %1 DESC LIMIT 1")
                        .arg(number, m_def.table)))
            throw dbErrorFrom(q.lastError(), q.driver());
        const double largest = q.next() ? std::max(q.value(0).toDouble(), 0.0) : 0;
        m_next = std::max(counted, largest + 1);
    }
    double nextNumber() const { return m_next; }

    // Adds the row as a new record; returns its key.
    QString add(const RosterRow& row) {
        if (m_dryRun) return numberText(m_next++);
        for (int attempt = 0;; ++attempt) {
            const QString key = numberText(m_next++);
            try {
                insert(row, key);
                return key;
            } catch (const DbError& e) {
                // Another desk took the number meanwhile: the next one, as the entry form does.
                if (e.number != DbErrorCode::DuplicateKey || attempt == 20) throw;
            }
        }
    }

    // Writes the file's values over the stored record's; empty cells leave stored values alone.
    // False when nothing differs.
    bool update(const RosterRow& row, const QString& key) {
        QStringList columns;
        for (const QString& c : m_suppliedColumns)
            columns << c;
        QSqlQuery read(m_conn.database());
        read.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                         .arg(columns.join(QLatin1Char(',')), m_def.table, m_def.keyColumn));
        read.addBindValue(key);
        if (!read.exec() || !read.next()) throw dbErrorFrom(read.lastError(), read.driver());
        QVector<AuditLog::ColumnChange> changes;
        QStringList assignments;
        QVariantList binds;
        for (int i = 0; i < columns.size(); ++i) {
            const RosterField& field = fieldOf(columns[i]);
            const QVariant value = row.values.value(field.column);
            if (value.isNull() || value.toString().isEmpty()) continue;
            const int type = adoTypeOf(field.kind);
            const QString oldText = AuditLog::valueText(field.column, fromEngine(read.value(i), field.kind), type);
            const QString newText = AuditLog::valueText(field.column, value, type);
            if (oldText == newText) continue;
            changes.append({field.column, oldText, newText});
            assignments << field.column + QStringLiteral(" = ?");
            binds << forEngine(value, field.kind, m_sqlite);
        }
        read.finish();
        if (changes.isEmpty()) return false;
        if (m_dryRun) return true;
        WriteScope scope(m_conn);
        QSqlQuery q(m_conn.database());
        q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                      .arg(m_def.table, assignments.join(QLatin1Char(',')), m_def.keyColumn));
        for (const QVariant& b : binds)
            q.addBindValue(b);
        q.addBindValue(key);
        if (!q.exec()) throw dbErrorFrom(q.lastError(), q.driver());
        AuditLog::record(m_conn.database(), AuditLog::kChanged, m_def.table, key, changes);
        scope.commit();
        return true;
    }

private:
    const RosterField& fieldOf(const QString& column) const {
        for (const RosterField& f : m_fields)
            if (f.column == column) return f;
        return m_fields.front();
    }

    void insert(const RosterRow& row, const QString& key) {
        QVariantList binds{key};
        QVector<AuditLog::ColumnChange> changes{{m_def.keyColumn, {}, key}};
        for (const RosterField& field : m_fields) {
            QVariant value = row.values.value(field.column);
            // As the entry form stores a record: every text box as text, a memo left empty takes the name.
            if (field.kind != ColumnKind::Date && value.toString().isEmpty())
                value = field.column == m_def.nameFilledColumn ? row.name : QString();
            binds << forEngine(value, field.kind, m_sqlite);
            const QString text = AuditLog::valueText(field.column, value, adoTypeOf(field.kind));
            if (!text.isEmpty()) changes.append({field.column, {}, text});
        }
        if (!m_insert) {
            QStringList names{m_def.keyColumn}, marks{QStringLiteral("?")};
            for (const RosterField& field : m_fields) {
                names << field.column;
                marks << QStringLiteral("?");
            }
            m_insert.emplace(m_conn.database());
            m_insert->prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(m_def.table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
        }
        // On the server a refused row spoils the whole transaction unless it stands in a savepoint of
        // its own; the local file is locked for the import, so no other desk takes a number there.
        std::optional<WriteScope> scope;
        if (!m_sqlite) scope.emplace(m_conn);
        for (int i = 0; i < binds.size(); ++i)
            m_insert->bindValue(i, binds[i]);
        if (!m_insert->exec()) {
            const DbError error = dbErrorFrom(m_insert->lastError(), m_insert->driver());
            m_insert->finish();
            throw error;
        }
        AuditLog::record(m_conn.database(), AuditLog::kAdded, m_def.table, key, changes);
        if (scope) scope->commit();
    }

    const RegisterDef& m_def;
    const QVector<RosterField> m_fields;
    Connection& m_conn;
    const bool m_dryRun;
    const bool m_sqlite;
    QStringList m_suppliedColumns;
    std::optional<QSqlQuery> m_insert;
    double m_next = 1;
};

} // namespace

QString RosterReport::text() const {
    const RegisterDef* def = registerOfTable(table);
    QStringList lines;
    lines << QStringLiteral("花名册导入报告") << QStringLiteral("文件：%1").arg(file)
          << QStringLiteral("登记表：%1（%2）").arg(table, def ? def->listTitle : QString())
          << QStringLiteral("数据库：%1").arg(database)
          << QStringLiteral("时间：%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    if (dryRun) lines << QStringLiteral("试导入：没有写入任何数据，下面是导入时将会发生的。");
    if (!fatal.isEmpty()) {
        lines << QStringLiteral("导入失败，没有写入任何记录：%1").arg(fatal);
    } else {
        lines << QStringLiteral("读入 %1 行：新增 %2 条，更新 %3 条，跳过 %4 行。").arg(read).arg(added).arg(updated).arg(skipped);
    }
    lines << rows;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

RosterReport importRoster(const Roster& roster, const RosterCheck& check, Connection& conn,
                          const RosterImportHooks& hooks, bool dryRun) {
    RosterReport report;
    report.file = roster.file;
    report.table = roster.table;
    report.dryRun = dryRun;
    report.read = int(roster.rows.size());
    if (!roster.error.isEmpty()) {
        report.fatal = roster.error;
        return report;
    }
    if (check.rowsAlreadyStored() > 0 && !hooks.policy) {
        report.fatal = QStringLiteral("有 %1 人已在登记表中，需要选择更新、跳过还是另加新证。").arg(check.rowsAlreadyStored());
        return report;
    }
    const int total = int(check.rows.size());
    try {
        RosterWriter writer(roster, conn, dryRun);
        std::optional<WriteScope> transaction;
        if (!dryRun) transaction.emplace(conn);
        writer.startNumbering();
        for (int i = 0; i < total; ++i) {
            const RosterRow& row = check.rows[i];
            const QString label = rowLabel(row);
            const bool stored = !row.storedKeys.isEmpty();
            if (!row.acceptable()) {
                ++report.skipped;
                ++report.refused;
                report.rows << QStringLiteral("%1：跳过——%2").arg(label, reasons(row));
            } else if (stored && *hooks.policy == StoredPersonPolicy::Skip) {
                ++report.skipped;
                report.rows << QStringLiteral("%1：跳过——已在登记表中（%2）").arg(label, row.storedKeys.join(QStringLiteral("、")));
            } else if (stored && *hooks.policy == StoredPersonPolicy::Update && row.storedKeys.size() > 1) {
                ++report.skipped;
                ++report.refused;
                report.rows << QStringLiteral("%1：跳过——登记表中有 %2 条该身份证号的记录（%3），不知更新哪一条")
                                   .arg(label).arg(row.storedKeys.size()).arg(row.storedKeys.join(QStringLiteral("、")));
            } else if (stored && *hooks.policy == StoredPersonPolicy::Update) {
                const QString key = row.storedKeys.front();
                if (writer.update(row, key)) {
                    ++report.updated;
                    report.rows << QStringLiteral("%1：更新 %2").arg(label, key);
                } else {
                    ++report.skipped;
                    report.rows << QStringLiteral("%1：跳过——与登记表中的 %2 相同").arg(label, key);
                }
            } else {
                const QString key = writer.add(row);
                ++report.added;
                report.rows << QStringLiteral("%1：新增 %2").arg(label, key);
            }
            if (hooks.progress) hooks.progress(i + 1, total);
        }
        if (transaction) {
            AuditLog::record(conn.database(), AuditLog::kImport, roster.table, {}, {},
                             QStringLiteral("花名册 %1：新增 %2 条，更新 %3 条，跳过 %4 行")
                                 .arg(roster.file).arg(report.added).arg(report.updated).arg(report.skipped));
            transaction->commit();
            try {
                SaveSetting(ExeName(), QStringLiteral("system"), registerOfTable(roster.table)->counterKey,
                            numberText(writer.nextNumber()));
            } catch (const DbError& e) {
                report.rows << QStringLiteral("编号计数没能保存（%1），下次新增时会重新计算。").arg(e.description);
            }
        }
    } catch (const DbError& e) {
        report.fatal = e.description;
        report.added = report.updated = report.skipped = report.refused = 0;
        report.rows.clear();
    }
    return report;
}

void saveRosterReport(RosterReport& report, const QString& folder) {
    report.savedAs = saveReportFile(folder, QStringLiteral("花名册导入报告"), report.text());
}
