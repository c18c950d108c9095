#include "app/uWindowParts.h"

#include "controls/PaintPanel.h"
#include "platform/util/Png.h"

#include <QResource>

#include <cstring>

namespace velmora {

namespace {

// The built-in pictures are small; a larger one is not ours.
constexpr int MaxResourceSide = 4096;

} // namespace

QFont InterfaceFont(const QString& family, int pixelSize) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QFont EmboldenedFont(QFont font) {
    font.setBold(true);
    font.setStyleName(QStringLiteral("Regular"));
    return font;
}

// The pictures are our own PNGs, read with libpng: going through Qt's image
// reader would first look up every image plug-in installed, which costs the
// window's first paint several milliseconds.
QImage ResourceImage(const QString& name) {
    const QResource resource(QStringLiteral(":/velmora/") + name);
    const QByteArray bytes = resource.uncompressedData();
    TArgbPicture picture;
    std::string message;
    if (DecodePng(std::string_view(bytes.constData(), std::size_t(bytes.size())), MaxResourceSide,
                  picture, message) != TPngResult::Decoded)
        return {};
    QImage image(picture.Width, picture.Height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < picture.Height; ++y)
        std::memcpy(image.scanLine(y), picture.Pixels.data() + std::size_t(y) * picture.Width,
                    std::size_t(picture.Width) * 4);
    return image;
}

TPicture ResourcePicture(const QString& name) {
    TPicture picture;
    const QImage image = ResourceImage(name);
    if (!image.isNull()) {
        auto png = std::make_unique<TPngGraphic>();
        png->TakeFrom(image);
        picture.SetGraphic(std::move(png));
    }
    return picture;
}

TPaintPanel* TitleBar(QWidget* parent, const QRect& geometry, const QString& caption,
                      const QString& picture, THorzStretchType stretch) {
    auto* bar = new TPaintPanel(parent);
    bar->setGeometry(geometry);
    bar->SetCaption(caption);
    bar->SetAlignment(taLeftJustify);
    bar->SetPicture(ResourcePicture(picture));
    bar->SetPicHorzStretch(stretch);
    bar->SetPicVertStretch(vstNone);
    return bar;
}

TPaintPanel* FramePanel(QWidget* parent, const QRect& geometry) {
    auto* frame = new TPaintPanel(parent);
    frame->setGeometry(geometry);
    frame->SetColor(Qt::white);
    frame->SetBevelStyle(bsSingle);
    frame->SetBevelColor(Silver);
    frame->SetBevelWidth(1);
    return frame;
}

} // namespace velmora
