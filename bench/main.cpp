// Benchmarks of the real windows on registers of office and city size.
#include "Generator.h"
#include "Schema.h"
#include "basGlobal.h"
#include "f1ZS.h"
#include "ModSql.h"
#include "settings.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QTextStream>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 n = args.value(1, QStringLiteral("10000")).toLongLong();
    const QString path = args.value(2, QStringLiteral("/tmp/bench-%1.mdb").arg(n));
    QTextStream out(stdout);
    if (!QFileInfo::exists(path)) {
        QElapsedTimer t;
        t.start();
        createLocalDatabase(path);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("gen"));
            db.setDatabaseName(path);
            db.open();
            const QString error = generateCertificates(db, false, GeneratorOptions{n});
            if (!error.isEmpty())
                out << error << Qt::endl;
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("gen"));
        out << "generated " << n << " in " << t.elapsed() << " ms" << Qt::endl;
    }
    gConn.Open(localConnectionString(path));
    SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("证书证号"), QString::number(n + 100001));
    {
        QElapsedTimer t;
        t.start();
        Recordset rs;
        rs.Open(QStringLiteral("DangAnKu"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        out << "recordset open " << t.elapsed() << " ms" << Qt::endl;
        t.restart();
        qint64 count = 0;
        ForEachRow(gConn, Statement{QString(), QStringLiteral("SELECT 证号 FROM DangAnKu"), {}}, [&](const QVariantList&) { ++count; });
        out << "scan keys " << t.elapsed() << " ms" << Qt::endl;
    }
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer t;
        t.start();
        f1ZS* form = f1ZS::instance();
        out << "open " << t.elapsed() << " ms" << Qt::endl;
        t.restart();
        form->bFind(QStringLiteral("ZS%1").arg(n / 2, 8, 10, QLatin1Char('0')));
        out << "locate " << t.elapsed() << " ms" << Qt::endl;
        delete form;
    }
    return 0;
}
