#pragma once
// How often each certificate was verified. The service opens the office's database read-only, so
// the counts live in a small SQLite file of the service's own (table 核验次数: register, key, count,
// date of the last check), never who asked. Counts gather in memory and are written every few
// seconds and when the service stops, so a burst of requests costs no disk writes.

#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTimer>

class VerifyCounts : public QObject {
    Q_OBJECT

public:
    explicit VerifyCounts(QObject* parent = nullptr);
    ~VerifyCounts() override;

    // Creates the file (readable by its owner alone) when missing; an error text, empty on success.
    QString open(const QString& path);
    void count(const QString& table, const QString& key);
    // Writes what gathered since the last write; an error text, empty on success.
    QString flush();
    // Every stored count, one line each: table, key, count, date of the last check.
    QString report();

private:
    QString m_connection;
    QHash<QPair<QString, QString>, int> m_pending;
    QTimer m_timer;
};
