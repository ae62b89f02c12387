// Benchmarks of the real windows on certificate registers of office and city size, on SQLite and,
// with --pg, on a PostgreSQL server, side by side.
//
//   orvanta_bench [--sizes 10000,100000,1000000] [--runs 5] [--dir DIR] [--pg "host=... dbname=..."]
//   orvanta_bench --due [--sizes ...] [--pg ...]   the reminder window and the statistics instead
//   orvanta_bench --import FILE.mdb [--pg ...]      the import of an old Access database instead
//   orvanta_bench --roster 5000                     a class roster (.xlsx) read, checked and imported
//   orvanta_bench --print 100000                    a list of that many rows printed to PDF
//   orvanta_bench --load [--desks 8] [--seconds 60] [--sizes N] [--pg ...]
//                                                   many desks at once on a copy of the first register
//   orvanta_bench --verify [--sizes N] [--seconds 15] [--runs 3]
//                                                   the verification service on a copy of the first register
//
// Each register is generated once and kept (a file per size under DIR; on the server a database per
// size beside the one named). Each size is measured in a fresh child process, so its peak memory is
// its own. The exit status is not 0 when any step failed.
#include "Benchmarks.h"
#include "DueBenchmarks.h"
#include "Generator.h"
#include "ImportBenchmark.h"
#include "RosterBenchmark.h"
#include "LoadBenchmark.h"
#include "PrintBenchmark.h"
#include "VerifyBenchmark.h"
#include "Schema.h"
#include "SchemaUpgrade.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>

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

