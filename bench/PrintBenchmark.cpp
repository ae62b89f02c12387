#include "PrintBenchmark.h"

#include "Benchmarks.h"
#include "ListPrinter.h"
#include "ListView.h"
#include "TableFiles.h"

#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

namespace {

QStringList certificateRow(qint64 row) {
    const QString day = QStringLiteral("%1").arg(row % 28 + 1, 2, 10, QLatin1Char('0'));
    return {QStringLiteral("2006-%1").arg(row + 1, 7, 10, QLatin1Char('0')),
            row % 3 ? QStringLiteral("王伟") : QStringLiteral("欧阳司马诸葛"),
            row % 2 ? QStringLiteral("男") : QStringLiteral("女"),
            QStringLiteral("1980-01-") + day,
            QStringLiteral("1101081980010100%1").arg(row % 100, 2, 10, QLatin1Char('0')),
            QStringLiteral("ZS-2006-%1").arg(row + 1, 7, 10, QLatin1Char('0')),
            QStringLiteral("高中"),
            QStringLiteral("2006-05-") + day,
            QStringLiteral("电工作业高压电工"),
            row % 50 ? QStringLiteral("无") : QStringLiteral("复审时补交了体检证明和培训记录，已核对无误")};
}

} // namespace

int measureListPrint(int rows, int runs, QTextStream& out) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("list.pdf"));
    PdfOnlyDialogs dialogs(pdf);
    setDialogService(&dialogs);
    ListView list;
    for (const char* header :
         {"证号", "姓名", "性别", "出生年月", "身份证号", "证书编号", "文化程度", "发证日期", "职业工种", "备注"})
        list.addColumn(QString::fromUtf8(header));
    list.setVirtualRows(rows, [rows](qint64 first, int count) {
        QList<ListRow> block;
        for (qint64 row = first; row < std::min<qint64>(first + count, rows); ++row)
            block << ListRow{certificateRow(row)};
        return block;
    });
    const double before = peakMemory();
    QList<double> times;
    int pages = 0;
    for (int run = 0; run < runs; ++run) {
        ListPrinter printer;
        printer.SetListView(&list);
        printer.SetTitle(QStringLiteral("证书信息列表"));
        printer.SetNote(QStringLiteral("共 %1 条").arg(rows));
        bool printed = false;
        times << timed([&] {
            printed = printer.LoadList() && printer.Execute(nullptr, QStringLiteral("证书信息列表")) &&
                      printer.PrintOut(1);
        });
        if (!printed) {
            setDialogService(nullptr);
            out << "printing failed" << Qt::endl;
            return 1;
        }
        QPrinter measured(QPrinter::HighResolution);
        measured.setPageLayout(printer.pageLayout());
        pages = int(printer.layOut(measured).size());
    }
    setDialogService(nullptr);
    out << "list of " << rows << " rows printed to PDF (median of " << runs << " runs): " << median(times)
        << " ms, " << pages << " pages, " << QString::number(QFileInfo(pdf).size() / 1e6, 'f', 1)
        << " MB file; peak memory " << QString::number(peakMemory(), 'f', 1) << " MB ("
        << QString::number(before, 'f', 1) << " MB before printing)" << Qt::endl;
    return 0;
}
