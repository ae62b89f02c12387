// The audit trail and the doors the rights guard, on both engines: what an add, an edit, a delete
// and a rights change leave in AuditLog, that a failed change leaves nothing, the window that
// lists the trail, and what an operator without a right is refused.
#include "AuditLog.h"
#include "basGlobal.h"
#include "f1ZS.h"
#include "fMain.h"
#include "fOptions.h"
#include "fPassword.h"
#include "fPView.h"
#include "fRiZhi.h"
#include "fUser.h"
#include "ListView.h"
#include "ModalDriver.h"
#include "Operators.h"
#include "Passwords.h"
#include "SchemaUpgrade.h"
#include "ScriptedDialogs.h"
#include "ServerLibpq.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class AuditTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;

    // Operator, table, key, action, column, old and new value of every audit row, oldest first.
    static QStringList trail() {
        QStringList rows;
        ForEachRow(
            gConn,
            Statement{{},
                      QStringLiteral("SELECT 操作员, 表名, 关键字, 操作, 字段, 旧值, 新值 FROM AuditLog "
                                     "ORDER BY 编号"),
                      {}},
            [&](const QVariantList& row) {
                QStringList cells;
                for (const QVariant& v : row)
                    cells << v.toString();
                rows << cells.join(QLatin1Char('|'));
            });
        return rows;
    }

    static void addCertificate(Recordset& rs, const QString& key, const QString& name) {
        rs.AddNew();
        rs.Fields(QStringLiteral("证号")).setValue(key);
        rs.Fields(QStringLiteral("姓名")).setValue(name);
        rs.Update();
    }

    // Every audit insert fails from now on.
    void refuseAuditRows() {
        if (m_db->kind() == TestDatabase::Kind::Local) {
            m_db->exec(QStringLiteral(
                "CREATE TRIGGER refuse BEFORE INSERT ON AuditLog BEGIN SELECT RAISE(ABORT, 'refused'); END"));
            return;
        }
        m_db->execAll({QStringLiteral("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION "
                                      "'refused'; END $$ LANGUAGE plpgsql"),
                       QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON AuditLog FOR EACH ROW EXECUTE "
                                      "FUNCTION refuse()")});
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
        m_db->exec(QStringLiteral(
            "INSERT INTO Users (编号, 姓名, PWD, 人员查询) VALUES ('002', '张三', 'x', TRUE)"));
        gConn.Open(m_db->connectionString());
        LogInAs();
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }

    void cleanup() {
        delete f1ZS::instance();
        delete fRiZhi::instance();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_dialogs.reset();
        LogOut();
        gConn.Close();
        m_db.reset();
        m_config.reset();
    }

    void addEditAndDeleteLeaveTheirRows() {
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        const QByteArray photo("\xFF\xD8\xFF", 3);
        const QString photoText =
            QStringLiteral("3 字节 SHA-256 ") +
            QString::fromLatin1(QCryptographicHash::hash(photo, QCryptographicHash::Sha256).toHex());
        rs.AddNew();
        rs.Fields(QStringLiteral("证号")).setValue(QStringLiteral("A1"));
        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("张三"));
        rs.Fields(QStringLiteral("发证日期")).setValue(QDate(2020, 1, 2));
        rs.Fields(QStringLiteral("照片")).setValue(photo);
        rs.Fields(QStringLiteral("备注")).setValue(QString());
        rs.Update();
        QCOMPARE(trail(), QStringList({QStringLiteral("管理员|DangAnKu|A1|新增|证号||A1"),
                                       QStringLiteral("管理员|DangAnKu|A1|新增|姓名||张三"),
                                       QStringLiteral("管理员|DangAnKu|A1|新增|照片||") + photoText,
                                       QStringLiteral("管理员|DangAnKu|A1|新增|发证日期||2020-01-02")}));

        // Only what differs from the stored row is a change; an empty text over Null is none.
        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("李四"));
        rs.Fields(QStringLiteral("发证日期")).setValue(QDate(2020, 1, 2));
        rs.Fields(QStringLiteral("身份证号")).setValue(QString());
        rs.Update();
        QCOMPARE(trail().mid(4), QStringList({QStringLiteral("管理员|DangAnKu|A1|修改|姓名|张三|李四")}));

        rs.Delete();
        QCOMPARE(trail().mid(5),
                 QStringList({QStringLiteral("管理员|DangAnKu|A1|删除|证号|A1|"),
                              QStringLiteral("管理员|DangAnKu|A1|删除|姓名|李四|"),
                              QStringLiteral("管理员|DangAnKu|A1|删除|照片|") + photoText + '|',
                              QStringLiteral("管理员|DangAnKu|A1|删除|发证日期|2020-01-02|")}));
    }

    void aFailedChangeLeavesNoRowAndAFailedRowNoChange() {
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        addCertificate(rs, QStringLiteral("1"), QStringLiteral("甲"));
        const int before = trail().size();
        QVERIFY_THROWS_EXCEPTION(DbError, addCertificate(rs, QStringLiteral("1"), QStringLiteral("乙")));
        rs.CancelUpdate();
        QCOMPARE(trail().size(), before);

        refuseAuditRows();
        QVERIFY_THROWS_EXCEPTION(DbError, addCertificate(rs, QStringLiteral("2"), QStringLiteral("丙")));
        rs.CancelUpdate();
        rs.MoveFirst();
        rs.Fields(QStringLiteral("姓名")).setValue(QStringLiteral("丁"));
        QVERIFY_THROWS_EXCEPTION(DbError, rs.Update());
        rs.CancelUpdate();
        QVERIFY_THROWS_EXCEPTION(DbError, rs.Delete());

        Recordset stored;
        stored.Open(QStringLiteral("DangAnKu"), gConn);
        QCOMPARE(stored.RecordCount(), 1);
        QCOMPARE(stored.Fields(QStringLiteral("姓名")).Value().toString(), QStringLiteral("甲"));
        QCOMPARE(trail().size(), before);
    }

    void aCallersTransactionTakesTheRowsWithIt() {
        {
            WriteScope outer(gConn);
            Recordset rs;
            rs.Open(QStringLiteral("PeiXun"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
            rs.AddNew();
            rs.Fields(QStringLiteral("编号")).setValue(QStringLiteral("7"));
            rs.Update();
            AuditLog::record(gConn.database(), AuditLog::kImport, QString(), QString(), {},
                             QStringLiteral("1 条"));
            QCOMPARE(trail().size(), 2);
        } // not committed
        QCOMPARE(trail(), QStringList());
        Recordset stored;
        stored.Open(QStringLiteral("PeiXun"), gConn);
        QCOMPARE(stored.RecordCount(), 0);
    }

    // A backup or restore may write into a database made before the trail. On the server only
    // the owner's upgrade may add the table: the workstation's row is refused until then.
    void recordingIntoAnOlderDatabaseGivesItTheTable() {
        gConn.Close();
        m_db->exec(QStringLiteral("DROP TABLE AuditLog"));
        gConn.Open(m_db->connectionString());
        if (m_db->kind() == TestDatabase::Kind::Server) {
            QVERIFY_THROWS_EXCEPTION(DbError,
                                     AuditLog::record(gConn.database(), AuditLog::kRestore, QString(),
                                                      QString(), {}, QStringLiteral("MoLianBackUp.Mdb")));
            QCOMPARE(upgradeServerSchema(serverLibpq(*m_db)), QString());
        }
        AuditLog::record(gConn.database(), AuditLog::kRestore, QString(), QString(), {},
                         QStringLiteral("MoLianBackUp.Mdb"));
        QCOMPARE(trail(), QStringList({QStringLiteral("管理员|||恢复|||MoLianBackUp.Mdb")}));
    }

    void rightsAndPasswordsAreRecordedWithoutTheHash() {
        fUser form;
        form.findChild<QComboBox*>(QStringLiteral("cboSysUser"))->setCurrentText(QStringLiteral("张三"));
        form.findChild<QCheckBox*>(QStringLiteral("cekUser"))->click();
        ModalDriver modal;
        modal.on<fPassword>([](fPassword* d) {
            d->findChild<QLineEdit*>(QStringLiteral("txtNew"))->setText(QStringLiteral("新密码"));
            d->findChild<QLineEdit*>(QStringLiteral("txtNew2"))->setText(QStringLiteral("新密码"));
            d->findChild<QPushButton*>(QStringLiteral("cmdOk"))->click();
        });
        form.findChild<QPushButton*>(QStringLiteral("cmdPassword"))->click();
        QCOMPARE(modal.pending(), 0);
        QCOMPARE(trail(), QStringList({QStringLiteral("管理员|Users|张三|修改|资料录入|否|是"),
                                       QStringLiteral("管理员|Users|张三|修改|PWD|******|******")}));
        // Shown in the form, not only stored: the rights still show on the row the form stands on.
        QVERIFY(form.findChild<QCheckBox*>(QStringLiteral("cekUser"))->isChecked());
    }

    void optionListChangesAreRecorded() {
        fOptions* form = fOptions::instance();
        form->findChild<QComboBox*>(QStringLiteral("cboLX"))->setCurrentText(QStringLiteral("职务"));
        form->findChild<QLineEdit*>(QStringLiteral("txtAdd"))->setText(QStringLiteral("站长"));
        form->findChild<QPushButton*>(QStringLiteral("cmdAdd"))->click();
        auto* lines = form->findChild<QListWidget*>(QStringLiteral("List1"));
        lines->setCurrentRow(lines->count() - 1);
        form->findChild<QPushButton*>(QStringLiteral("cmdDel"))->click();
        form->cmdCancel_Click();
        QStringList rows = trail();
        rows.removeIf([](const QString& row) { return row.contains(QLatin1String("|id|")); });
        QCOMPARE(rows, QStringList({QStringLiteral("管理员|List|站长[职务]|新增|content||站长"),
                                    QStringLiteral("管理员|List|站长[职务]|新增|leixing||职务"),
                                    QStringLiteral("管理员|List|站长[职务]|删除|content|站长|"),
                                    QStringLiteral("管理员|List|站长[职务]|删除|leixing|职务|")}));
    }

    void theWindowListsNewestFirstByOperatorTableAndKey() {
        const QSqlDatabase db = gConn.database();
        AuditLog::record(db, AuditLog::kChanged, QStringLiteral("DangAnKu"), QStringLiteral("1"),
                         {{QStringLiteral("姓名"), QStringLiteral("甲"), QStringLiteral("乙")}});
        AuditLog::setOperator(QStringLiteral("张三"));
        AuditLog::record(db, AuditLog::kChanged, QStringLiteral("DangAnKu"), QStringLiteral("1"),
                         {{QStringLiteral("姓名"), QStringLiteral("乙"), QStringLiteral("丙")}});
        AuditLog::record(db, AuditLog::kDeleted, QStringLiteral("PeiXun"), QStringLiteral("1"));

        fRiZhi* window = fRiZhi::instance();
        auto* key = window->findChild<QLineEdit*>(QStringLiteral("txtKey"));
        auto* table = window->findChild<QComboBox*>(QStringLiteral("cboBiao"));
        auto* who = window->findChild<QComboBox*>(QStringLiteral("cboCZY"));
        QCOMPARE(who->count(), 3); // 全部 and the two operators of the trail
        key->setText(QStringLiteral("1"));
        table->setCurrentText(QStringLiteral("证书"));
        window->cmdFind_Click();
        ListView* list = window->resultList();
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->subItem(0, 1), QStringLiteral("张三"));
        QCOMPARE(list->subItem(0, 3), QStringLiteral("证书"));
        QCOMPARE(list->subItem(0, 8), QStringLiteral("丙"));
        QCOMPARE(list->subItem(1, 7), QStringLiteral("甲"));

        who->setCurrentText(QStringLiteral("管理员"));
        window->cmdFind_Click();
        QCOMPARE(list->rowCount(), 1);
        // Yesterday's rows are not today's.
        window->findChild<QDateEdit*>(QStringLiteral("dtpTo"))->setDate(QDate::currentDate().addDays(-1));
        window->findChild<QDateEdit*>(QStringLiteral("dtpFrom"))->setDate(QDate::currentDate().addDays(-1));
        window->cmdFind_Click();
        QCOMPARE(list->rowCount(), 0);

        window->findChild<QCheckBox*>(QStringLiteral("cekDate"))->setChecked(false);
        who->setCurrentIndex(0);
        table->setCurrentIndex(0);
        window->cmdFind_Click();
        QCOMPARE(list->rowCount(), 3);
        window->findChild<QPushButton*>(QStringLiteral("cmdView"))->click();
        fPView* view = fPView::instance();
        QCOMPARE(view->title(), fRiZhi::kTitle);
        QCOMPARE(view->rFill->RecordCount(), 3);
        QCOMPARE(view->Lvw->subItem(0, 3), QStringLiteral("安全生产培训"));
    }

    void doorsAreShutWithoutTheRight() {
        LogInAs(QStringLiteral("张三"));
        fMain main;
        ModalDriver modal(300);
        main.mnuUser_Click();
        main.mnuRiZhi_Click();
        QCOMPARE(modal.unhandled(), 0);
        QCOMPARE(m_dialogs->msgBoxCount(), 2);
        QCOMPARE(m_dialogs->lastMessage().text,
                 QStringLiteral("对不起，您无'操作日志'权限!只有管理员可以使用该功能!"));
        QCOMPARE(m_dialogs->lastMessage().icon, vb::Critical);
        QVERIFY(!fRiZhi::instance()->isVisible());
        delete fRiZhi::instance();
    }

    void anEntryFormWithoutTheEntryRightOnlyShows() {
        m_db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('1', '甲')"));
        LogInAs(QStringLiteral("张三"));
        f1ZS* form = f1ZS::instance();
        form->show();
        for (const char* name : {"cmdNew", "cmdEdit", "cmdDelete", "cmdSave", "cmdZhiZhao", "cmdDelPic"})
            QVERIFY2(!form->findChild<QPushButton*>(QLatin1String(name))->isEnabled(), name);
        QVERIFY(form->findChild<QPushButton*>(QStringLiteral("cmdList"))->isEnabled());
        // Pressed anyway (a shortcut, a script): refused, and nothing changes.
        form->cmdDelete_Click();
        form->cmdNew_Click();
        QCOMPARE(m_dialogs->msgBoxCount(), 2);
        QCOMPARE(m_dialogs->lastMessage().text, QStringLiteral("对不起，您无'资料录入'权限!请通过管理员为您设置该权限!"));
        QCOMPARE(form->rMain()->RecordCount(), 1);
        QCOMPARE(trail(), QStringList());
        QVERIFY(form->windowTitle().endsWith(QStringLiteral("（只能查看）")));
    }
};

QTEST_MAIN(AuditTest)
#include "tst_audit.moc"
