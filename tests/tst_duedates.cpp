// Reviews and renewals coming due: the window's boundaries on both engines, the login reminder,
// the reminder window, notices, the command line's files read back, and the statistics.
#include "basGlobal.h"
#include "CommandLine.h"
#include "DueDates.h"
#include "DueNotices.h"
#include "f1CZZ.h"
#include "fDaoQi.h"
#include "fMain.h"
#include "fOptions.h"
#include "fPView.h"
#include "fTongJi.h"
#include "ListTable.h"
#include "ListView.h"
#include "Operators.h"
#include "Schema.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "Statistics.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QChart>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QSqlQuery>
#include <QTest>

namespace {

const QDate kToday = QDate::currentDate();

QString day(int offset) {
    return QStringLiteral("'%1'").arg(kToday.addDays(offset).toString(Qt::ISODate));
}

// Every boundary once, spread over the three registers; Z2 has no dates but the placeholder the
// earlier forms stored for a review nobody entered.
QStringList dueRows() {
    return {
        QStringLiteral(
            "INSERT INTO DangAnKu (证号, 姓名, 性别, 身份证号, 证书编号, 职业工种, 证书级别, 文化程度, "
            "发证日期, 一次复审, 二次复审, 换证日期) VALUES "
            "('Z1', '甲', '男', '110101198001010011', 'ZS-1', '电工', '初级', '高中', '2023-05-01', %1, "
            "%2, NULL), "
            "('Z2', '丁', '女', NULL, NULL, '焊工', NULL, '', '2024-01-02', '2000-01-01', NULL, NULL)")
            .arg(day(0), day(31)),
        QStringLiteral(
            "INSERT INTO CaoZuoZheng (证号, 姓名, 性别, 联系电话, 作业类别, 初次领证, 一次复审, 二次复审, "
            "换证日期) VALUES ('C1', '乙', '女', '13900000000', '电工作业', '2023-07-01', %1, NULL, %2)")
            .arg(day(30), day(-1)),
        QStringLiteral(
            "INSERT INTO PeiXun (编号, 姓名, 性别, 电话号码, 生产经营单位, 职务, 文化程度, 一次复审, "
            "二次复审, "
            "换证日期) VALUES ('P1', '丙', '男', '0571-1234', '某化工厂', '安全员', '本科', NULL, %1, %2)")
            .arg(day(1), day(-31))};
}

// "key item days" for each row, in the list's order.
QStringList summary(const ListTable& table) {
    QStringList lines;
    for (const QStringList& row : table.rows)
        lines << row[DueColumn::Key] + QLatin1Char(' ') + row[DueColumn::Item] + QLatin1Char(' ') +
                     row[DueColumn::DaysLeft];
    return lines;
}

qint64 sqlCount(const QString& sql, const QVariantList& binds = {}) {
    QSqlQuery q(gConn.database());
    q.prepare(sql);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec() || !q.next()) qFatal("%s", qPrintable(sql));
    return q.value(0).toLongLong();
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(20000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class DueDatesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_db;
    TempConfigDir m_config;

    void engines() {
        TestDatabase::addEngineRows("kind");
    }

    bool prepare(int kind, const QStringList& rows = dueRows()) {
        gConn.Close();
        m_db = TestDatabase::create(TestDatabase::Kind(kind));
        if (!m_db) return false;
        m_db->execAll(rows);
        gConn.Open(m_db->connectionString());
        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gOperator = QStringLiteral("管理员");
        return true;
    }

#define PREPARE_OR_SKIP(...)                                                                                 \
    if (!prepare(__VA_ARGS__)) QSKIP("no test server: ORVANTA_TEST_PG is not set");

private slots:
    void cleanup() {
        // Only the windows a test opened: instance() would open one, on whatever connection is left.
        for (QWidget* window : QApplication::topLevelWidgets())
            if (qobject_cast<fDaoQi*>(window) || qobject_cast<fTongJi*>(window)) delete window;
        gUsersRs.reset();
        gConn.Close();
        m_db.reset();
        gStatusPanel.setReadyText({});
    }

    void windowsKeepTheirBoundaries_data() {
        engines();
    }
    void windowsKeepTheirBoundaries() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind);
        // Today, tomorrow and the 30th day are in; the 31st day, yesterday and no date are not.
        QCOMPARE(summary(dueTable(gConn, DueQuery::preset(DueQuery::Within30, kToday), kToday)),
                 QStringList({"Z1 一次复审 0", "P1 二次复审 1", "C1 一次复审 30"}));
        QCOMPARE(summary(dueTable(gConn, DueQuery::preset(DueQuery::Within90, kToday), kToday)),
                 QStringList({"Z1 一次复审 0", "P1 二次复审 1", "C1 一次复审 30", "Z1 二次复审 31"}));
        QCOMPARE(summary(dueTable(gConn, DueQuery::preset(DueQuery::Overdue, kToday), kToday)),
                 QStringList({"P1 换证 -31", "C1 换证 -1"}));

