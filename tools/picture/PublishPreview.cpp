#include "tools/picture/PublishPreview.h"

#include "install/CodePage.h"
#include "install/uZip.h"
#include "platform/ThemeFile.h"
#include "platform/ThemeHandler.h"
#include "platform/desktop/CursorImages.h"
#include "platform/sim/ThemePack.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "tools/picture/DesktopPicture.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>

namespace velmora::tool {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t MaxPictureBytes = 64 << 20;
constexpr std::size_t MaxCursorBytes = 16 << 20;

QImage Decode(const std::string& bytes) {
    return QImage::fromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// The picture scaled to cover the preview and cut to it, centred.
QImage Cover(const QImage& picture) {
    const QImage scaled = picture.scaled(PreviewWidth, PreviewHeight,
                                         Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return scaled
        .copy((scaled.width() - PreviewWidth) / 2, (scaled.height() - PreviewHeight) / 2,
              PreviewWidth, PreviewHeight)
        .convertToFormat(QImage::Format_RGB32);
}

QImage Canvas(const QColor& from, const QColor& to) {
    QImage img(PreviewWidth, PreviewHeight, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 0, PreviewHeight);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    p.fillRect(img.rect(), g);
    return img;
}

QFont Font(int pixels, bool bold = false) {
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QImage NameCard(const std::string& name) {
    QImage img = Canvas(QColor(10, 14, 40), QColor(40, 70, 130));
    QPainter p(&img);
    p.setPen(Qt::white);
    p.setFont(Font(30, true));
    p.drawText(img.rect().adjusted(20, 0, -20, 0), Qt::AlignCenter | Qt::TextWordWrap,
               QString::fromStdString(name));
    return img;
}

// The file a theme value names, relative to the folder the theme file lies
// in once installed; empty when it lies elsewhere.
std::string WallpaperInThemeFolder(const std::string& themeBytes, const fs::path& themeFolder) {
    const TThemeFile theme = TThemeFile::Parse(themeBytes, Cp936ToUtf8);
    const auto value = theme.Value("Control Panel\\Desktop", "Wallpaper");
    if (!value)
        return {};
    const fs::path root = "/velmora-publish";
    const auto path = ExpandThemePath(
        *value,
        {root / "Windows", themeFolder.empty() ? root / "Windows/Resources/Themes" : themeFolder,
         root / "Local"});
    if (!path)
        return {};
    const fs::path rel = path->lexically_relative(
        themeFolder.empty() ? root / "Windows/Resources/Themes" : themeFolder);
    if (rel.empty() || *rel.begin() == "..")
        return {};
    return LowerAscii(rel.generic_string());
}

bool IsPictureName(const std::string& name) {
    const std::string lower = LowerAscii(name);
    for (const char* ext : {".jpg", ".jpeg", ".png", ".bmp"})
        if (lower.size() > std::strlen(ext) && lower.ends_with(ext))
            return true;
    return false;
}

std::string Slashed(std::string name) {
    for (char& c : name)
        if (c == '\\')
            c = '/';
    return name;
}

// A theme ZIP's wallpaper, found where its theme file says it lies once the
// package is unpacked; else the package's first picture.
QImage ZipWallpaper(const TPreviewRequest& r) {
    TZipFile zip(r.Package);
    const auto& entries = zip.Entries();
    std::string wanted;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].FolderPart.empty() && entries[i].FileName == r.ThemeFile)
            wanted = WallpaperInThemeFolder(zip.ReadEntry(i, TThemeFile::MaxBytes), {});
    std::optional<std::size_t> pick;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].IsFolder)
            continue;
        if (!wanted.empty() && LowerAscii(Slashed(entries[i].Name)) == wanted)
            pick = i;
        else if (!pick && IsPictureName(entries[i].FileName))
            pick = i;
    }
    return pick ? Decode(zip.ReadEntry(*pick, MaxPictureBytes)) : QImage();
}

