#include "wallpaper/uPictureBmp.h"

#include "controls/Imaging.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

namespace velmora {

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
    flat = flat.convertToFormat(QImage::Format_RGB888);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!flat.save(&buffer, "BMP"))
        return std::nullopt;
    return std::string(out.constData(), static_cast<std::size_t>(out.size()));
}

} // namespace velmora
