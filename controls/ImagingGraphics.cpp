// The graphic kinds a picture can hold: bitmap, JPEG, icon, GIF (with its
// animation) and PNG.
#include "controls/Imaging.h"
#include "controls/ImagingInternal.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace velmora {

using namespace imaging;

// ---- graphic kinds -----------------------------------------------------------

void TGraphic::Draw(QPainter& painter, const QRect& rect) const {
    const QImage image = ToImage();
    if (!image.isNull())
        painter.drawImage(rect, image);
}

TBitmap::TBitmap(QImage image) : FImage(Premultiplied(image)) {}

void TBitmap::LoadFromStream(const QByteArray& bytes) {
    QImage image = DecodePicture(bytes);
    if (image.isNull())
        throw EInvalidGraphic("Bitmap image is not valid");
    FImage = image;
    Changed();
}

void TBitmap::SaveToStream(QByteArray& stream) const {
    if (FImage.isNull())
        return;
    stream.append(Encode(FImage, "bmp"));
}

void TJPEGImage::SaveToStream(QByteArray& stream) const {
    if (!FImage.isNull())
        stream.append(Encode(FImage.convertToFormat(QImage::Format_RGB32), "jpeg"));
}

void TIcon::SaveToStream(QByteArray& stream) const {
    if (!FImage.isNull())
        stream.append(Encode(FImage, "ico"));
}

// ---- TGIFImage ---------------------------------------------------------------

TGIFImage::TGIFImage() = default;

TGIFImage::TGIFImage(const TGIFImage& other)
    : TGraphic(), FData(other.FData), FFrames(other.FFrames), FCurrent(other.FCurrent),
      FSpeed(other.FSpeed) {
    SetAnimate(other.FAnimate);
}

TGIFImage::~TGIFImage() = default;

int TGIFImage::Width() const {
    return FFrames.empty() ? 0 : FFrames.front().Image.width();
}
int TGIFImage::Height() const {
    return FFrames.empty() ? 0 : FFrames.front().Image.height();
}

QImage TGIFImage::ToImage() const {
    return FFrames.empty() ? QImage() : FFrames[std::size_t(FCurrent)].Image;
}

void TGIFImage::LoadFromStream(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (size.isValid() && !WithinLimit(size.width(), size.height()))
        throw EInvalidGraphic("GIF image is not valid");
    std::vector<TFrame> frames;
    qint64 total = 0;
    while (reader.canRead()) {
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        // All frames together stay within the same limit as one picture.
        total += qint64(frame.width()) * frame.height() * 4;
        if (total > LimitBytes)
            break;
        frames.push_back({Premultiplied(frame), reader.nextImageDelay()});
    }
    if (frames.empty())
        throw EInvalidGraphic("GIF image is not valid");
    FData = bytes;
    FFrames = std::move(frames);
    FCurrent = 0;
    Schedule();
    Changed();
}

void TGIFImage::SetAnimationSpeed(int percent) {
    FSpeed = std::clamp(percent, 0, 1000);
    Schedule();
}

void TGIFImage::SetAnimate(bool on) {
    FAnimate = on;
    Schedule();
}

int TGIFImage::FrameDelay(int frame) const {
    if (FSpeed == 0 || frame < 0 || frame >= FrameCount())
        return -1;
    // A zero delay would spin the timer; show such frames for 10 ms at least.
    return std::max(FFrames[std::size_t(frame)].Delay * 100 / FSpeed, 10);
}

void TGIFImage::NextFrame() {
    if (FFrames.size() < 2)
        return;
    FCurrent = (FCurrent + 1) % FrameCount();
    Changed();
    Schedule();
}

void TGIFImage::Schedule() {
    const int delay = FrameDelay(FCurrent);
    if (!FAnimate || FFrames.size() < 2 || delay < 0) {
        if (FTimer)
            FTimer->stop();
        return;
    }
    if (!FTimer) {
        FTimer = std::make_unique<QTimer>();
        FTimer->setSingleShot(true);
        QObject::connect(FTimer.get(), &QTimer::timeout, [this] { NextFrame(); });
    }
    FTimer->start(delay);
}

// ---- TPngGraphic -------------------------------------------------------------

TPngGraphic::TPngGraphic(const TPngGraphic& other) : TGraphic() {
    if (other.FImage)
        FImage = other.FImage->Duplicate();
}

TPngGraphic& TPngGraphic::operator=(const TPngGraphic& other) {
    if (this != &other)
        Assign(other);
    return *this;
}

int TPngGraphic::Width() const {
    return FImage ? FImage->Width() : 0;
}
int TPngGraphic::Height() const {
    return FImage ? FImage->Height() : 0;
}

void TPngGraphic::SetImage(std::unique_ptr<TNativeImage> image) {
    FImage = std::move(image);
    Changed();
}

void TPngGraphic::Assign(const TGraphic& source) {
    if (&source == this)
        return;
    if (auto* png = dynamic_cast<const TPngGraphic*>(&source)) {
        SetImage(png->FImage ? png->FImage->Duplicate() : nullptr);
        return;
    }
    if (dynamic_cast<const TBitmap*>(&source)) {
        TakeFrom(source.ToImage());
        return;
    }
    throw EInvalidGraphic(std::string("Cannot assign a ") + source.ClassName() +
                          " to a TPngGraphic");
}

void TPngGraphic::Draw(QPainter& painter, const QRect& rect) const {
    PaintTo(painter, rect);
}

void TPngGraphic::LoadFromStream(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        SetImage(nullptr);
        return;
    }
    SetImage(TNativeImage::MakeFromStream(bytes));
}

void TPngGraphic::SaveToStream(QByteArray& stream) const {
    if (!FImage || !FImage->HasImage())
        return;
    QByteArray temp;
    FImage->WritePng(temp);
    stream.append(temp);
}

bool TPngGraphic::SameContent(const TPngGraphic& other) const {
    if (Width() != other.Width() || Height() != other.Height())
        return false;
    if (Empty() || other.Empty())
        return true;
    std::vector<std::uint32_t> a, b;
    FImage->CopyPixels(a);
    other.FImage->CopyPixels(b);
    return a == b;
}

void TPngGraphic::TakeFrom(const QImage& bitmap) {
    SetImage(TNativeImage::MakeFromBitmap(bitmap));
}

void TPngGraphic::PaintTo(QPainter& painter, const QRect& rect) const {
    PaintPart(painter, rect, QRect(0, 0, Width(), Height()));
}

void TPngGraphic::PaintPart(QPainter& painter, const QRect& dest, const QRect& source) const {
    if (FImage)
        FImage->DrawPart(painter, dest, source);
}

} // namespace velmora
