#include "TestDatabase.h"

#include "Schema.h"
#include "SchemaUpgrade.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUuid>

namespace {

QString adminValue(const QString& libpq, const QString& key) {
    for (const QString& item : libpq.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (item.section(QLatin1Char('='), 0, 0) == key) return item.section(QLatin1Char('='), 1);
    return {};
}

void runOn(const QString& libpq, const QStringList& statements, bool transaction) {
    const QString name = QStringLiteral("test-admin-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = openServerDatabase(libpq, name);
        if (!db.isOpen()) qFatal("cannot reach the test server: %s", qPrintable(db.lastError().text()));
        if (transaction) {
            const QString error = runStatements(db, statements);
            if (!error.isEmpty()) qFatal("test server setup failed: %s", qPrintable(error));
        } else {
            QSqlQuery q(db);
            for (const QString& s : statements)
                if (!q.exec(s)) qFatal("test server setup failed: %s", qPrintable(q.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

void TestDatabase::addEngineRows(const char* column) {
    QTest::addColumn<int>(column);
    QTest::newRow("local") << int(Kind::Local);
    QTest::newRow("server") << int(Kind::Server);
}

std::unique_ptr<TestDatabase> TestDatabase::create(Kind kind, bool withContent) {
    std::unique_ptr<TestDatabase> db(new TestDatabase);
    db->m_kind = kind;
    if (kind == Kind::Local) {
        db->m_path = db->m_dir.filePath(QStringLiteral("MoLian.mdb"));
        QStringList statements = schemaStatements(SqlDialect::Sqlite);
        if (withContent) statements += deliveredContentStatements();
        const QString name =
            QStringLiteral("test-local-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        {
            QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            sqlite.setDatabaseName(db->m_path);
            sqlite.open();
            const QString error = runStatements(sqlite, statements);
            if (!error.isEmpty()) qFatal("local test database failed: %s", qPrintable(error));
            sqlite.close();
        }
        QSqlDatabase::removeDatabase(name);
        return db;
    }
    const QString admin = qEnvironmentVariable("ORVANTA_TEST_PG");
    if (admin.isEmpty()) return nullptr;
    db->m_serverAdmin = admin;
    db->m_host = adminValue(admin, QStringLiteral("host"));
    db->m_port = adminValue(admin, QStringLiteral("port")).toInt();
    db->m_catalog = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
    runOn(admin, {QStringLiteral("CREATE DATABASE %1 OWNER sa").arg(db->m_catalog)}, false);
    QString own = admin;
    own.replace(QRegularExpression(QStringLiteral("dbname=\\S+")), QStringLiteral("dbname=") + db->m_catalog);
    // Made the way an office makes it: owned by the owner role, the desks on the workstation role.
    const QString error = createServerSchema(own, withContent);
    if (!error.isEmpty()) qFatal("test server schema failed: %s", qPrintable(error));
    return db;
}

TestDatabase::~TestDatabase() {
    if (m_kind == Kind::Server && !m_catalog.isEmpty())
        runOn(m_serverAdmin, {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_catalog)},
              false);
}

QString TestDatabase::connectionString() const {
    if (m_kind == Kind::Local)
        return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + m_path +
               QStringLiteral(" ;Persist Security Info=False");
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=%1;Initial "
                          "Catalog=%2;Data Source=%3,%4")
        .arg(kDeskRole, m_catalog, m_host)
        .arg(m_port);
}

void TestDatabase::exec(const QString& sql) const {
    execAll({sql});
}

void TestDatabase::execAll(const QStringList& sql) const {
    if (m_kind == Kind::Server) {
        QString own = m_serverAdmin;
        own.replace(QRegularExpression(QStringLiteral("dbname=\\S+")), QStringLiteral("dbname=") + m_catalog);
        runOn(own, sql, true);
        return;
    }
    const QString name = QStringLiteral("test-exec-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase sqlite = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        sqlite.setDatabaseName(m_path);
        sqlite.open();
        const QString error = runStatements(sqlite, sql);
        if (!error.isEmpty()) qFatal("test statement failed: %s", qPrintable(error));
        sqlite.close();
    }
    QSqlDatabase::removeDatabase(name);
}
