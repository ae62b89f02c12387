// Start-up sequence and main window: data source, database, login, the settings read on the way,
// the menu and what its items do before their windows open.
#include "basGlobal.h"
#include "fAbout.h"
#include "fDaoQi.h"
#include "fDaoRu.h"
#include "fEnter.h"
#include "fLinkData.h"
#include "fMain.h"
#include "fPassword.h"
#include "ModalDriver.h"
#include "ModSql.h"
#include "Passwords.h"
#include "sBeiFen.h"
#include "Schema.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "StatusLabel.h"
#include "TempConfigDir.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

namespace {

void click(QWidget* dialog, const char* button) {
    auto* b = dialog->findChild<QPushButton*>(QLatin1String(button));
    QVERIFY2(b, button);
    b->click();
}

void logIn(fEnter* dialog, const QString& name, const QString& password) {
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("cboCZY"));
    combo->setCurrentIndex(combo->findText(name));
    emit combo->activated(combo->currentIndex());
    dialog->findChild<QLineEdit*>(QStringLiteral("txtId"))->setText(password);
    click(dialog, "cmdOk");
}

} // namespace

class StartUpTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_appDir;
    std::unique_ptr<TempConfigDir> m_config;

    QString appFile(const QString& name) const { return QDir(m_appDir->path()).filePath(name); }

    void addDatabase() {
        QCOMPARE(createLocalDatabase(appFile(QStringLiteral("MoLian.mdb"))), QString());
        QCOMPARE(createPrintSettingsFile(appFile(QStringLiteral("print.dat"))), QString());
    }

    // Runs the whole start-up with the delivered database, accepting the local file and logging in
    // as the administrator, who leaves the delivered password for later.
    bool startAsAdministrator(fMain& window, ModalDriver& modal) {
        modal.on<fLinkData>([](fLinkData* d) { click(d, "OKButton"); });
        modal.on<fEnter>([](fEnter* d) { logIn(d, QStringLiteral("管理员"), QStringLiteral("736")); });
        modal.on<fPassword>([](fPassword* d) { click(d, "cmdCancel"); });
        return window.startUp();
    }

