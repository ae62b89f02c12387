#pragma once
// A folder of ID photos onto the records of one register: each file named by the person's
// identity number or by the record's key. One transaction, a trail row per photo.

#include <functional>
#include <QByteArray>
#include <QString>
#include <QStringList>

class Connection;

struct PhotoImportOptions {
    bool replaceExisting = false; // a record's stored photo is kept unless this is asked for
    bool dryRun = false;
    // Turns a large photo into the stored one (the windows fit it to an ID photo); unset: the
    // bytes are stored as read. Returns empty bytes when it cannot read the image.
    std::function<QByteArray(const QByteArray&)> fit;
    std::function<void(int done, int total)> progress;
};

struct PhotoImportReport {
    QString folder;
    QString table;
    QString database;
    bool dryRun = false;
    int files = 0;
    int attached = 0;
    int replaced = 0; // among the attached
    int skipped = 0;
    QStringList rows;
    QString fatal; // nothing was written
    QString savedAs;

    QString text() const;
};

// The photo files of a folder, by name: *.jpg, *.jpeg, *.png, *.bmp in any case.
QStringList photoFilesIn(const QString& folder);

PhotoImportReport importPhotos(const QString& folder, const QString& table, Connection& conn,
                               const PhotoImportOptions& options);
void savePhotoReport(PhotoImportReport& report, const QString& folder);
