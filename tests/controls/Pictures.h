#pragma once
// Pictures made by the tests and pixel helpers.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QWidget>

#include <functional>

namespace velmora::test::pics {

// An image of the size whose pixel colour is given by f(x, y).
inline QImage MakeImage(int w, int h, const std::function<QRgb(int, int)>& f,
                        QImage::Format format = QImage::Format_ARGB32) {
    QImage image(w, h, format);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, f(x, y));
    return image;
}

inline QByteArray Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A distinct opaque colour per column and per row.
inline QRgb ColumnColour(int x) {
    return qRgb(x * 7 % 256, 100, 200);
}
inline QRgb RowColour(int y) {
    return qRgb(50, y * 5 % 256, 10);
}

inline QImage Grab(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace velmora::test::pics
