#include "adodb.h"
#include "settings.h"
#include "TempConfigDir.h"

#include <memory>
#include <QDir>
#include <QFile>
#include <QtTest>

class tst_settings : public QObject {
    Q_OBJECT

private slots:
    void init() { m_config = std::make_unique<TempConfigDir>(); }
    void cleanup() { m_config.reset(); }

    void sectionNamesIgnoreCase();
    void handWrittenSectionSpellings_data();
    void handWrittenSectionSpellings();
    void valuesRoundTrip_data();
    void valuesRoundTrip();
    void defaultWhenAbsent();
    void environmentVariableMovesTheStore();
    void applicationNamesAreSeparate();
    void applicationNameStaysInsideTheStore();
    void savedValueIsOnDiskAtOnce();
    void valueChangedByAnotherInstanceIsRead();
    void failedSaveIsReported();
    void exeNameIsTheProgramBaseName();

private:
    QString storeFile(const QString& appName) const {
        return QDir(m_config->path()).filePath(appName + ".ini");
    }

    std::unique_ptr<TempConfigDir> m_config;
};

void tst_settings::sectionNamesIgnoreCase() {
    SaveSetting("orvanta", "System", "LinkData", "True");
    QCOMPARE(GetSetting("orvanta", "system", "LinkData"), QString("True"));
    QCOMPARE(GetSetting("orvanta", "SYSTEM", "LinkData"), QString("True"));

    // Writing under the other spelling replaces the value instead of adding a second section.
    SaveSetting("orvanta", "system", "LinkData", "False");
    QCOMPARE(GetSetting("orvanta", "System", "LinkData"), QString("False"));
    QFile file(storeFile("orvanta"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count("LinkData"), qsizetype(1));
}

void tst_settings::handWrittenSectionSpellings_data() {
    QTest::addColumn<QString>("section");
    QTest::newRow("capitalised") << "System";
    QTest::newRow("lower case") << "system";
    QTest::newRow("upper case") << "SYSTEM";
}

void tst_settings::handWrittenSectionSpellings() {
    QFETCH(QString, section);
    QFile file(storeFile("Orvanta"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QString("[%1]\nTitle=安全培训档案\ncekAutoSize=0\n").arg(section).toUtf8());
    file.close();
    for (const char* asked : {"System", "system", "SYSTEM"})
        QCOMPARE(GetSetting("Orvanta", asked, "Title"), QString("安全培训档案"));

    // The program's own spelling replaces the hand-written value; other keys stay where they were.
    SaveSetting("Orvanta", "System", "Title", "新标题");
    QCOMPARE(GetSetting("Orvanta", section, "Title"), QString("新标题"));
    QCOMPARE(GetSetting("Orvanta", "System", "cekAutoSize"), QString("0"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QCOMPARE(written.count("Title="), qsizetype(1));
    QVERIFY(written.contains("[system]"));
}

void tst_settings::valuesRoundTrip_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("counter") << "证书证号"
                             << "120";
    QTest::newRow("chinese value") << "证号"
                                   << "张三，李四";
    QTest::newRow("commas") << "培训证号"
                            << "a,b,c";
    QTest::newRow("leading at sign") << "Title"
                                     << "@Variant(0)";
    QTest::newRow("quotes and semicolon") << "Server"
                                          << "\"db\"; x=1";
    QTest::newRow("edge spaces") << "ListOut"
                                 << "  姓名 性别  ";
    QTest::newRow("line break") << "备注"
                                << "第一行\n第二行";
    QTest::newRow("empty value") << "空值"
                                 << "";
    QTest::newRow("key with spaces") << "列 宽度"
                                     << "15";
}

void tst_settings::valuesRoundTrip() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    SaveSetting("orvanta", "system", key, value);
    QCOMPARE(GetSetting("orvanta", "system", key, "default"), value);
}

void tst_settings::defaultWhenAbsent() {
    QCOMPARE(GetSetting("Orvanta", "System", "Title", "Orvanta"), QString("Orvanta")); // no file yet
    QCOMPARE(GetSetting("Orvanta", "System", "Title"), QString());

    SaveSetting("Orvanta", "System", "cekAutoSize", "0");
    QCOMPARE(GetSetting("Orvanta", "System", "Title", "Orvanta"), QString("Orvanta")); // other key
    QCOMPARE(GetSetting("Orvanta", "ListOut", "cekAutoSize", "1"), QString("1"));      // other section
}

void tst_settings::environmentVariableMovesTheStore() {
    SaveSetting("orvanta", "system", "Server", "first");
    QVERIFY(QFile::exists(storeFile("orvanta")));

    TempConfigDir other;
    QCOMPARE(GetSetting("orvanta", "system", "Server", "none"), QString("none"));
    SaveSetting("orvanta", "system", "Server", "second");
    QVERIFY(QFile::exists(QDir(other.path()).filePath("orvanta.ini")));
    QCOMPARE(GetSetting("orvanta", "system", "Server"), QString("second"));
}

void tst_settings::applicationNamesAreSeparate() {
    SaveSetting("Orvanta", "System", "LinkData", "product");
    SaveSetting("tst_settings", "System", "LinkData", "program");
    QCOMPARE(GetSetting("Orvanta", "System", "LinkData"), QString("product"));
    QCOMPARE(GetSetting("tst_settings", "System", "LinkData"), QString("program"));
    QCOMPARE(GetSetting("other", "System", "LinkData", "none"), QString("none"));
}

void tst_settings::applicationNameStaysInsideTheStore() {
    QTemporaryDir outside;
    const QString escaping = outside.path() + "/../escaped";
    SaveSetting(escaping, "system", "Server", "x");
    QCOMPARE(GetSetting(escaping, "system", "Server"), QString("x"));
    QVERIFY(!QFile::exists(outside.path() + "/../escaped.ini"));
    QCOMPARE(QDir(m_config->path()).entryList(QDir::Files).size(), qsizetype(1));
}

void tst_settings::savedValueIsOnDiskAtOnce() {
    SaveSetting("orvanta", "system", "Server", "db-host-17");
    QFile file(storeFile("orvanta"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("db-host-17"));
}

void tst_settings::valueChangedByAnotherInstanceIsRead() {
    SaveSetting("orvanta", "system", "Server", "old");
    QCOMPARE(GetSetting("orvanta", "system", "Server"), QString("old"));

    // Another copy of the program rewrites the file behind this one's back.
    QFile file(storeFile("orvanta"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[system]\nServer=changed elsewhere\nListOut=a,b\n");
    file.close();
    QCOMPARE(GetSetting("orvanta", "system", "Server"), QString("changed elsewhere"));
    // Unquoted commas written by hand are still one text.
    QCOMPARE(GetSetting("orvanta", "system", "ListOut"), QString("a,b"));
}

void tst_settings::failedSaveIsReported() {
    // A folder below a plain file cannot be created, not even by root.
    QFile blocker(QDir(m_config->path()).filePath("blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("ORVANTA_CONFIG_DIR", (blocker.fileName() + "/store").toLocal8Bit());

    try {
        SaveSetting("orvanta", "system", "证书证号", "5");
        QFAIL("a lost value was reported as saved");
    } catch (const DbError& e) {
        QCOMPARE(e.number, SettingsWriteError);
        QVERIFY(e.description.contains("orvanta.ini"));
    }
}

void tst_settings::exeNameIsTheProgramBaseName() {
    QCOMPARE(ExeName(), QString("tst_settings"));
}

QTEST_GUILESS_MAIN(tst_settings)
#include "tst_settings.moc"
