#include "PhotoFit.h"

#include <QBuffer>
#include <QImage>

namespace {
constexpr int kWidth = 413;
constexpr int kHeight = 531;
constexpr int kDotsPerMetre = 11811; // 300 dpi
} // namespace

QByteArray FitToIdPhoto(const QByteArray& bytes) {
    QImage image;
    if (!image.loadFromData(bytes)) return {};
    if (image.width() <= kWidth && image.height() <= kHeight) return bytes;
    const QImage scaled = image.scaled(kWidth, kHeight, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QImage cut = scaled.copy((scaled.width() - kWidth) / 2, (scaled.height() - kHeight) / 2, kWidth, kHeight);
    cut.setDotsPerMeterX(kDotsPerMetre);
    cut.setDotsPerMeterY(kDotsPerMetre);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!cut.save(&buffer, "JPEG", 90)) return {};
    return out;
}
