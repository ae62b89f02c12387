#include "ImportBenchmark.h"

#include "adodb.h"
#include "Benchmarks.h"
#include "LegacyImport.h"
#include "ModSql.h"
#include "Schema.h"
#include "SchemaUpgrade.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

// A new, delivered database each run: nothing is skipped, everything written.
QString freshDatabase(const QString& libpq, const QTemporaryDir& dir, int run) {
    if (libpq.isEmpty()) {
        const QString path = dir.filePath(QStringLiteral("import-%1.mdb").arg(run));
        const QString error = createLocalDatabase(path);
        return error.isEmpty() ? localConnectionString(path) : QString();
    }
    {
        QSqlDatabase db = openServerDatabase(libpq, QStringLiteral("import-bench"));
        QSqlQuery q(db);
        for (const TableDef& table : databaseTables())
            q.exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(table.name));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("import-bench"));
    if (!createServerSchema(libpq, true).isEmpty()) return {};
    QString server;
    for (const QString& pair : libpq.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = pair.section(QLatin1Char('='), 0, 0), value = pair.section(QLatin1Char('='), 1);
        if (key == QLatin1String("host")) server.prepend(QStringLiteral(";Data Source=") + value);
        if (key == QLatin1String("port")) server.append(QLatin1Char(',') + value);
        if (key == QLatin1String("dbname")) server.prepend(QStringLiteral(";Initial Catalog=") + value);
        if (key == QLatin1String("user")) server.prepend(QStringLiteral(";User ID=") + value);
    }
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False") + server;
}

} // namespace

int measureImport(const QString& legacyFile, const QString& libpq, int runs, QTextStream& out) {
    QTemporaryDir dir;
    QStringList targets{QString()};
    if (!libpq.isEmpty()) targets << libpq;
    for (const QString& target : targets) {
        QList<double> times;
        for (int run = 0; run < runs; ++run) {
            const QString connection = freshDatabase(target, dir, run);
            if (connection.isEmpty()) {
                out << "could not make a new database" << Qt::endl;
                return 1;
            }
            Connection conn;
            conn.Open(connection);
            bool complete = false;
            times << timed([&] { complete = importLegacyFile(legacyFile, conn, {}, {}).complete(); });
            if (!complete) {
                out << "the import did not complete" << Qt::endl;
                return 1;
            }
        }
        out << "import of " << legacyFile << " into " << (target.isEmpty() ? "SQLite" : "PostgreSQL") << ": "
            << median(times) << " ms (median of " << runs << ")" << Qt::endl;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    out << "peak memory: " << usage.ru_maxrss / 1024.0 << " MB" << Qt::endl;
    return 0;
}
