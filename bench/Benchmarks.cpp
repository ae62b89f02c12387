#include "Benchmarks.h"

#include "basGlobal.h"
#include "f1ZS.h"
#include "fFindZS.h"
#include "FillResultList.h"
#include "ListExporter.h"
#include "fLinkData.h"
#include "fMain.h"
#include "fPView.h"
#include "ListTable.h"
#include "ListView.h"
#include "ModSql.h"
#include "settings.h"

#include <algorithm>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Figure {
    QString name;
    double value;
    QString unit;
    QString target;
};

QString cell(Recordset& rs, const QString& column) {
    return rs.Fields(column).Value().toString();
}

RecordsetPtr firstRows(int rows) {
    auto rs = std::make_shared<Recordset>();
    rs->Open(Statement{QStringLiteral("证书信息列表"),
                       QStringLiteral("SELECT * FROM DangAnKu WHERE rowid <= %1").arg(rows),
                       {}},
             gConn);
    return rs;
}

double sqliteShellTime(const QString& path, const QString& statement) {
    QProcess shell;
    shell.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    shell.start(QStringLiteral("sqlite3"), {path, statement});
    shell.waitForFinished(-1);
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

double median(QList<double> values) {
    if (values.isEmpty()) return 0;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

int measureRegister(const QString& path, int runs, QTextStream& out) {
    QTemporaryDir settings;
    qputenv("ORVANTA_CONFIG_DIR", settings.path().toUtf8());
    gConn.Open(localConnectionString(path));
    qint64 records = 0;
    QString middleKey, middleCertificate;
    {
        Recordset all;
        all.Open(QStringLiteral("DangAnKu"), gConn);
        records = all.RecordCount();
        all.setAbsolutePosition(records / 2 + 1);
        middleKey = cell(all, QStringLiteral("证号"));
        all.setAbsolutePosition(records / 3 + 1);
        middleCertificate = cell(all, QStringLiteral("证书编号"));
    }
    // An office that has used the form before has its next number stored.
    SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号"),
                QString::number(records * 10));

    QList<double> firstOpen, open, byKey, byCertificate, search, shell, next, all5000, fill1000, csv5000, xlsx5000;
    for (int run = 0; run < runs; ++run) {
        // A workstation with no stored next number computes it from every key once.
        delete f1ZS::instance();
        SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号"), QStringLiteral("0"));
        firstOpen << timed([] { f1ZS::instance(); });
        delete f1ZS::instance();
        SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号"), QString::number(records * 10));
    }
    for (int run = 0; run < runs; ++run) {
        delete f1ZS::instance();
        open << timed([] { f1ZS::instance(); });
        byKey << timed([&] { f1ZS::instance()->bFind(middleKey); });
        byCertificate << timed([&] { f1ZS::instance()->bFind(middleCertificate); });
    }

    fFindZS* query = fFindZS::instance();
    query->findChild<QLineEdit*>(QStringLiteral("txtMingCheng"))->setText(QStringLiteral("张"));
    for (int run = 0; run < runs; ++run) {
        search << timed([&] { query->cmdFind_Click(); });
        shell << sqliteShellTime(path, query->statementText());
        fPView* list = fPView::instance();
        next << timed([&] { list->cmdNext_Click(); });
    }

    for (int run = 0; run < runs; ++run) {
        fPView* list = fPView::instance();
        list->doFill(true, firstRows(5000));
        all5000 << timed([&] { list->cmdAll_Click(); });
        const ListTable shown = TableOfList(list->Lvw);
        QTemporaryDir exports;
        csv5000 << timed([&] { WriteCsv(exports.filePath(QStringLiteral("list.csv")), shown, false); });
        xlsx5000 << timed([&] { WriteWorkbook(exports.filePath(QStringLiteral("list.xlsx")), list->title(), shown); });
        ListView listView;
        const RecordsetPtr thousand = firstRows(1000);
        fill1000 << timed([&] { FillResultList(*thousand, &listView); });
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double searchMedian = median(search), shellMedian = median(shell);
    const QList<Figure> figures = {
        {QStringLiteral("entry form opened to the first record shown"), median(open), QStringLiteral("ms"),
         QStringLiteral("≤ 500 ms")},
        {QStringLiteral("the same with no next number stored yet"), median(firstOpen), QStringLiteral("ms"),
         QStringLiteral("(no target)")},
        {QStringLiteral("name-fragment search (张) to the list window's first page"), searchMedian,
         QStringLiteral("ms"),
         QStringLiteral("≤ 1.5 × sqlite3 (%1 ms; ratio %2)")
             .arg(shellMedian, 0, 'f', 1)
             .arg(searchMedian / shellMedian, 0, 'f', 2)},
        {QStringLiteral("list window next page"), median(next), QStringLiteral("ms"),
         QStringLiteral("≤ 50 ms")},
        {QStringLiteral("\"全部\" with 5000 rows"), median(all5000), QStringLiteral("ms"),
         QStringLiteral("≤ 500 ms")},
        {QStringLiteral("CSV export of those 5000 rows"), median(csv5000), QStringLiteral("ms"),
         QStringLiteral("≤ 200 ms")},
        {QStringLiteral("xlsx export of those 5000 rows"), median(xlsx5000), QStringLiteral("ms"),
         QStringLiteral("(no target)")},
        {QStringLiteral("locate by key"), median(byKey), QStringLiteral("ms"), QStringLiteral("≤ 50 ms")},
        {QStringLiteral("locate by certificate number"), median(byCertificate), QStringLiteral("ms"),
         QStringLiteral("≤ 50 ms")},
        {QStringLiteral("FillResultList with 1000 rows"), median(fill1000), QStringLiteral("ms"),
         QStringLiteral("≤ 100 ms")},
        {QStringLiteral("peak memory (entry form and list window open)"), usage.ru_maxrss / 1024.0,
         QStringLiteral("MB"), QStringLiteral("≤ 200 MB")},
    };
    out << "| figure | median | target |\n|---|---|---|\n";
    for (const Figure& f : figures)
        out << "| " << f.name << " | " << QString::number(f.value, 'f', 1) << ' ' << f.unit << " | "
            << f.target << " |\n";
    out.flush();
    return 0;
}

int measureStartUp() {
    // The main window comes first and the data source dialog stands in front of it, as at a start.
    fMain main;
    main.show();
    fLinkData dialog(&main, &main);
    dialog.show();
    QCoreApplication::processEvents();
    // Process start as the kernel recorded it, in clock ticks since boot.
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly)) return 1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double started = fields.value(19).toDouble() / sysconf(_SC_CLK_TCK);
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    QTextStream(stdout) << QString::number((now - started) * 1000, 'f', 0) << Qt::endl;
    return 0;
}
