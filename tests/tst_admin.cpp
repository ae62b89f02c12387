// Operators and rights, and the option lists, on both engines: what the forms refuse, what they
// store, and where they leave the shared operator record set.
#include "basGlobal.h"
#include "basSub.h"
#include "fOptions.h"
#include "fPassword.h"
#include "fUser.h"
#include "ModalDriver.h"
#include "Passwords.h"
#include "Popups.h"
#include "sAddUser.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"
#include "WindowHost.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QPushButton>
#include <QTest>

namespace {

template <class T = QWidget> T* child(QWidget* form, const char* name) {
    T* w = form->findChild<T*>(QLatin1String(name));
    Q_ASSERT(w);
    return w;
}

void click(QWidget* form, const char* name) {
    child<QPushButton>(form, name)->click();
}

void fillOperator(sAddUser* d, const QString& code, const QString& name, const QString& password,
                  const QString& confirmation) {
    child<QLineEdit>(d, "txtBanMa")->setText(code);
    child<QLineEdit>(d, "TxtUser")->setText(name);
    child<QLineEdit>(d, "TxtID")->setText(password);
    child<QLineEdit>(d, "TxtID2")->setText(confirmation);
}

} // namespace

class AdminTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;

    // One column of the operator's stored row; "<missing>" when there is no such operator.
    QVariant storedUser(const QString& name, const QString& column) {
        Recordset rs;
        rs.Open(
            Statement{QStringLiteral("check"), QStringLiteral("SELECT * FROM Users WHERE 姓名 = ?"), {name}},
            gConn);
        if (rs.IsEOF()) return QStringLiteral("<missing>");
        return rs.Fields(column).Value();
    }

    qint64 count(const QString& sql) {
        Recordset rs;
        rs.Open(sql, gConn);
        return rs.RecordCount();
    }

    QString currentOperator() { return gUsersRs->Fields(QStringLiteral("姓名")).Value().toString(); }

    static void choose(fUser& form, const QString& name) {
        child<QComboBox>(&form, "cboSysUser")->setCurrentText(name);
    }

    static QStringList lines(QWidget* form) {
        QStringList texts;
        auto* list = child<QListWidget>(form, "List1");
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    }