// Runs one statement on a server database; returns the first value, or the error in `error`.
QVariant onServer(const QString& libpq, const QString& sql, QString& error) {
    QVariant value;
    {
        QSqlDatabase db = openServerDatabase(libpq, QStringLiteral("bench-admin"));
        QSqlQuery q(db);
        if (!db.isOpen())
            error = db.lastError().text();
        else if (!q.exec(sql))
            error = q.lastError().text();
        else if (q.next())
            value = q.value(0);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
    return value;
}

// The server database holding the register of one size, filled once and kept.
QString generateServer(const QString& libpq, qint64 records, QString& sizedLibpq) {
    static const QRegularExpression dbname(QStringLiteral("dbname=(\\S+)"));
    const QString base = dbname.match(libpq).captured(1);
    if (base.isEmpty()) return QStringLiteral("--pg needs dbname=");
    const QString name = QStringLiteral("%1_bench_%2").arg(base).arg(records);
    sizedLibpq = QString(libpq).replace(dbname, QStringLiteral("dbname=") + name);
    QString error;
    const QVariant exists = onServer(
        libpq, QStringLiteral("SELECT COUNT(*) FROM pg_database WHERE datname = '%1'").arg(name), error);
    if (!error.isEmpty()) return error;
    if (exists.toInt() == 1) {
        const QVariant count = onServer(sizedLibpq, QStringLiteral("SELECT COUNT(*) FROM DangAnKu"), error);
        if (error.isEmpty() && count.toLongLong() == records) return {};
        error.clear();
        onServer(libpq, QStringLiteral("DROP DATABASE \"%1\" WITH (FORCE)").arg(name), error);
        if (!error.isEmpty()) return error;
    }
    // Only a complete register is kept under its final name.
    const QString partial = name + QStringLiteral("_part");
    const QString partialLibpq = QString(libpq).replace(dbname, QStringLiteral("dbname=") + partial);
    onServer(libpq, QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(partial), error);
    if (error.isEmpty()) onServer(libpq, QStringLiteral("CREATE DATABASE \"%1\"").arg(partial), error);
    if (!error.isEmpty()) return error;
    error = createServerSchema(partialLibpq, true);
    if (!error.isEmpty()) return error;
    {
        QSqlDatabase db = openServerDatabase(partialLibpq, QStringLiteral("generator"));
        // Commits wait for their log as on a server set up by default: VACUUM cannot mark a page
        // all-visible while the commit of its rows is still unwritten (the test server commits
        // asynchronously), and the index-only scans would read the table after all.
        if (!QSqlQuery(db).exec(QStringLiteral("SET synchronous_commit = on"))) error = db.lastError().text();
        if (error.isEmpty()) error = generateCertificates(db, true, GeneratorOptions{records});
        // What a running server's autovacuum would have done by the time desks use the register.
        if (error.isEmpty() && !QSqlQuery(db).exec(QStringLiteral("VACUUM ANALYZE")))
            error = db.lastError().text();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("generator"));
    if (error.isEmpty())
        onServer(libpq, QStringLiteral("ALTER DATABASE \"%1\" RENAME TO \"%2\"").arg(partial, name), error);
    return error;
}

// The first register size of --sizes; 0, said why, when it is none.
qint64 firstSize(const QCommandLineParser& parser) {
    const qint64 records = parser.value(QStringLiteral("sizes")).section(QLatin1Char(','), 0, 0).toLongLong();
    if (records <= 0) out << "not a register size: " << parser.value(QStringLiteral("sizes")) << Qt::endl;
    return records;
}

// Desks change the register they work on: each load runs on a fresh copy of the generated one.
int runLoadOnCopy(const QCommandLineParser& parser, LoadOptions options) {
    const qint64 records = firstSize(parser);
    if (records <= 0) return 1;
    QString error;
    if (!options.server) {
        const QDir dir(parser.value(QStringLiteral("dir")));
        const QString path = dir.filePath(QStringLiteral("bench-%1.mdb").arg(records));
        error = generateLocal(path, records);
        options.database = dir.filePath(QStringLiteral("load-%1.mdb").arg(records));
        QFile::remove(options.database);
        if (error.isEmpty() && !QFile::copy(path, options.database))
            error = QStringLiteral("cannot copy %1").arg(path);
    } else {
        QString sized;
        error = generateServer(options.database, records, sized);
        static const QRegularExpression dbname(QStringLiteral("dbname=(\\S+)"));
        const QString source = dbname.match(sized).captured(1);
        const QString copy = source + QStringLiteral("_load");
        if (error.isEmpty())
            onServer(options.database,
                     QStringLiteral("DROP DATABASE IF EXISTS \"%1\" WITH (FORCE)").arg(copy), error);
        if (error.isEmpty())
            onServer(options.database,
                     QStringLiteral("CREATE DATABASE \"%1\" TEMPLATE \"%2\"").arg(copy, source), error);
        options.database = QString(sized).replace(dbname, QStringLiteral("dbname=") + copy);
    }
    if (!error.isEmpty()) {
        out << "preparing the register failed: " << error << Qt::endl;
        return 1;
    }
    out << "Orvanta load: " << options.desks << " desks, " << records << " certificates, "
        << QDateTime::currentDateTime().toString(Qt::ISODate) << ", " << QSysInfo::prettyProductName() << ", "
        << QThread::idealThreadCount() << " cores" << Qt::endl;
    return runLoad(options, out);
}

int runChild(const QStringList& arguments) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    out << child.readAllStandardOutput();
    out.flush();
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
}

