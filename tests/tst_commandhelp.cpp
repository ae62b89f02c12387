#include "CommandHelp.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// The built program itself, as a scheduled job starts it: no display, a home of its own.
Run runProgram(const QStringList& arguments, const QString& home) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        environment.remove(QString::fromLatin1(name));
    environment.insert("HOME", home);
    environment.insert("ORVANTA_APP_DIR", home);
    environment.insert("ORVANTA_CONFIG_DIR", home + "/config");
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + "/orvanta", arguments);
    if (!process.waitForFinished(60000)) return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QStringList flags(const QList<CommandHelpEntry>& entries) {
    QStringList list;
    for (const CommandHelpEntry& entry : entries)
        list << entry.flag();
    return list;
}

// Every "--flag" the command-line sources compare a mode with or read a value of.
QStringList flagsInSources(const QString& pattern) {
    QStringList found;
    const QRegularExpression use(pattern);
    QDirIterator sources(QStringLiteral(CLI_SOURCE_DIR), {"*.cpp"});
    while (sources.hasNext()) {
        QFile file(sources.next());
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(file.readAll());
        for (auto match = use.globalMatch(text); match.hasNext();)
            found << match.next().captured(1);
    }
    found.removeDuplicates();
    return found;
}

} // namespace

class tst_commandhelp : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_home.isValid()); }

    void helpAndVersionNeedNoDisplay_data();
    void helpAndVersionNeedNoDisplay();
    void everyListedModeIsRun();
    void unknownModeIsRefused();
    void helpNamesEveryFlagTheModesRead();
    void manualPageSaysWhatHelpSays();
    void manualPageRendersWithoutWarnings();

private:
    QTemporaryDir m_home;
};

void tst_commandhelp::helpAndVersionNeedNoDisplay_data() {
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("expected");
    QTest::newRow("help") << "--help"
                          << "用法：orvanta";
    QTest::newRow("version") << "--version"
                             << "Orvanta " ORVANTA_VERSION;
}

void tst_commandhelp::helpAndVersionNeedNoDisplay() {
    QFETCH(QString, flag);
    QFETCH(QString, expected);
    const Run run = runProgram({flag}, m_home.path());
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.startsWith(expected), qPrintable(run.out));
    QCOMPARE(run.err, QString());
    if (flag == "--help")
        for (const QString& listed : flags(commandModes()) + flags(commandOptions()))
            QVERIFY2(run.out.contains("  " + listed), qPrintable(listed));
    QVERIFY(!QFileInfo::exists(m_home.filePath("MoLian.mdb")));
}

void tst_commandhelp::everyListedModeIsRun() {
    // Alone, every mode but help and version lacks what it needs and says so, before any database.
    for (const QString& mode : flags(commandModes())) {
        if (mode == "--help" || mode == "--version") continue;
        const Run run = runProgram({mode}, m_home.path());
        QVERIFY2(run.status > 0, qPrintable(mode));
        QVERIFY2(!run.err.contains("未知的命令行参数"), qPrintable(mode + ": " + run.err));
        QVERIFY2(!run.err.trimmed().isEmpty(), qPrintable(mode));
    }
    QVERIFY(!QFileInfo::exists(m_home.filePath("MoLian.mdb")));
}

void tst_commandhelp::unknownModeIsRefused() {
    const Run run = runProgram({"--frobnicate", "x"}, m_home.path());
    QCOMPARE(run.status, 1);
    QCOMPARE(run.err.trimmed(),
             QStringLiteral("未知的命令行参数：--frobnicate（orvanta --help 列出全部命令）"));
}

void tst_commandhelp::helpNamesEveryFlagTheModesRead() {
    const QStringList modes = flagsInSources(R"re(mode\(\) [!=]= QLatin1String\("(--[a-z-]+)"\))re");
    const QStringList options = flagsInSources(R"re((?:value|has)\(QStringLiteral\("(--[a-z-]+)"\))re");
    QVERIFY(modes.contains("--backup"));
    QVERIFY(options.contains("--database"));
    for (const QString& mode : modes)
        QVERIFY2(isListedMode(mode), qPrintable(mode));
    const QStringList listedOptions = flags(commandOptions());
    for (const QString& option : options)
        QVERIFY2(listedOptions.contains(option), qPrintable(option));
}

void tst_commandhelp::manualPageSaysWhatHelpSays() {
    const QString page = manualPage();
    QVERIFY(page.startsWith(".TH ORVANTA 1 "));
    for (const QString& listed : flags(commandModes()) + flags(commandOptions())) {
        QString escaped = listed;
        QVERIFY2(page.contains(escaped.replace("-", "\\-")), qPrintable(listed));
    }
    QVERIFY(page.contains("/etc/orvanta/orvanta.ini"));
    // An unescaped minus would be taken for a hyphen, and a line starting with a dot for a request.
    for (const QString& line : page.split('\n')) {
        if (line.startsWith('.')) continue;
        QVERIFY2(!QRegularExpression(R"((?<!\\)-)").match(line).hasMatch(), qPrintable(line));
    }
}

void tst_commandhelp::manualPageRendersWithoutWarnings() {
    const QString file = m_home.filePath("orvanta.1");
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(manualPage().toUtf8());
    out.close();
    QProcess man;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MANWIDTH", "80");
    man.setProcessEnvironment(environment);
    man.start("man", {"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", file});
    if (!man.waitForStarted()) QSKIP("man is not installed");
    QVERIFY(man.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(man.readAllStandardError()), QString());
    QCOMPARE(man.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_commandhelp)
#include "tst_commandhelp.moc"
