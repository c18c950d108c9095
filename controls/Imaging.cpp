#include "controls/Imaging.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

constexpr qint64 kLimitBytes = qint64(PictureAllocationLimitMb) * 1024 * 1024;

bool WithinLimit(qint64 width, qint64 height) {
    return width > 0 && height > 0 && width * height * 4 <= kLimitBytes;
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
        if (total > kLimitBytes)
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

// ---- registry ------------------------------------------------------------------

namespace {
std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}
} // namespace

TPictureFormats& TPictureFormats::Instance() {
    static TPictureFormats formats = [] {
        TPictureFormats f;
        RegisterDefaultPictureFormats(f);
        return f;
    }();
    return formats;
}

void TPictureFormats::Register(std::string extension, std::string description,
                               std::string className, TFactory make) {
    FEntries.push_back(
        {Lower(extension), std::move(description), std::move(className), std::move(make)});
}

void TPictureFormats::Unregister(std::string_view className) {
    std::erase_if(FEntries, [&](const TEntry& e) { return e.ClassName == className; });
}

const TPictureFormats::TEntry* TPictureFormats::FindByExtension(std::string_view extension) const {
    const std::string ext = Lower(extension);
    for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
        if (it->Extension == ext)
            return &*it;
    return nullptr;
}

const TPictureFormats::TEntry* TPictureFormats::FindByClassName(std::string_view className) const {
    for (auto it = FEntries.rbegin(); it != FEntries.rend(); ++it)
        if (it->ClassName == className)
            return &*it;
    return nullptr;
}

void RegisterDefaultPictureFormats(TPictureFormats& formats) {
    formats.Register("ico", "Icons", "TIcon", [] { return std::make_unique<TIcon>(); });
    formats.Register("bmp", "Bitmaps", "TBitmap", [] { return std::make_unique<TBitmap>(); });
    formats.Register("jpeg", "JPEG Image File", "TJPEGImage",
                     [] { return std::make_unique<TJPEGImage>(); });
    formats.Register("jpg", "JPEG Image File", "TJPEGImage",
                     [] { return std::make_unique<TJPEGImage>(); });
    formats.Register("GIF", "GIF Image", "TGIFImage", [] { return std::make_unique<TGIFImage>(); });
    formats.Register("PNG", "PNG文件", "TPngGraphic",
                     [] { return std::make_unique<TPngGraphic>(); });
}

// ---- TPicture --------------------------------------------------------------------

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    FGraphic = std::move(graphic);
    if (FGraphic)
        FGraphic->OnChange = [this] { Changed(); };
    Changed();
}

void TPicture::Assign(const TPicture& other) {
    SetGraphic(other.FGraphic ? other.FGraphic->Clone() : nullptr);
}

void TPicture::LoadFromFile(const std::string& path, const TPictureFormats& formats) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    const std::string ext =
        (dot == std::string::npos || (slash != std::string::npos && dot < slash))
            ? std::string()
            : path.substr(dot + 1);
    const TPictureFormats::TEntry* entry = formats.FindByExtension(ext);
    if (!entry)
        throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidGraphic("Cannot open file \"" + path + "\"");
    if (file.size() > kLimitBytes)
        throw EInvalidGraphic("Picture file is too large: " + path);
    const QByteArray bytes = file.readAll();
    auto graphic = entry->Make();
    graphic->LoadFromStream(bytes);
    SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::string& path) const {
    if (!FGraphic)
        throw EInvalidGraphic("No picture to save");
    QByteArray bytes;
    FGraphic->SaveToStream(bytes);
    // Written beside the target and renamed, so a failed save leaves no
    // partial file under the final name.
    const QString target = QString::fromStdString(path);
    const QString temp = target + ".part";
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() ||
        !out.flush()) {
        out.remove();
        throw EInvalidGraphic("Cannot write file \"" + path + "\"");
    }
    out.close();
    QFile::remove(target);
    if (!QFile::rename(temp, target)) {
        QFile::remove(temp);
        throw EInvalidGraphic("Cannot write file \"" + path + "\"");
    }
}

void TPicture::ReadStored(const QByteArray& data, const TPictureFormats& formats) {
    if (data.isEmpty()) {
        Clear();
        return;
    }
    const int length = static_cast<unsigned char>(data[0]);
    if (length > 63 || data.size() < 1 + length) {
        Clear();
        return;
    }
    const std::string name = data.mid(1, length).toStdString();
    const TPictureFormats::TEntry* entry = formats.FindByClassName(name);
    if (!entry) {
        Clear();
        return;
    }
    QByteArray payload = data.mid(1 + length);
    if (name == "TBitmap") {
        // A stored bitmap carries its own length in front of the BMP file.
        if (payload.size() < 4)
            throw EInvalidGraphic("Bitmap image is not valid");
        const std::uint32_t size = ReadLe32(payload, 0);
        payload = payload.mid(4, qsizetype(std::min<std::uint32_t>(size, payload.size() - 4)));
    }
    auto graphic = entry->Make();
    graphic->LoadFromStream(payload);
    SetGraphic(std::move(graphic));
}

QByteArray TPicture::WriteStored() const {
    QByteArray out;
    if (!FGraphic)
        return out;
    const std::string name = FGraphic->ClassName();
    out.append(char(name.size()));
    out.append(name.data(), qsizetype(name.size()));
    QByteArray payload;
    FGraphic->SaveToStream(payload);
    if (name == "TBitmap") {
        const std::uint32_t size = std::uint32_t(payload.size());
        for (int i = 0; i < 4; ++i)
            out.append(char((size >> (8 * i)) & 0xFF));
    }
    out.append(payload);
    return out;
}

} // namespace velmora
