#pragma once
// A second desk on the same database: another run of the test program, on a connection of its
// own, changes or deletes one record through the record-set layer, as an entry form there would.

#include <memory>
#include <QProcess>
#include <QString>
#include <QVariant>

namespace OtherDesk {

// Sets one column of the record whose key column holds `key` (a QByteArray is stored as bytes).
// True when the other desk stored it.
bool change(const QString& connectionString, const QString& table, const QString& keyColumn,
            const QString& key, const QString& column, const QVariant& value);
bool remove(const QString& connectionString, const QString& table, const QString& keyColumn,
            const QString& key);

// Starts a desk that adds certificates one after another, each saved on its own, until the file
// `stopFile` appears. It exits with 0 when every one was stored.
std::unique_ptr<QProcess> startSaving(const QString& connectionString, const QString& stopFile);

// For the test class's static initMain(): a run started as the other desk does its errand and
// exits there.
void runErrandIfAsked();

} // namespace OtherDesk
