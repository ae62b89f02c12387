// The data source dialog: the remembered choice, the restore button and its key, and every way out.
#include "basGlobal.h"
#include "ModalDriver.h"
#include "fLinkData.h"
#include "sBeiFen.h"
#include "ModSql.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "StartUpHost.h"
#include "TempConfigDir.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

struct Host : StartUpHost {
    void showOperator(const QString&) override {}
};

QString savedChoice() {
    return GetSetting(ExeName(), QStringLiteral("System"), QStringLiteral("LinkData"));
}

} // namespace

class LinkDataTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_appDir;
    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    Host m_host;

    static QPushButton* button(fLinkData& d, const char* name) {
        return d.findChild<QPushButton*>(QLatin1String(name));
    }

private slots:
    void init() {
        m_appDir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<TempConfigDir>();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        qputenv("ORVANTA_APP_DIR", m_appDir->path().toUtf8());
        m_host = Host();
        gUseSqlServer = false;
        gDbPath.clear();
    }
    void cleanup() { m_dialogs.reset(); } // before the next one installs itself

    void firstRunChoosesTheLocalFile() {
        fLinkData dialog(&m_host);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("连接数据"));
        QVERIFY(!dialog.optData[0]->isChecked());
        QVERIFY(dialog.optData[1]->isChecked());
        QVERIFY(button(dialog, "cmdHuiFu")->isEnabled());
        QCOMPARE(dialog.optData[0]->objectName(), QStringLiteral("optData_0"));
    }

    void savedChoiceIsRestored_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("server");
        QTest::newRow("True") << QStringLiteral("True") << true;
        QTest::newRow("False") << QStringLiteral("False") << false;
        QTest::newRow("true") << QStringLiteral("true") << true;
        QTest::newRow("-1") << QStringLiteral("-1") << true;
        QTest::newRow("0") << QStringLiteral("0") << false;
        QTest::newRow("garbage") << QStringLiteral("服务器") << false;
    }
    void savedChoiceIsRestored() {
        QFETCH(QString, saved);
        QFETCH(bool, server);
        SaveSetting(ExeName(), QStringLiteral("System"), QStringLiteral("LinkData"), saved);
        fLinkData dialog(&m_host);
        QCOMPARE(dialog.optData[0]->isChecked(), server);
        QCOMPARE(dialog.optData[1]->isChecked(), !server);
        QCOMPARE(button(dialog, "cmdHuiFu")->isEnabled(), !server);
    }

    void restoreFollowsTheLocalOption() {
        fLinkData dialog(&m_host);
        dialog.optData[0]->click();
        QVERIFY(!button(dialog, "cmdHuiFu")->isEnabled());
        dialog.optData[1]->click();
        QVERIFY(button(dialog, "cmdHuiFu")->isEnabled());
    }

    void acceptSetsTheProviderAndSaves() {
        fLinkData dialog(&m_host);
        dialog.show();
        dialog.optData[0]->click();
        QTest::keyClick(dialog.optData[0], Qt::Key_Return); // Enter accepts
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(gUseSqlServer);
        QVERIFY(!m_host.bUnload);
        QCOMPARE(savedChoice(), QStringLiteral("True"));
    }

    void exitSavesTheSelectedOption() {
        fLinkData dialog(&m_host);
        dialog.show();
        dialog.optData[0]->click();
        button(dialog, "CancelButton")->click();
        QVERIFY(m_host.bUnload);
        QVERIFY(!gUseSqlServer);
        QCOMPARE(savedChoice(), QStringLiteral("True"));
    }

    void closeBoxSetsNoFlagButSaves() {
        gUseSqlServer = true;
        fLinkData dialog(&m_host);
        dialog.show();
        dialog.optData[1]->click();
        dialog.close();
        QVERIFY(!dialog.isVisible());
        QVERIFY(!m_host.bUnload);
        QVERIFY(gUseSqlServer); // untouched
        QCOMPARE(savedChoice(), QStringLiteral("False"));
    }

    void escRestoresOnlyWithTheLocalOption() {
        fLinkData dialog(&m_host);
        dialog.show();
        dialog.optData[0]->click();
        QTest::keyClick(dialog.optData[0], Qt::Key_Escape);
        QVERIFY(dialog.isVisible());
        QVERIFY(gDbPath.isEmpty());
        QVERIFY(!m_host.bUnload);

        dialog.optData[1]->click();
        ModalDriver driver;
        bool restoreShown = false;
        driver.on<sBeiFen>([&](sBeiFen* restore) {
            restoreShown = !restore->bBeiFen();
            restore->reject();
        });
        QTest::keyClick(dialog.optData[1], Qt::Key_Escape);
        QVERIFY(restoreShown);
        QVERIFY(dialog.isVisible()); // the restore was abandoned: the choice goes on
        QVERIFY(!m_host.bUnload);
        QCOMPARE(gDbPath, AppPath() + QStringLiteral("MoLian.mdb")); // no data.ini
    }

    void restoreTargetsTheFileNamedInDataIni() {
        const QString elsewhere = QDir(m_appDir->path()).filePath(QStringLiteral("档案.mdb"));
        QFile file(elsewhere);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QFile ini(QDir(m_appDir->path()).filePath(QStringLiteral("data.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(elsewhere.toUtf8() + "\r\n");
        ini.close();
        fLinkData dialog(&m_host);
        ModalDriver driver;
        driver.on<sBeiFen>([](sBeiFen* restore) { restore->reject(); });
        button(dialog, "cmdHuiFu")->click();
        QCOMPARE(driver.pending(), 0);
        QCOMPARE(gDbPath, elsewhere);
    }

    void failedSaveIsReportedAndTheDialogStillCloses() {
        // A settings folder that is a file cannot take the choice.
        QFile blocker(QDir(m_config->path()).filePath(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("ORVANTA_CONFIG_DIR", blocker.fileName().toUtf8());
        fLinkData dialog(&m_host);
        dialog.show();
        button(dialog, "OKButton")->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(m_dialogs->msgBoxCount(), 1);
        qputenv("ORVANTA_CONFIG_DIR", m_config->path().toUtf8());
    }
};

QTEST_MAIN(LinkDataTest)
#include "tst_linkdata.moc"
