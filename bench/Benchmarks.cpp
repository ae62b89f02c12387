#include "Benchmarks.h"

#include "basGlobal.h"
#include "CommandLine.h"
#include "f1ZS.h"
#include "fFindZS.h"
#include "FillResultList.h"
#include "fLinkData.h"
#include "fMain.h"
#include "fPView.h"
#include "ListExporter.h"
#include "ListTable.h"
#include "ListView.h"
#include "ModSql.h"
#include "QueryForm.h"
#include "Schema.h"
#include "settings.h"

#include <algorithm>
#include <fcntl.h>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <stdexcept>
#include <unistd.h>

namespace {

struct Figure {
    QString name;
    QList<double> times;
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

// The statement with its values written in, for the engine's own shell.
QString withLiterals(QString sql, const QVariantList& binds) {
    for (const QVariant& value : binds) {
        const qsizetype at = sql.indexOf(QLatin1Char('?'));
        if (at < 0) break;
        const QString literal =
            value.typeId() == QMetaType::QDate ? value.toDate().toString(Qt::ISODate) : value.toString();
        sql.replace(at, 1, QuoteLiteral(literal));
    }
    return sql;
}

// The engine's own shell running the statement that reads the row identities, then the first
// page of rows, as the list window reads them.
double shellTime(const QString& database, bool server, const QString& idSql, const QString& pageSql) {
    QProcess shell;
    shell.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    if (server)
        shell.start(QStringLiteral("psql"),
                    {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-At"), QStringLiteral("-v"),
                     QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-c"), idSql, QStringLiteral("-c"),
                     pageSql, database});
    else
        shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), database, idSql, pageSql});
    shell.waitForFinished(-1);
    const double elapsed = timer.nsecsElapsed() / 1e6;
    if (shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        throw std::runtime_error("the engine's shell failed");
    return elapsed;
}

QString scalar(const QString& sql) {
    QString value;
    ForEachRow(gConn, Statement{sql, sql, {}},
               [&](const QVariantList& row) { value = row.value(0).toString(); });
    return value;
}

// The list window painted as the operator sees it: the rows in sight are read for the picture.
void paintList() {
    fPView::instance()->Lvw->reportView()->viewport()->grab();
}

// The list window scrolled so that row `first` (1-based) is at the top, then painted.
void readListPage(qint64 first) {
    fPView::instance()->Lvw->scrollToTop(int(first - 1));
    paintList();
}

void closeWindows() {
    delete fPView::instance();
    delete fFindZS::instance();
    delete f1ZS::instance();
}

} // namespace

void evictFromCache(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) throw std::runtime_error("cannot open the database file to evict it");
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

// Unlike getrusage's figure, which keeps the parent's size at the fork, VmHWM counts only what this
// program took since it started.
double peakMemory() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

