// Bringing an office's old Access database over: the fixture against its manifest on both engines,
// a second import, files that must change nothing, and a Jet file offered as the database.
#include "basGlobal.h"
#include "CommandLine.h"
#include "fDaoRu.h"
#include "LegacyFile.h"
#include "LegacyImport.h"
#include "ModSql.h"
#include "Operators.h"
#include "Passwords.h"
#include "Schema.h"
#include "ScriptedDialogs.h"
#include "StandardErrorCapture.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>

Q_DECLARE_METATYPE(TestDatabase::Kind)

namespace {

const QString kFixtureDir = QStringLiteral(LEGACY_FIXTURE_DIR);

QByteArray fileHash(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

QString unescaped(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != QLatin1Char('\\') || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const QChar next = field[++i];
        out += next == QLatin1Char('t')   ? QStringLiteral("\t")
               : next == QLatin1Char('r') ? QStringLiteral("\r")
               : next == QLatin1Char('n') ? QStringLiteral("\n")
                                          : QString(next);
    }
    return out;
}

// A stored value written the way the manifest writes it.
QString manifestForm(const QVariant& value, ColumnKind kind) {
    if (value.isNull()) return QStringLiteral("\\N");
    switch (kind) {
    case ColumnKind::Binary: {
        const QByteArray bytes = value.toByteArray();
        return QStringLiteral("sha256:%1:%2")
            .arg(QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()))
            .arg(bytes.size());
    }
    case ColumnKind::Boolean:
        return value.toBool() || value.toString() == QLatin1String("1") ? QStringLiteral("1")
                                                                        : QStringLiteral("0");
    case ColumnKind::Date:
        return value.typeId() == QMetaType::QDate ? value.toDate().toString(Qt::ISODate) : value.toString();
    default:
        return value.toString();
    }
}

// A column or table name as the file's catalogue holds it.
QByteArray encodedName(const QString& name) {
    return QByteArray(reinterpret_cast<const char*>(name.utf16()), name.size() * 2);
}

qint64 count(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) return -1;
    return q.value(0).toLongLong();
}

} // namespace

class LegacyImportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TempConfigDir> m_config;
    QString m_legacy; // the fixture's copy the test reads

    QString copyOfFixture(const QString& name) {
        const QString path = QDir(m_dir->path()).filePath(name);
        QFile::remove(path);
        if (!QFile::copy(kFixtureDir + QStringLiteral("/MoLian-legacy.mdb"), path)) return {};
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    std::unique_ptr<TestDatabase> openDatabase(TestDatabase::Kind kind) {
        auto db = TestDatabase::create(kind);
        if (db) gConn.Open(db->connectionString());
        return db;
    }

    // The operators the database has already are replaced unless the administrator says no.
    static LegacyImportReport import(const QString& file, int* asked = nullptr,
                                     DuplicatePolicy answer = DuplicatePolicy::Skip, bool replaceOperators = true,
                                     QStringList* operatorsAsked = nullptr) {
        LegacyImportHooks hooks;
        hooks.askDuplicate = [asked, answer](const QString&, const QString&) {
            if (asked) ++*asked;
            return answer;
        };
        hooks.replaceOperators = [=](const QStringList& names) {
            if (operatorsAsked) *operatorsAsked = names;
            return replaceOperators;
        };
        return importLegacyFile(file, gConn, QStringLiteral("test"), hooks);
    }

    // Renames a table or column in the copy's catalogue, where the name stands `occurrences` times.
    void renameInCopy(const QString& from, const QString& to, int occurrences = 1) {
        QFile file(m_legacy);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        QCOMPARE(bytes.count(encodedName(from)), occurrences);
        bytes.replace(encodedName(from), encodedName(to));
        file.seek(0);
        file.write(bytes);
    }

    static const TableImport* tableIn(const LegacyImportReport& report, const QString& table) {
        for (const TableImport& t : report.tables)
            if (t.table == table) return &t;
        return nullptr;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<TempConfigDir>();
        qputenv("ORVANTA_APP_DIR", m_dir->path().toUtf8());
        gConn.Close();
        gUseSqlServer = false;
        m_legacy = copyOfFixture(QStringLiteral("MoLian-legacy.mdb"));
        QVERIFY(!m_legacy.isEmpty());
    }

    void cleanup() { gConn.Close(); }

    void engines_data() {
        QTest::addColumn<TestDatabase::Kind>("kind");
        QTest::newRow("sqlite") << TestDatabase::Kind::Local;
        QTest::newRow("postgres") << TestDatabase::Kind::Server;
    }

    void importMatchesManifest_data() { engines_data(); }
    void importMatchesManifest() {
        QFETCH(TestDatabase::Kind, kind);
        const auto target = openDatabase(kind);
        if (!target) QSKIP("no PostgreSQL test server (ORVANTA_TEST_PG)");
        int asked = 0;
        const LegacyImportReport report = import(m_legacy, &asked);
        QVERIFY2(report.complete(), qPrintable(report.text()));
        QCOMPARE(asked, 0); // only the delivered 管理员 existed, asked about apart
        QCOMPARE(fileHash(m_legacy), fileHash(kFixtureDir + QStringLiteral("/MoLian-legacy.mdb")));

        QFile manifest(kFixtureDir + QStringLiteral("/MoLian-legacy.manifest.tsv"));
        QVERIFY(manifest.open(QIODevice::ReadOnly | QIODevice::Text));
        const QSqlDatabase db = gConn.database();
        const QHash<QString, QString> keyOf = {{QStringLiteral("DangAnKu"), QStringLiteral("证号")},
                                               {QStringLiteral("CaoZuoZheng"), QStringLiteral("证号")},
                                               {QStringLiteral("PeiXun"), QStringLiteral("编号")},
                                               {QStringLiteral("Users"), QStringLiteral("编号")}};
        int rowsCompared = 0;
        while (!manifest.atEnd()) {
            const QStringList f = QString::fromUtf8(manifest.readLine()).chopped(1).split(QLatin1Char('\t'));
            if (f[0] == QLatin1String("count") && f[1] == QLatin1String("List")) {
                QCOMPARE(tableIn(report, f[1])->read, f[2].toInt());
            } else if (f[0] == QLatin1String("count") && keyOf.contains(f[1])) {
                QCOMPARE(count(db, QStringLiteral("SELECT count(*) FROM %1").arg(f[1])), f[2].toLongLong());
            } else if (f[0] == QLatin1String("photos")) {
                QCOMPARE(
                    count(db, QStringLiteral("SELECT count(*) FROM %1 WHERE 照片 IS NOT NULL").arg(f[1])),
                    f[2].toLongLong());
            } else if (f[0] == QLatin1String("row")) {
                const QString& table = f[1];
                const QString column = f[3];
                const QString expected = f[4] == QLatin1String("\\N") ? f[4] : unescaped(f[4]);
                QSqlQuery q(db);
                q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(column, table, keyOf[table]));
                q.addBindValue(f[2]);
                QVERIFY2(q.exec() && q.next(), qPrintable(table + QLatin1Char(' ') + f[2]));
                const QString where = QStringLiteral("%1 %2 %3").arg(table, f[2], column);
                if (column == QLatin1String("PWD") && expected != QLatin1String("\\N") &&
                    !expected.isEmpty()) {
                    QVERIFY2(isPasswordHash(q.value(0).toString()), qPrintable(where));
                    QVERIFY2(passwordMatches(q.value(0), expected), qPrintable(where));
                } else {
                    const ColumnKind kindOfColumn = [&] {
                        for (const ColumnDef& c : tableDef(table).columns)
                            if (c.name == column) return c.kind;
                        return ColumnKind::Text;
                    }();
                    QCOMPARE(manifestForm(q.value(0), kindOfColumn) + QLatin1Char(' ') + where,
                             expected + QLatin1Char(' ') + where);
                }
                ++rowsCompared;
            }
        }
        QVERIFY(rowsCompared > 6000);
        // Options merge: every value once per category, the delivered ones kept.
        QCOMPARE(count(db, QStringLiteral("SELECT count(*) FROM (SELECT content, leixing FROM List "
                                          "GROUP BY content, leixing HAVING count(*) > 1) d")),
                 0);
        QCOMPARE(count(db, QStringLiteral(
                               "SELECT count(*) FROM List WHERE content = '本科' AND leixing = '文化程度'")),
                 1);
        QCOMPARE(count(db, QStringLiteral("SELECT count(*) FROM System")), 1);
    }

    void secondImportSkipsThenReplaces_data() { engines_data(); }
    void secondImportSkipsThenReplaces() {
        QFETCH(TestDatabase::Kind, kind);
        const auto target = openDatabase(kind);
        if (!target) QSKIP("no PostgreSQL test server (ORVANTA_TEST_PG)");
        QVERIFY(import(m_legacy).complete());
        target->exec(QStringLiteral("UPDATE DangAnKu SET 姓名 = '改过' WHERE 证号 = '1999-0000001'"));
        const QString name =
            QStringLiteral("SELECT count(*) FROM DangAnKu WHERE 证号 = '1999-0000001' AND 姓名 = '%1'");

        int asked = 0;
        const LegacyImportReport skipped = import(m_legacy, &asked, DuplicatePolicy::Skip);
        QVERIFY2(skipped.complete(), qPrintable(skipped.text()));
        QCOMPARE(asked, 1);
        QCOMPARE(tableIn(skipped, QStringLiteral("DangAnKu"))->skipped, 3000);
        QCOMPARE(tableIn(skipped, QStringLiteral("PeiXun"))->imported, 0);
        QCOMPARE(count(gConn.database(), name.arg(QStringLiteral("改过"))), 1);

        asked = 0;
        const LegacyImportReport replaced = import(m_legacy, &asked, DuplicatePolicy::Replace);
        QVERIFY2(replaced.complete(), qPrintable(replaced.text()));
        QCOMPARE(asked, 1);
        QCOMPARE(tableIn(replaced, QStringLiteral("CaoZuoZheng"))->replaced, 900);
        QCOMPARE(count(gConn.database(), name.arg(QStringLiteral("王明"))), 1);
        QCOMPARE(count(gConn.database(), QStringLiteral("SELECT count(*) FROM DangAnKu")), 3000);
        QVERIFY(replaced.text().contains(QStringLiteral("用旧数据替换")));
    }

    // A crafted old file never takes over an operator: not without a login, not by default, and
    // what an explicit replacement changes is named in the trail.
    void operatorsAreTakenOverOnlyWhenAsked_data() { engines_data(); }
    void operatorsAreTakenOverOnlyWhenAsked() {
        QFETCH(TestDatabase::Kind, kind);
        const auto target = openDatabase(kind);
        if (!target) QSKIP("no PostgreSQL test server (ORVANTA_TEST_PG)");
        const auto administratorPassword = [] {
            QSqlQuery q(gConn.database());
            q.exec(QStringLiteral("SELECT PWD FROM Users WHERE 姓名 = '管理员'"));
            return q.next() ? q.value(0) : QVariant();
        };
        const auto trail = [](const QString& action) {
            return count(gConn.database(),
                         QStringLiteral("SELECT count(*) FROM AuditLog WHERE 表名 = 'Users' AND 操作 = '%1'").arg(action));
        };
        const QVariant delivered = administratorPassword();
        QStringList asked;
        const LegacyImportReport kept = import(m_legacy, nullptr, DuplicatePolicy::Replace, false, &asked);
        QVERIFY2(kept.complete(), qPrintable(kept.text()));
        QCOMPARE(asked, QStringList{QStringLiteral("管理员")});
        QCOMPARE(administratorPassword(), delivered);
        QVERIFY(kept.text().contains(QStringLiteral("操作员 管理员 已存在，保留了现有的密码和权限。")));
        const qint64 added = count(gConn.database(), QStringLiteral("SELECT count(*) FROM Users")) - 1;
        QCOMPARE(count(gConn.database(),
                       QStringLiteral("SELECT count(DISTINCT 关键字) FROM AuditLog WHERE 表名 = 'Users' AND 操作 = '新增'")),
                 added);
        QCOMPARE(trail(QStringLiteral("修改")), 0);

        const LegacyImportReport replaced = import(m_legacy, nullptr, DuplicatePolicy::Skip, true, &asked);
        QVERIFY2(replaced.complete(), qPrintable(replaced.text()));
        QCOMPARE(asked.size(), added + 1);
        QVERIFY(administratorPassword() != delivered);
        QSqlQuery pwd(gConn.database());
        QVERIFY(pwd.exec(QStringLiteral("SELECT 新值 FROM AuditLog WHERE 操作 = '修改' AND 关键字 = '管理员' AND 字段 = 'PWD'")));
        QVERIFY(pwd.next());
        QCOMPARE(pwd.value(0).toString(), QStringLiteral("******（旧数据中的密码）"));
    }

    void commandLineKeepsOperatorsAndNeedsTheAdministrator() {
        const QString database = QDir(m_dir->path()).filePath(QStringLiteral("MoLian.mdb"));
        QCOMPARE(createLocalDatabase(database), QString());
        const QStringList import{QStringLiteral("orvanta"), QStringLiteral("--import-legacy"), m_legacy,
                                 QStringLiteral("--database"), database};
        QCOMPARE(runCommand(import).value_or(-1), 1);
        QCOMPARE(runCommand(import + operatorArguments(m_dir->path(), QStringLiteral("管理员"), QStringLiteral("735")))
                     .value_or(-1),
                 1);
        gConn.Open(localConnectionString(database));
        QCOMPARE(count(gConn.database(), QStringLiteral("SELECT count(*) FROM DangAnKu")), 0);
        gConn.Close();

        const auto administratorPassword = [&] {
            gConn.Open(localConnectionString(database));
            QSqlQuery q(gConn.database());
            const QVariant stored = q.exec(QStringLiteral("SELECT PWD FROM Users WHERE 姓名 = '管理员'")) && q.next()
                                        ? q.value(0)
                                        : QVariant();
            q.finish();
            gConn.Close();
            return stored;
        };
        const QVariant delivered = administratorPassword();
        QCOMPARE(runCommand(import + operatorArguments(m_dir->path())).value_or(-1), 0);
        QCOMPARE(administratorPassword(), delivered);
        QCOMPARE(runCommand(import + operatorArguments(m_dir->path()) + QStringList{QStringLiteral("--replace-operators")})
                     .value_or(-1),
                 0);
        QVERIFY(administratorPassword() != delivered);
    }

    void unusableFileChangesNothing_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("readerWarns"); // the reading library has its own words for it
        QTest::newRow("not a Jet file") << "text" << QStringLiteral("不是Access数据库文件") << false;
        QTest::newRow("cut mid-page") << "half" << QStringLiteral("已损坏或不完整") << false;
        QTest::newRow("cut at a page boundary") << "pages" << QStringLiteral("已损坏或不完整") << true;
        QTest::newRow("without PeiXun") << "no PeiXun" << QStringLiteral("没有表 PeiXun") << false;
    }
    void unusableFileChangesNothing() {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        QFETCH(bool, readerWarns);
        QFile file(m_legacy);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (damage == QLatin1String("text")) {
            file.resize(0);
            file.write("证号,姓名\n1,王明\n");
        } else if (damage == QLatin1String("half")) {
            file.resize(file.size() / 2 + 100);
        } else if (damage == QLatin1String("pages")) {
            file.resize(file.size() - 40 * 4096);
        }
        file.close();
        if (damage == QLatin1String("no PeiXun"))
            renameInCopy(QStringLiteral("PeiXun"), QStringLiteral("PeiXux"));
        const QByteArray before = fileHash(m_legacy);

        const auto target = openDatabase(TestDatabase::Kind::Local);
        const QByteArray databaseBefore = fileHash(target->localPath());
        StandardErrorCapture terminal;
        const LegacyImportReport report = import(m_legacy);
        QCOMPARE(terminal.lines(), QStringList()); // the library's English stays off the terminal
        QVERIFY(!report.complete());
        QVERIFY2(report.fatal.contains(message), qPrintable(report.fatal));
        QVERIFY(report.text().contains(QStringLiteral("没有导入任何数据")));
        QCOMPARE(report.outcome(), QStringLiteral("没有导入任何数据，请查看导入报告。"));
        QCOMPARE(!report.readerMessages.isEmpty(), readerWarns);
        for (const QString& said : report.readerMessages)
            QVERIFY2(report.text().contains(said), qPrintable(said));
        QCOMPARE(fileHash(m_legacy), before);
        gConn.Close();
        QCOMPARE(fileHash(target->localPath()), databaseBefore);
    }

    void refusedRowRollsBackItsTableOnly() {
        const auto target = openDatabase(TestDatabase::Kind::Local);
        target->exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON PeiXun WHEN NEW.编号 = 'PX00002' "
                                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        const LegacyImportReport report = import(m_legacy);
        QVERIFY(!report.complete());
        QCOMPARE(report.outcome(), QStringLiteral("旧数据没有全部导入，请查看导入报告。"));
        const TableImport* peiXun = tableIn(report, QStringLiteral("PeiXun"));
        QVERIFY(peiXun->failed);
        QCOMPARE(peiXun->imported, 0);
        QVERIFY2(peiXun->problems.join(QString()).contains(QStringLiteral("'PX00002'")),
                 qPrintable(report.text()));
        QCOMPARE(count(gConn.database(), QStringLiteral("SELECT count(*) FROM PeiXun")), 0);
        QCOMPARE(count(gConn.database(), QStringLiteral("SELECT count(*) FROM CaoZuoZheng")), 900);
        // The trail names each imported table once and keeps nothing of the rolled-back one.
        const QString trail = QStringLiteral("SELECT count(*) FROM AuditLog WHERE 操作 = '导入' AND 表名 = '%1'");
        QCOMPARE(count(gConn.database(), trail.arg(QStringLiteral("CaoZuoZheng"))), 1);
        QCOMPARE(count(gConn.database(), trail.arg(QStringLiteral("PeiXun"))), 0);
    }

    void tableUnknownHereIsNamed() {
        renameInCopy(QStringLiteral("System"), QStringLiteral("临时表TMP"), 2);
        const auto target = openDatabase(TestDatabase::Kind::Local);
        const LegacyImportReport report = import(m_legacy);
        QVERIFY2(report.complete(), qPrintable(report.text()));
        QCOMPARE(report.otherTables, QStringList{QStringLiteral("临时表TMP")});
        QVERIFY2(report.text().contains(QStringLiteral("旧数据文件中的表 临时表TMP 不属于本系统导入的数据，没有导入。")),
                 qPrintable(report.text()));
    }

    void columnUnknownHereIsListedAndLeftOut() {
        renameInCopy(QStringLiteral("评定成绩"), QStringLiteral("评定等级"));
        const auto target = openDatabase(TestDatabase::Kind::Local);
        const LegacyImportReport report = import(m_legacy);
        QVERIFY2(report.complete(), qPrintable(report.text()));
        QVERIFY2(tableIn(report, QStringLiteral("DangAnKu"))
                     ->problems.join(QString())
                     .contains(QStringLiteral("评定等级")),
                 qPrintable(report.text()));
        QCOMPARE(
            count(gConn.database(), QStringLiteral("SELECT count(*) FROM DangAnKu WHERE 评定成绩 IS NULL")),
            3000);
    }

    void jetFileOfferedAsDatabasePointsToImport() {
        QFile ini(QDir(m_dir->path()).filePath(QStringLiteral("data.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(m_legacy.toUtf8() + "\n");
        ini.close();
        const QString ours = QDir(m_dir->path()).filePath(QStringLiteral("新.mdb"));
        QCOMPARE(createLocalDatabase(ours), QString());
        const QByteArray before = fileHash(m_legacy);

        ScriptedDialogs dialogs;
        dialogs.answerOpen(ours);
        QVERIFY(OpenDatabase());
        QCOMPARE(gDbPath, ours);
        const auto boxes = dialogs.calls(ScriptedDialogs::Kind::MsgBox);
        QVERIFY(boxes.size() >= 1);
        const QString jetBox =
            boxes.size() == 1 ? boxes[0].text : boxes[1].text; // after the print.dat notice
        QVERIFY2(jetBox.contains(m_legacy) && jetBox.contains(QStringLiteral("旧版的Access数据库")) &&
                     jetBox.contains(QStringLiteral("[导入旧数据]")),
                 qPrintable(jetBox));
        for (const auto& box : boxes)
            QVERIFY(!box.text.contains(QStringLiteral("SqlServer")));
        QCOMPARE(fileHash(m_legacy), before);

        // A scheduled job pointed at the old file is refused the same way.
        gConn.Close();
        QVERIFY(runCommand({QStringLiteral("orvanta"), QStringLiteral("--due-list"),
                            QStringLiteral("--within"), QStringLiteral("30"), QStringLiteral("--out"),
                            QDir(m_dir->path()).filePath(QStringLiteral("due.csv")),
                            QStringLiteral("--database"), m_legacy}) != 0);
        QCOMPARE(fileHash(m_legacy), before);
    }

    void commandLineExitStatus_data() {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("jetAsDatabase");
        QTest::addColumn<int>("status");
        QTest::newRow("default skip") << QStringList() << false << 0;
        QTest::newRow("replace") << QStringList{QStringLiteral("--on-duplicate"), QStringLiteral("replace")}
                                 << false << 0;
        QTest::newRow("unknown choice")
            << QStringList{QStringLiteral("--on-duplicate"), QStringLiteral("ask")} << false << 1;
        QTest::newRow("old file as database") << QStringList() << true << 1;
    }
    void commandLineExitStatus() {
        QFETCH(QStringList, extra);
        QFETCH(bool, jetAsDatabase);
        QFETCH(int, status);
        const QString database = QDir(m_dir->path()).filePath(QStringLiteral("MoLian.mdb"));
        QCOMPARE(createLocalDatabase(database), QString());
        const QStringList arguments =
            QStringList{QStringLiteral("orvanta"), QStringLiteral("--import-legacy"), m_legacy,
                        QStringLiteral("--database"),
                        jetAsDatabase ? copyOfFixture(QStringLiteral("other.mdb")) : database} +
            operatorArguments(m_dir->path()) + extra;
        QCOMPARE(runCommand(arguments).value_or(-1), status);
        const QStringList reports = QDir(m_dir->path()).entryList({QStringLiteral("导入报告-*.txt")});
        QCOMPARE(reports.size(), status == 0 ? 1 : 0);
    }

    void windowAsksOnceAndShowsTheReport() {
        const auto target = openDatabase(TestDatabase::Kind::Local);
        QVERIFY(import(m_legacy).complete());
        gDbPath = target->localPath();
        gOperator = QStringLiteral("管理员");

        ScriptedDialogs dialogs;
        dialogs.answerMsgBox(vb::Yes); // replace the records that exist
        dialogs.answerMsgBox(vb::No);  // but keep the operators
        dialogs.answerMsgBox(vb::OK);
        fDaoRu window;
        window.setFile(m_legacy);
        window.cmdImport_Click();
        const auto boxes = dialogs.calls(ScriptedDialogs::Kind::MsgBox);
        QCOMPARE(boxes.size(), 3);
        QCOMPARE(boxes[0].buttons, vb::YesNo);
        QVERIFY(boxes[1].text.contains(QStringLiteral("管理员")));
        QCOMPARE(boxes[1].buttons, vb::YesNo);
        QCOMPARE(boxes[2].icon, vb::Information);
        QVERIFY(window.reportText().contains(QStringLiteral("保留了现有的密码和权限")));
        QVERIFY(window.reportText().contains(QStringLiteral("3000 条已有的记录换成了旧数据")));

        const QStringList saved = QDir(target->folder()).entryList({QStringLiteral("导入报告-*.txt")});
        QCOMPARE(saved.size(), 1);
        QFile report(QDir(target->folder()).filePath(saved.first()));
        QVERIFY(report.open(QIODevice::ReadOnly));
        // The file holds what the window shows, but for the last line, which names the file.
        QCOMPARE(QString::fromUtf8(report.readAll()) + QStringLiteral("报告已保存在：%1\n").arg(report.fileName()),
                 window.reportText());
        QCOMPARE(gUsersRs->Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("管理员"));
    }
};

QTEST_MAIN(LegacyImportTest)
#include "tst_legacyimport.moc"