// The service reads a register with a code per certificate: a copy of the generated one, kept.
int runVerifyOnCopy(const QCommandLineParser& parser, int runs) {
    const qint64 records = firstSize(parser);
    if (records <= 0) return 1;
    const QDir dir(parser.value(QStringLiteral("dir")));
    const QString path = dir.filePath(QStringLiteral("bench-%1.mdb").arg(records));
    const QString copy = dir.filePath(QStringLiteral("verify-%1.mdb").arg(records));
    QString error = generateLocal(path, records);
    if (error.isEmpty() && !QFileInfo::exists(copy) && !QFile::copy(path, copy))
        error = QStringLiteral("cannot copy %1").arg(path);
    if (!error.isEmpty()) {
        out << "preparing the register failed: " << error << Qt::endl;
        return 1;
    }
    out << "Orvanta verification service: " << records << " certificates on SQLite, "
        << QDateTime::currentDateTime().toString(Qt::ISODate) << ", " << QSysInfo::prettyProductName() << ", "
        << QThread::idealThreadCount() << " cores" << Qt::endl;
    return measureVerifyService(copy, qMax(1, parser.value(QStringLiteral("seconds")).toInt()), runs, out);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures the program's windows on generated registers."));
    parser.addHelpOption();
    parser.addOptions(
        {{QStringLiteral("sizes"), QStringLiteral("register sizes"), QStringLiteral("list"),
          QStringLiteral("10000,100000,1000000")},
         {QStringLiteral("runs"), QStringLiteral("runs per figure"), QStringLiteral("n"),
          QStringLiteral("5")},
         {QStringLiteral("dir"), QStringLiteral("where the generated registers are kept"),
          QStringLiteral("dir"), QDir::temp().filePath(QStringLiteral("orvanta-bench"))},
         {QStringLiteral("pg"),
          QStringLiteral("also measure on this PostgreSQL server (a database per size "
                         "is made beside the one named)"),
          QStringLiteral("libpq")},
         {QStringLiteral("measure"), QStringLiteral("(internal) measure one register"),
          QStringLiteral("database")},
         {QStringLiteral("startup"), QStringLiteral("(internal) time the start to the first dialog")},
         {QStringLiteral("due"), QStringLiteral("measure the reminder window and the statistics")},
         {QStringLiteral("measure-due"), QStringLiteral("(internal) measure them on one database"),
          QStringLiteral("database")},
         {QStringLiteral("server"), QStringLiteral("(internal) the database is a libpq connection string")},
         {QStringLiteral("import"), QStringLiteral("measure the import of this old Access database"),
          QStringLiteral("file")},
         {QStringLiteral("roster"), QStringLiteral("measure a roster of this many rows into SQLite"),
          QStringLiteral("rows")},
         {QStringLiteral("print"), QStringLiteral("measure a list of this many rows printed to PDF"),
          QStringLiteral("rows")},
         {QStringLiteral("load"),
          QStringLiteral("many desks at once on a copy of the first register size (on the --pg server when "
                         "given): actions "
                         "per second, p50/p99 per action, conflicts and lost updates")},
         {QStringLiteral("desks"), QStringLiteral("desk processes of --load"), QStringLiteral("n"),
          QStringLiteral("8")},
         {QStringLiteral("seconds"), QStringLiteral("how long the desks of --load work"), QStringLiteral("s"),
          QStringLiteral("60")},
         {QStringLiteral("verify"),
          QStringLiteral("the verification service on a copy of the first register size: a burst of 10,000 "
                         "requests from one address, then --seconds of 200 verifications/s from 20 addresses")},
         {QStringLiteral("desk"), QStringLiteral("(internal) work as this desk"), QStringLiteral("n")},
         {QStringLiteral("on"), QStringLiteral("(internal) the database a desk works on"),
          QStringLiteral("database")},
         {QStringLiteral("shared"), QStringLiteral("(internal) the keys every desk edits"),
          QStringLiteral("keys")},
         {QStringLiteral("log"), QStringLiteral("(internal) where a desk writes what it did"),
          QStringLiteral("file")}});
    parser.process(app);
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());
    const bool server = parser.isSet(QStringLiteral("server"));

    if (parser.isSet(QStringLiteral("startup"))) return measureStartUp();
    const LoadOptions load{parser.isSet(QStringLiteral("pg")) ? parser.value(QStringLiteral("pg"))
                                                              : parser.value(QStringLiteral("on")),
                           server || parser.isSet(QStringLiteral("pg")),
                           qMax(1, parser.value(QStringLiteral("desks")).toInt()),
                           qMax(1, parser.value(QStringLiteral("seconds")).toInt())};
    if (parser.isSet(QStringLiteral("desk")))
        return runDesk(load, parser.value(QStringLiteral("desk")).toInt(),
                       parser.value(QStringLiteral("shared")).split(QLatin1Char(',')),
                       parser.value(QStringLiteral("log")));
    if (parser.isSet(QStringLiteral("load"))) {
        QDir().mkpath(parser.value(QStringLiteral("dir")));
        return runLoadOnCopy(parser, load);
    }
    if (parser.isSet(QStringLiteral("verify"))) {
        QDir().mkpath(parser.value(QStringLiteral("dir")));
        return runVerifyOnCopy(parser, runs);
    }
    if (parser.isSet(QStringLiteral("import")))
        return measureImport(parser.value(QStringLiteral("import")), parser.value(QStringLiteral("pg")), runs,
                             out);
    if (parser.isSet(QStringLiteral("roster")))
        return measureRosterImport(qMax(1, parser.value(QStringLiteral("roster")).toInt()), runs, out);
    if (parser.isSet(QStringLiteral("print")))
        return measureListPrint(qMax(1, parser.value(QStringLiteral("print")).toInt()), runs, out);
    if (parser.isSet(QStringLiteral("measure-due")))
        return measureDueAndStatistics(parser.value(QStringLiteral("measure-due")), server, runs, out);
    if (parser.isSet(QStringLiteral("measure")))
        return measureRegister(parser.value(QStringLiteral("measure")), server, runs, out);

    const bool due = parser.isSet(QStringLiteral("due"));
    const QString measureMode = due ? QStringLiteral("--measure-due") : QStringLiteral("--measure");
    QDir().mkpath(parser.value(QStringLiteral("dir")));
    out << "Orvanta benchmark: medians of " << runs << " runs, "
        << QDateTime::currentDateTime().toString(Qt::ISODate) << ", " << QSysInfo::prettyProductName() << ", "
        << QThread::idealThreadCount() << " cores\n";
    int failures = 0;
    for (const QString& size : parser.value(QStringLiteral("sizes")).split(QLatin1Char(','))) {
        const qint64 records = size.toLongLong();
        if (records <= 0) {
            out << "not a register size: " << size << Qt::endl;
            return 1;
        }
        const QString path =
            QDir(parser.value(QStringLiteral("dir"))).filePath(QStringLiteral("bench-%1.mdb").arg(records));
        QElapsedTimer generating;
        generating.start();
        QString error = generateLocal(path, records);
        if (!error.isEmpty()) {
            out << "generating " << records << " records failed: " << error << Qt::endl;
            return 1;
        }
        out << "\n## SQLite, " << records << " certificates (" << path << ", ready in "
            << generating.elapsed() / 1000.0 << " s)" << Qt::endl;
        if (runChild({measureMode, path, QStringLiteral("--runs"), QString::number(runs)}) != 0) ++failures;
        if (!parser.isSet(QStringLiteral("pg"))) continue;
        generating.restart();
        QString libpq;
        error = generateServer(parser.value(QStringLiteral("pg")), records, libpq);
        if (!error.isEmpty()) {
            out << "generating " << records << " records on PostgreSQL failed: " << error << Qt::endl;
            return 1;
        }
        out << "\n## PostgreSQL, " << records << " certificates (" << libpq << ", ready in "
            << generating.elapsed() / 1000.0 << " s)" << Qt::endl;
        if (runChild({measureMode, libpq, QStringLiteral("--server"), QStringLiteral("--runs"),
                      QString::number(runs)}) != 0)
            ++failures;
    }
    if (!due) {
        QList<double> startUps;
        for (int run = 0; run < runs; ++run) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup")});
            child.waitForFinished(-1);
            bool ok = false;
            startUps << child.readAllStandardOutput().trimmed().toDouble(&ok);
            if (!ok || child.exitCode() != 0) ++failures;
        }
        out << "\nprocess start to the data source dialog: " << median(startUps) << " ms" << Qt::endl;
    }
    if (failures) out << "\n" << failures << " step(s) failed" << Qt::endl;
    return failures ? 1 : 0;
}
