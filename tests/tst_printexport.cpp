// Printing and export of lists: what reaches the page and the file, from the list window's buttons
// and from the popup menu.
#include "basGlobal.h"
#include "fmenu.h"
#include "fPView.h"
#include "FillResultList.h"
#include "ListCommand.h"
#include "CommandLine.h"
#include "RegisterCatalog.h"
#include "ListExporter.h"
#include "ListPrinter.h"
#include "ListTable.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "ModSql.h"
#include "Operators.h"
#include "Schema.h"
#include "TableFiles.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"

#include <QAction>
#include <QDate>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Pages of a PDF file as its page objects tell them.
int pdfPageCount(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(pdf).count(page));
}

// A five-column list of n rows: 证号 A1.., 姓名 张n, and three more cells.
void fillList(ListView& list, int n) {
    for (const char* header : {"证号", "姓名", "性别", "文化程度", "备注"})
        list.addColumn(QString::fromUtf8(header));
    for (int i = 1; i <= n; ++i) {
        const int row = list.addRow(QStringLiteral("A%1").arg(i));
        list.setSubItem(row, 1, QStringLiteral("张%1").arg(i));
        list.setSubItem(row, 2, i % 2 ? QStringLiteral("男") : QStringLiteral("女"));
        list.setSubItem(row, 3, QStringLiteral("高中"));
        list.setSubItem(row, 4, QStringLiteral("备注%1").arg(i));
    }
}

// The text of a PDF (of its page `page` when given) in drawing order with all white space taken
// out, so that a cell wrapped onto several lines reads as one text again.
QString pdfText(const QString& path, int page = 0) {
    QStringList arguments{QStringLiteral("-raw"), path, QStringLiteral("-")};
    if (page > 0) arguments = QStringList{"-f", QString::number(page), "-l", QString::number(page)} + arguments;
    QProcess process;
    process.start(QStringLiteral("pdftotext"), arguments);
    if (!process.waitForFinished(30000)) return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s")));
}

bool isLandscape(const QByteArray& pdf) {
    static const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([\\d.]+) ([\\d.]+)\\]"));
    const auto box = mediaBox.match(QString::fromLatin1(pdf));
    return box.hasMatch() && box.captured(1).toDouble() > box.captured(2).toDouble();
}

// The certificate register's seventeen listed columns, with the values an office really has:
// long names, 18-digit identity numbers, one 300-character remark and one remark of two lines.
ListTable certificateRegisterTable(int rows) {
    ListTable table;
    table.headers = QStringList{"证号", "姓名", "性别", "出生年月", "身份证号", "理论成绩", "证书编号", "文化程度", "实操成绩",
                                "评定成绩", "发证日期", "一次复审", "二次复审", "换证日期", "职业工种", "证书级别", "备注"};
    table.dateColumns = {3, 10, 11, 12, 13};
    const QString longRemark = QStringLiteral("该学员于二零零六年参加特种作业培训并通过理论与实际操作考核，").repeated(10).left(300);
    for (int i = 1; i <= rows; ++i) {
        const QString remark = i == 3 ? longRemark : i == 5 ? QStringLiteral("第一行说明\n第二行说明") : QStringLiteral("无");
        table.rows << QStringList{QStringLiteral("2006-%1").arg(i, 7, 10, QLatin1Char('0')),
                                  QStringLiteral("欧阳司马诸葛%1号").arg(i),
                                  QStringLiteral("男"),
                                  QStringLiteral("1980-01-%1").arg(i % 28 + 1, 2, 10, QLatin1Char('0')),
                                  QStringLiteral("1101081980010100%1").arg(i % 100, 2, 10, QLatin1Char('0')),
                                  QStringLiteral("85"),
                                  QStringLiteral("ZS-2006-%1").arg(i, 6, 10, QLatin1Char('0')),
                                  QStringLiteral("大学本科"),
                                  QStringLiteral("90"),
                                  QStringLiteral("合格"),
                                  QStringLiteral("2006-05-%1").arg(i % 28 + 1, 2, 10, QLatin1Char('0')),
                                  QStringLiteral("2009-05-01"),
                                  QStringLiteral("2012-05-01"),
                                  QStringLiteral("2016-05-01"),
                                  QStringLiteral("电工作业高压电工"),
                                  QStringLiteral("初级"),
                                  remark};
    }
    return table;
}

