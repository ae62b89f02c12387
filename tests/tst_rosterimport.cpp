// A class roster from a spreadsheet: headings in the senders' words, every problem marked before
// anything is written, the good rows numbered and trailed in one transaction, and photos by folder.
#include "basGlobal.h"
#include "CommandLine.h"
#include "fPiLiangDaoRu.h"
#include "IdentityNumber.h"
#include "Operators.h"
#include "PhotoImport.h"
#include "ScriptedDialogs.h"
#include "RosterImport.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QStringEncoder>
#include <QTest>

#include <xlsxwriter.h>

Q_DECLARE_METATYPE(TestDatabase::Kind)

namespace {

const QString kFixtureDir = QStringLiteral(ROSTER_FIXTURE_DIR);

// A valid identity number from its first 17 digits.
QString valid(const QString& body) {
    return body + IdentityCheckCharacter(body + QLatin1Char('0'));
}

QString wrongCheck(const QString& body) {
    const QChar right = IdentityCheckCharacter(body + QLatin1Char('0'));
    return body + (right == QLatin1Char('1') ? QLatin1Char('2') : QLatin1Char('1'));
}

qint64 count(const QString& sql) {
    QSqlQuery q(gConn.database());
    if (!q.exec(sql) || !q.next()) return -1;
    return q.value(0).toLongLong();
}

QString value(const QString& sql) {
    QSqlQuery q(gConn.database());
    if (!q.exec(sql) || !q.next()) return QStringLiteral("(none)");
    const QVariant v = q.value(0);
    return v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate) : v.toString();
}

struct Cell {
    enum Kind { Text, Number, Date } kind;
    QString text;
    double number = 0;
};
Cell text(const QString& t) { return {Cell::Text, t}; }
Cell number(double n) { return {Cell::Number, {}, n}; }
Cell date(const QString& iso) { return {Cell::Date, iso}; }

void writeXlsx(const QString& path, const QVector<QVector<Cell>>& rows) {
    lxw_workbook* book = workbook_new(path.toUtf8().constData());
    lxw_worksheet* sheet = workbook_add_worksheet(book, "花名册");
    lxw_format* dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd");
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            const Cell& cell = rows[r][c];
            if (cell.kind == Cell::Number) {
                worksheet_write_number(sheet, r, c, cell.number, nullptr);
            } else if (cell.kind == Cell::Date) {
                const QDate d = QDate::fromString(cell.text, Qt::ISODate);
                lxw_datetime when = {d.year(), d.month(), d.day(), 0, 0, 0};
                worksheet_write_datetime(sheet, r, c, &when, dateFormat);
            } else if (!cell.text.isEmpty()) {
                worksheet_write_string(sheet, r, c, cell.text.toUtf8().constData(), nullptr);
            }
        }
    }
    workbook_close(book);
}

void writeText(const QString& path, const QString& content, bool gbk) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (gbk) {
        QStringEncoder encoder("GB18030");
        file.write(encoder.encode(content));
    } else {
        file.write(content.toUtf8());
    }
}

// The problems of the row on `line`, each as "heading:reason".
QStringList problemsOn(const Roster& roster, const RosterCheck& check, int line) {
    QStringList found;
    for (const RosterRow& row : check.rows) {
        if (row.line != line) continue;
        for (const RosterProblem& p : row.problems)
            found << (p.column < 0 ? QString() : roster.headings[p.column]) + QLatin1Char(':') + p.reason;
    }
    return found;
}

} // namespace

class RosterImportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;

    bool openDatabase(TestDatabase::Kind kind) {
        m_db = TestDatabase::create(kind);
        if (!m_db) return false;
        gConn.Open(m_db->connectionString());
        return true;
    }

    QString path(const QString& name) const { return QDir(m_dir->path()).filePath(name); }

    // The class of the acceptance case: mixed headings, a title above them, a wrong check
    // character, an issue date written three ways, a duplicate person and an unknown trade.
    QString classWithProblems() {
        const QString file = path(QStringLiteral("class.xlsx"));
        writeXlsx(file,
                  {{text(QStringLiteral("2026年第3期电工班"))},
                   {text(QStringLiteral("序号")), text(QStringLiteral("名字")), text(QStringLiteral("性别")),
                    text(QStringLiteral("公民身份号码")), text(QStringLiteral("出生年月")),
                    text(QStringLiteral("学历")), text(QStringLiteral("工种")), text(QStringLiteral("发证时间"))},
                   {number(1), text(QStringLiteral("张伟")), text({}), text(valid(QStringLiteral("11010519900307123"))),
                    date(QStringLiteral("1990-03-07")), text(QStringLiteral("高中")), text(QStringLiteral("电工")),
                    date(QStringLiteral("2024-03-05"))},
                   {number(2), text(QStringLiteral("李娜")), text(QStringLiteral("女")),
                    text(wrongCheck(QStringLiteral("44030419851215456"))), text({}), text(QStringLiteral("本科")),
                    text(QStringLiteral("电工")), text(QStringLiteral("2024/3/5"))},
                   {number(3), text(QStringLiteral("王强")), text(QStringLiteral("男")),
                    text(valid(QStringLiteral("32010619781101001"))), text({}), text(QStringLiteral("初中")),
                    text(QStringLiteral("焊工")), number(20240305)},
                   {number(4), text(QStringLiteral("赵敏")), text(QStringLiteral("女")),
                    text(valid(QStringLiteral("51010719920228002"))), text({}), text(QStringLiteral("大专")),
                    text(QStringLiteral("潜水员")), text(QStringLiteral("2024年3月5日"))},
                   {number(5), text(QStringLiteral("张伟")), text({}), text(valid(QStringLiteral("11010519900307123"))),
                    text({}), text(QStringLiteral("高中")), text(QStringLiteral("电工")), text({})},
                   {}});
        return file;
    }

    static RosterImportHooks hooksWith(std::optional<StoredPersonPolicy> policy) {
        RosterImportHooks hooks;
        hooks.policy = policy;
        return hooks;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<TempConfigDir>();
        qputenv("ORVANTA_APP_DIR", m_dir->path().toUtf8());
        gConn.Close();
        gUseSqlServer = false;
    }

    void cleanup() {
        gConn.Close();
        m_db.reset();
    }

    void headingsInTheSendersWords_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("column");
        const QString dak = QStringLiteral("DangAnKu"), czz = QStringLiteral("CaoZuoZheng"), px = QStringLiteral("PeiXun");
        QTest::newRow("身份证号码") << dak << QStringLiteral("身份证号码") << QStringLiteral("身份证号");
        QTest::newRow("公民身份号码 with note") << czz << QStringLiteral("公民身份号码（18位）*") << QStringLiteral("身份证号");
        QTest::newRow("名字") << px << QStringLiteral(" 名 字 ") << QStringLiteral("姓名");
        QTest::newRow("出生日期") << dak << QStringLiteral("出生日期：") << QStringLiteral("出生年月");
        QTest::newRow("学历") << px << QStringLiteral("学历") << QStringLiteral("文化程度");
        QTest::newRow("工作单位") << px << QStringLiteral("工作单位") << QStringLiteral("生产经营单位");
        QTest::newRow("单位 where no employer") << czz << QStringLiteral("单位") << QString();
        QTest::newRow("手机 in CZZ") << czz << QStringLiteral("手机号码") << QStringLiteral("联系电话");
        QTest::newRow("手机 in PX") << px << QStringLiteral("手机") << QStringLiteral("电话号码");
        QTest::newRow("证书号 in DAK") << dak << QStringLiteral("证书号") << QStringLiteral("证书编号");
        QTest::newRow("证书号 in PX") << px << QStringLiteral("证书号") << QStringLiteral("证书号码");
        QTest::newRow("the key is numbered") << dak << QStringLiteral("证号") << QString();
        QTest::newRow("photo never") << dak << QStringLiteral("照片") << QString();
        QTest::newRow("其他") << czz << QStringLiteral("其他") << QStringLiteral("其它");
        QTest::newRow("unknown") << dak << QStringLiteral("序号") << QString();
    }
    void headingsInTheSendersWords() {
        QFETCH(QString, table);
        QFETCH(QString, heading);
        QFETCH(QString, column);
        QCOMPARE(fieldForHeading(table, heading), column);
    }

    void datesInCommonForms_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::addColumn<QDate>("date");
        const QDate d(2024, 3, 5);
        QTest::newRow("iso") << int(RosterCell::Text) << QStringLiteral("2024-03-05") << 0.0 << d;
        QTest::newRow("slashes") << int(RosterCell::Text) << QStringLiteral("2024/3/5") << 0.0 << d;
        QTest::newRow("dots") << int(RosterCell::Text) << QStringLiteral("2024.3.5") << 0.0 << d;
        QTest::newRow("compact") << int(RosterCell::Text) << QStringLiteral("20240305") << 0.0 << d;
        QTest::newRow("chinese") << int(RosterCell::Text) << QStringLiteral("2024年3月5日") << 0.0 << d;
        QTest::newRow("with time") << int(RosterCell::Text) << QStringLiteral("2024-03-05 00:00:00") << 0.0 << d;
        QTest::newRow("day number") << int(RosterCell::Number) << QStringLiteral("45356") << 45356.0 << d;
        QTest::newRow("compact number") << int(RosterCell::Number) << QStringLiteral("20240305") << 20240305.0 << d;
        QTest::newRow("no such day") << int(RosterCell::Text) << QStringLiteral("2024-02-30") << 0.0 << QDate();
        QTest::newRow("words") << int(RosterCell::Text) << QStringLiteral("三月五日") << 0.0 << QDate();
        QTest::newRow("year 1800") << int(RosterCell::Text) << QStringLiteral("1800-01-01") << 0.0 << QDate();
    }
    void datesInCommonForms() {
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(double, number);
        QFETCH(QDate, date);
        QCOMPARE(rosterDate(RosterCell{RosterCell::Kind(kind), text, number, {}}), date);
    }

    void engines_data() {
        QTest::addColumn<TestDatabase::Kind>("kind");
        QTest::newRow("sqlite") << TestDatabase::Kind::Local;
        QTest::newRow("postgres") << TestDatabase::Kind::Server;
    }

    void classShowsExactlyItsProblemsAndImportsTheGoodRows_data() { engines_data(); }
    void classShowsExactlyItsProblemsAndImportsTheGoodRows() {
        QFETCH(TestDatabase::Kind, kind);
        if (!openDatabase(kind)) QSKIP("no PostgreSQL test server (ORVANTA_TEST_PG)");
        m_db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('41', '旧人')"));
        const Roster roster = loadRoster(classWithProblems(), QStringLiteral("DangAnKu"));
        QVERIFY2(roster.error.isEmpty(), qPrintable(roster.error));
        QCOMPARE(roster.headingLine, 2);
        QCOMPARE(roster.rows.size(), 5);
        QCOMPARE(roster.unmappedHeadings(), QStringList{QStringLiteral("序号")});
        const RosterCheck check = checkRoster(roster, gConn);
        QCOMPARE(problemsOn(roster, check, 3), QStringList());
        QCOMPARE(problemsOn(roster, check, 4),
                 QStringList{QStringLiteral("公民身份号码:身份证号校验码有误（按前17位应为%1）")
                                 .arg(IdentityCheckCharacter(QStringLiteral("440304198512154560")))});
        QCOMPARE(problemsOn(roster, check, 5), QStringList());
        QCOMPARE(problemsOn(roster, check, 6), QStringList{QStringLiteral("工种:“潜水员”不在职业工种的选项中")});
        QCOMPARE(problemsOn(roster, check, 7), QStringList{QStringLiteral("公民身份号码:与第3行是同一身份证号")});
        QCOMPARE(check.unknownOptions,
                 (QVector<QPair<QString, QString>>{{QStringLiteral("职业工种"), QStringLiteral("潜水员")}}));

        // The operator adds the trade; the same check then lets that row through.
        addOptionValue(gConn, QStringLiteral("职业工种"), QStringLiteral("潜水员"));
        const RosterCheck again = checkRoster(roster, gConn);
        QCOMPARE(again.rowsWithProblems(), 2);
        const RosterReport report = importRoster(roster, again, gConn, hooksWith(std::nullopt), false);
        QVERIFY2(report.fatal.isEmpty(), qPrintable(report.fatal));
        QCOMPARE(report.added, 3);
        QCOMPARE(report.skipped, 2);
        QCOMPARE(report.refused, 2);
        QCOMPARE(report.rows.size(), 5);
        QVERIFY(report.rows[0].endsWith(QStringLiteral("新增 42")));
        QVERIFY(report.rows[1].contains(QStringLiteral("跳过——身份证号校验码有误")));

        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM DangAnKu")), 4);
        // 性别 from the number; the date cell, the compact number and the Chinese text one date.
        QCOMPARE(value(QStringLiteral("SELECT 性别 FROM DangAnKu WHERE 证号 = '42'")), QStringLiteral("男"));
        QCOMPARE(value(QStringLiteral("SELECT 出生年月 FROM DangAnKu WHERE 证号 = '42'")), QStringLiteral("1990-03-07"));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM DangAnKu WHERE 发证日期 = '2024-03-05'")), 3);
        QCOMPARE(value(QStringLiteral("SELECT 出生年月 FROM DangAnKu WHERE 证号 = '44'")), QStringLiteral("1992-02-28"));
        QCOMPARE(value(QStringLiteral("SELECT 备注 FROM DangAnKu WHERE 证号 = '43'")), QString());
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM DangAnKu WHERE 一次复审 IS NULL")), 4);
        // A trail row per record, and the counter where the entry form goes on.
        QCOMPARE(count(QStringLiteral("SELECT count(DISTINCT 关键字) FROM AuditLog WHERE 表名 = 'DangAnKu' "
                                      "AND 操作 = '新增'")),
                 3);
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号")), QStringLiteral("45"));
        QVERIFY(!report.text().contains(QStringLiteral("试导入")));
    }

    void aStoredPersonIsAskedAboutOnce_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("updated");
        QTest::addColumn<QString>("unit");
        QTest::newRow("update") << int(StoredPersonPolicy::Update) << 1 << 1 << QStringLiteral("新单位");
        QTest::newRow("skip") << int(StoredPersonPolicy::Skip) << 1 << 0 << QStringLiteral("旧单位");
        QTest::newRow("add") << int(StoredPersonPolicy::AddNew) << 2 << 0 << QStringLiteral("旧单位");
    }
    void aStoredPersonIsAskedAboutOnce() {
        QFETCH(int, policy);
        QFETCH(int, added);
        QFETCH(int, updated);
        QFETCH(QString, unit);
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        const QString stored = valid(QStringLiteral("11010519900307123"));
        m_db->exec(QStringLiteral("INSERT INTO PeiXun (编号, 姓名, 性别, 身份证号, 生产经营单位, 备注) "
                                  "VALUES ('7', '张伟', '男', '%1', '旧单位', '留着')")
                       .arg(stored));
        const QString file = path(QStringLiteral("px.csv"));
        writeText(file,
                  QStringLiteral("姓名,身份证号,工作单位,备注\n张伟,%1,新单位,\n刘洋,%2,新单位,\n")
                      .arg(stored, valid(QStringLiteral("11010519951111001"))),
                  false);
        const Roster roster = loadRoster(file, QStringLiteral("PeiXun"));
        const RosterCheck check = checkRoster(roster, gConn);
        QCOMPARE(check.rowsAlreadyStored(), 1);
        QCOMPARE(check.rows[0].storedKeys, QStringList{QStringLiteral("7")});
        // Without an answer nothing at all is written.
        QVERIFY(!importRoster(roster, check, gConn, hooksWith(std::nullopt), false).fatal.isEmpty());
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM PeiXun")), 1);

        const RosterReport report =
            importRoster(roster, check, gConn, hooksWith(StoredPersonPolicy(policy)), false);
        QCOMPARE(report.added, added);
        QCOMPARE(report.updated, updated);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM PeiXun")), 1 + added);
        QCOMPARE(value(QStringLiteral("SELECT 生产经营单位 FROM PeiXun WHERE 编号 = '7'")), unit);
        // An empty cell never empties what is stored.
        QCOMPARE(value(QStringLiteral("SELECT 备注 FROM PeiXun WHERE 编号 = '7'")), QStringLiteral("留着"));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM AuditLog WHERE 操作 = '修改' AND 字段 = '生产经营单位' "
                                      "AND 旧值 = '旧单位' AND 新值 = '新单位'")),
                 updated);
    }

    void sexAndBirthAgreeWithTheNumber_data() {
        QTest::addColumn<QString>("sex");
        QTest::addColumn<QString>("birth");
        QTest::addColumn<QString>("problem");
        QTest::newRow("both agree") << QStringLiteral("男") << QStringLiteral("1990-03-07") << QString();
        QTest::newRow("month only") << QStringLiteral("男性") << QStringLiteral("1990.03") << QString();
        QTest::newRow("sex differs") << QStringLiteral("女") << QString() << QStringLiteral("性别与身份证号不符（身份证号为男）");
        QTest::newRow("birth differs") << QString() << QStringLiteral("1990-03-08")
                                       << QStringLiteral("出生年月与身份证号不符（身份证号为1990-03-07）");
        QTest::newRow("no such sex") << QStringLiteral("未知") << QString() << QStringLiteral("性别应为“男”或“女”，不是“未知”");
        QTest::newRow("bad date") << QString() << QStringLiteral("九零年") << QStringLiteral("无法识别的日期“九零年”");
    }
    void sexAndBirthAgreeWithTheNumber() {
        QFETCH(QString, sex);
        QFETCH(QString, birth);
        QFETCH(QString, problem);
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        const QString file = path(QStringLiteral("czz.csv"));
        writeText(file,
                  QStringLiteral("姓名,性别,身份证号,出生年月\n张伟,%1,%2,%3\n")
                      .arg(sex, valid(QStringLiteral("11010519900307123")), birth),
                  false);
        const RosterCheck check = checkRoster(loadRoster(file, QStringLiteral("CaoZuoZheng")), gConn);
        QCOMPARE(check.rows.size(), 1);
        QStringList reasons;
        for (const RosterProblem& p : check.rows[0].problems)
            reasons << p.reason;
        QCOMPARE(reasons.join(QLatin1Char('|')), problem);
        if (problem.isEmpty()) {
            QCOMPARE(check.rows[0].values.value(QStringLiteral("性别")).toString(), QStringLiteral("男"));
            QCOMPARE(check.rows[0].values.value(QStringLiteral("出生年月")).toDate(), QDate(1990, 3, 7));
        }
    }

    void identityNumbersChecked_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("problem");
        QTest::newRow("valid, lower x") << valid(QStringLiteral("11010519491231002")).toLower() << QString();
        QTest::newRow("full-width digits") << QStringLiteral("１１０１０５１９９００３０７１２３９") << QString();
        QTest::newRow("15 digits") << QStringLiteral("110105900307123") << QStringLiteral("身份证号应为18位，这里是15位|缺少性别");
        QTest::newRow("letters") << QStringLiteral("11010519900307A239") << QStringLiteral("身份证号只能是数字，最后一位可以是X|缺少性别");
        QTest::newRow("no such birthday") << valid(QStringLiteral("11010519900230123"))
                                          << QStringLiteral("身份证号中的出生日期19900230不是有效日期|缺少性别");
    }
    void identityNumbersChecked() {
        QFETCH(QString, cell);
        QFETCH(QString, problem);
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        const QString file = path(QStringLiteral("dak.csv"));
        writeText(file, QStringLiteral("姓名,身份证号\n张伟,%1\n").arg(cell), false);
        const RosterCheck check = checkRoster(loadRoster(file, QStringLiteral("DangAnKu")), gConn);
        QStringList reasons;
        for (const RosterProblem& p : check.rows[0].problems)
            reasons << p.reason;
        QCOMPARE(reasons.join(QLatin1Char('|')), problem);
    }

    void identityStoredAsNumberIsRefused() {
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        const QString file = path(QStringLiteral("number.xlsx"));
        writeXlsx(file, {{text(QStringLiteral("姓名")), text(QStringLiteral("身份证号"))},
                         {text(QStringLiteral("张伟")), number(110105199003071230.0)}});
        const RosterCheck check = checkRoster(loadRoster(file, QStringLiteral("DangAnKu")), gConn);
        QCOMPARE(check.rows.size(), 1);
        QCOMPARE(check.rows[0].problems.size(), 2); // and no sex guessed from the remains
        QVERIFY(check.rows[0].problems[0].reason.startsWith(QStringLiteral("身份证号被存成了数字")));
    }

    void csvInEitherEncodingAndOds_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("encoding");
        QTest::newRow("utf-8 with bom") << QStringLiteral("utf8.csv") << QStringLiteral("UTF-8");
        QTest::newRow("gbk") << QStringLiteral("gbk.csv") << QStringLiteral("GBK");
        QTest::newRow("ods") << QStringLiteral("training.ods") << QString();
    }
    void csvInEitherEncodingAndOds() {
        QFETCH(QString, file);
        QFETCH(QString, encoding);
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        const QString csv = QStringLiteral("2026年第3期培训班花名册\n名字,身份证号码,学历,出生日期,单位,岗位\n"
                                           "周敏,11010519491231002X,本科,1949-12-31,东方化工,安全员\n"
                                           "吴刚,110105194912310021,大专,,东方化工,厂长\n");
        QString roster = QDir(kFixtureDir).filePath(file);
        if (!encoding.isEmpty()) {
            roster = path(file);
            writeText(roster, (encoding == QLatin1String("GBK") ? QString() : QStringLiteral("\uFEFF")) + csv,
                      encoding == QLatin1String("GBK"));
        }
        const Roster read = loadRoster(roster, QStringLiteral("PeiXun"));
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.encoding, encoding);
        QCOMPARE(read.mapping,
                 (QVector<QString>{QStringLiteral("姓名"), QStringLiteral("身份证号"), QStringLiteral("文化程度"),
                                   QString(), QStringLiteral("生产经营单位"), QStringLiteral("职务")}));
        QCOMPARE(read.unmappedHeadings(), QStringList{QStringLiteral("出生日期")}); // PeiXun keeps no birth date
        const RosterCheck check = checkRoster(read, gConn);
        QCOMPARE(check.rows.size(), 2);
        QVERIFY(check.rows[0].acceptable());
        QCOMPARE(check.rows[0].values.value(QStringLiteral("性别")).toString(), QStringLiteral("女"));
        QCOMPARE(check.rows[0].values.value(QStringLiteral("生产经营单位")).toString(), QStringLiteral("东方化工"));
        QCOMPARE(check.rows[1].problems.size(), 2); // the check character, and no sex guessed from it
        QVERIFY(check.rows[1].problems[0].reason.startsWith(QStringLiteral("身份证号校验码有误")));
    }

    void unreadableFilesSayWhy_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("start");
        QTest::newRow("not a workbook") << QStringLiteral("broken.xlsx") << QByteArray("PK\x03\x04garbage")
                                        << QStringLiteral("无法读取文件");
        QTest::newRow("no headings") << QStringLiteral("plain.csv") << QByteArray("a,b\n1,2\n")
                                     << QStringLiteral("文件 '");
        QTest::newRow("other kind") << QStringLiteral("roster.doc") << QByteArray("x") << QStringLiteral("只能导入");
    }
    void unreadableFilesSayWhy() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, start);
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const Roster roster = loadRoster(path(name), QStringLiteral("DangAnKu"));
        QVERIFY2(roster.error.startsWith(start), qPrintable(roster.error));
    }

    void mappingChangedIsOfferedAgain() {
        const QString file = path(QStringLiteral("map.csv"));
        writeText(file, QStringLiteral("名字,电话,说明\n张伟,13800000000,x\n"), false);
        Roster roster = loadRoster(file, QStringLiteral("CaoZuoZheng"));
        QVERIFY(!roster.mappingWasSaved);
        QCOMPARE(roster.mapping[2], QStringLiteral("备注"));
        QCOMPARE(roster.mapColumn(QStringLiteral("说明"), QStringLiteral("操作项目")), QString());
        QCOMPARE(roster.mapColumn(QStringLiteral("电话"), QString()), QString());
        QVERIFY(!roster.mapColumn(QStringLiteral("说明"), QStringLiteral("没有这个")).isEmpty());
        QVERIFY(!roster.mapColumn(QStringLiteral("没有这列"), QStringLiteral("备注")).isEmpty());
        saveRosterMapping(roster);

        const QString next = path(QStringLiteral("next.csv"));
        writeText(next, QStringLiteral("名字,电话,说明\n李娜,13900000000,y\n"), false);
        const Roster again = loadRoster(next, QStringLiteral("CaoZuoZheng"));
        QVERIFY(again.mappingWasSaved);
        QCOMPARE(again.mapping, (QVector<QString>{QStringLiteral("姓名"), QString(), QStringLiteral("操作项目")}));
        // Another register, or other headings, start from the headings again.
        QVERIFY(!loadRoster(next, QStringLiteral("DangAnKu")).mappingWasSaved);
    }

    void aFailedWriteLeavesNothingBehind() {
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        m_db->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON DangAnKu WHEN NEW.姓名 = '坏' "
                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        const QString file = path(QStringLiteral("fail.csv"));
        writeText(file, QStringLiteral("姓名,性别\n好,男\n坏,男\n"), false);
        const Roster roster = loadRoster(file, QStringLiteral("DangAnKu"));
        const RosterReport report = importRoster(roster, checkRoster(roster, gConn), gConn, hooksWith(std::nullopt), false);
        QVERIFY(!report.fatal.isEmpty());
        QCOMPARE(report.added, 0);
        QVERIFY(report.text().contains(QStringLiteral("没有写入任何记录")));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM DangAnKu")), 0);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM AuditLog WHERE 表名 = 'DangAnKu'")), 0);
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号")), QString());
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("stored");
        QTest::newRow("dry run writes nothing") << QStringList{QStringLiteral("--dry-run")} << 1 << 1;
        QTest::newRow("stored person unasked") << QStringList{} << 1 << 1;
        QTest::newRow("problems refused, others in")
            << QStringList{QStringLiteral("--existing"), QStringLiteral("skip")} << 1 << 2;
        QTest::newRow("mapped and options added")
            << QStringList{QStringLiteral("--existing"), QStringLiteral("add"), QStringLiteral("--add-options"),
                           QStringLiteral("--map"), QStringLiteral("备用=备注")}
            << 0 << 4;
        QTest::newRow("bad policy") << QStringList{QStringLiteral("--existing"), QStringLiteral("maybe")} << 1 << 1;
        QTest::newRow("bad map") << QStringList{QStringLiteral("--map"), QStringLiteral("无此列=姓名")} << 1 << 1;
    }
    void commandLine() {
        QFETCH(QStringList, extra);
        QFETCH(int, status);
        QFETCH(int, stored);
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        const QString person = valid(QStringLiteral("11010519900307123"));
        m_db->exec(QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名, 身份证号) VALUES ('1', '张伟', '%1')").arg(person));
        gConn.Close();
        const QString file = path(QStringLiteral("cli.csv"));
        writeText(file,
                  QStringLiteral("姓名,性别,身份证,作业类别,备用\n张伟,男,%1,电工作业,\n李娜,女,%2,高处作业,\n"
                                 "王强,男,%3,潜水作业,夜班\n")
                      .arg(person, valid(QStringLiteral("44030419851215456")), valid(QStringLiteral("32010619781101001"))),
                  true);
        QStringList arguments{QStringLiteral("orvanta"), QStringLiteral("--import-roster"), file,
                              QStringLiteral("--register"), QStringLiteral("CaoZuoZheng"),
                              QStringLiteral("--database"), m_db->localPath()};
        arguments << operatorArguments(m_db->folder()) << extra;
        QCOMPARE(runCommand(arguments).value_or(-1), status);
        gConn.Open(m_db->connectionString());
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM CaoZuoZheng")), stored);
        if (stored == 4) {
            QCOMPARE(value(QStringLiteral("SELECT 其它 FROM CaoZuoZheng WHERE 姓名 = '王强'")), QStringLiteral("王强"));
            QCOMPARE(value(QStringLiteral("SELECT 备注 FROM CaoZuoZheng WHERE 姓名 = '王强'")), QStringLiteral("夜班"));
        }
        const QStringList reports = QDir(m_db->folder()).entryList({QStringLiteral("花名册导入报告-*.txt")});
        QCOMPARE(reports.size(), stored == 1 ? 0 : 1);
    }

    void windowMarksProblemCellsAndAsksOnce() {
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        gDbPath = m_db->localPath();
        gOperator = QStringLiteral("管理员");
        const QString person = valid(QStringLiteral("11010519900307123"));
        m_db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 身份证号) VALUES ('9', '张伟', '%1')").arg(person));
        const QString file = path(QStringLiteral("window.csv"));
        writeText(file,
                  QStringLiteral("姓名,身份证号码,性别\n张伟,%1,\n李娜,%2,女\n王强,%3,男\n")
                      .arg(person, wrongCheck(QStringLiteral("44030419851215456")), valid(QStringLiteral("32010619781101001"))),
                  false);
        ScriptedDialogs dialogs;
        fPiLiangDaoRu window;
        window.setRegister(QStringLiteral("DangAnKu"));
        window.setFile(file);
        auto* grid = window.findChild<QTableWidget*>(QStringLiteral("grdPreview"));
        QCOMPARE(grid->rowCount(), 3);
        QVERIFY(grid->item(1, 1)->toolTip().startsWith(QStringLiteral("身份证号校验码有误")));
        QVERIFY(grid->item(1, 0)->toolTip().isEmpty());
        QCOMPARE(grid->item(0, 3)->text(), QStringLiteral("已在登记表中（9）"));

        window.cmdImport_Click(); // nothing chosen for the stored person: refused, nothing written
        QCOMPARE(dialogs.lastMessage().icon, vb::Exclamation);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM DangAnKu")), 1);

        window.findChild<QRadioButton*>(QStringLiteral("optExisting_1"))->setChecked(true);
        dialogs.answerMsgBox(vb::Yes); // import the rest without the problem row
        window.cmdImport_Click();
        const auto boxes = dialogs.calls(ScriptedDialogs::Kind::MsgBox);
        QCOMPARE(boxes.size(), 3);
        QVERIFY(boxes[1].defaultButton2);
        QCOMPARE(boxes[2].icon, vb::Information);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM DangAnKu")), 2);
        QCOMPARE(value(QStringLiteral("SELECT 证号 FROM DangAnKu WHERE 姓名 = '王强'")), QStringLiteral("10"));
        QVERIFY(window.reportText().contains(QStringLiteral("新增 1 条，更新 0 条，跳过 2 行")));
        QCOMPARE(QDir(m_db->folder()).entryList({QStringLiteral("花名册导入报告-*.txt")}).size(), 1);
    }

    void photosByFolder() {
        QVERIFY(openDatabase(TestDatabase::Kind::Local));
        const QString a = valid(QStringLiteral("11010519900307123")), b = valid(QStringLiteral("44030419851215456"));
        m_db->execAll({QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 身份证号) VALUES ('1', '甲', '%1')").arg(a),
                       QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 身份证号, 照片) VALUES ('2', '乙', '%1', X'FFD8')").arg(b),
                       QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('3', '丙')"),
                       QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 身份证号) VALUES ('4', '丁', '3')")});
        QDir(m_dir->path()).mkdir(QStringLiteral("photos"));
        const auto put = [&](const QString& name, const QByteArray& bytes) {
            QFile f(path(QStringLiteral("photos/") + name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        QImage big(1200, 1600, QImage::Format_RGB32);
        big.fill(Qt::gray);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        big.save(&buffer, "JPEG");
        put(a.toLower() + QStringLiteral(".JPG"), jpeg); // by identity number, x in any case
        put(b + QStringLiteral(".png"), "second");        // has a photo already
        put(QStringLiteral("3.bmp"), "ambiguous");        // key 3 and identity number 3
        put(QStringLiteral("999.jpeg"), "nobody");
        put(QStringLiteral("notes.txt"), "not a photo");

        PhotoImportOptions options;
        PhotoImportReport report = importPhotos(path(QStringLiteral("photos")), QStringLiteral("DangAnKu"), gConn, options);
        QVERIFY2(report.fatal.isEmpty(), qPrintable(report.fatal));
        QCOMPARE(report.files, 4);
        QCOMPARE(report.attached, 1);
        QCOMPARE(report.skipped, 3);
        QCOMPARE(QSqlQuery(QStringLiteral("SELECT 照片 FROM DangAnKu WHERE 证号 = '1'"), gConn.database()).next(), true);
        QCOMPARE(count(QStringLiteral("SELECT length(照片) FROM DangAnKu WHERE 证号 = '1'")), jpeg.size());
        QCOMPARE(value(QStringLiteral("SELECT hex(照片) FROM DangAnKu WHERE 证号 = '2'")), QStringLiteral("FFD8"));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM AuditLog WHERE 字段 = '照片' AND 关键字 = '1' AND 新值 LIKE '%SHA-256%'")), 1);
        QVERIFY(report.text().contains(QStringLiteral("有 2 条记录与之相符")));

        options.replaceExisting = true;
        options.fit = [](const QByteArray& bytes) { return bytes.size() > 100 ? QByteArray("fitted") : bytes; };
        report = importPhotos(path(QStringLiteral("photos")), QStringLiteral("DangAnKu"), gConn, options);
        QCOMPARE(report.attached, 2);
        QCOMPARE(report.replaced, 2);
        QCOMPARE(value(QStringLiteral("SELECT 照片 FROM DangAnKu WHERE 证号 = '1'")), QStringLiteral("fitted"));
        QCOMPARE(value(QStringLiteral("SELECT 照片 FROM DangAnKu WHERE 证号 = '2'")), QStringLiteral("second"));
    }
};

QTEST_MAIN(RosterImportTest)
#include "tst_rosterimport.moc"