double median(QList<double> values) {
    if (values.isEmpty()) return 0;
    std::sort(values.begin(), values.end());
    const qsizetype mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

int measureRegister(const QString& database, bool server, int runs, QTextStream& out) {
    QTemporaryDir settings;
    qputenv("ORVANTA_CONFIG_DIR", settings.path().toUtf8());
    const QString error = openCommandDatabase(
        CommandLine({QStringLiteral("orvanta_bench"), QStringLiteral("--measure"),
                     server ? QStringLiteral("--server") : QStringLiteral("--database"), database}));
    if (!error.isEmpty()) {
        out << error << Qt::endl;
        return 1;
    }
    const QString connection = gConnStr;
    QList<Figure> figures;
    try {
        figures.append({QStringLiteral("indexes added on opening (once per database)"),
                        {timed([] { ensureAddedIndexes(gConn.database()); })},
                        QStringLiteral("—")});
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

        Figure open{QStringLiteral("entry form opened to the first record shown (whole register)"),
                    {},
                    QStringLiteral("≤ 300 ms")};
        Figure openCold{QStringLiteral("the same, file evicted from the cache"), {}, QStringLiteral("—")};
        Figure next{
            QStringLiteral("next number from the keys (no number stored)"), {}, QStringLiteral("≤ 50 ms")};
        Figure byKey{QStringLiteral("locate by key"), {}, QStringLiteral("≤ 50 ms")};
        Figure byCertificate{QStringLiteral("locate by certificate number"), {}, QStringLiteral("≤ 50 ms")};
        for (int run = 0; run < runs; ++run) {
            delete f1ZS::instance();
            open.times << timed([] { f1ZS::instance(); });
            next.times << timed([] { f1ZS::instance()->GetMaxNum(); });
            byKey.times << timed([&] { f1ZS::instance()->bFind(middleKey); });
            byCertificate.times << timed([&] { f1ZS::instance()->bFind(middleCertificate); });
            if (!server) {
                delete f1ZS::instance();
                gConn.Close();
                evictFromCache(database);
                openCold.times << timed([&] {
                    gConn.Open(connection);
                    f1ZS::instance();
                });
            }
        }

        fFindZS* query = fFindZS::instance();
        Figure all{
            QStringLiteral("query without criteria to the list window"), {}, QStringLiteral("≤ 300 ms")};
        for (int run = 0; run < runs; ++run)
            all.times << timed([&] {
                query->cmdFind_Click();
                paintList();
            });

        // A fragment that reaches the list window (more than 1,000 hits) at every size: a surname
        // from 100,000 records on, below that a region of the identity numbers.
        const bool byName = records >= 100000;
        const QString fragment = byName ? QStringLiteral("张") : QStringLiteral("110101");
        const QString box = byName ? QStringLiteral("txtMingCheng") : QStringLiteral("txtShenFeiZheng");
        query->findChild<QLineEdit*>(box)->setText(fragment);
        Figure search{QStringLiteral("%1 search (%2) to the list window's first page")
                          .arg(byName ? QStringLiteral("name") : QStringLiteral("identity-number"), fragment),
                      {},
                      QStringLiteral("≤ 300 ms")};
        Figure searchCold{QStringLiteral("the same, file evicted from the cache"), {}, QStringLiteral("—")};
        Figure shell{server ? QStringLiteral("the same statement and first page in psql")
                            : QStringLiteral("the same statement and first page in sqlite3"),
                     {},
                     QStringLiteral("program ≤ 1.2 ×")};
        Figure page{QStringLiteral("list window next page"), {}, QStringLiteral("≤ 50 ms")};
        Figure lastJump{QStringLiteral("list window jump to the last page"), {}, QStringLiteral("≤ 300 ms")};
        Figure lastCold{QStringLiteral("the same, file evicted from the cache after the search"),
                        {},
                        QStringLiteral("—")};
        Figure middleJump{
            QStringLiteral("list window scroll bar to the middle"), {}, QStringLiteral("≤ 300 ms")};
        Figure middleCold{QStringLiteral("the same, file evicted from the cache after the search"),
                          {},
                          QStringLiteral("—")};
        // The first row of the last page of the hits, as many rows as the list window shows.
        const auto lastPage = [](qint64 count) {
            return std::max<qint64>(1, count - qRound(fPView::instance()->listNum()) + 1);
        };
        qint64 hits = 0;
        for (int run = 0; run < runs; ++run) {
            search.times << timed([&] {
                query->cmdFind_Click();
                paintList();
            });
            const RecordsetPtr found = fPView::instance()->rFill;
            if (!found || found->RecordCount() <= QueryForm::kOwnListLimit)
                throw std::runtime_error("the search did not reach the list window");
            hits = found->RecordCount();
            QStringList firstPage;
            for (qint64 i = 1; i <= std::min<qint64>(hits, 100); ++i) {
                found->setAbsolutePosition(i);
                firstPage << QString::number(found->bookmark());
            }
            const Statement statement = query->buildStatement();
            const QString pageSql = QStringLiteral("SELECT * FROM DangAnKu WHERE rowid IN (%1)")
                                        .arg(firstPage.join(QLatin1Char(',')));
            shell.times << shellTime(database, server, withLiterals(found->executedSql(), statement.binds),
                                     pageSql);
            page.times << timed([&] {
                fPView::instance()->cmdNext_Click();
                paintList();
            });
            lastJump.times << timed([&] { readListPage(lastPage(hits)); });
            middleJump.times << timed([&] { readListPage(hits / 2); });
        }
        // The cold runs after all the warm ones: a warm run after an eviction would read from disk.
        for (int run = 0; !server && run < runs; ++run) {
            closeWindows();
            gConn.Close();
            evictFromCache(database);
            searchCold.times << timed([&] {
                gConn.Open(connection);
                fFindZS* cold = fFindZS::instance();
                cold->findChild<QLineEdit*>(box)->setText(fragment);
                cold->cmdFind_Click();
                paintList();
            });
            query = fFindZS::instance();
            evictFromCache(database);
            lastCold.times << timed([&] { readListPage(lastPage(hits)); });
            evictFromCache(database);
            middleCold.times << timed([&] { readListPage(hits / 2); });
        }
        search.name += QStringLiteral(", %1 hits").arg(hits);
        shell.target =
            QStringLiteral("program / shell = %1").arg(median(search.times) / median(shell.times), 0, 'f', 2);

        // 全部 on a real query: the issue dates of the first 5,000 or so certificates.
        const QDate first = QDate::fromString(
            scalar(QStringLiteral("SELECT MIN(发证日期) FROM DangAnKu")).left(10), Qt::ISODate);
        const QDate last =
            QDate::fromString(scalar(QStringLiteral("SELECT 发证日期 FROM DangAnKu WHERE 发证日期 IS NOT "
                                                    "NULL ORDER BY 发证日期 LIMIT 1 OFFSET 5000"))
                                  .left(10),
                              Qt::ISODate)
                .addDays(-1);
        query->findChild<QLineEdit*>(box)->clear();
        query->findChild<QCheckBox*>(QStringLiteral("cekFazheng"))->setChecked(true);
        query->findChild<QDateEdit*>(QStringLiteral("dtpFZ1"))->setDate(first);
        query->findChild<QDateEdit*>(QStringLiteral("dtpFZ2"))->setDate(last);
        Figure all5000{QStringLiteral("\"全部\" on a query by issue date"), {}, QStringLiteral("≤ 500 ms")};
        for (int run = 0; run < runs; ++run) {
            query->cmdFind_Click();
            all5000.times << timed([&] {
                fPView::instance()->cmdAll_Click();
                paintList();
            });
        }
        all5000.name += QStringLiteral(", %1 hits").arg(fPView::instance()->rFill->RecordCount());

        const ListTable shown = TableOfList(fPView::instance()->Lvw);
        QTemporaryDir exports;
        Figure csv{QStringLiteral("CSV export of those rows"), {}, QStringLiteral("≤ 200 ms")};
        Figure xlsx{QStringLiteral("xlsx export of those rows"), {}, QStringLiteral("—")};
        for (int run = 0; run < runs; ++run) {
            csv.times << timed([&] { WriteCsv(exports.filePath(QStringLiteral("list.csv")), shown, false); });
            xlsx.times << timed([&] {
                WriteWorkbook(exports.filePath(QStringLiteral("list.xlsx")), fPView::instance()->title(),
                              shown);
            });
        }

        Figure fill{QStringLiteral("FillResultList with 1000 rows"), {}, QStringLiteral("≤ 100 ms")};
        for (int run = 0; run < runs; ++run) {
            ListView listView;
            const RecordsetPtr thousand = firstRows(1000);
            fill.times << timed([&] { FillResultList(*thousand, &listView); });
        }
        figures << open << openCold << next << byKey << byCertificate << all << search << searchCold << shell
                << page << lastJump << lastCold << middleJump << middleCold << all5000 << csv << xlsx << fill;
    } catch (const DbError& e) {
        out << "failed: " << e.description << Qt::endl;
        return 1;
    } catch (const std::exception& e) {
        out << "failed: " << e.what() << Qt::endl;
        return 1;
    }

    out << "| figure | median | target |\n|---|---|---|\n";
    for (const Figure& f : figures) {
        if (f.times.isEmpty()) continue;
        out << "| " << f.name << " | " << QString::number(median(f.times), 'f', 1) << " ms | " << f.target
            << " |\n";
    }
    out << "| peak memory (entry form and list window open) | " << QString::number(peakMemory(), 'f', 1)
        << " MB | ≤ 150 MB |\n";
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
