// The decoder: downloaded or stored bytes to premultiplied images, within the
// allocation limit; and the native image the PNG kind draws from.
#include "controls/Imaging.h"
#include "controls/ImagingInternal.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace velmora {

namespace imaging {

bool WithinLimit(qint64 width, qint64 height) {
    return width > 0 && height > 0 && width * height * 4 <= LimitBytes;
}

QImage Premultiplied(const QImage& image) {
    if (image.isNull() || image.format() == QImage::Format_ARGB32_Premultiplied)
        return image;
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::uint32_t ReadLe32(const QByteArray& b, int at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

QImage DecodeAs(const QByteArray& bytes, const char* format) {
    if (bytes.isEmpty())
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format ? QByteArray(format) : QByteArray());
    if (format)
        reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid() && !WithinLimit(size.width(), size.height()))
        return {};
    QImage image = reader.read();
    if (image.isNull() || !WithinLimit(image.width(), image.height()))
        return {};
    return Premultiplied(image);
}

QByteArray Encode(const QImage& image, const char* format) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        throw EInvalidGraphic(InvalidOperationText);
    return out;
}

} // namespace imaging

using namespace imaging;

namespace {

// A 32-bit uncompressed BMP keeps its fourth byte as alpha, which the image
// reader would drop. Returns a null image for any other BMP.
QImage Read32BitBmp(const QByteArray& b) {
    if (b.size() < 54)
        return {};
    const std::uint32_t offset = ReadLe32(b, 10);
    const std::int32_t width = static_cast<std::int32_t>(ReadLe32(b, 18));
    const std::int32_t rawHeight = static_cast<std::int32_t>(ReadLe32(b, 22));
    const unsigned bits =
        static_cast<unsigned char>(b[28]) | (static_cast<unsigned char>(b[29]) << 8);
    const std::uint32_t compression = ReadLe32(b, 30);
    if (bits != 32 || (compression != 0 && compression != 3))
        return {};
    if (rawHeight == INT32_MIN)
        return {};
    const qint64 height = rawHeight < 0 ? -qint64(rawHeight) : qint64(rawHeight);
    if (!WithinLimit(width, height))
        return {};
    const qint64 need = qint64(offset) + qint64(width) * height * 4;
    if (need > b.size())
        return {};
    QImage image(width, int(height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const bool bottomUp = rawHeight > 0;
    for (int y = 0; y < height; ++y) {
        const int srcRow = bottomUp ? int(height) - 1 - y : y;
        const char* src = b.constData() + offset + qint64(srcRow) * width * 4;
        auto* dst = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        std::memcpy(dst, src, std::size_t(width) * 4);
        // Keep the values valid premultiplied pixels: no channel above alpha.
        for (int x = 0; x < width; ++x) {
            std::uint32_t p = dst[x];
            const std::uint32_t a = p >> 24;
            std::uint32_t r = std::min((p >> 16) & 0xFF, a);
            std::uint32_t g = std::min((p >> 8) & 0xFF, a);
            std::uint32_t bl = std::min(p & 0xFF, a);
            dst[x] = (a << 24) | (r << 16) | (g << 8) | bl;
        }
    }
    return image;
}

} // namespace

QImage DecodePicture(const QByteArray& bytes) {
    return DecodeAs(bytes, nullptr);
}

// ---- TGPBitmap -------------------------------------------------------------

TGPBitmap::TGPBitmap(const QByteArray& bytes) {
    FImage = DecodePicture(bytes);
    if (FImage.isNull())
        FLastStatus = bytes.isEmpty() ? InvalidParameter : UnknownImageFormat;
}

TGPBitmap::TGPBitmap(std::string_view bytes)
    : TGPBitmap(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size()))) {
    // fromRawData does not own the bytes; the decoded image never refers to them.
}

unsigned TGPBitmap::GetWidth() const {
    return unsigned(FImage.width());
}
unsigned TGPBitmap::GetHeight() const {
    return unsigned(FImage.height());
}

