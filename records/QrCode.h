#pragma once
// A QR code for a printed card or label, drawn as filled squares: sharp on paper at any
// resolution, not a scaled picture.

#include <QRectF>
#include <QString>
#include <QVector>

class QPainter;

class QrCode {
public:
    // The code of `text` at error correction level M; empty when the text does not fit a code.
    static QrCode encode(const QString& text);

    bool isEmpty() const { return m_size == 0; }
    // Modules per side, without the quiet zone, and with it.
    int size() const { return m_size; }
    int sizeWithQuietZone() const { return m_size + 2 * kQuietModules; }
    bool dark(int x, int y) const { return m_modules[y * m_size + x]; }
    // Draws the code centred in `target`, square, with the quiet zone of four modules around it.
    void paint(QPainter& painter, const QRectF& target) const;

private:
    static constexpr int kQuietModules = 4;
    int m_size = 0;
    QVector<bool> m_modules;
};
