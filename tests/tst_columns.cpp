// The column chooser of the list window: what it lists, what applying does to the list, and the
// saved choices with their keys.
#include "basGlobal.h"
#include "fPView.h"
#include "fToList.h"
#include "ListView.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class ColumnsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    fPView* view = nullptr;
    QPointer<fToList> chooser;

    RecordsetPtr open(const QString& source) {
        auto rs = std::make_shared<Recordset>();
        rs->Open(source, gConn);
        return rs;
    }

    void showList(const QString& title, const QString& source) {
        view->setStitle(title);
        view->doFill(true, open(source));
    }

    void openChooser() {
        view->cmdListCol->click();
        chooser = fToList::instance();
        QCOMPARE(gListOwner, QStringLiteral("fPView"));
        QVERIFY(chooser->isVisible());
    }

    QListWidget* entries() { return chooser->findChild<QListWidget*>(QStringLiteral("Lst")); }
    QCheckBox* xuHao() { return chooser->findChild<QCheckBox*>(QStringLiteral("cekXuHao")); }
    void press(const char* button) { chooser->findChild<QPushButton*>(QLatin1String(button))->click(); }

    QList<bool> ticks() {
        QList<bool> result;
        for (int i = 0; i < entries()->count(); ++i)
            result << (entries()->item(i)->checkState() == Qt::Checked);
        return result;
    }
    void tick(int i, bool on) { entries()->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked); }

    QStringList headers() {
        QStringList texts;
        for (int i = 0; i < view->Lvw->columnCount(); ++i)
            texts << view->Lvw->columnText(i);
        return texts;
    }

    QString saved(const QString& key) {
        return GetSetting(ExeName(), QStringLiteral("ListOut"), key, QStringLiteral("<none>"));
    }

    void closeChooser() {
        if (!chooser) return;
        chooser->close();
        QTRY_VERIFY(!chooser);
    }

private slots:
    void init() {
        m_config = std::make_unique<TempConfigDir>();
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        m_db->execAll(
            {QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ('001', '甲'), ('002', '乙')"),
             QStringLiteral("INSERT INTO PeiXun (编号, 姓名) VALUES ('P1', '丙')"),
             QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名) VALUES ('C1', '丁')")});
        gConn.Open(m_db->connectionString());
        m_dialogs = std::make_unique<ScriptedDialogs>();
        view = fPView::instance();
        view->bXuHao = false;
        gListOwner.clear();
    }

    void cleanup() {
        closeChooser();
        view->rFill.reset();
        view->hide();
        m_dialogs.reset();
        gConn.Close();
        m_db.reset();
        m_config.reset();
    }

    void openingTicksEveryFieldAndApplyingUntouchedDropsTheRowNumbers() {
        view->bXuHao = true;
        showList(QStringLiteral("证书一览"), QStringLiteral("DangAnKu"));
        QCOMPARE(headers().first(), QStringLiteral("序号"));
        openChooser();

        const int fields = view->rFill->FieldCount();
        QCOMPARE(entries()->count(), fields);
        QCOMPARE(entries()->item(0)->text(), QStringLiteral("证号"));
        // The photo is listed too, though the list never shows it.
        QVERIFY(!entries()->findItems(QStringLiteral("照片"), Qt::MatchExactly).isEmpty());
        QCOMPARE(ticks(), QList<bool>(fields, true));
        QVERIFY(!xuHao()->isChecked());

        // Enter applies and leaves the chooser open.
        QTest::keyClick(entries(), Qt::Key_Return);
        QVERIFY(chooser && chooser->isVisible());
        QVERIFY(!view->bXuHao);
        QCOMPARE(headers().first(), QStringLiteral("证号"));
        QVERIFY(!headers().contains(QStringLiteral("照片")));

        // 确定 applies the box and unloads: the next opening starts unticked again.
        xuHao()->setChecked(true);
        press("CmdOk");
        QTRY_VERIFY(!chooser);
        QVERIFY(view->bXuHao);
        QCOMPARE(headers().first(), QStringLiteral("序号"));
        openChooser();
        QVERIFY(!xuHao()->isChecked());
    }

    void untickedFirstFieldHandsTheRowTextToTheNext() {
        showList(QStringLiteral("证书一览"), QStringLiteral("DangAnKu"));
        openChooser();
        tick(0, false);
        press("CmdList");
        QVERIFY(gHideCol[0]);
        QCOMPARE(headers().first(), QStringLiteral("姓名"));
        QCOMPARE(view->Lvw->text(0), QStringLiteral("甲"));
        QCOMPARE(view->Lvw->text(1), QStringLiteral("乙"));

        // Closing without applying changes nothing; a new doFill shows every column again.
        press("cmdAllSel");
        press("CmdCanCel");
        QTRY_VERIFY(!chooser);
        QCOMPARE(headers().first(), QStringLiteral("姓名"));
        showList(QStringLiteral("证书一览"), QStringLiteral("DangAnKu"));
        QCOMPARE(headers().first(), QStringLiteral("证号"));
    }

    void savedKeysFollowTheSourceOrTheTitle_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("table") << "PeiXun"
                               << "培训一览"
                               << "PeiXun";
        QTest::newRow("statement") << "SELECT * FROM DangAnKu"
                                   << "证书查询结果"
                                   << "证书查询结果";
        // Eleven characters: a table name, yet keyed by the title like a statement.
        QTest::newRow("eleven characters") << "CaoZuoZheng"
                                           << "操作证一览"
                                           << "操作证一览";
    }

    void savedKeysFollowTheSourceOrTheTitle() {
        QFETCH(QString, source);
        QFETCH(QString, title);
        QFETCH(QString, prefix);
        showList(title, source);
        openChooser();
        QCOMPARE(chooser->keyPrefix(), prefix);
        const int fields = entries()->count();
        QVERIFY(fields > 2);
        tick(1, false);
        press("cmdSave");
        for (int i = 0; i < fields; ++i)
            QCOMPARE(saved(prefix + QString::number(i)),
                     i == 1 ? QStringLiteral("False") : QStringLiteral("True"));
        QCOMPARE(saved(prefix + QString::number(fields)), QStringLiteral("<none>"));
    }

    void recallTicksWhatWasSavedAndEscRecalls() {
        showList(QStringLiteral("证书一览"), QStringLiteral("DangAnKu"));
        openChooser();
        // Nothing saved yet: every entry is ticked.
        press("cmdClear");
        QCOMPARE(ticks(), QList<bool>(entries()->count(), false));
        press("cmdGet");
        QCOMPARE(ticks(), QList<bool>(entries()->count(), true));

        tick(0, false);
        tick(2, false);
        press("cmdSave");
        press("cmdAllSel");
        const QStringList before = headers();
        QTest::keyClick(entries(), Qt::Key_Escape);
        QVERIFY(chooser && chooser->isVisible());
        QList<bool> expected(entries()->count(), true);
        expected[0] = expected[2] = false;
        QCOMPARE(ticks(), expected);
        // Recalling alone leaves the list as it was.
        QCOMPARE(headers(), before);
    }

    void tooFewFlagsAreResizedAndCleared() {
        showList(QStringLiteral("证书一览"), QStringLiteral("DangAnKu"));
        gHideCol = QVector<bool>(3, true);
        openChooser();
        QCOMPARE(int(gHideCol.size()), view->rFill->FieldCount() + 2);
        QCOMPARE(ticks(), QList<bool>(entries()->count(), true));
    }
};

QTEST_MAIN(ColumnsTest)
#include "tst_columns.moc"
