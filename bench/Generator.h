#pragma once
// Fills a database with realistic certificate records for the benchmarks.

#include <QSqlDatabase>
#include <QString>

struct GeneratorOptions {
    qint64 records = 10000;
    double photoShare = 0.02;
    quint32 seed = 20061201;
};

// Appends `records` certificates to table DangAnKu; returns an error text, empty on success.
QString generateCertificates(QSqlDatabase db, bool postgres, const GeneratorOptions& options);
