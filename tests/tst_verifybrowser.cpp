// A real browser (headless Chromium) loads the page a scanned card opens, as a phone would, and
// its screenshot shows the certificate's status in its colour.
#include "TempConfigDir.h"
#include "TestDatabase.h"
#include "VerifyService.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class VerifyBrowserTest : public QObject {
    Q_OBJECT

    TempConfigDir m_config;
    QTemporaryDir m_dir;

    // Pixels of the screenshot within a few steps of `colour`.
    static int pixelsOf(const QImage& shot, QColor colour) {
        int count = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor pixel = shot.pixelColor(x, y);
                if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
                        std::abs(pixel.blue() - colour.blue()) < 24)
                    ++count;
            }
        return count;
    }

private slots:
    void screenshotShowsTheStatus_data() {
        QTest::addColumn<QString>("renewal");
        QTest::addColumn<QColor>("shown");
        QTest::addColumn<QColor>("notShown");
        const QColor green(0x1b, 0x7f, 0x2a), red(0xb3, 0x26, 0x1e);
        QTest::newRow("有效") << QDate::currentDate().addYears(2).toString(Qt::ISODate) << green << red;
        QTest::newRow("已过期") << QDate::currentDate().addDays(-3).toString(Qt::ISODate) << red << green;
    }
    void screenshotShowsTheStatus() {
        QFETCH(QString, renewal);
        QFETCH(QColor, shown);
        QFETCH(QColor, notShown);
        auto db = TestDatabase::create(TestDatabase::Kind::Local);
        db->execAll({QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 换证日期) VALUES ('B-1', '周七', '%1')").arg(renewal),
                     QStringLiteral("INSERT INTO VerifyToken (表名, 关键字, 核验码, 发码时间) "
                                    "VALUES ('DangAnKu', 'B-1', 'BROWSERBROWSERBROWSER001', '')")});
        VerifyRegisters registers;
        QCOMPARE(registers.openLocal(db->localPath()), QString());
        VerifyCounts counts;
        QCOMPARE(counts.open(m_dir.filePath(QStringLiteral("counts-%1.sqlite").arg(QTest::currentDataTag()))), QString());
        VerifyOptions options;
        options.title = QStringLiteral("某市应急管理局");
        VerifyService service(registers, counts, options);
        const quint16 port = service.listenOn(QHostAddress::LocalHost, 0);
        QVERIFY(port != 0);

        QTemporaryDir profile;
        const QString shot = m_dir.filePath(QStringLiteral("%1.png").arg(QTest::currentDataTag()));
        QProcess browser;
        // The browser keeps all it writes inside the test's folder.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), profile.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), profile.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), profile.filePath(QStringLiteral("cache")));
        browser.setProcessEnvironment(environment);
        browser.start(QStringLiteral("chromium"),
                      {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"), QStringLiteral("--disable-gpu"),
                       QStringLiteral("--user-data-dir=") + profile.path(), QStringLiteral("--window-size=412,800"),
                       QStringLiteral("--hide-scrollbars"), QStringLiteral("--screenshot=") + shot,
                       QStringLiteral("http://127.0.0.1:%1/v/BROWSERBROWSERBROWSER001").arg(port)});
        // The service answers from this thread's event loop while the browser loads.
        QVERIFY(QTest::qWaitFor([&] { return browser.state() == QProcess::NotRunning; }, 120000));
        const QImage image(shot);
        QVERIFY2(!image.isNull(), browser.readAllStandardError().constData());
        // The status stands in a box of its colour across the phone's width.
        QVERIFY(pixelsOf(image, shown) > 20000);
        QCOMPARE(pixelsOf(image, notShown), 0);
    }
};

QTEST_GUILESS_MAIN(VerifyBrowserTest)
#include "tst_verifybrowser.moc"