QImage TGPBitmap::GetHBITMAP(std::uint32_t background) const {
    if (FImage.isNull() || (background >> 24) == 0)
        return FImage;
    QImage out(FImage.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(QColor::fromRgba(background));
    QPainter p(&out);
    p.drawImage(0, 0, FImage);
    return out;
}

// ---- TNativeImage ----------------------------------------------------------

TNativeImage::TNativeImage(QImage image) : FImage(Premultiplied(image)) {}

std::unique_ptr<TNativeImage> TNativeImage::MakeFromBitmap(const QImage& bitmap) {
    QImage image = Premultiplied(bitmap);
    if (!bitmap.hasAlphaChannel() && !image.isNull()) {
        image = image.copy();
        for (int y = 0; y < image.height(); ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] |= 0xFF000000u;
        }
    }
    return std::make_unique<TNativeImage>(image);
}

std::unique_ptr<TNativeImage> TNativeImage::MakeFromPixels(int width, int height, bool hasAlpha,
                                                           std::vector<std::uint32_t> pixels) {
    if (width < 1 || height < 1 || !WithinLimit(width, height) ||
        pixels.size() < std::size_t(width) * std::size_t(height))
        throw EInvalidGraphic(InvalidOperationText);
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw EInvalidGraphic(InvalidOperationText);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        std::memcpy(row, pixels.data() + std::size_t(y) * width, std::size_t(width) * 4);
        if (!hasAlpha)
            for (int x = 0; x < width; ++x)
                row[x] |= 0xFF000000u;
    }
    return std::make_unique<TNativeImage>(image);
}

std::unique_ptr<TNativeImage> TNativeImage::MakeFromStream(const QByteArray& bytes) {
    auto image = std::make_unique<TNativeImage>();
    if (bytes.size() < 14)
        return image;
    if (bytes.startsWith("BM")) {
        QImage bmp = Read32BitBmp(bytes);
        if (bmp.isNull()) {
            // Any other depth has no alpha: every pixel becomes opaque.
            QImage decoded = DecodeAs(bytes, "bmp");
            if (decoded.isNull())
                throw EInvalidGraphic(InvalidOperationText);
            return MakeFromBitmap(decoded.convertToFormat(QImage::Format_RGB32));
        }
        image->FImage = bmp;
        return image;
    }
    image->ReadStream(bytes);
    return image;
}

std::unique_ptr<TNativeImage> TNativeImage::Duplicate() const {
    return std::make_unique<TNativeImage>(FImage);
}

void TNativeImage::ReadStream(const QByteArray& bytes) {
    DropHandle();
    QImage decoded = DecodePicture(bytes);
    if (decoded.isNull())
        throw EInvalidGraphic(InvalidOperationText);
    FImage = decoded;
}

void TNativeImage::DrawPart(QPainter& painter, const QRect& dest, const QRect& source) const {
    if (FImage.isNull())
        return;
    int sw = source.width(), sh = source.height();
    const int dw = dest.width(), dh = dest.height();
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1)
        return;
    // Enlarging would otherwise blend the edge with the pixels beyond it.
    if (dw > sw && sw > 1)
        --sw;
    if (dh > sh && sh > 1)
        --sh;
    if (QPaintDevice* device = painter.device()) {
        const QRect visible =
            painter.transform().inverted().mapRect(QRect(0, 0, device->width(), device->height()));
        if (!visible.intersects(dest))
            return;
    }
    painter.drawImage(dest, FImage, QRect(source.left(), source.top(), sw, sh));
}

void TNativeImage::CopyPixels(std::vector<std::uint32_t>& pixels) const {
    pixels.assign(std::size_t(FImage.width()) * std::size_t(FImage.height()), 0);
    for (int y = 0; y < FImage.height(); ++y)
        std::memcpy(pixels.data() + std::size_t(y) * FImage.width(), FImage.constScanLine(y),
                    std::size_t(FImage.width()) * 4);
}

void TNativeImage::WritePng(QByteArray& stream) const {
    if (FImage.isNull())
        throw EInvalidGraphic(InvalidOperationText);
    stream.append(Encode(FImage, "png"));
}

} // namespace velmora
