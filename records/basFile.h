#pragma once
// Moving a photo between an image file and the photo column of a record.

#include "adodb.h"

class PhotoBox;

// Stores the file's bytes, unchanged, as the field's whole value. A missing, unreadable or empty
// file leaves the field as it was.
void FileToField(Field field, const QString& path);
// Shows the stored photo; False (box unchanged unless the field is null) when there is none or
// the bytes are not a picture.
bool FieldToPicture(Field field, PhotoBox* image);