private slots:
    void initTestCase_data() {
        TestDatabase::addEngineRows("engine");
    }

    void init() {
        QFETCH_GLOBAL(int, engine);
        m_db = TestDatabase::create(TestDatabase::Kind(engine));
        if (!m_db) QSKIP("no test server: ORVANTA_TEST_PG is not set");
        m_config = std::make_unique<TempConfigDir>();
        m_db->execAll({QStringLiteral("INSERT INTO Users (编号, 姓名, PWD, 资料录入, 人员查询) "
                                      "VALUES ('002', '张三', 'x', TRUE, TRUE)"),
                       QStringLiteral("INSERT INTO Users (编号, 姓名, PWD) VALUES ('003', 'O''Neil', 'y')")});
        gConn.Open(m_db->connectionString());
        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gOperator = QStringLiteral("管理员");
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }

    void cleanup() {
        m_dialogs.reset();
        gUsersRs.reset();
        gConn.Close();
        m_db.reset();
        m_config.reset();
    }

    void addDialogRefusesBadInputWithItsMessages_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("empty code") << ""
                                    << "李四"
                                    << "1"
                                    << "1"
                                    << ""
                                    << "txtBanMa";
        QTest::newRow("empty name") << "010"
                                    << ""
                                    << "1"
                                    << "1"
                                    << "操作员名称不正确，第一个字不能为空！"
                                    << "TxtUser";
        QTest::newRow("leading blank") << "010"
                                       << " 李四"
                                       << "1"
                                       << "1"
                                       << "操作员名称不正确，第一个字不能为空！"
                                       << "TxtUser";
        QTest::newRow("code taken") << "002"
                                    << "李四"
                                    << "1"
                                    << "1"
                                    << "编号或姓名与已有的操作员重复！请重新输入！"
                                    << "txtBanMa";
        QTest::newRow("name taken") << "010"
                                    << "张三"
                                    << "1"
                                    << "1"
                                    << "编号或姓名与已有的操作员重复！请重新输入！"
                                    << "txtBanMa";
        QTest::newRow("quoted name taken") << "010"
                                           << "O'Neil"
                                           << "1"
                                           << "1"
                                           << "编号或姓名与已有的操作员重复！请重新输入！"
                                           << "txtBanMa";
        QTest::newRow("no password") << "010"
                                     << "李四"
                                     << ""
                                     << ""
                                     << "必须输入密码!"
                                     << "TxtID";
        QTest::newRow("not confirmed") << "010"
                                       << "李四"
                                       << "12"
                                       << "21"
                                       << "不能确认密码!"
                                       << "TxtID2";
    }

    void addDialogRefusesBadInputWithItsMessages() {
        QFETCH(QString, code);
        QFETCH(QString, name);
        QFETCH(QString, password);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        sAddUser dialog;
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        fillOperator(&dialog, code, name, password, confirmation);
        click(&dialog, "CmdAdd");
        QCOMPARE(m_dialogs->lastMessage().text, message);
        if (!message.isEmpty()) QCOMPARE(m_dialogs->lastMessage().icon, vb::Exclamation);
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(dialog.isVisible());
        QCOMPARE(count(QStringLiteral("Users")), 3);
    }

    void newOperatorGetsQueryAndPrintRightsAndIsShownInTheForm() {
        fUser form;
        ModalDriver modal;
        modal.on<sAddUser>([](sAddUser* d) {
            // Differs from 张三 only by a trailing blank: another operator.
            fillOperator(d, QStringLiteral("010"), QStringLiteral("张三 "), QStringLiteral("pw"),
                         QStringLiteral("pw"));
            click(d, "CmdAdd");
        });
        click(&form, "cmdNewSysUser");
        QCOMPARE(modal.pending(), 0);
        QCOMPARE(m_dialogs->msgBoxCount(), 0);

        const QString name = QStringLiteral("张三 ");
        QCOMPARE(storedUser(name, QStringLiteral("编号")).toString(), QStringLiteral("010"));
        const QVariant stored = storedUser(name, QStringLiteral("PWD"));
        QVERIFY(isPasswordHash(stored.toString()));
        QVERIFY(passwordMatches(stored, QStringLiteral("pw")));
        for (const char* right : {"人员查询", "打印操作", "求职登记", "招聘登记", "职位查询", "职位速配"})
            QVERIFY2(RightGranted(storedUser(name, QString::fromUtf8(right))), right);
        QVERIFY(!RightGranted(storedUser(name, QStringLiteral("资料录入"))));

        QCOMPARE(child<QComboBox>(&form, "cboSysUser")->currentText(), name);
        QCOMPARE(currentOperator(), name);
        QVERIFY(child<QCheckBox>(&form, "cekSysSetup")->isChecked());
        QVERIFY(child<QCheckBox>(&form, "cheUpdateShuju")->isChecked());
        QVERIFY(!child<QCheckBox>(&form, "cekUser")->isChecked());
        QVERIFY(child<QPushButton>(&form, "cmdDel")->isEnabled());
    }

    void cancelledAddStoresNothing() {
        fUser form;
        ModalDriver modal;
        modal.on<sAddUser>([](sAddUser* d) {
            fillOperator(d, QStringLiteral("010"), QStringLiteral("李四"), QStringLiteral("1"),
                         QStringLiteral("1"));
            QTest::keyClick(d, Qt::Key_Escape);
        });
        click(&form, "cmdNewSysUser");
        QCOMPARE(count(QStringLiteral("Users")), 3);
        QCOMPARE(child<QComboBox>(&form, "cboSysUser")->count(), 3);
    }

    void rightsTickedAreStoredAndSeenByTheRightCheck() {
        {
            fUser form;
            form.show();
            choose(form, QStringLiteral("O'Neil"));
            QVERIFY(child<QPushButton>(&form, "cmdDel")->isEnabled());
            auto* entry = child<QCheckBox>(&form, "cekUser");
            QVERIFY(!entry->isChecked());
            entry->click();
            QVERIFY(RightGranted(storedUser(QStringLiteral("O'Neil"), QStringLiteral("资料录入"))));

            // Choosing another shows that one's rights; coming back shows the stored tick.
            choose(form, QStringLiteral("张三"));
            child<QCheckBox>(&form, "cekSysSetup")->click();
            choose(form, QStringLiteral("O'Neil"));
            QVERIFY(entry->isChecked());
            QVERIFY(!RightGranted(storedUser(QStringLiteral("张三"), QStringLiteral("人员查询"))));

            // A name nobody has: nothing to delete, no boxes to tick.
            choose(form, QStringLiteral("无此人"));
            QVERIFY(!child<QPushButton>(&form, "cmdDel")->isEnabled());
            QVERIFY(!child<QWidget>(&form, "Frame1")->isEnabled());
            click(&form, "cmdClose");
            QVERIFY(!form.isVisible());
        }
        // Closing put the record set back on the logged-in operator.
        QCOMPARE(currentOperator(), QStringLiteral("管理员"));
    }

    // Not even the administrator: his own rights stay as they are.
    void nobodyTicksHisOwnRights() {
        for (const QString& self : {QStringLiteral("张三"), QStringLiteral("管理员")}) {
            gOperator = self;
            fUser form;
            choose(form, self);
            QVERIFY(!child<QWidget>(&form, "Frame1")->isEnabled());
            child<QCheckBox>(&form, "cekUser")->click();
            QVERIFY(RightGranted(storedUser(self, QStringLiteral("资料录入"))));
            choose(form, QStringLiteral("O'Neil"));
            QVERIFY(child<QWidget>(&form, "Frame1")->isEnabled());
        }
    }

    void passwordChangeRefusesWithItsMessages_data() {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("confirmation");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::newRow("wrong old") << "735"
                                   << "n"
                                   << "n"
                                   << "旧密码错误!" << int(vb::Critical);
        QTest::newRow("empty new") << "736"
                                   << ""
                                   << ""
                                   << "必须输入密码!" << int(vb::Exclamation);
        QTest::newRow("unconfirmed") << "736"
                                     << "n"
                                     << "N"
                                     << "不能确认密码!" << int(vb::Exclamation);
        QTest::newRow("changed") << "736"
                                 << "n"
                                 << "n"
                                 << "密码已修改!" << int(vb::Information);
    }
    void passwordChangeRefusesWithItsMessages() {
        QFETCH(QString, old);
        QFETCH(QString, typed);
        QFETCH(QString, confirmation);
        QFETCH(QString, message);
        QFETCH(int, icon);
        fPassword dialog(QStringLiteral("管理员"), fPassword::ChangeOwn);
        child<QLineEdit>(&dialog, "txtOld")->setText(old);
        child<QLineEdit>(&dialog, "txtNew")->setText(typed);
        child<QLineEdit>(&dialog, "txtNew2")->setText(confirmation);
        click(&dialog, "cmdOk");
        QCOMPARE(m_dialogs->lastMessage().text, message);
        QCOMPARE(int(m_dialogs->lastMessage().icon), icon);
        const bool changed = icon == int(vb::Information);
        QCOMPARE(dialog.result(), changed ? int(QDialog::Accepted) : int(QDialog::Rejected));
        const QVariant stored = storedUser(QStringLiteral("管理员"), QStringLiteral("PWD"));
        QCOMPARE(passwordMatches(stored, QStringLiteral("n")), changed);
        QCOMPARE(passwordMatches(stored, QStringLiteral("736")), !changed);
        QVERIFY(isPasswordHash(stored.toString()));
    }

    // The administrator sets a forgotten password without knowing it.
    void administratorSetsAnotherOperatorsPassword() {
        fUser form;
        choose(form, QStringLiteral("O'Neil"));
        ModalDriver modal;
        modal.on<fPassword>([](fPassword* d) {
            QVERIFY(!child<QLineEdit>(d, "txtOld")->isVisibleTo(d));
            child<QLineEdit>(d, "txtNew")->setText(QStringLiteral("新"));
            child<QLineEdit>(d, "txtNew2")->setText(QStringLiteral("新"));
            click(d, "cmdOk");
        });
        click(&form, "cmdPassword");
        QCOMPARE(modal.pending(), 0);
        QVERIFY(passwordMatches(storedUser(QStringLiteral("O'Neil"), QStringLiteral("PWD")),
                                QStringLiteral("新")));
        QCOMPARE(currentOperator(), QStringLiteral("O'Neil"));
    }

    void administratorCannotBeDeleted() {
        gOperator = QStringLiteral("张三");
        fUser form;
        choose(form, QStringLiteral("管理员"));
        QVERIFY(child<QPushButton>(&form, "cmdDel")->isEnabled());
        click(&form, "cmdDel");
        QCOMPARE(m_dialogs->msgBoxCount(), 1); // no question asked
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("系统管理员不能删除!"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Exclamation);
        QCOMPARE(storedUser(QStringLiteral("管理员"), QStringLiteral("编号")).toString(),
                 QStringLiteral("001"));
    }

    void deletionAsksFirst() {
        fUser form;
        choose(form, QStringLiteral("O'Neil"));
        m_dialogs->answerMsgBox(vb::No);
        click(&form, "cmdDel");
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("是否真的删除 'O'Neil'?"));
        QCOMPARE(m_dialogs->lastMessage().buttons, vb::YesNo);
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Question);
        QCOMPARE(count(QStringLiteral("Users")), 3);

        m_dialogs->answerMsgBox(vb::Yes);
        click(&form, "cmdDel");
        QCOMPARE(storedUser(QStringLiteral("O'Neil"), QStringLiteral("编号")).toString(),
                 QStringLiteral("<missing>"));
        auto* combo = child<QComboBox>(&form, "cboSysUser");
        QCOMPARE(combo->count(), 2);
        QVERIFY(combo->findText(QStringLiteral("O'Neil")) < 0);
        QVERIFY(!child<QPushButton>(&form, "cmdDel")->isEnabled());
    }

    void operatorWhoDeletedHimselfCannotLeaveUntilHeExistsAgain() {
        gOperator = QStringLiteral("张三");
        fUser form;
        form.show();
        choose(form, QStringLiteral("张三"));
        click(&form, "cmdDel");
        click(&form, "cmdClose");
        QVERIFY(form.isVisible());
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());

        ModalDriver modal;
        modal.on<sAddUser>([](sAddUser* d) {
            fillOperator(d, QStringLiteral("020"), QStringLiteral("张三"), QStringLiteral("1"),
                         QStringLiteral("1"));
            click(d, "CmdAdd");
        });
        click(&form, "cmdNewSysUser");
        choose(form, QStringLiteral("管理员"));
        click(&form, "cmdClose");
        QVERIFY(!form.isVisible());
        QCOMPARE(currentOperator(), QStringLiteral("张三"));
    }

    // ---- option lists

    void valueIsUniqueWithinItsCategoryOnly() {
        m_db->exec(QStringLiteral("DELETE FROM List"));
        QPointer<fOptions> form = fOptions::instance();
        form->show();
        auto* category = child<QComboBox>(form, "cboLX");
        auto* value = child<QLineEdit>(form, "txtAdd");
        QCOMPARE(category->currentIndex(), -1);

        // No category yet: the first one is proposed and nothing is stored.
        value->setText(QStringLiteral("司机"));
        click(form, "cmdAdd");
        QCOMPARE(category->currentText(), QStringLiteral("作业类别"));
        QCOMPARE(count(QStringLiteral("List")), 0);

        category->setCurrentText(QStringLiteral("职务"));
        click(form, "cmdAdd");
        category->setCurrentText(QStringLiteral("职业工种"));
        click(form, "cmdAdd");
        QCOMPARE(m_dialogs->msgBoxCount(), 0);
        click(form, "cmdAdd");
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("此内容已存在！"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Information);
        QCOMPARE(value->text(), QStringLiteral("司机"));

        // A quote is an ordinary character of a value.
        value->setText(QStringLiteral("O'Brien"));
        click(form, "cmdAdd");
        click(form, "cmdAdd");
        QCOMPARE(m_dialogs->msgBoxCount(), 2);

        QCOMPARE(lines(form), QStringList({QStringLiteral("司机[职务]"), QStringLiteral("司机[职业工种]"),
                                           QStringLiteral("O'Brien[职业工种]")}));
        QCOMPARE(count(QStringLiteral("List")), 3);
        // The kept ids are those of the stored rows, line by line.
        for (int i = 0; i < 3; ++i) {
            Recordset row;
            row.Open(Statement{QStringLiteral("check"),
                               QStringLiteral("SELECT * FROM List WHERE id = ?"),
                               {form->ids().at(i)}},
                     gConn);
            QCOMPARE(row.Fields(QStringLiteral("content")).Value().toString() + QLatin1Char('[') +
                         row.Fields(QStringLiteral("leixing")).Value().toString() + QLatin1Char(']'),
                     lines(form).at(i));
        }
        form->close();
        QTRY_VERIFY(!form);
    }

    void emptyValueGetsThePromptWhichASecondPressStores() {
        m_db->exec(QStringLiteral("DELETE FROM List"));
        QPointer<fOptions> form = fOptions::instance();
        form->show();
        child<QComboBox>(form, "cboLX")->setCurrentText(QStringLiteral("文化程度"));
        auto* value = child<QLineEdit>(form, "txtAdd");
        click(form, "cmdAdd");
        QCOMPARE(value->text(), QStringLiteral("在此输入备选内容"));
        QCOMPARE(value->selectedText(), value->text());
        QCOMPARE(count(QStringLiteral("List")), 0);
        click(form, "cmdAdd");
        QCOMPARE(lines(form), QStringList(QStringLiteral("在此输入备选内容[文化程度]")));
        form->close();
        QTRY_VERIFY(!form);
    }

    void deletingKeepsASelectionAndAllDeleteEmptiesEveryCategory() {
        QPointer<fOptions> form = fOptions::instance();
        form->show();
        auto* list = child<QListWidget>(form, "List1");
        auto* del = child<QPushButton>(form, "cmdDel");
        const int loaded = list->count();
        QCOMPARE(qint64(loaded), count(QStringLiteral("List")));
        QVERIFY(!del->isEnabled());

        list->setCurrentRow(1);
        QVERIFY(del->isEnabled());
        const QString next = list->item(2)->text();
        const qint64 gone = form->ids().at(1);
        click(form, "cmdDel");
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(list->currentItem()->text(), next);
        QVERIFY(del->isEnabled());
        QCOMPARE(count(QStringLiteral("SELECT * FROM List WHERE id = %1").arg(gone)), 0);

        // Deleting the last line selects the first.
        const QString first = list->item(0)->text();
        list->setCurrentRow(list->count() - 1);
        click(form, "cmdDel");
        QCOMPARE(list->count(), loaded - 2);
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(list->currentItem()->text(), first);
        QCOMPARE(qint64(form->ids().size()), count(QStringLiteral("List")));

        click(form, "cmdAllDel");
        QCOMPARE(list->count(), 0);
        QCOMPARE(count(QStringLiteral("List")), 0);
        QVERIFY(!child<QPushButton>(form, "cmdAllDel")->isEnabled());
        form->close();
        QTRY_VERIFY(!form);
    }

    void confirmSavesTitleAndScalingAndRetitlesTheMainWindow() {
        QMainWindow main;
        auto* area = new QMdiArea(&main);
        main.setCentralWidget(area);
        setMdiArea(area);
        main.setWindowTitle(QStringLiteral("Orvanta"));

        QPointer<fOptions> form = fOptions::instance();
        QCOMPARE(form->parentWidget(), &main);
        QCOMPARE(child<QLineEdit>(form, "txtTitle")->text(), QStringLiteral("Kestrova"));
        QVERIFY(child<QCheckBox>(form, "cekAutoSize")->isChecked());
        child<QCheckBox>(form, "cekAutoSize")->setChecked(false);
        form->show();
        QTest::keyClick(child<QLineEdit>(form, "txtTitle"), Qt::Key_Return); // Enter confirms
        QTRY_VERIFY(!form);
        QCOMPARE(main.windowTitle(), QStringLiteral("Kestrova"));
        const QString system = QStringLiteral("System");
        QCOMPARE(GetSetting(ProductTitle(), system, QStringLiteral("Title")), QStringLiteral("Kestrova"));
        QCOMPARE(GetSetting(ProductTitle(), system, QStringLiteral("cekAutoSize")), QStringLiteral("0"));

        // Cancel (Esc) keeps what was saved; the next opening reads it.
        form = fOptions::instance();
        QVERIFY(!child<QCheckBox>(form, "cekAutoSize")->isChecked());
        child<QLineEdit>(form, "txtTitle")->setText(QStringLiteral("新标题"));
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form));
        openPopup(child<QComboBox>(form, "cboLX"));
        QTest::keyClick(form->windowHandle(), Qt::Key_Escape); // closes only the open list
        QVERIFY(form && form->isVisible());
        activateAfterPopup(form);
        QTest::keyClick(child<QLineEdit>(form, "txtTitle"), Qt::Key_Escape);
        QTRY_VERIFY(!form);
        QCOMPARE(main.windowTitle(), QStringLiteral("Kestrova"));
        QCOMPARE(GetSetting(ProductTitle(), system, QStringLiteral("Title")), QStringLiteral("Kestrova"));
        setMdiArea(nullptr);
    }
};

QTEST_MAIN(AdminTest)
#include "tst_admin.moc"
