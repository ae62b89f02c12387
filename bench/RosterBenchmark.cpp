#include "RosterBenchmark.h"

#include "adodb.h"
#include "Benchmarks.h"
#include "IdentityNumber.h"
#include "ModSql.h"
#include "RosterImport.h"
#include "Schema.h"

#include <ctime>
#include <QDate>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <xlsxwriter.h>

namespace {

const QStringList kSurnames = {QStringLiteral("王"), QStringLiteral("李"), QStringLiteral("张"), QStringLiteral("刘"),
                               QStringLiteral("陈"), QStringLiteral("杨"), QStringLiteral("赵"), QStringLiteral("黄")};
const QStringList kGiven = {QStringLiteral("伟"), QStringLiteral("芳"), QStringLiteral("娜"), QStringLiteral("敏"),
                            QStringLiteral("静"), QStringLiteral("强"), QStringLiteral("磊"), QStringLiteral("洋")};
const QStringList kTrades = {QStringLiteral("电工"), QStringLiteral("焊工"), QStringLiteral("架子工")};

bool writeRoster(const QString& path, int rows) {
    lxw_workbook* book = workbook_new(path.toUtf8().constData());
    lxw_worksheet* sheet = workbook_add_worksheet(book, "花名册");
    lxw_format* dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd");
    const char* headings[] = {"序号", "名字", "公民身份号码", "学历", "工种", "发证时间"};
    for (int c = 0; c < 6; ++c)
        worksheet_write_string(sheet, 0, c, headings[c], nullptr);
    QRandomGenerator random(5000);
    for (int r = 1; r <= rows; ++r) {
        const QDate birth = QDate(1960, 1, 1).addDays(r); // one person per birthday: no two numbers alike
        const QString body = QStringLiteral("110105") + birth.toString(QStringLiteral("yyyyMMdd")) +
                             QStringLiteral("%1").arg(random.bounded(1000), 3, 10, QLatin1Char('0'));
        const QString identity = body + IdentityCheckCharacter(body + QLatin1Char('0'));
        const QString name = kSurnames[random.bounded(kSurnames.size())] + kGiven[random.bounded(kGiven.size())];
        worksheet_write_number(sheet, r, 0, r, nullptr);
        worksheet_write_string(sheet, r, 1, name.toUtf8().constData(), nullptr);
        worksheet_write_string(sheet, r, 2, identity.toUtf8().constData(), nullptr);
        worksheet_write_string(sheet, r, 3, "高中", nullptr);
        worksheet_write_string(sheet, r, 4, kTrades[r % kTrades.size()].toUtf8().constData(), nullptr);
        lxw_datetime issued = {2024, 3, 5, 0, 0, 0};
        worksheet_write_datetime(sheet, r, 5, &issued, dateFormat);
    }
    return workbook_close(book) == LXW_NO_ERROR;
}

} // namespace

int measureRosterImport(int rows, int runs, QTextStream& out) {
    QTemporaryDir dir;
    const QString roster = dir.filePath(QStringLiteral("roster.xlsx"));
    if (!writeRoster(roster, rows)) {
        out << "could not write the roster" << Qt::endl;
        return 1;
    }
    QList<double> reading, checking, importing, totals, processorTimes;
    for (int run = 0; run < runs; ++run) {
        const QString database = dir.filePath(QStringLiteral("roster-%1.mdb").arg(run));
        if (!createLocalDatabase(database).isEmpty()) return 1;
        Connection conn;
        conn.Open(localConnectionString(database));
        Roster loaded;
        RosterCheck check;
        RosterReport report;
        const std::clock_t processorAtStart = std::clock();
        reading << timed([&] { loaded = loadRoster(roster, QStringLiteral("DangAnKu")); });
        checking << timed([&] { check = checkRoster(loaded, conn); });
        importing << timed([&] { report = importRoster(loaded, check, conn, {}, false); });
        totals << reading.back() + checking.back() + importing.back();
        processorTimes << 1000.0 * double(std::clock() - processorAtStart) / CLOCKS_PER_SEC;
        if (report.added != rows) {
            out << "imported " << report.added << " of " << rows << " rows" << Qt::endl;
            return 1;
        }
    }
    out << "roster of " << rows << " rows into SQLite (median of " << runs << " runs): read "
        << median(reading) << " ms, check " << median(checking) << " ms, import " << median(importing)
        << " ms, total " << median(totals) << " ms; processor time of the total " << median(processorTimes)
        << " ms (what a busy machine adds to the total is waiting for a processor)" << Qt::endl;
    return 0;
}
