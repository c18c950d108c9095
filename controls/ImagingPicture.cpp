// The picture-format registry and TPicture: files and stored pictures to the
// graphic kind that holds them.
#include "controls/Imaging.h"
#include "controls/ImagingInternal.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <QFile>

#include <algorithm>

namespace velmora {

using namespace imaging;

// ---- registry ------------------------------------------------------------------

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
        {LowerAscii(extension), std::move(description), std::move(className), std::move(make)});
}

void TPictureFormats::Unregister(std::string_view className) {
    std::erase_if(FEntries, [&](const TEntry& e) { return e.ClassName == className; });
}

const TPictureFormats::TEntry* TPictureFormats::FindByExtension(std::string_view extension) const {
    const std::string ext = LowerAscii(extension);
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
    if (file.size() > LimitBytes)
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
    // A temporary file of its own beside the target, renamed over it: the old
    // file stays whole until the new one is complete, a failed save leaves
    // nothing behind, and two saves to one path never share a temporary name.
    if (WriteFileAtomically(std::filesystem::path(path),
                            std::string_view(bytes.constData(), std::size_t(bytes.size()))))
        throw EInvalidGraphic("Cannot write file \"" + path + "\"");
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