// A theme pack's wallpaper: the pack unpacked into a folder of its own.
QImage PackWallpaper(const TPreviewRequest& r) {
    const fs::path dir = TemporaryNameBeside(fs::temp_directory_path() / "velmora-publish");
    std::string why;
    QImage picture;
    if (sim::UnpackThemePack(r.Package, dir, why)) {
        const fs::path themeFile = FindThemeFile(dir);
        std::string bytes;
        std::string wanted;
        if (!themeFile.empty() && !ReadWholeFile(themeFile, bytes, TThemeFile::MaxBytes))
            wanted = WallpaperInThemeFolder(bytes, dir);
        fs::path first;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string rel = LowerAscii(it->path().lexically_relative(dir).generic_string());
            if (!wanted.empty() && rel == wanted)
                first = it->path(), wanted = "found";
            else if (first.empty() && IsPictureName(rel))
                first = it->path();
        }
        if (!first.empty() && !ReadWholeFile(first, bytes, MaxPictureBytes))
            picture = Decode(bytes);
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return picture;
}

// The cursor's first frame, at its largest size.
QImage CursorPicture(const std::string& bytes) {
    const desktop::TDecodedCursor cursor = desktop::DecodeCursorFile(bytes);
    if (cursor.Frames.empty() || cursor.Frames[0].empty())
        return {};
    const desktop::TCursorImage* best = &cursor.Frames[0][0];
    for (const auto& img : cursor.Frames[0])
        if (img.Width > best->Width)
            best = &img;
    QImage img(best->Width, best->Height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < best->Height; ++y)
        std::memcpy(img.scanLine(y), best->Pixels.data() + std::size_t(y) * best->Width,
                    std::size_t(best->Width) * 4);
    return img;
}

// The scheme's cursors in role order, five to a row, each over its role name.
QImage CursorSheet(const TPreviewRequest& r) {
    TZipFile zip(r.Package);
    QImage img = Canvas(QColor(44, 48, 60), QColor(92, 98, 120));
    QPainter p(&img);
    p.setPen(Qt::white);
    p.setFont(Font(20, true));
    p.drawText(QRect(12, 6, PreviewWidth - 24, 34), Qt::AlignVCenter | Qt::AlignLeft,
               QString::fromStdString(r.Name));
    p.setFont(Font(11));
    int cell = 0;
    for (std::size_t role = 0; role < CursorRoleCount; ++role) {
        if (r.Roles[role].empty())
            continue;
        QImage cursor;
        const std::string wanted = LowerAscii(Slashed(r.Roles[role]));
        for (std::size_t i = 0; i < zip.Entries().size() && cursor.isNull(); ++i)
            if (!zip.Entries()[i].IsFolder &&
                LowerAscii(Slashed(zip.Entries()[i].Name)) == wanted) {
                try {
                    cursor = CursorPicture(zip.ReadEntry(i, MaxCursorBytes));
                } catch (const std::exception&) {
                    // A cursor the reader cannot decode keeps its empty cell.
                }
            }
        const QRect box(8 + (cell % 5) * 77, 44 + (cell / 5) * 84, 77, 84);
        ++cell;
        if (!cursor.isNull())
            p.drawImage(QRect(box.center().x() - 24, box.top() + 6, 48, 48),
                        cursor.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        p.drawText(QRect(box.left(), box.top() + 58, box.width(), 20), Qt::AlignCenter,
                   QString::fromUtf8(CursorRoles[role].ValueName));
    }
    return img;
}

} // namespace

std::string MakePublishPreview(const TPreviewRequest& r, std::string& why) {
    EnsureGuiApplication();
    QImage preview;
    try {
        if (!r.Given.empty()) {
            const QImage given = Decode(r.Given);
            if (given.isNull()) {
                why = "the given preview is not a picture";
                return {};
            }
            preview = Cover(given);
        } else if (r.Kind == TPackageKind::Theme) {
            const QImage wall = r.ThemeFile.empty() ? PackWallpaper(r) : ZipWallpaper(r);
            preview = wall.isNull() ? NameCard(r.Name) : Cover(wall);
        } else if (r.Kind == TPackageKind::Cursor) {
            preview = CursorSheet(r);
        } else {
            preview = NameCard(r.Name);
        }
    } catch (const std::exception& e) {
        why = e.what();
        return {};
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!preview.save(&buffer, "JPEG", 85)) {
        why = "cannot encode the preview";
        return {};
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace velmora::tool