        DueQuery training = DueQuery::preset(DueQuery::Within90, kToday);
        training.tables = {QStringLiteral("PeiXun")};
        QCOMPARE(summary(dueTable(gConn, training, kToday)), QStringList({"P1 二次复审 1"}));
        DueQuery firstReviews = DueQuery::within(30, kToday);
        firstReviews.columns = {QStringLiteral("一次复审")};
        firstReviews.orderColumn = DueColumn::DaysLeft;
        firstReviews.descending = true;
        QCOMPARE(summary(dueTable(gConn, firstReviews, kToday)),
                 QStringList({"C1 一次复审 30", "Z1 一次复审 0"}));

        // What the register has shows; what it lacks stays empty.
        const ListTable rows = dueTable(gConn, DueQuery::preset(DueQuery::Within30, kToday), kToday);
        QCOMPARE(rows.headers, dueListHeaders());
        QCOMPARE(rows.rows[0].mid(0, 6), QStringList({"证书", "Z1", "甲", "男", "110101198001010011", ""}));
        QCOMPARE(rows.rows[1][DueColumn::Employer], QStringLiteral("某化工厂"));
        QCOMPARE(rows.rows[2][DueColumn::Phone], QStringLiteral("13900000000"));
        QCOMPARE(rows.rows[2][DueColumn::Date], kToday.addDays(30).toString(Qt::ISODate));