QString unzip(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("unzip"), arguments);
    if (!process.waitForFinished(10000)) return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class PrintExportTest : public QObject {
    Q_OBJECT

    TempConfigDir m_config;
    std::unique_ptr<TestDatabase> m_db;
    QTemporaryDir m_out;
    fPView* view = nullptr;
    Connection m_printConn;

    QString out(const QString& name) const { return m_out.filePath(name); }

    // Rows of PrintSetup, by title.
    QStringList savedTitles() {
        QStringList titles;
        Recordset rs;
        rs.Open(QStringLiteral("PrintSetup"), m_printConn);
        while (!rs.IsEOF()) {
            titles << rs.Fields(QStringLiteral("Title")).Value().toString();
            rs.MoveNext();
        }
        return titles;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_out.isValid());
        qputenv("ORVANTA_APP_DIR", QFile::encodeName(m_out.path()));
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        QStringList values;
        for (int i = 1; i <= 120; ++i)
            values << QStringLiteral("('K%1', '姓名%1')").arg(i, 3, 10, QLatin1Char('0'));
        m_db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ") + values.join(QLatin1Char(',')));
        m_db->exec(QStringLiteral("INSERT INTO Users (编号, 姓名, 打印操作) VALUES ('8', '李明', 1)"));
        gConn.Open(m_db->connectionString());

        const QString printDat = out(QStringLiteral("print.dat"));
        QCOMPARE(createPrintSettingsFile(printDat), QString());
        m_printConn.Open(localConnectionString(printDat));
        gPrintSetup = std::make_shared<Recordset>();
        gPrintSetup->Open(QStringLiteral("PrintSetup"), m_printConn, ado::adOpenDynamic, ado::adLockOptimistic);

        gOperator = QStringLiteral("李明");
        view = fPView::instance();
        view->setStitle(QStringLiteral("证书资料"));
        auto rs = std::make_shared<Recordset>();
        rs->Open(QStringLiteral("DangAnKu"), gConn);
        view->doFill(true, rs);
        QCOMPARE(view->Lvw->rowCount(), 120);
    }

    // Printing

    void previewShowsTheWholeListUnderItsTitle() {
        ScriptedDialogs dialogs;
        const QString pdf = out(QStringLiteral("preview.pdf"));
        dialogs.answerPreview(pdf);
        view->cmdPrV_Click();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).size(), 1);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).size(), 0);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).first().documentName, QStringLiteral("证书资料"));

        QCOMPARE(gPrinter->headers(), TableOfList(view->Lvw).headers);
        QCOMPARE(gPrinter->rowCount(), 120);
        QCOMPARE(gPrinter->rows(0, 1).first().first(), QStringLiteral("K001"));
        QCOMPARE(gPrinter->rows(119, 1).first().value(1), QStringLiteral("姓名120"));

        // A hundred and twenty rows do not fit one A4 page: the header row comes again on every page.
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 15),
                                          QPageLayout::Millimeter));
        const QList<ListPrinter::Page> pages = gPrinter->layOut(printer);
        QVERIFY(pages.size() > 1);
        int rows = 0;
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        for (int i = 0; i < pages.size(); ++i) {
            QCOMPARE(pages[i].firstRow, rows);
            rows += pages[i].rowCount;
            QCOMPARE(pages[i].footer, QStringLiteral("%1    第%2页 共%3页").arg(today).arg(i + 1).arg(pages.size()));
        }
        QCOMPARE(rows, 120);
        const QByteArray written = readAll(pdf);
        QVERIFY(written.startsWith("%PDF"));
        QCOMPARE(pdfPageCount(written), int(pages.size()));
        // Wherever the list stands, the printout holds all of it, and says so.
        view->cmdNext_Click();
        dialogs.answerPreview(pdf);
        view->cmdPrV_Click();
        QCOMPARE(gPrinter->rowCount(), 120);
        QVERIFY(pdfText(pdf).contains(QStringLiteral("共120条")));
        view->cmdPre_Click();
    }

    void everyCellOfTheRegisterPrintsInFull() {
        const ListTable table = certificateRegisterTable(40);
        ListView list;
        FillListFromTable(table, &list);
        ScriptedDialogs dialogs;
        const QString pdf = out(QStringLiteral("register.pdf"));
        dialogs.answerPrint(pdf);
        PrintList(false, &list, QStringLiteral("证书信息列表"));
        const QByteArray written = readAll(pdf);
        QVERIFY(isLandscape(written)); // seventeen columns do not fit portrait
        QVERIFY(gPrinter->printFont().pointSizeF() >= 7);

        const QString text = pdfText(pdf);
        QVERIFY(!text.contains(QStringLiteral("…")));
        for (const QStringList& row : table.rows)
            for (const QString& cell : row)
                QVERIFY2(text.contains(QString(cell).remove(QLatin1Char('\n'))), qPrintable(cell.left(40)));
        // Every page counts all of them.
        const int pages = pdfPageCount(written);
        for (int page = 1; page <= pages; ++page)
            QVERIFY(text.contains(QStringLiteral("第%1页共%2页").arg(page).arg(pages)));

        // A page setup saved for the title wins over the automatic landscape.
        m_printConn.database().exec(
            QStringLiteral("INSERT INTO PrintSetup (Title, Orientation, PaperSize, MarginLeft, MarginTop, "
                           "MarginRight, MarginBottom, FontName, FontSize) VALUES ('竖向证书列表', 0, 'A4', 15, 15, "
                           "15, 15, '宋体', 10)"));
        gPrintSetup = std::make_shared<Recordset>();
        gPrintSetup->Open(QStringLiteral("PrintSetup"), m_printConn, ado::adOpenDynamic, ado::adLockOptimistic);
        const QString portrait = out(QStringLiteral("portrait.pdf"));
        dialogs.answerPrint(portrait);
        PrintList(false, &list, QStringLiteral("竖向证书列表"));
        QVERIFY(!isLandscape(readAll(portrait)));
        const QString portraitText = pdfText(portrait);
        for (const QStringList& row : table.rows)
            QVERIFY(portraitText.contains(row[4]));
    }

    // A list that numbers its rows repeats the number and the key beside it.
    void columnsBeyondLandscapeContinueWithTheKeyColumn_data() {
        QTest::addColumn<QStringList>("keyHeaders");
        QTest::newRow("key column") << QStringList{QStringLiteral("证号")};
        QTest::newRow("row number and key") << QStringList{QStringLiteral("序号"), QStringLiteral("证号")};
    }
    void columnsBeyondLandscapeContinueWithTheKeyColumn() {
        QFETCH(QStringList, keyHeaders);
        const int keys = int(keyHeaders.size());
        ListView list;
        for (const QString& header : keyHeaders)
            list.addColumn(header);
        for (int column = keys; column < 24; ++column)
            list.addColumn(QStringLiteral("项目%1").arg(column));
        for (int i = 1; i <= 3; ++i) {
            const int row = list.addRow(keys > 1 ? QString::number(i) : QStringLiteral("KEY-%1").arg(i));
            if (keys > 1) list.setSubItem(row, 1, QStringLiteral("KEY-%1").arg(i));
            for (int column = keys; column < 24; ++column)
                list.setSubItem(row, column, QStringLiteral("%1-%2-ABCDEFGHIJKLMNOP").arg(i).arg(column));
        }
        ScriptedDialogs dialogs;
        const QString pdf = out(QStringLiteral("wide.pdf"));
        dialogs.answerPrint(pdf);
        PrintList(false, &list, QStringLiteral("宽表"));
        QCOMPARE(gPrinter->printFont().pointSizeF(), 7.0);

        QPrinter printer(QPrinter::HighResolution);
        printer.setPageLayout(gPrinter->pageLayout());
        const QList<ListPrinter::Page> pages = gPrinter->layOut(printer);
        QVERIFY(pages.size() > 1);
        QSet<int> printed;
        for (const ListPrinter::Page& page : pages) {
            QCOMPARE(page.columns.first(keys), keys > 1 ? QList<int>({0, 1}) : QList<int>{0});
            printed.unite(QSet<int>(page.columns.begin(), page.columns.end()));
        }
        QCOMPARE(printed.size(), 24);
        QCOMPARE(pdfPageCount(readAll(pdf)), int(pages.size()));
        const QString text = pdfText(pdf);
        QCOMPARE(text.count(QStringLiteral("KEY-1")), int(pages.size()));
        QVERIFY(text.contains(QStringLiteral("3-23-ABCDEFGHIJKLMNOP")));
        QVERIFY(text.contains(QStringLiteral("第%1页共%1页").arg(pages.size())));
    }

    // A long list read on demand is paged as the same rows held in an ordinary list are, and a page
    // in the middle prints its own rows.
    void longListPrintsPageByPage() {
        constexpr int rows = 20000;
        const auto cellsOf = [](qint64 row) {
            // Every seventh row is two lines high, so the pages hold different numbers of rows.
            return QStringList{QStringLiteral("A%1").arg(row + 1, 5, 10, QLatin1Char('0')),
                               QStringLiteral("张%1").arg(row + 1),
                               row % 7 ? QStringLiteral("无") : QStringLiteral("第一行说明\n第二行说明")};
        };
        ListView list, held;
        for (ListView* each : {&list, &held})
            for (const char* header : {"证号", "姓名", "备注"})
                each->addColumn(QString::fromUtf8(header));
        list.setVirtualRows(rows, [&](qint64 first, int count) {
            QList<ListRow> block;
            for (qint64 row = first; row < std::min<qint64>(first + count, rows); ++row)
                block << ListRow{cellsOf(row)};
            return block;
        });
        for (int row = 0; row < rows; ++row) {
            const QStringList cells = cellsOf(row);
            const int added = held.addRow(cells[0]);
            held.setSubItem(added, 1, cells[1]);
            held.setSubItem(added, 2, cells[2]);
        }
        ScriptedDialogs dialogs;
        dialogs.answerMsgBox(vb::Yes);
        const QString pdf = out(QStringLiteral("long.pdf"));
        dialogs.answerPrint(pdf);
        PrintList(false, &list, QStringLiteral("长列表"));
        QCOMPARE(gPrinter->rowCount(), rows);
        QPrinter printer(QPrinter::HighResolution);
        const auto bands = [&] {
            printer.setPageLayout(gPrinter->pageLayout());
            QList<std::pair<int, int>> bands;
            for (const ListPrinter::Page& page : gPrinter->layOut(printer))
                bands << std::pair{page.firstRow, page.rowCount};
            return bands;
        };
        const QList<std::pair<int, int>> pages = bands();
        gPrinter->SetListView(&held);
        gPrinter->LoadList();
        gPrinter->Execute(nullptr, QStringLiteral("长列表"));
        QCOMPARE(bands(), pages);
        int next = 0;
        for (const auto& [first, count] : pages) {
            QCOMPARE(first, next);
            next += count;
        }
        QCOMPARE(next, rows);
        QCOMPARE(pdfPageCount(readAll(pdf)), int(pages.size()));

        const int middle = int(pages.size()) / 2;
        const auto [first, count] = pages[middle];
        QVERIFY(count > 1);
        const QString text = pdfText(pdf, middle + 1);
        QVERIFY(text.startsWith(QStringLiteral("长列表共20000条")));
        QVERIFY(text.contains(cellsOf(first)[0] + cellsOf(first)[1]));
        QVERIFY(text.contains(cellsOf(first + count - 1)[0]));
        QVERIFY(!text.contains(cellsOf(first - 1)[0]));
        QVERIFY(!text.contains(cellsOf(first + count)[0]));
    }

    void printGoesToThePrinterChosen() {
        ScriptedDialogs dialogs;
        const QString pdf = out(QStringLiteral("print.pdf"));
        dialogs.answerPrint(pdf);
        view->cmdPrint->click();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).size(), 1);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).size(), 0);
        QVERIFY(pdfPageCount(readAll(pdf)) > 1);

        // Cancelled: nothing printed, nothing said.
        dialogs.answerPrint(std::nullopt);
        const QString cancelled = out(QStringLiteral("cancelled.pdf"));
        view->cmdPrint_Click();
        QVERIFY(!QFile::exists(cancelled));
        QCOMPARE(dialogs.msgBoxCount(), 0);
    }

    void pageNotesAreMadeOnceWithTheDate() {
        InitPrintNotes();
        QCOMPARE(gPageNotesA.size(), 3);
        QVERIFY(gPageNotesA[0].isNull());
        QCOMPARE(gPageNotesA[1].toDate(), QDate::currentDate());
        QCOMPARE(gPageNotesA[2].toString(), QString());
        QCOMPARE(gPageNotesB.size(), 1);
        gPageNotesA[1] = QDate(2001, 2, 3); // what the first print of the run took stays
        InitPrintNotes();
        QCOMPARE(gPageNotesA[1].toDate(), QDate(2001, 2, 3));
        gPageNotesA[1] = QDate::currentDate();
    }

    void selectedRowsArePrintedInListOrder() {
        const ListTable shown = TableOfList(view->Lvw);
        view->Lvw->setMultiSelect(true);
        view->Lvw->clearSelection();
        for (int row : {4, 1, 7})
            view->Lvw->selectRow(row);
        ScriptedDialogs dialogs;
        dialogs.answerPreview(out(QStringLiteral("selected.pdf")));
        view->cmdSet->click();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).size(), 1);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).last().documentName, QStringLiteral("证书资料"));
        QCOMPARE(gPrinter->headers(), shown.headers);
        QCOMPARE(gPrinter->rows(0, gPrinter->rowCount()),
                 (QList<QStringList>{shown.rows[1], shown.rows[4], shown.rows[7]}));

        // Nothing selected: the header row alone is still printed.
        view->Lvw->clearSelection();
        const QString empty = out(QStringLiteral("none.pdf"));
        dialogs.answerPreview(empty);
        view->DoSelPrint(true);
        QCOMPARE(gPrinter->rowCount(), 0);
        QCOMPARE(pdfPageCount(readAll(empty)), 1);
        view->Lvw->setMultiSelect(false);
    }

    void pageSettingsAreKeptForTheAdministratorOnly() {
        ScriptedDialogs dialogs;
        gOperator = QStringLiteral("李明");
        dialogs.answerPrint(out(QStringLiteral("operator.pdf")));
        view->cmdPrint_Click();
        QVERIFY(!savedTitles().contains(QStringLiteral("证书资料")));

        gOperator = QStringLiteral("管理员");
        dialogs.answerPrint(out(QStringLiteral("admin.pdf")));
        view->cmdPrint_Click();
        QVERIFY(savedTitles().contains(QStringLiteral("证书资料")));
        gOperator = QStringLiteral("李明");
    }

    void savedSettingsShapeThePage() {
        m_printConn.database().exec(QStringLiteral(
            "INSERT INTO PrintSetup (Title, Orientation, PaperSize) VALUES ('横向列表', 1, 'A4')"));
        gPrintSetup = std::make_shared<Recordset>();
        gPrintSetup->Open(QStringLiteral("PrintSetup"), m_printConn, ado::adOpenDynamic, ado::adLockOptimistic);
        ListView list;
        fillList(list, 3);
        ScriptedDialogs dialogs;
        const QString pdf = out(QStringLiteral("landscape.pdf"));
        dialogs.answerPrint(pdf);
        PrintList(false, &list, QStringLiteral("横向列表"));
        const QByteArray written = readAll(pdf);
        QCOMPARE(pdfPageCount(written), 1);
        QVERIFY(isLandscape(written));
    }

    void missingPrintSettingsStillPrint() {
        const RecordsetPtr kept = gPrintSetup;
        gPrintSetup.reset();
        ListView list;
        fillList(list, 2);
        ScriptedDialogs dialogs;
        const QString pdf = out(QStringLiteral("nosetup.pdf"));
        dialogs.answerPrint(pdf);
        PrintList(false, &list, QStringLiteral("无设置"));
        QCOMPARE(pdfPageCount(readAll(pdf)), 1);
        QCOMPARE(dialogs.msgBoxCount(), 0);
        gPrintSetup = kept;
    }

    void menuPreviewUsesTheListTag() {
        ListView list;
        fillList(list, 2);
        list.setTag(QStringLiteral("查询结果"));
        gCurList = &list;
        ScriptedDialogs dialogs;
        dialogs.answerPreview(out(QStringLiteral("menu.pdf")));
        fmenu::instance()->mnuPreView->trigger();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).first().documentName, QStringLiteral("查询结果"));
        QCOMPARE(list.cursor().shape(), Qt::ArrowCursor);
        gCurList = nullptr;
    }

    // A long list asks before it is printed, exported or selected whole, and is then read a block
    // at a time.
    void longListsAskFirst_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("answer"); // 0: not asked
        QTest::addColumn<QString>("asked");
        QTest::newRow("export just short of it") << "export" << 50000 << 0 << "";
        QTest::newRow("export refused") << "export" << 50001 << int(vb::No) << "全部导出";
        QTest::newRow("export agreed") << "export" << 50001 << int(vb::Yes) << "全部导出";
        QTest::newRow("print refused") << "print" << 5001 << int(vb::No) << "全部打印";
        QTest::newRow("selection refused") << "select" << 50001 << int(vb::No) << "全部选中";
        QTest::newRow("selection agreed") << "select" << 50001 << int(vb::Yes) << "全部选中";
    }
    void longListsAskFirst() {
        QFETCH(QString, action);
        QFETCH(int, rows);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        ListView list;
        list.addColumn(QStringLiteral("证号"));
        list.addColumn(QStringLiteral("姓名"));
        list.setMultiSelect(true);
        int readAtOnce = 0;
        list.setVirtualRows(rows, [&](qint64 first, int count) {
            readAtOnce = std::max(readAtOnce, count);
            QList<ListRow> block;
            for (qint64 row = first; row < std::min<qint64>(first + count, rows); ++row)
                block << ListRow{{QStringLiteral("A%1").arg(row + 1), QStringLiteral("张%1").arg(row + 1)}};
            return block;
        });
        list.setTag(QStringLiteral("长列表"));
        gCurList = &list;
        ScriptedDialogs dialogs;
        if (answer) dialogs.answerMsgBox(answer);
        const QString csv = out(QStringLiteral("long.csv"));
        QFile::remove(csv);
        dialogs.answerSave(SaveChoice{csv, 1});
        if (action == QLatin1String("export")) fmenu::instance()->mnuOut->trigger();
        if (action == QLatin1String("print")) fmenu::instance()->mnuPreView->trigger();
        if (action == QLatin1String("select")) list.reportView()->selectAll();
        gCurList = nullptr;

        QCOMPARE(dialogs.msgBoxCount(), answer ? 1 : 0);
        if (answer) {
            QCOMPARE(dialogs.lastMessage().text,
                     QStringLiteral("共有 %1 条记录，%2可能需要较长时间，是否继续？").arg(rows).arg(asked));
            QCOMPARE(dialogs.lastMessage().buttons, vb::YesNo);
        }
        const bool done = answer != int(vb::No);
        if (action == QLatin1String("select")) QCOMPARE(list.selectedRows().size(), done ? rows : 0);
        if (action == QLatin1String("print")) QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).size(), 0);
        if (action != QLatin1String("export")) return;
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Save).size(), done ? 1 : 0);
        QCOMPARE(QFile::exists(csv), done);
        if (!done) return;
        const QByteArray written = readAll(csv);
        QCOMPARE(written.count("\r\n"), rows + 1);
        QVERIFY(written.endsWith(QStringLiteral("A%1,张%1\r\n").arg(rows).toUtf8()));
        QVERIFY(readAtOnce <= 256);
    }

    // Past the last row of a sheet the rows go on in another, under the header row again.
    void workbookBeyondOneSheet() {
        const qint64 rows = 1048576 + 10;
        ListTable columns;
        columns.headers = QStringList{QStringLiteral("编号")};
        columns.numberColumns = {0};
        const QString path = out(QStringLiteral("long.xlsx"));
        QCOMPARE(WriteWorkbook(path, QStringLiteral("长表"), columns,
                               [&](const auto& visit) {
                                   for (qint64 row = 1; row <= rows; ++row)
                                       visit(QStringList{QString::number(row)});
                               },
                               rows),
                 QString());
        const QString second = unzip({QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet2.xml")});
        // The first sheet holds the title, the header and 1048574 rows; the rest follow.
        QVERIFY(second.contains(QStringLiteral(">编号<")));
        QVERIFY(second.contains(QStringLiteral("<c r=\"A3\"><v>1048575</v></c>")));
        QVERIFY(second.contains(QStringLiteral("<v>%1</v>").arg(rows)));
        const QString book = unzip({QStringLiteral("-p"), path, QStringLiteral("xl/workbook.xml")});
        QVERIFY(book.contains(QStringLiteral("name=\"长表 (2)\"")));
    }

    // Export

    void workbookHoldsTheCellTexts() {
        ScriptedDialogs dialogs;
        const QString path = out(QStringLiteral("证书.xlsx"));
        dialogs.answerSave(SaveChoice{path, 0});
        view->CmdToOut->click();
        const auto save = dialogs.calls(ScriptedDialogs::Kind::Save);
        QCOMPARE(save.size(), 1);
        QCOMPARE(save.first().defaultText, AppPath() + QStringLiteral("证书资料.xlsx"));
        QCOMPARE(save.first().filterIndex, 0);
        QVERIFY(readAll(path).startsWith("PK\x03\x04"));

        const QString listing = unzip({QStringLiteral("-l"), path});
        QVERIFY2(listing.contains(QStringLiteral("xl/worksheets/sheet1.xml")), qPrintable(listing));
        const QString strings = unzip({QStringLiteral("-p"), path, QStringLiteral("xl/sharedStrings.xml")});
        for (const QString& text : {QStringLiteral("证号"), QStringLiteral("K001"), QStringLiteral("姓名100")})
            QVERIFY2(strings.contains(QStringLiteral("<t>") + text + QStringLiteral("</t>")), qPrintable(text));
        QVERIFY(strings.contains(QStringLiteral("<t>K120</t>"))); // the whole list, not the rows in sight
        const QString book = unzip({QStringLiteral("-p"), path, QStringLiteral("xl/workbook.xml")});
        QVERIFY(book.contains(QStringLiteral("name=\"证书资料\"")));
    }

    void csvInUtf8AndGbkHoldsTheExactTexts() {
        ListView list;
        list.addColumn(QStringLiteral("证号"));
        list.addColumn(QStringLiteral("姓名"));
        list.addColumn(QStringLiteral("备注"));
        list.addRow(QStringLiteral("A1"));
        list.setSubItem(0, 1, QStringLiteral("张三"));
        list.setSubItem(0, 2, QStringLiteral("甲,乙 \"丙\""));
        list.addRow(QStringLiteral("A2"));
        list.setSubItem(0 + 1, 1, QStringLiteral("李四"));
        list.setTag(QStringLiteral("证书查询结果"));
        gCurList = &list;
        const QString expected =
            QStringLiteral("证号,姓名,备注\r\nA1,张三,\"甲,乙 \"\"丙\"\"\"\r\nA2,李四,\r\n");

        ScriptedDialogs dialogs;
        const QString utf8 = out(QStringLiteral("utf8"));
        dialogs.answerSave(SaveChoice{utf8, 1});
        fmenu::instance()->mnuOut->trigger();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Save).first().defaultText,
                 AppPath() + QStringLiteral("证书查询结果.xlsx"));
        QCOMPARE(readAll(utf8 + QStringLiteral(".csv")), QByteArray("\xEF\xBB\xBF") + expected.toUtf8());

        const QString gbk = out(QStringLiteral("gbk.csv"));
        dialogs.answerSave(SaveChoice{gbk, 2});
        fmenu::instance()->mnuOut->trigger();
        const QByteArray bytes = readAll(gbk);
        QVERIFY(bytes.startsWith("\xD6\xA4\xBA\xC5,")); // 证号 in GBK
        QCOMPARE(bytes, QStringEncoder("GBK").encode(expected));
        gCurList = nullptr;
    }

    void workbookIsATitledSheetWithRealDates() {
        ListTable table = certificateRegisterTable(3);
        table.numberColumns = {5, 8, 9};
        const QString path = out(QStringLiteral("register.xlsx"));
        QCOMPARE(WriteWorkbook(path, QStringLiteral("证书信息列表"), table), QString());
        const QString sheet = unzip({QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet1.xml")});
        const QString strings = unzip({QStringLiteral("-p"), path, QStringLiteral("xl/sharedStrings.xml")});
        const QString styles = unzip({QStringLiteral("-p"), path, QStringLiteral("xl/styles.xml")});
        // The title spans the table; the header row below it stays in view while scrolling.
        QVERIFY(strings.contains(QStringLiteral("<t>证书信息列表</t>")));
        QVERIFY(sheet.contains(QStringLiteral("<mergeCell ref=\"A1:Q1\"/>")));
        QVERIFY(sheet.contains(QStringLiteral("<pane ySplit=\"2\" topLeftCell=\"A3\" activePane=\"bottomLeft\" state=\"frozen\"/>")));
        static const QRegularExpression headerStyle(QStringLiteral("<c r=\"A2\" s=\"(\\d+)\" t=\"s\">"));
        QVERIFY(headerStyle.match(sheet).hasMatch());
        QVERIFY(styles.contains(QStringLiteral("<b/>")));
        // 1980-01-02 is day 29222 of the spreadsheet calendar, shown as yyyy-mm-dd.
        static const QRegularExpression birthDate(QStringLiteral("<c r=\"D3\" s=\"\\d+\"><v>29222</v></c>"));
        QVERIFY2(birthDate.match(sheet).hasMatch(), qPrintable(sheet.mid(sheet.indexOf(QStringLiteral("r=\"D3\"")), 60)));
        QVERIFY(styles.contains(QStringLiteral("formatCode=\"yyyy-mm-dd\"")));
        // Identity numbers stay text, the identity number column wide enough for it; scores that
        // are numbers become numbers, a score in words stays text.
        QVERIFY(strings.contains(QStringLiteral("<t>110108198001010001</t>")));
        QVERIFY(sheet.contains(QStringLiteral("<c r=\"E3\" t=\"s\">")));
        QVERIFY(sheet.contains(QStringLiteral("<c r=\"F3\"><v>85</v></c>")));
        QVERIFY(sheet.contains(QStringLiteral("<c r=\"J3\" t=\"s\">")));
        static const QRegularExpression identityWidth(QStringLiteral("<col min=\"5\" max=\"5\" width=\"([\\d.]+)\""));
        QVERIFY(identityWidth.match(sheet).captured(1).toDouble() >= 18);
    }

    void csvGuardsCellsASpreadsheetWouldTakeForFormulas_data() {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<QString>("written");
        QTest::newRow("equals") << "=1+2" << "'=1+2";
        QTest::newRow("plus") << "+86 139" << "'+86 139";
        QTest::newRow("minus before text") << "-5 天" << "'-5 天";
        QTest::newRow("minus before a formula") << "-1+2" << "'-1+2";
        QTest::newRow("negative number") << "-13352" << "-13352";
        QTest::newRow("negative decimal") << "-3.5" << "-3.5";
        QTest::newRow("at") << "@SUM(A1)" << "'@SUM(A1)";
        QTest::newRow("tab") << "\tcmd" << "'\tcmd";
        QTest::newRow("carriage return, quoted") << "\r=1" << "\"'\r=1\"";
        QTest::newRow("quoted formula") << "=HYPERLINK(\"x\")" << "\"'=HYPERLINK(\"\"x\"\")\"";
        QTest::newRow("inside is harmless") << "a=b-c" << "a=b-c";
    }
    void csvGuardsCellsASpreadsheetWouldTakeForFormulas() {
        QFETCH(QString, cell);
        QFETCH(QString, written);
        const QString path = out(QStringLiteral("guard.csv"));
        QCOMPARE(WriteCsv(path, ListTable{{QStringLiteral("备注")}, {{cell}}, {}, {}}, false), QString());
        QCOMPARE(readAll(path), QByteArray("\xEF\xBB\xBF") + (QStringLiteral("备注\r\n") + written + QStringLiteral("\r\n")).toUtf8());
    }

    void cancelledOrFailedExports() {
        ScriptedDialogs dialogs;
        view->CmdToOut_Click(); // the save dialog cancelled
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Save).size(), 1);
        QCOMPARE(dialogs.msgBoxCount(), 0);

        dialogs.answerSave(SaveChoice{out(QStringLiteral("no/such/folder/list.csv")), 1});
        view->CmdToOut_Click();
        QCOMPARE(dialogs.msgBoxCount(), 1);
        QCOMPARE(dialogs.lastMessage().icon, vb::Exclamation);
        QVERIFY(dialogs.lastMessage().text.endsWith(QStringLiteral("如有问题，请与程序开发商联系!")));

        // An empty list still exports its header row.
        ListView empty;
        empty.addColumn(QStringLiteral("证号"));
        const QString path = out(QStringLiteral("empty.csv"));
        dialogs.answerSave(SaveChoice{path, 1});
        ExportList(&empty, QStringLiteral("空"));
        QCOMPARE(readAll(path), QByteArray("\xEF\xBB\xBF") + QStringLiteral("证号\r\n").toUtf8());
    }

    // An export holds personal data: a new file is the owner's alone, one written over keeps its mode.
    void exportsAreTheOwnersAlone_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("workbook") << QStringLiteral("mode.xlsx");
        QTest::newRow("csv") << QStringLiteral("mode.csv");
    }
    void exportsAreTheOwnersAlone() {
        QFETCH(QString, name);
        const QString path = out(name);
        const auto write = [&] {
            const ListTable table = certificateRegisterTable(1);
            return name.endsWith(QStringLiteral(".csv")) ? WriteCsv(path, table, false)
                                                         : WriteWorkbook(path, QStringLiteral("证书"), table);
        };
        const mode_t savedMask = ::umask(022);
        QFile::remove(path);
        QCOMPARE(write(), QString());
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        const auto shared = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                            QFile::ReadGroup | QFile::ReadOther;
        QFile::setPermissions(path, shared);
        QCOMPARE(write(), QString());
        ::umask(savedMask);
        QCOMPARE(QFile::permissions(path), shared);
    }

    // A database read that fails part way leaves no file behind and says why, in every format.
    void aFailedReadLeavesNoFile_data() {
        QTest::addColumn<QString>("name");
        for (const char* name : {"part.csv", "part.xlsx", "part.pdf"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void aFailedReadLeavesNoFile() {
        QFETCH(QString, name);
        const ListTable one = certificateRegisterTable(1);
        const ListRowReader read = [&](qint64 first, int count) {
            if (first >= kRowsPerRead) throw DbError(DbErrorCode::ConnectionLost, QStringLiteral("与数据库的连接已断开。"));
            return QList<ListRow>(count, ListRow{one.rows.first()});
        };
        const QString path = out(name);
        QCOMPARE(WriteTableFile(path, QStringLiteral("证书"), one, kRowsPerRead + 1, read, QString(), false),
                 QStringLiteral("与数据库的连接已断开。"));
        QVERIFY(!QFile::exists(path));
    }

    // Last: the mode opens its own database on the shared connection.
    void listModeWritesTheWholeRegisterInKeyOrder() {
        auto db = TestDatabase::create(TestDatabase::Kind::Local);
        db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 发证日期, 备注) VALUES ('B2', '乙', '2006-05-02', '=1+2'), "
                                "('A1', '甲', '2006-05-01', ''), ('C3', '丙', NULL, '')"));
        SaveSetting(ExeName(), QStringLiteral("ListOut"), QStringLiteral("DangAnKu1"), QStringLiteral("False"));
        const auto run = [&](const QStringList& arguments) {
            return runCommand(QStringList{QStringLiteral("orvanta")} + arguments +
                              QStringList{QStringLiteral("--database"), db->localPath()} +
                              operatorArguments(db->folder()));
        };
        const QString csv = out(QStringLiteral("register.csv"));
        QCOMPARE(run({"--list", "DangAnKu", "--out", csv}), std::optional<int>(0));
        const QStringList lines = QString::fromUtf8(readAll(csv).mid(3)).split(QStringLiteral("\r\n"));
        QVERIFY(lines[0].startsWith(QStringLiteral("证号,性别,出生年月,身份证号"))); // 姓名 left out as saved, no photo
        QVERIFY(lines[0].endsWith(QStringLiteral(",备注")));
        QVERIFY(lines[1].startsWith(QStringLiteral("A1,")));
        QVERIFY(lines[2].startsWith(QStringLiteral("B2,")) && lines[2].endsWith(QStringLiteral(",'=1+2")));
        QVERIFY(lines[3].startsWith(QStringLiteral("C3,")));

        const QString pdf = out(QStringLiteral("register.pdf"));
        QCOMPARE(run({"--list", "DangAnKu", "--out", pdf}), std::optional<int>(0));
        const QString text = pdfText(pdf);
        QVERIFY(text.startsWith(QStringLiteral("证书信息列表共3条")));
        QVERIFY(text.contains(QStringLiteral("2006-05-02")));
        // The page set up for the title in the window (print.dat of the data folder) is used too.
        for (const bool landscape : {true, false}) {
            m_printConn.database().exec(QStringLiteral("INSERT OR REPLACE INTO PrintSetup (Title, Orientation, "
                                                       "PaperSize) VALUES ('证书信息列表', %1, 'A4')")
                                            .arg(landscape ? 1 : 0));
            gPrintSetup.reset();
            QCOMPARE(run({"--list", "DangAnKu", "--out", pdf}), std::optional<int>(0));
            QCOMPARE(isLandscape(readAll(pdf)), landscape);
        }

        const ListTable columns = RegisterRowsOf(gConn, certificateRegister()).columns;
        QCOMPARE(columns.headers.value(columns.dateColumns.value(1)), QStringLiteral("发证日期"));

        // Longer than one read and many windows of the set: every record once, in key order.
        QStringList added;
        QStringList expected{QStringLiteral("A1"), QStringLiteral("B2"), QStringLiteral("C3")};
        for (int i = 0; i < kRowsPerRead + 600; ++i) {
            expected << QStringLiteral("D%1").arg(i, 4, 10, QLatin1Char('0'));
            added << QStringLiteral("('%1', '丁')").arg(expected.last());
        }
        db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ") + added.join(QLatin1Char(',')));
        QCOMPARE(run({"--list", "DangAnKu", "--out", csv}), std::optional<int>(0));
        QStringList keys;
        for (const QString& line : QString::fromUtf8(readAll(csv).mid(3)).split(QStringLiteral("\r\n")).mid(1))
            if (!line.isEmpty()) keys << line.section(QLatin1Char(','), 0, 0);
        QCOMPARE(keys, expected);

        QCOMPARE(run({"--list", "Users", "--out", csv}), std::optional<int>(1));
        QCOMPARE(run({"--list", "PeiXun", "--out", out(QStringLiteral("x.doc"))}), std::optional<int>(1));
        QCOMPARE(run({"--list", "PeiXun", "--out", csv, "--encoding", "latin1"}), std::optional<int>(1));
    }
};

QTEST_MAIN(PrintExportTest)
#include "tst_printexport.moc"
