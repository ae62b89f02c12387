#include "basFile.h"

#include "PhotoBox.h"

#include <QFile>
#include <QPixmap>

void FileToField(Field field, const QString& path) {
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return;
        const QByteArray bytes = file.readAll();
        if (bytes.isEmpty() || bytes.size() != file.size()) return;
        field.AppendChunk(bytes);
    } catch (const DbError&) {
        // The field keeps its previous value.
    }
}

bool FieldToPicture(Field field, PhotoBox* image) {
    try {
        if (field.isNull()) {
            image->clearPicture();
            return false;
        }
        // Loaded straight from the stored bytes: no temporary file shared between running copies.
        const QByteArray bytes = field.Value().toByteArray();
        QPixmap picture;
        if (!picture.loadFromData(bytes)) {
            image->showUnreadable();
            return false;
        }
        image->setPicture(picture);
        return true;
    } catch (const DbError&) {
        // Never leave the previous record's picture standing for this one.
        image->showUnreadable();
        return false;
    }
}
