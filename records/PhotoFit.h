#pragma once
// Large photos made into an ID photo: 35 × 45 mm at 300 dpi (413 × 531 pixels), cut from the
// middle, as JPEG. Smaller ones are kept as they are.

#include <QByteArray>

QByteArray FitToIdPhoto(const QByteArray& bytes);
