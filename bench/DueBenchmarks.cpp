#include "DueBenchmarks.h"

#include "basGlobal.h"
#include "Benchmarks.h"
#include "CommandLine.h"
#include "DueDates.h"
#include "fDaoQi.h"
#include "ListTable.h"
#include "ListView.h"
#include "Schema.h"
#include "Statistics.h"

#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>

int measureDueAndStatistics(const QString& database, bool server, int runs, QTextStream& out) {
    QTemporaryDir settings;
    qputenv("ORVANTA_CONFIG_DIR", settings.path().toUtf8());
    const QString error = openCommandDatabase(
        CommandLine({QStringLiteral("orvanta_bench"), QStringLiteral("--due"),
                     server ? QStringLiteral("--server") : QStringLiteral("--database"), database}));
    if (!error.isEmpty()) {
        out << error << Qt::endl;
        return 1;
    }
    QElapsedTimer indexing;
    indexing.start();
    ensureAddedIndexes(gConn.database());
    out << "date indexes ready in " << indexing.elapsed() << " ms (once per database)\n";

    const QDate today = QDate::currentDate();
    struct Figure {
        QString name;
        QList<double> times;
        QString target;
    };
    QList<Figure> figures;
    const auto measure = [&](const QString& name, const std::function<void()>& action,
                             const QString& target = QStringLiteral("≤ 300 ms")) {
        QList<double> times;
        for (int run = 0; run < runs; ++run)
            times << timed(action);
        figures.append({name, times, target});
    };
    qint64 rows30 = 0, rows90 = 0;
    measure(QStringLiteral("login reminder (30 days and overdue counted)"),
            [&] { countReminders(gConn, today); });
    measure(QStringLiteral("reminder window, 30 days, to its list"), [&] {
        fDaoQi::instance()->showPreset(DueQuery::Within30);
        rows30 = fDaoQi::instance()->rowCount();
    });
    measure(
        QStringLiteral("rows of 90 days read whole by one statement (no list)"),
        [&] { dueTable(gConn, DueQuery::preset(DueQuery::Within90, today), today); }, QStringLiteral("—"));
    measure(QStringLiteral("reminder window, 90 days, to its list"), [&] {
        fDaoQi::instance()->showPreset(DueQuery::Within90);
        rows90 = fDaoQi::instance()->rowCount();
    });
    if (!server) {
        const QString connection = gConnStr;
        measure(
            QStringLiteral("the same, file evicted from the cache"),
            [&] {
                delete fDaoQi::instance();
                gConn.Close();
                evictFromCache(database);
                gConn.Open(connection);
                fDaoQi::instance()->showPreset(DueQuery::Within90);
            },
            QStringLiteral("—"));
    }
    measure(
        QStringLiteral("the 90 days' list scrolled on by a page"),
        [&] { fDaoQi::instance()->resultList()->reportView()->model()->fetchMore({}); }, QStringLiteral("—"));
    // Each click orders by name the other way round.
    measure(
        QStringLiteral("the 90 days' list ordered by name (a header click)"),
        [&] { fDaoQi::instance()->LV_ColumnClick(DueColumn::Name); }, QStringLiteral("—"));
    for (const StatDimensionDef& def : statDimensions())
        measure(QStringLiteral("statistics ") + def.caption,
                [&] { computeStatistics(gConn, def.dimension, today); });

    out << "30 days: " << rows30 << " rows, 90 days: " << rows90 << " rows\n";
    out << "| figure | median | target |\n|---|---|---|\n";
    for (const Figure& figure : figures)
        out << "| " << figure.name << " | " << QString::number(median(figure.times), 'f', 1) << " ms | "
            << figure.target << " |\n";
    out.flush();
    delete fDaoQi::instance();
    return 0;
}
