#pragma once
// Reading an office's old Access (Jet 3 / Jet 4) database, table by table and row by row, with
// values as they are stored: texts decoded from the raw bytes (characters outside the Basic
// Multilingual Plane intact), dates from their raw day numbers (before 1900 too), photos whole.

#include <memory>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// True when the file starts like a Jet or ACE database.
bool isJetFile(const QString& path);
// The message for a Jet file offered as this system's database; empty for any other file.
QString jetFileMessage(const QString& path);

struct LegacyColumn {
    enum class Kind { Text, Memo, Date, Boolean, Binary, Number };
    QString name;
    Kind kind = Kind::Text;
};

class LegacyTable {
public:
    virtual ~LegacyTable() = default;
    virtual const QVector<LegacyColumn>& columns() const = 0;
    // False at the end of the table, or when the file turned out damaged (then error() says so).
    virtual bool next() = 0;
    // The current row's value: QString, QDate, bool, double, QByteArray; a null QVariant for null.
    virtual QVariant value(int column) = 0;
    // Empty while the file reads as it should.
    virtual QString error() const = 0;
    int columnIndex(const QString& name) const;
};

class LegacyFile {
public:
    LegacyFile();
    ~LegacyFile();
    LegacyFile(const LegacyFile&) = delete;
    LegacyFile& operator=(const LegacyFile&) = delete;

    // Opens the file read-only; an error text in the system's words, empty on success.
    QString open(const QString& path);
    QStringList tableNames() const;
    // Null when the file has no such table (names compare without case, as in Jet).
    std::unique_ptr<LegacyTable> table(const QString& name);

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    QString m_path;
};
