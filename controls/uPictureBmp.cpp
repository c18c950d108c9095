#include "controls/uPictureBmp.h"

#include "controls/Imaging.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

namespace velmora {

namespace {

std::optional<std::string> BmpBytes(const QImage& image) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB888).save(&buffer, "BMP"))
        return std::nullopt;
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

// The largest composed picture made: far above any desktop of real screens.
constexpr qint64 MaxComposedPixels = qint64(16384) * 16384;

} // namespace

std::vector<TScreenRect> DesktopScreens() {
    std::vector<TScreenRect> rects;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const qreal ratio = screen->devicePixelRatio();
        const QRect g = screen->geometry();
        rects.push_back({qRound(g.x() * ratio), qRound(g.y() * ratio), qRound(g.width() * ratio),
                         qRound(g.height() * ratio)});
    }
    return rects;
}

std::optional<std::string>
TQtPictureConverter::ComposeScreens(const std::vector<TScreenRect>& screens,
                                    const std::vector<std::filesystem::path>& pictures) {
    if (screens.empty() || screens.size() != pictures.size())
        return std::nullopt;
    QRect box;
    for (const TScreenRect& r : screens)
        box |= QRect(r.X, r.Y, r.Width, r.Height);
    if (box.isEmpty() || qint64(box.width()) * box.height() > MaxComposedPixels)
        return std::nullopt;
    QImage desktop(box.size(), QImage::Format_RGB32);
    desktop.fill(Qt::black);
    QPainter painter(&desktop);
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const TScreenRect& r = screens[i];
        QImage picture;
        if (!pictures[i].empty())
            picture.load(QString::fromStdString(pictures[i].string()));
        if (picture.isNull())
            continue;
        const QImage fitted =
            picture.scaled(r.Width, r.Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // Tiling repeats the picture every box width and height from (0, 0):
        // a screen left of or above the primary one wraps around.
        const int x = ((r.X % box.width()) + box.width()) % box.width();
        const int y = ((r.Y % box.height()) + box.height()) % box.height();
        for (int dx : {0, -box.width()})
            for (int dy : {0, -box.height()})
                painter.drawImage(x + dx, y + dy, fitted);
    }
    painter.end();
    return BmpBytes(desktop);
}

std::optional<std::string> TQtPictureConverter::ToBmp(const std::string& bytes) {
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return std::nullopt;
    // The program's own decoder, with its limit on the size of a picture.
    const TGPBitmap decoder{std::string_view(bytes)};
    if (decoder.GetWidth() == 0 || decoder.GetHeight() == 0)
        return std::nullopt;
    const QImage picture = decoder.GetHBITMAP(0);
    QImage flat(picture.size(), QImage::Format_RGB32);
    flat.fill(Qt::black);
    {
        QPainter painter(&flat);
        painter.drawImage(0, 0, picture);
    }
    return BmpBytes(flat);
}

} // namespace velmora
