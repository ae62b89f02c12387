#pragma once
// Fresh databases for tests: a local SQLite file in a temporary folder, or a new catalog on the
// throwaway PostgreSQL server named by ORVANTA_TEST_PG.

#include <memory>
#include <QString>
#include <QTemporaryDir>

class TestDatabase {
public:
    enum class Kind { Local, Server };

    // Null when the kind is not available here (a server without ORVANTA_TEST_PG).
    static std::unique_ptr<TestDatabase> create(Kind kind, bool withContent = true);
    // One data row per engine, "local" and "server", in an int column of the given name.
    static void addEngineRows(const char* column);
    ~TestDatabase();

    Kind kind() const { return m_kind; }
    // The connection string the program itself would build for this database.
    QString connectionString() const;
    QString localPath() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    // Runs plain SQL against the database on a connection of its own (for setting up rows).
    void exec(const QString& sql) const;
    void execAll(const QStringList& sql) const;

private:
    TestDatabase() = default;
    Kind m_kind = Kind::Local;
    QTemporaryDir m_dir;
    QString m_path;
    QString m_serverAdmin;
    QString m_catalog;
    QString m_host;
    int m_port = 5432;
};