private slots:
    void init() {
        m_appDir = std::make_unique<QTemporaryDir>();
        m_config = std::make_unique<TempConfigDir>();
        qputenv("ORVANTA_APP_DIR", m_appDir->path().toUtf8());
        gConn.Close();
        gDbPath.clear();
        gUseSqlServer = false;
        gUsersRs.reset();
        gOperator.clear();
        gViewTable.clear();
        gAutoSize = false;
    }

    void exitAtDataSourceEndsBeforeAnyDatabaseIsOpened() {
        // No print.dat: opening the database would show its message at once.
        QCOMPARE(createLocalDatabase(appFile(QStringLiteral("MoLian.mdb"))), QString());
        ScriptedDialogs dialogs;
        ModalDriver modal;
        modal.on<fLinkData>([](fLinkData* d) { click(d, "CancelButton"); });
        modal.on<fEnter>([](fEnter* d) { d->reject(); });
        fMain window;
        QVERIFY(!window.startUp());
        QVERIFY(window.bUnload);
        QVERIFY(!window.isVisible());
        QCOMPARE(modal.pending(), 1); // never reached the login
        QCOMPARE(gConn.State(), int(ado::adStateClosed));
        QCOMPARE(dialogs.msgBoxCount(), 0);
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("System"), QStringLiteral("LinkData")),
                 QStringLiteral("False"));
    }

    void cancelledLoginEndsAfterTheDatabaseIsOpen() {
        addDatabase();
        ScriptedDialogs dialogs;
        ModalDriver modal;
        modal.on<fLinkData>([](fLinkData* d) { click(d, "OKButton"); });
        modal.on<fEnter>([](fEnter* d) { click(d, "cmdCancel"); });
        fMain window;
        QVERIFY(!window.startUp());
        QCOMPARE(modal.pending(), 0);
        QVERIFY(window.bUnload);
        QVERIFY(!window.bEnter);
        QVERIFY(!window.isVisible());
        QCOMPARE(gConn.State(), int(ado::adStateOpen));
    }

    void closeBoxesGoOnWithTheLocalFileThenEnd() {
        addDatabase();
        gUseSqlServer = true; // left as it was by the close box
        SaveSetting(ExeName(), QStringLiteral("System"), QStringLiteral("LinkData"), QStringLiteral("True"));
        ScriptedDialogs dialogs;
        dialogs.answerInput(std::nullopt);
        dialogs.answerMsgBox(vb::Ignore); // server unreachable: fall back to the local file
        ModalDriver modal;
        modal.on<fLinkData>([](fLinkData* d) {
            d->optData[1]->click();
            d->close();
        });
        modal.on<fEnter>([](fEnter* d) { d->close(); });
        fMain window;
        QVERIFY(!window.startUp());
        QCOMPARE(modal.pending(), 0);
        QVERIFY(!window.bUnload);
        QVERIFY(!window.bEnter);
        QVERIFY(!window.isVisible());
        QCOMPARE(GetSetting(ExeName(), QStringLiteral("System"), QStringLiteral("LinkData")),
                 QStringLiteral("False"));
    }

    void failedOpenEndsWithoutLoginAndRestoresThePointer() {
        QCOMPARE(createPrintSettingsFile(appFile(QStringLiteral("print.dat"))), QString());
        ScriptedDialogs dialogs;
        dialogs.answerOpen(std::nullopt); // no database file, search cancelled
        ModalDriver modal;
        modal.on<fLinkData>([](fLinkData* d) { click(d, "OKButton"); });
        modal.on<fEnter>([](fEnter* d) { d->reject(); });
        fMain window;
        QVERIFY(!window.startUp());
        QCOMPARE(modal.pending(), 1);
        QVERIFY(!window.isVisible());
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void loginRunsTheProgram() {
        addDatabase();
        ScriptedDialogs dialogs;
        ModalDriver modal;
        fMain window;
        QVERIFY(startAsAdministrator(window, modal));
        QVERIFY(window.isVisible());
        QVERIFY(window.bEnter);
        QVERIFY(!window.bUnload);
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvanta")); // no "Title" saved
        QCOMPARE(gOperator, QStringLiteral("管理员"));
        QCOMPARE(window.panel(3)->text(), QStringLiteral("管理员"));
        QCOMPARE(gUsersRs->Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("管理员"));
        QVERIFY(!QGuiApplication::overrideCursor());
        // The delivered password is to be changed; left for later, the status bar keeps saying so.
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QCOMPARE(dialogs.lastMessage().buttons, vb::YesNo);
        QCOMPARE(modal.pending(), 0);
        QCOMPARE(window.panel(1)->text(), QStringLiteral("管理员仍在使用初始密码"));

        gStatusPanel.setText(QStringLiteral("正在填充"));
        QCOMPARE(window.panel(1)->text(), QStringLiteral("正在填充"));
        QCOMPARE(Prb()->maximum(), 1000);
        QCOMPARE(Prb()->objectName(), QStringLiteral("Prb"));
        QVERIFY(!Prb()->isVisible());
        QCOMPARE(Prb()->parentWidget()->objectName(), QStringLiteral("Pic"));
        window.close();
    }

    void aNewAdministratorPasswordEndsTheReminder() {
        addDatabase();
        ScriptedDialogs dialogs;
        ModalDriver modal;
        modal.on<fLinkData>([](fLinkData* d) { click(d, "OKButton"); });
        modal.on<fEnter>([](fEnter* d) { logIn(d, QStringLiteral("管理员"), QStringLiteral("736")); });
        modal.on<fPassword>([](fPassword* d) {
            for (const char* box : {"txtNew", "txtNew2"})
                d->findChild<QLineEdit*>(QLatin1String(box))->setText(QStringLiteral("新密码"));
            click(d, "cmdOk");
        });
        fMain window;
        QVERIFY(window.startUp());
        QCOMPARE(modal.pending(), 0);
        QCOMPARE(window.panel(1)->text(), QStringLiteral("就绪"));
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("密码已修改!"));
        QVERIFY(passwordMatches(gUsersRs->Fields(QStringLiteral("PWD")).Value(), QStringLiteral("新密码")));
        window.close();
    }

    void whatIsDueStandsBesideThePasswordWarning() {
        addDatabase();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("due"));
            db.setDatabaseName(appFile(QStringLiteral("MoLian.mdb")));
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(
                QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 换证日期) VALUES ('1', '甲', '%1')")
                    .arg(QDate::currentDate().addDays(10).toString(Qt::ISODate))));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("due"));
        ScriptedDialogs dialogs;
        ModalDriver modal;
        fMain window;
        QVERIFY(startAsAdministrator(window, modal));
        QCOMPARE(window.panel(1)->text(),
                 QStringLiteral("管理员仍在使用初始密码；1 张证书 1 项30天内到期，0 张证书 0 项已过期"));
        QTest::mouseClick(window.panel(1), Qt::LeftButton);
        QCOMPARE(fDaoQi::instance()->rowCount(), 1);
        delete fDaoQi::instance();
        window.close();
    }

    // Too narrow a panel cuts its text where a phrase or word ends, so no count is shown cut short.
    void narrowPanelCutsBetweenWords() {
        StatusLabel panel(QStringLiteral("12955 张证书 12955 项30天内到期，897460 张证书 2242976 项已过期"));
        panel.resize(panel.fontMetrics().horizontalAdvance(
                         QStringLiteral("12955 张证书 12955 项30天内到期，897460 张证书 22429…")),
                     20);
        QVERIFY(panel.elided());
        QCOMPARE(panel.shownText(), QStringLiteral("12955 张证书 12955 项30天内到期，897460 张证书…"));
        panel.resize(panel.fontMetrics().horizontalAdvance(QStringLiteral("12955 张证书 12955 项30天内到期，89…")),
                     20);
        QCOMPARE(panel.shownText(), QStringLiteral("12955 张证书 12955 项30天内到期，…"));
    }

    void captionComesFromTheSettings() {
        addDatabase();
        SaveSetting(ProductTitle(), QStringLiteral("System"), QStringLiteral("Title"),
                    QStringLiteral("某市安全培训中心"));
        ScriptedDialogs dialogs;
        ModalDriver modal;
        fMain window;
        QVERIFY(startAsAdministrator(window, modal));
        QCOMPARE(window.windowTitle(), QStringLiteral("某市安全培训中心"));
        MsgBox(QStringLiteral("提示"));
        QCOMPARE(dialogs.lastMessage().title, QStringLiteral("某市安全培训中心")); // message boxes too
        window.close();
    }

    void autoSizeSetting_data() {
        QTest::addColumn<QString>("saved"); // null: absent
        QTest::addColumn<bool>("autoSize");
        QTest::newRow("absent") << QString() << true;
        QTest::newRow("1") << QStringLiteral("1") << true;
        QTest::newRow("0") << QStringLiteral("0") << false;
        QTest::newRow("2") << QStringLiteral("2") << false;
        QTest::newRow("not a number") << QStringLiteral("是") << true;
        QTest::newRow("empty") << QStringLiteral("") << true;
    }
    void autoSizeSetting() {
        QFETCH(QString, saved);
        QFETCH(bool, autoSize);
        addDatabase();
        if (!saved.isNull())
            SaveSetting(ProductTitle(), QStringLiteral("System"), QStringLiteral("cekAutoSize"), saved);
        gAutoSize = !autoSize;
        ScriptedDialogs dialogs;
        ModalDriver modal;
        modal.on<fLinkData>([](fLinkData* d) { click(d, "OKButton"); });
        modal.on<fEnter>([](fEnter* d) { click(d, "cmdCancel"); }); // read before the login
        fMain window;
        QVERIFY(!window.startUp());
        QCOMPARE(gAutoSize, autoSize);
    }

    void menuFollowsTheTable() {
        fMain window;
        const QList<QPair<QString, QStringList>> expected = {
            {QStringLiteral("mnuZiLiao|【操作证录入】"),
             {QStringLiteral("mnuZLCZZ|[操作证录入]"), QStringLiteral("mnuZLZS|[证书录入]"),
              QStringLiteral("mnuZLpx|[安全生产培训录入]")}},
            {QStringLiteral("mnuFind|【查询】"),
             {QStringLiteral("mnuCZZCX|[操作证查询]"), QStringLiteral("mnuZSCX|[证书查询]"),
              QStringLiteral("mnuPxCX|[安全生产培训查询]"), QStringLiteral("mnuDaoQi|[到期提醒]"),
              QStringLiteral("mnuTJ|[统计]")}},
            {QStringLiteral("mnuTongJi|【列表查看】"),
             {QStringLiteral("mnuVczz|[操作证]"), QStringLiteral("mnuVzs|[证书]"),
              QStringLiteral("mnuVpx|[安全生产培训资料]")}},
            {QStringLiteral("mnuSystem|【系统】"),
             {QStringLiteral("mnuUser|[操作员设置]"), QStringLiteral("mnuPassword|[修改密码]"),
              QStringLiteral("mnuRiZhi|[操作日志]"), QStringLiteral("e|-"),
              QStringLiteral("mnuOption|[选项设置]"), QStringLiteral("mnuDaoRu|[导入旧数据]"),
              QStringLiteral("mnuPiLiang|[批量导入]"), QStringLiteral("mnuZhaoPian|[批量导入照片]"),
              QStringLiteral("mnuAbout|[关于系统]"), QStringLiteral("a|-"),
              QStringLiteral("mnuSysBackUp|[退出并备份数据]"), QStringLiteral("mnuExit|[退出系统]")}},
        };
        auto describe = [](const QAction* a) {
            return a->objectName() + QLatin1Char('|') + (a->isSeparator() ? QStringLiteral("-") : a->text());
        };
        const QList<QAction*> top = window.menuBar()->actions();
        QCOMPARE(top.size(), expected.size());
        for (qsizetype i = 0; i < top.size(); ++i) {
            QMenu* menu = top[i]->menu();
            QVERIFY(menu);
            QCOMPARE(menu->objectName() + QLatin1Char('|') + menu->title(), expected[i].first);
            QStringList items;
            for (const QAction* a : menu->actions())
                items << describe(a);
            QCOMPARE(items, expected[i].second);
        }
    }

    void importIsForTheAdministratorOnly() {
        addDatabase();
        ScriptedDialogs dialogs;
        ModalDriver modal;
        fMain window;
        QVERIFY(startAsAdministrator(window, modal));
        const int shown = dialogs.msgBoxCount();
        modal.on<fDaoRu>([](fDaoRu* form) { form->reject(); });
        window.findChild<QAction*>(QStringLiteral("mnuDaoRu"))->trigger();
        QCOMPARE(modal.pending(), 0);
        QCOMPARE(dialogs.msgBoxCount(), shown);

        gOperator = QStringLiteral("张丽");
        window.findChild<QAction*>(QStringLiteral("mnuDaoRu"))->trigger();
        QCOMPARE(dialogs.lastMessage().text,
                 QStringLiteral("对不起，您无'导入旧数据'权限!只有管理员可以使用该功能!"));
        QCOMPARE(dialogs.lastMessage().icon, vb::Critical);
    }

    void entryAndQueryItemsAskForTheirRightEveryTime() {
        addDatabase();
        ScriptedDialogs dialogs;
        ModalDriver modal;
        fMain window;
        QVERIFY(startAsAdministrator(window, modal));
        dialogs.clear();

        for (const char* item :
             {"mnuZLCZZ", "mnuZLZS", "mnuZLpx", "mnuCZZCX", "mnuZSCX", "mnuPxCX", "mnuDaoQi", "mnuTJ"})
            window.findChild<QAction*>(QLatin1String(item))->trigger();
        QCOMPARE(dialogs.msgBoxCount(), 0);

        // Rights taken away while the program runs are refused at the next choice.
        gUsersRs->Fields(QStringLiteral("资料录入")).setValue(false);
        gUsersRs->Fields(QStringLiteral("人员查询")).setValue(false);
        gUsersRs->Update();
        window.findChild<QAction*>(QStringLiteral("mnuZLZS"))->trigger();
        window.findChild<QAction*>(QStringLiteral("mnuZLZS"))->trigger();
        window.findChild<QAction*>(QStringLiteral("mnuPxCX"))->trigger();
        window.findChild<QAction*>(QStringLiteral("mnuDaoQi"))->trigger();
        window.findChild<QAction*>(QStringLiteral("mnuTJ"))->trigger();
        const auto boxes = dialogs.calls(ScriptedDialogs::Kind::MsgBox);
        QCOMPARE(boxes.size(), 5);
        QCOMPARE(boxes[4].text, boxes[2].text);
        QCOMPARE(boxes[1].text, QStringLiteral("对不起，您无'资料录入'权限!请通过管理员为您设置该权限!"));
        QCOMPARE(boxes[2].text, QStringLiteral("对不起，您无'人员查询'权限!请通过管理员为您设置该权限!"));
        QCOMPARE(boxes[2].icon, vb::Critical);
        QCOMPARE(dialogs.beepCount(), 5);

        const QList<QPair<const char*, QString>> lists = {{"mnuVczz", QStringLiteral("CaoZuoZheng")},
                                                          {"mnuVzs", QStringLiteral("DangAnKu")},
                                                          {"mnuVpx", QStringLiteral("PeiXun")}};
        for (const auto& [item, table] : lists) {
            window.findChild<QAction*>(QLatin1String(item))->trigger();
            QCOMPARE(gViewTable, table);
        }
        QCOMPARE(dialogs.msgBoxCount(), 5); // the list items need no right
        window.close();
    }

    void backupOnTheServerOpensTheBackupWindowForIt() {
        ScriptedDialogs dialogs;
        fMain window;
        window.show();
        gUseSqlServer = true;
        gConnStr = serverConnectionString(QStringLiteral("127.0.0.1,1")); // nothing answers there
        ModalDriver driver;
        QString said;
        driver.on<sBeiFen>([&](sBeiFen* backup) {
            said = backup->findChild<QLabel*>(QStringLiteral("LblMiMa"))->text();
            QVERIFY(!backup->findChild<QPushButton*>(QStringLiteral("CmdMiMa"))->isVisible());
            backup->reject();
        });
        window.findChild<QAction*>(QStringLiteral("mnuSysBackUp"))->trigger();
        gUseSqlServer = false;
        QVERIFY2(said.startsWith(QStringLiteral("PostgreSQL 备份，")), qPrintable(said));
        QCOMPARE(dialogs.msgBoxCount(), 0);
        QVERIFY(window.isVisible());
    }

    void aboutBoxIsModelessSingleAndGoesWithTheWindow() {
        fMain window;
        window.show();
        QAction* about = window.findChild<QAction*>(QStringLiteral("mnuAbout"));
        about->trigger();
        about->trigger();
        const auto boxes = window.findChildren<fAbout*>();
        QCOMPARE(boxes.size(), 1);
        QPointer<fAbout> box = boxes.first();
        QVERIFY(box->isVisible());
        QVERIFY(!box->isModal());
        QCOMPARE(box->windowTitle(), QStringLiteral("Belmira"));
        window.findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
        QVERIFY(!window.isVisible());
        QVERIFY(!box);
    }
};

QTEST_MAIN(StartUpTest)
#include "tst_startup.moc"
