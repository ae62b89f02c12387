#include "QrCode.h"

#include <QPainter>
#include <qrencode.h>

QrCode QrCode::encode(const QString& text) {
    QrCode code;
    QRcode* encoded = QRcode_encodeString(text.toUtf8().constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!encoded) return code;
    code.m_size = encoded->width;
    code.m_modules.resize(code.m_size * code.m_size);
    for (int i = 0; i < code.m_modules.size(); ++i)
        code.m_modules[i] = encoded->data[i] & 1;
    QRcode_free(encoded);
    return code;
}

void QrCode::paint(QPainter& painter, const QRectF& target) const {
    if (isEmpty()) return;
    const double side = std::min(target.width(), target.height());
    const double module = side / sizeWithQuietZone();
    const QPointF origin(target.center().x() - side / 2 + kQuietModules * module,
                         target.center().y() - side / 2 + kQuietModules * module);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRectF(target.center().x() - side / 2, target.center().y() - side / 2, side, side), Qt::white);
    // Each run of dark modules in a row is one rectangle, so no hairline gaps show between them.
    for (int y = 0; y < m_size; ++y)
        for (int x = 0; x < m_size;) {
            if (!dark(x, y)) {
                ++x;
                continue;
            }
            int end = x;
            while (end < m_size && dark(end, y))
                ++end;
            painter.fillRect(QRectF(origin.x() + x * module, origin.y() + y * module, (end - x) * module, module + 0.01 * module),
                             Qt::black);
            x = end;
        }
    painter.restore();
}
