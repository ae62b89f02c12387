// Benchmarks of the real windows on certificate registers of office and city size.
//
//   orvanta_bench [--sizes 10000,100000,1000000] [--runs 5] [--dir DIR] [--pg "host=... dbname=..."]
//   orvanta_bench --due [--sizes ...] [--pg ...]   the reminder window and the statistics instead
//   orvanta_bench --import FILE.mdb [--pg ...]      the import of an old Access database instead
//
// Each size is measured in a fresh child process, so its peak memory is its own.
#include "Benchmarks.h"
#include "DueBenchmarks.h"
#include "Generator.h"
#include "ImportBenchmark.h"
#include "Schema.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QTextStream>

namespace {

QTextStream out(stdout);

QString generateLocal(const QString& path, qint64 records) {
    if (QFileInfo::exists(path)) return {};
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    QString error = createLocalDatabase(partial);
    if (!error.isEmpty()) return error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("generator"));
        db.setDatabaseName(partial);
        db.open();
        error = generateCertificates(db, false, GeneratorOptions{records});
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generator"));
    // Only a complete register is kept under its final name.
    if (error.isEmpty() && !QFile::rename(partial, path))
        error = QStringLiteral("cannot rename %1").arg(partial);
    return error;
}

QString generateServer(const QString& libpq, qint64 records) {
    QString error = createServerSchema(libpq, true);
    if (!error.isEmpty()) return error;
    {
        QSqlDatabase db = openServerDatabase(libpq, QStringLiteral("generator"));
        error = generateCertificates(db, true, GeneratorOptions{records});
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generator"));
    return error;
}

int runChild(const QStringList& arguments) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    out << child.readAllStandardOutput();
    out.flush();
    return child.exitCode();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("sizes"), QStringLiteral("register sizes"), QStringLiteral("list"),
          QStringLiteral("10000,100000,1000000")},
         {QStringLiteral("runs"), QStringLiteral("runs per figure"), QStringLiteral("n"),
          QStringLiteral("5")},
         {QStringLiteral("dir"), QStringLiteral("where the generated registers are kept"),
          QStringLiteral("dir"), QDir::temp().filePath(QStringLiteral("orvanta-bench"))},
         {QStringLiteral("pg"), QStringLiteral("also fill this PostgreSQL database"),
          QStringLiteral("libpq")},
         {QStringLiteral("measure"), QStringLiteral("(internal) measure one register"),
          QStringLiteral("file")},
         {QStringLiteral("startup"), QStringLiteral("(internal) time the start to the first dialog")},
         {QStringLiteral("due"), QStringLiteral("measure the reminder window and the statistics")},
         {QStringLiteral("measure-due"), QStringLiteral("(internal) measure them on one database"),
          QStringLiteral("database")},
         {QStringLiteral("server"), QStringLiteral("(internal) the database is a libpq connection string")},
         {QStringLiteral("import"), QStringLiteral("measure the import of this old Access database"),
          QStringLiteral("file")}});
    parser.process(app);
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());

    if (parser.isSet(QStringLiteral("startup"))) return measureStartUp();
    if (parser.isSet(QStringLiteral("import")))
        return measureImport(parser.value(QStringLiteral("import")), parser.value(QStringLiteral("pg")), runs, out);
    if (parser.isSet(QStringLiteral("measure-due")))
        return measureDueAndStatistics(parser.value(QStringLiteral("measure-due")),
                                       parser.isSet(QStringLiteral("server")), runs, out);
    const bool due = parser.isSet(QStringLiteral("due"));
    if (parser.isSet(QStringLiteral("measure")))
        return measureRegister(parser.value(QStringLiteral("measure")), runs, out);

    QDir().mkpath(parser.value(QStringLiteral("dir")));
    out << "Orvanta benchmark: medians of " << runs << " runs, SQLite register\n";
    for (const QString& size : parser.value(QStringLiteral("sizes")).split(QLatin1Char(','))) {
        const qint64 records = size.toLongLong();
        const QString path =
            QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-%1.mdb").arg(records));
        QElapsedTimer generating;
        generating.start();
        const QString error = generateLocal(path, records);
        if (!error.isEmpty()) {
            out << "generating " << records << " records failed: " << error << Qt::endl;
            return 1;
        }
        out << "\n## " << records << " certificates (" << path << ", ready in "
            << generating.elapsed() / 1000.0 << " s)" << Qt::endl;
        if (runChild({due ? QStringLiteral("--measure-due") : QStringLiteral("--measure"), path,
                      QStringLiteral("--runs"), QString::number(runs)}) != 0)
            return 1;
    }
    if (due && parser.isSet(QStringLiteral("pg"))) {
        const QString libpq = parser.value(QStringLiteral("pg"));
        const qint64 records =
            parser.value(QStringLiteral("sizes")).split(QLatin1Char(',')).last().toLongLong();
        const QString error = generateServer(libpq, records);
        if (!error.isEmpty()) {
            out << "generating on PostgreSQL failed: " << error << Qt::endl;
            return 1;
        }
        out << "\n## PostgreSQL, " << records << " certificates" << Qt::endl;
        return runChild({QStringLiteral("--measure-due"), libpq, QStringLiteral("--server"),
                         QStringLiteral("--runs"), QString::number(runs)});
    }
    if (due) return 0;
    QList<double> startUps;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup")});
        child.waitForFinished(-1);
        startUps << child.readAllStandardOutput().trimmed().toDouble();
    }
    out << "\nprocess start to the data source dialog: " << median(startUps) << " ms" << Qt::endl;

    if (parser.isSet(QStringLiteral("pg"))) {
        const qint64 records =
            parser.value(QStringLiteral("sizes")).split(QLatin1Char(',')).last().toLongLong();
        QElapsedTimer generating;
        generating.start();
        const QString error = generateServer(parser.value(QStringLiteral("pg")), records);
        out << "\nPostgreSQL: " << records << " certificates generated in " << generating.elapsed() / 1000.0
            << " s" << (error.isEmpty() ? QString() : QStringLiteral(" — ") + error) << Qt::endl;
    }
    return 0;
}