        // The window's own list and the list window get the same rows.
        const RecordsetPtr set = openDueList(gConn, DueQuery::preset(DueQuery::Within30, kToday), kToday);
        QCOMPARE(set->RecordCount(), qint64(3));
        QCOMPARE(countDue(gConn, DueQuery::preset(DueQuery::Within30, kToday)), qint64(3));
        QCOMPARE(countDue(gConn, DueQuery::preset(DueQuery::Overdue, kToday)), qint64(2));
        // Z1 falls due twice in 90 days: four dates, three certificates.
        QCOMPARE(countDue(gConn, DueQuery::preset(DueQuery::Within90, kToday)), qint64(4));
        QCOMPARE(countDueCertificates(gConn, DueQuery::preset(DueQuery::Within90, kToday)), qint64(3));
    }

    void reminderWindowReadsPagesOfTheSameRows_data() {
        engines();
    }
    void reminderWindowReadsPagesOfTheSameRows() {
        QFETCH(int, kind);
        // Three pages' worth of dates, names out of key order, a few on the same day.
        QStringList values;
        for (int i = 0; i < 1200; ++i)
            values << QStringLiteral("('K%1', '名%2', %3, %4)")
                          .arg(i, 4, 10, QLatin1Char('0'))
                          .arg(i * 7 % 1200, 4, 10, QLatin1Char('0'))
                          .arg(day(i % 80), i % 5 ? QStringLiteral("NULL") : day(i % 90 - 40));
        PREPARE_OR_SKIP(
            kind,
            dueRows() << QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 一次复审, 换证日期) VALUES ") +
                             values.join(QLatin1Char(',')));
        ScriptedDialogs dialogs;
        fDaoQi* form = fDaoQi::instance();
        form->showPreset(DueQuery::Within90);
        ListView* list = form->resultList();
        QCOMPARE(form->rowCount(), countDue(gConn, form->currentQuery()));
        QCOMPARE(list->rowCount(), form->rowCount());
        // Whatever the order, the pages make up the rows of the statement the other outputs use.
        for (int column :
             {int(DueColumn::Date), int(DueColumn::Name), int(DueColumn::Name), int(DueColumn::Item)}) {
            form->LV_ColumnClick(column);
            const ListTable statement = dueTable(gConn, form->currentQuery(), kToday);
            QCOMPARE(TableOfList(list).rows, statement.rows);
            QCOMPARE(statement.rows.size(), form->rowCount());
        }
        // A record deleted after the list was read keeps its place, empty, and is left out of what
        // the list hands on.
        form->showPreset(DueQuery::Within90);
        m_db->execAll({QStringLiteral("DELETE FROM DangAnKu WHERE 证号 = 'K1199'")});
        QCOMPARE(list->rowCount(), form->rowCount());
        QCOMPARE(TableOfList(list).rows.size(), form->rowCount() - 1);
        QCOMPARE(dialogs.msgBoxCount(), 0);
    }

    // However many dates fall due, the window lists them, its scroll bar spanning them all.
    void reminderWindowListsAnyNumberOfRows_data() {
        engines();
    }
    void reminderWindowListsAnyNumberOfRows() {
        QFETCH(int, kind);
        const int generated = 60000;
        const QString today = kToday.toString(Qt::ISODate);
        const QString inserts =
            kind == int(TestDatabase::Kind::Local)
                ? QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                                 "INSERT INTO CaoZuoZheng (证号, 姓名, 换证日期) SELECT 'G' || i, '名' || i, "
                                 "date('%2', '+' || (i % 80) || ' days') FROM n")
                      .arg(generated)
                      .arg(today)
                : QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名, 换证日期) SELECT 'G' || i, '名' || i, "
                                 "DATE '%2' + i % 80 FROM generate_series(1, %1) AS i")
                      .arg(generated)
                      .arg(today);
        PREPARE_OR_SKIP(kind, dueRows() << inserts);
        ScriptedDialogs dialogs;
        fDaoQi* form = fDaoQi::instance();
        form->resize(1000, 600);
        form->show();
        form->showPreset(DueQuery::Within90);
        ListView* list = form->resultList();
        const qint64 due = generated + 4;
        QCOMPARE(form->rowCount(), due);
        QCOMPARE(list->rowCount(), due);
        QCOMPARE(dialogs.msgBoxCount(), 0);
        QScrollBar* bar = list->reportView()->verticalScrollBar();
        QTRY_COMPARE(bar->maximum() + bar->pageStep(), due);
        // By date: the first row today, the last in 79 days.
        list->scrollToTop(int(due) - 1);
        QCOMPARE(list->bottomRow(), int(due) - 1);
        QCOMPARE(list->subItem(int(due) - 1, DueColumn::DaysLeft), QStringLiteral("79"));
        QCOMPARE(list->subItem(0, DueColumn::DaysLeft), QStringLiteral("0"));
        QCOMPARE(list->subItem(int(due) / 2, DueColumn::Item), QStringLiteral("换证"));
    }

    void windowsOnAClosedConnectionSaySo() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        gConn.Close();
        fTongJi::instance();
        QCOMPARE(dialogs.lastMessage().text,
                 QStringLiteral("数据库连接没有打开。如有问题，请与程序开发商联系!"));
        dialogs.clear();
        fDaoQi::instance()->showPreset(DueQuery::Within30);
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("数据库连接没有打开。"));
    }

    void reminderSaysWhatIsDue_data() {
        engines();
    }
    void reminderSaysWhatIsDue() {
        QFETCH(int, kind);
        // Z3 and P2 have two dates overdue each, C2 one before 1900, which is never due. Most of the
        // records of 证书 and 安全生产培训 have a date overdue, few of 操作证.
        PREPARE_OR_SKIP(
            kind, dueRows() << QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 一次复审, 二次复审, 换证日期) "
                                              "VALUES ('Z3', '戊', %1, %2, %3)")
                                   .arg(day(-400), day(-10), day(3))
                            << QStringLiteral("INSERT INTO CaoZuoZheng (证号, 姓名, 一次复审) "
                                              "VALUES ('C2', '己', '1899-12-31')")
                            << QStringLiteral("INSERT INTO PeiXun (编号, 姓名, 一次复审, 二次复审, 换证日期) "
                                              "VALUES ('P2', '庚', '2000-01-01', %1, %2)")
                                   .arg(day(-2), day(-3)));
        m_db->execAll({QStringLiteral("UPDATE DangAnKu SET 二次复审 = %1 WHERE 证号 = 'Z1'").arg(day(5))});
        fMain main;
        gStatusPanel.attach(main.panel(1));
        main.showDueReminder();
        const QString reminder = QStringLiteral("4 张证书 5 项30天内到期，4 张证书 6 项已过期");
        QCOMPARE(main.panel(1)->text(), reminder);
        // The same records as those of the overdue list.
        QCOMPARE(countDueCertificates(gConn, DueQuery::preset(DueQuery::Overdue, kToday)), qint64(4));

        // It stays while other windows come and go, and a click on it opens the reminder window on
        // the next 30 days.
        main.mnuVzs_Click();
        QCOMPARE(main.panel(1)->text(), reminder);
        QTest::mouseClick(main.panel(1), Qt::LeftButton);
        QCOMPARE(fDaoQi::instance()->resultList()->rowCount(), 5);
        QCOMPARE(fDaoQi::instance()->title(),
                 QStringLiteral("证书到期提醒 %1 至 %2")
                     .arg(kToday.toString(Qt::ISODate), kToday.addDays(30).toString(Qt::ISODate)));
        QCOMPARE(reminderText(DueCounts{}), QString());
    }

    void reminderWindowSortsOpensAndHandsOver() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        fDaoQi* form = fDaoQi::instance();
        form->showPreset(DueQuery::Overdue);
        ListView* list = form->resultList();
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(form->title(),
                 QStringLiteral("证书到期提醒 截至 %1 已过期").arg(kToday.addDays(-1).toString(Qt::ISODate)));

        // Days sort as numbers: -1 before -31 descending, then ascending again.
        form->showPreset(DueQuery::Within90);
        form->LV_ColumnClick(DueColumn::DaysLeft);
        form->LV_ColumnClick(DueColumn::DaysLeft);
        QCOMPARE(list->subItem(0, DueColumn::DaysLeft), QStringLiteral("31"));
        QCOMPARE(list->subItem(3, DueColumn::DaysLeft), QStringLiteral("0"));

        form->cmdView_Click();
        fPView* view = fPView::instance();
        QCOMPARE(view->title(), form->title());
        QCOMPARE(view->rFill->RecordCount(), qint64(4));
        QCOMPARE(view->Lvw->columnText(DueColumn::DaysLeft), QStringLiteral("剩余天数"));

        // The operation certificate opens in its own entry form.
        int operation = -1;
        for (int row = 0; row < list->rowCount(); ++row)
            if (list->text(row) == QStringLiteral("操作证")) operation = row;
        QVERIFY(operation >= 0);
        list->selectRow(operation);
        form->LV_DblClick();
        QCOMPARE(f1CZZ::instance()->findChild<QLineEdit*>(QStringLiteral("txtBanHao"))->text(),
                 QStringLiteral("C1"));
        delete f1CZZ::instance();

        // A range that ends before it starts is refused.
        dialogs.clear();
        form->findChild<QRadioButton*>(QStringLiteral("optData_3"))->setChecked(true);
        form->findChild<QDateEdit*>(QStringLiteral("dtpFrom"))->setDate(kToday);
        form->findChild<QDateEdit*>(QStringLiteral("dtpTo"))->setDate(kToday.addDays(-1));
        form->cmdFind_Click();
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("起始日期不能晚于结束日期!"));
    }

    void noticesCarryTheOfficeAndTheClosingText() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        SaveSetting(ProductTitle(), QStringLiteral("System"), QStringLiteral("Title"),
                    QStringLiteral("某市安全培训中心"));
        // The administrator keeps the closing text in the option form.
        fOptions* options = fOptions::instance();
        QCOMPARE(options->findChild<QPlainTextEdit*>(QStringLiteral("txtNotice"))->toPlainText(),
                 defaultNoticeClosingText());
        options->findChild<QPlainTextEdit*>(QStringLiteral("txtNotice"))
            ->setPlainText(QStringLiteral("请于到期前来办理。"));
        options->cmdOk_Click();
        QCOMPARE(noticeClosingText(), QStringLiteral("请于到期前来办理。"));
        fDaoQi* form = fDaoQi::instance();
        form->showPreset(DueQuery::Within90);
        form->cmdNotice_Click();
        QCOMPARE(dialogs.lastMessage().text, QStringLiteral("请先在列表中选择要打印通知书的人员。"));

        // One notice a person, with all of that person's dates: Z1 and C1 are one person.
        m_db->execAll({QStringLiteral("UPDATE CaoZuoZheng SET 身份证号 = '110101198001010011' WHERE 证号 = 'C1'")});
        form->showPreset(DueQuery::Within90);
        form->resultList()->selectRow(0); // Z1 一次复审
        form->resultList()->selectRow(1); // P1
        const QString pdf = m_db->folder() + QStringLiteral("/notices.pdf");
        dialogs.answerPreview(pdf);
        form->cmdNotice_Click();
        const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QCOMPARE(text.count(QStringLiteral("证书到期通知书")), 2);
        for (const char* expected :
             {"某市安全培训中心", "甲（身份证号：110101198001010011）", "丙", "请于到期前来办理。"})
            QVERIFY2(text.contains(expected), qPrintable(expected));

        const DueNotices notices{TableOfList(form->resultList()).rows, {}, QStringLiteral("结束语"), kToday};
        const QList<QList<QStringList>> people = notices.byPerson();
        QCOMPARE(people.size(), 2);
        const auto longDay = [](int offset) { return kToday.addDays(offset).toString(QStringLiteral("yyyy年M月d日")); };
        QCOMPARE(notices.paragraphs(people[0]),
                 QStringList({QStringLiteral("甲（身份证号：110101198001010011）："),
                              QStringLiteral("　　您的证书（电工，证书编号：ZS-1）一次复审日期为%1，即为今日；"
                                             "二次复审日期为%2，距今还有 31 天。")
                                  .arg(longDay(0), longDay(31)),
                              QStringLiteral("　　您的操作证（电工作业，证书编号：C1）一次复审日期为%1，距今还有 30 天。")
                                  .arg(longDay(30)),
                              QStringLiteral("　　结束语")}));
        QStringList overdue(12);
        overdue[DueColumn::Register] = QStringLiteral("操作证");
        overdue[DueColumn::Item] = QStringLiteral("换证");
        overdue[DueColumn::Date] = QStringLiteral("2026-01-05");
        overdue[DueColumn::DaysLeft] = QStringLiteral("-3");
        QCOMPARE(notices.paragraphs({overdue})[1], QStringLiteral("　　您的操作证换证日期为2026年1月5日，已过期 3 天。"));
    }

    // An edit made in the entry form the window opened shows in the window, in its notices and its
    // count, with the rows the clerk had chosen still chosen.
    void reminderWindowFollowsAnEdit() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        fDaoQi* form = fDaoQi::instance();
        form->show();
        form->showPreset(DueQuery::Within30);
        ListView* list = form->resultList();
        const auto rowOf = [&](const QString& key) {
            for (int row = 0; row < list->rowCount(); ++row)
                if (list->subItem(row, DueColumn::Key) == key) return row;
            return -1;
        };
        list->selectRow(rowOf(QStringLiteral("Z1")));
        list->selectRow(rowOf(QStringLiteral("C1")));
        form->LV_DblClick();
        f1CZZ* entry = f1CZZ::instance();
        QCOMPARE(entry->findChild<QLineEdit*>(QStringLiteral("txtBanHao"))->text(), QStringLiteral("C1"));
        // The clerk clicks 修改, clicks into 一次复审, types the new date over it and clicks 确定.
        const auto typeFirstReview = [&](int offset) {
            QApplication::setActiveWindow(entry);
            QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("cmdEdit")), Qt::LeftButton);
            QTest::mouseClick(entry->findChild<QWidget*>(QStringLiteral("dtpYiShen"))->findChild<QLineEdit*>(),
                              Qt::LeftButton);
            QTest::keyClicks(QApplication::focusWidget(),
                             kToday.addDays(offset).toString(QStringLiteral("yyyyMMdd")));
            QTest::mouseClick(entry->findChild<QPushButton*>(QStringLiteral("cmdEdit")), Qt::LeftButton);
        };
        typeFirstReview(20);
        QCOMPARE(dialogs.msgBoxCount(), 0);

        // Back in the window, as the clerk clicks into its list.
        QApplication::setActiveWindow(form);
        list->currentView()->setFocus();
        QTRY_COMPARE(list->subItem(2, DueColumn::DaysLeft), QStringLiteral("20"));
        QCOMPARE(list->subItem(2, DueColumn::Key), QStringLiteral("C1"));
        QCOMPARE(list->selectedRows(), QList<int>({0, 2})); // Z1 today, C1 now in 20 days
        QCOMPARE(list->currentRow(), 2);

        // Saved again while the window shows the old rows: the notice reads them first, and C1, no
        // longer due within 30 days, is left out of it.
        typeFirstReview(200);
        QCOMPARE(dialogs.msgBoxCount(), 0);
        const QString pdf = m_db->folder() + QStringLiteral("/after-edit.pdf");
        dialogs.answerPreview(pdf);
        form->cmdNotice_Click();
        QCOMPARE(form->rowCount(), qint64(2));
        QCOMPARE(list->selectedRows(), QList<int>({0}));
        const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QCOMPARE(text.count(QStringLiteral("证书到期通知书")), 1);
        QVERIFY(!text.contains(QStringLiteral("操作证")));
        delete entry;
    }

    void commandLineWritesTheWindowsRows() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        const QString base = m_db->folder() + QStringLiteral("/due.");
        const auto dueList = [&](QStringList arguments) {
            return runCommand(QStringList{QStringLiteral("orvanta"), QStringLiteral("--due-list")} +
                              arguments + QStringList{QStringLiteral("--database"), m_db->localPath()} +
                              operatorArguments(m_db->folder()));
        };
        QCOMPARE(dueList({"--within", "30", "--out", base + "csv"}), std::optional<int>(0));
        QFile csv(base + QStringLiteral("csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(csv.readAll().mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], dueListHeaders().join(QLatin1Char(',')));
        QVERIFY(lines[1].startsWith(QStringLiteral("证书,Z1,甲,男,110101198001010011,")));
        QVERIFY(lines[3].endsWith(
            QStringLiteral(",一次复审,%1,30").arg(kToday.addDays(30).toString(Qt::ISODate))));

        const QString from = kToday.addDays(-31).toString(Qt::ISODate),
                      to = kToday.addDays(-1).toString(Qt::ISODate);
        QCOMPARE(dueList({"--from", from, "--to", to, "--out", base + "xlsx"}), std::optional<int>(0));
        const auto part = [&](const char* name) {
            return run(QStringLiteral("unzip"), {QStringLiteral("-p"), base + "xlsx", QString::fromLatin1(name)});
        };
        const QString strings = part("xl/sharedStrings.xml");
        QVERIFY(strings.contains(QStringLiteral("<t>某化工厂</t>")) && !strings.contains(QStringLiteral("<t>-31</t>")));
        QVERIFY(part("xl/worksheets/sheet1.xml").contains(QStringLiteral("<v>-31</v>"))); // days overdue are numbers
        QCOMPARE(dueList({"--from", from, "--to", to, "--out", base + "csv"}), std::optional<int>(0));
        QFile overdue(base + QStringLiteral("csv"));
        QVERIFY(overdue.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(overdue.readAll()).contains(QStringLiteral(",-31\r\n"))); // no formula guard

        QCOMPARE(dueList({"--within", "90", "--out", base + "pdf"}), std::optional<int>(0));
        const QString pdfText = run(QStringLiteral("pdftotext"), {base + "pdf", QStringLiteral("-")});
        QVERIFY2(pdfText.contains(QStringLiteral("证书到期提醒")) &&
                     pdfText.contains(QStringLiteral("某化工厂")),
                 qPrintable(pdfText));

        // Asked wrongly, the mode says so and fails.
        for (const QStringList& wrong :
             {QStringList{"--within", "x", "--out", base + "csv"}, QStringList{"--within", "30"},
              QStringList{"--within", "30", "--out", base + "txt"},
              QStringList{"--from", to, "--to", from, "--out", base + "csv"},
              QStringList{"--out", base + "csv"}})
            QCOMPARE(dueList(wrong), std::optional<int>(1));
    }

    void statisticsMatchCountsTakenWithSql_data() {
        engines();
    }
    void statisticsMatchCountsTakenWithSql() {
        QFETCH(int, kind);
        PREPARE_OR_SKIP(kind);
        // Counted per value with plain WHERE clauses, the way an auditor would check them.
        const auto matches = [](const QString& table, const QString& column, const QString& value) {
            if (value == unfilledLabel())
                return sqlCount(
                    QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 IS NULL OR %2 = ''").arg(table, column));
            return sqlCount(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = ?").arg(table, column),
                            {value});
        };
        const StatTable trades = computeStatistics(gConn, StatDimension::Trade, kToday);
        QCOMPARE(trades.series, QStringList({"证书", "操作证", "安全生产培训"}));
        const QStringList tradeColumns = {"职业工种", "作业类别", "职务"};
        const QStringList tables = {"DangAnKu", "CaoZuoZheng", "PeiXun"};
        for (int row = 0; row < trades.categories.size(); ++row)
            for (int s = 0; s < 3; ++s)
                QCOMPARE(trades.counts[row][s], matches(tables[s], tradeColumns[s], trades.categories[row]));

        const StatTable education = computeStatistics(gConn, StatDimension::Education, kToday);
        QCOMPARE(education.series, QStringList({"证书", "安全生产培训"}));
        QCOMPARE(education.categories, QStringList({"本科", "高中", "未填"}));
        QCOMPARE(education.asListTable().rows.last(), QStringList({"合计", "2", "1", "3"}));

        const StatTable years = computeStatistics(gConn, StatDimension::IssueYear, kToday);
        QCOMPARE(years.categories, QStringList({"2023", "2024"}));
        QCOMPARE(years.counts, (QVector<QVector<qint64>>{{1, 1}, {1, 0}}));

        const StatTable months = computeStatistics(gConn, StatDimension::DueMonth, kToday);
        QCOMPARE(months.categories.size(), 12);
        const QDate first(kToday.year(), kToday.month(), 1);
        for (int m = 0; m < 12; ++m) {
            const QDate start = std::max(kToday, first.addMonths(m)),
                        end = first.addMonths(m + 1).addDays(-1);
            for (int s = 0; s < 3; ++s) {
                qint64 expected = 0;
                for (const char* column : {"一次复审", "二次复审", "换证日期"})
                    expected +=
                        sqlCount(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 BETWEEN ? AND ?")
                                     .arg(tables[s], column),
                                 {engineDate(start, gConn.engine()), engineDate(end, gConn.engine())});
                QCOMPARE(months.counts[m][s], expected);
            }
        }
    }

    void statisticsWindowPrintsTableAndChart() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        ScriptedDialogs dialogs;
        fTongJi* form = fTongJi::instance();
        form->showDimension(StatDimension::Sex);
        QCOMPARE(form->resultList()->rowCount(), 3); // 男, 女, 合计
        QCOMPARE(form->chart()->series().size(), 1);
        const QString pdf = m_db->folder() + QStringLiteral("/stats.pdf");
        dialogs.answerPreview(pdf);
        form->cmdPrV_Click();
        const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY2(text.contains(QStringLiteral("统计：按性别")) && text.contains(QStringLiteral("合计")),
                 qPrintable(text));
    }

    void openingAnOlderDatabaseAddsTheDateIndexes() {
        PREPARE_OR_SKIP(int(TestDatabase::Kind::Local));
        const QString indexes = QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND "
                                               "(name LIKE 'ix_%复审' OR name LIKE 'ix_%换证日期')");
        QCOMPARE(sqlCount(indexes), qint64(9));
        // A database with the earlier date-only index gets the new one in its place.
        QSqlQuery(gConn.database()).exec(QStringLiteral("DROP INDEX ix_PeiXun_due_换证日期"));
        QSqlQuery(gConn.database())
            .exec(QStringLiteral("CREATE INDEX ix_PeiXun_换证日期 ON PeiXun (换证日期)"));
        ensureAddedIndexes(gConn.database());
        QCOMPARE(sqlCount(indexes), qint64(9));
        QCOMPARE(
            sqlCount(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'ix_PeiXun_换证日期'")),
            qint64(0));
    }
};

QTEST_MAIN(DueDatesTest)
#include "tst_duedates.moc"
