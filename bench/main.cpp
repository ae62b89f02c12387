// Benchmarks of the real windows on certificate registers of office and city size, on SQLite and,
// with --pg, on a PostgreSQL server, side by side.
//
//   orvanta_bench [--sizes 10000,100000,1000000] [--runs 5] [--dir DIR] [--pg "host=... dbname=..."]
//   orvanta_bench --due [--sizes ...] [--pg ...]   the reminder window and the statistics instead
//   orvanta_bench --import FILE.mdb [--pg ...]      the import of an old Access database instead
//
// Each register is generated once and kept (a file per size under DIR; on the server a database per
// size beside the one named). Each size is measured in a fresh child process, so its peak memory is
// its own. The exit status is not 0 when any step failed.
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
    const QVariant exists =
        onServer(libpq, QStringLiteral("SELECT COUNT(*) FROM pg_database WHERE datname = '%1'").arg(name), error);
    if (!error.isEmpty()) return error;
    if (exists.toInt() == 1) {
        const QVariant count = onServer(sizedLibpq, QStringLiteral("SELECT COUNT(*) FROM DangAnKu"), error);
        if (error.isEmpty() && count.toLongLong() == records) return {};
        error.clear();
        onServer(libpq, QStringLiteral("DROP DATABASE \"%1\" WITH (FORCE)").arg(name), error);
        if (!error.isEmpty()) return error;
    }
    onServer(libpq, QStringLiteral("CREATE DATABASE \"%1\"").arg(name), error);
    if (!error.isEmpty()) return error;
    error = createServerSchema(sizedLibpq, true);
    if (!error.isEmpty()) return error;
    {
        QSqlDatabase db = openServerDatabase(sizedLibpq, QStringLiteral("generator"));
        error = generateCertificates(db, true, GeneratorOptions{records});
        // What a running server's autovacuum would have done by the time desks use the register.
        if (error.isEmpty() && !QSqlQuery(db).exec(QStringLiteral("VACUUM ANALYZE")))
            error = db.lastError().text();
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
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Measures the program's windows on generated registers."));
    parser.addHelpOption();
    parser.addOptions(
        {{QStringLiteral("sizes"), QStringLiteral("register sizes"), QStringLiteral("list"),
          QStringLiteral("10000,100000,1000000")},
         {QStringLiteral("runs"), QStringLiteral("runs per figure"), QStringLiteral("n"),
          QStringLiteral("5")},
         {QStringLiteral("dir"), QStringLiteral("where the generated registers are kept"),
          QStringLiteral("dir"), QDir::temp().filePath(QStringLiteral("orvanta-bench"))},
         {QStringLiteral("pg"), QStringLiteral("also measure on this PostgreSQL server (a database per size "
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
          QStringLiteral("file")}});
    parser.process(app);
    const int runs = qMax(1, parser.value(QStringLiteral("runs")).toInt());
    const bool server = parser.isSet(QStringLiteral("server"));

    if (parser.isSet(QStringLiteral("startup"))) return measureStartUp();
    if (parser.isSet(QStringLiteral("import")))
        return measureImport(parser.value(QStringLiteral("import")), parser.value(QStringLiteral("pg")), runs, out);
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
