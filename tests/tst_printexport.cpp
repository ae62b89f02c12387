// Printing and export of lists: what reaches the page and the file, from the list window's buttons
// and from the popup menu.
#include "basGlobal.h"
#include "fmenu.h"
#include "fPView.h"
#include "ListExporter.h"
#include "ListPrinter.h"
#include "ListTable.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "ModSql.h"
#include "Schema.h"
#include "ScriptedDialogs.h"
#include "TestDatabase.h"

#include <QAction>
#include <QDate>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

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

QString unzip(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("unzip"), arguments);
    if (!process.waitForFinished(10000)) return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class PrintExportTest : public QObject {
    Q_OBJECT

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
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        QStringList values;
        for (int i = 1; i <= 120; ++i)
            values << QStringLiteral("('K%1', '姓名%1')").arg(i, 3, 10, QLatin1Char('0'));
        m_db->exec(QStringLiteral("INSERT INTO DangAnKu (证号, 姓名) VALUES ") + values.join(QLatin1Char(',')));
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
        QCOMPARE(view->Lvw->rowCount(), 100);
    }

    // Printing

    void previewShowsThePageOfTheListUnderItsTitle() {
        ScriptedDialogs dialogs;
        const QString pdf = out(QStringLiteral("preview.pdf"));
        dialogs.answerPreview(pdf);
        view->cmdPrV_Click();
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).size(), 1);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Print).size(), 0);
        QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Preview).first().documentName, QStringLiteral("证书资料"));

        QCOMPARE(gPrinter->headers(), TableOfList(view->Lvw).headers);
        QCOMPARE(gPrinter->rows().size(), 100);
        QCOMPARE(gPrinter->rows().first().first(), QStringLiteral("K001"));
        QCOMPARE(gPrinter->rows().last().value(1), QStringLiteral("姓名100"));

        // A hundred rows do not fit one A4 page: the header row comes again on every page.
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
        QCOMPARE(rows, 100);
        const QByteArray written = readAll(pdf);
        QVERIFY(written.startsWith("%PDF"));
        QCOMPARE(pdfPageCount(written), int(pages.size()));
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
        QCOMPARE(gPrinter->rows(), (QList<QStringList>{shown.rows[1], shown.rows[4], shown.rows[7]}));

        // Nothing selected: the header row alone is still printed.
        view->Lvw->clearSelection();
        const QString empty = out(QStringLiteral("none.pdf"));
        dialogs.answerPreview(empty);
        view->DoSelPrint(true);
        QCOMPARE(gPrinter->rows().size(), 0);
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
        QCOMPARE(savedTitles(), QStringList{QStringLiteral("证书资料")});
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
        static const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([\\d.]+) ([\\d.]+)\\]"));
        const auto box = mediaBox.match(QString::fromLatin1(written));
        QVERIFY(box.hasMatch());
        QVERIFY2(box.captured(1).toDouble() > box.captured(2).toDouble(), qPrintable(box.captured(0))); // landscape
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
        QVERIFY(!strings.contains(QStringLiteral("K101"))); // the page, not the whole table
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
};

QTEST_MAIN(PrintExportTest)
#include "tst_printexport.moc"
