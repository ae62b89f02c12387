#pragma once
// Moving a photo between an image file and the photo column of a record.

#include "adodb.h"

class PhotoBox;

// Stores the file's bytes, unchanged, as the field's whole value. A missing, unreadable or empty
// file leaves the field as it was.
void FileToField(Field field, const QString& path);
// Shows the stored photo; False when there is none, or when the bytes cannot be shown (the box
// then says so, and the bytes stay stored).
bool FieldToPicture(Field field, PhotoBox* image);
