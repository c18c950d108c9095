#include "tools/picture/DesktopPicture.h"

#include "platform/util/Files.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <memory>

namespace velmora::tool {
namespace fs = std::filesystem;

namespace {

// A cursor file is some kilobytes; nothing larger is read.
constexpr std::uintmax_t MaxCursorBytes = 16 << 20;

} // namespace

void EnsureGuiApplication() {
    if (QGuiApplication::instance())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "velmora-tool";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv); // lives until the process ends
    (void)app;
}

namespace {

std::uint32_t Le32(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8) |
           (static_cast<unsigned char>(b[at + 2]) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}

// The first frame of an animated cursor: the first "icon" chunk of its
// "fram" list, itself a .cur or .ico file.
std::string FirstAniFrame(const std::string& ani) {
    if (ani.size() < 12 || ani.compare(0, 4, "RIFF") != 0 || ani.compare(8, 4, "ACON") != 0)
        return {};
    std::size_t pos = 12;
    while (pos + 8 <= ani.size()) {
        const std::string id = ani.substr(pos, 4);
        const std::uint32_t size = Le32(ani, pos + 4);
        if (id == "LIST") {
            if (pos + 12 > ani.size() || ani.compare(pos + 8, 4, "fram") != 0) {
                pos += 8 + size + (size & 1);
                continue;
            }
            pos += 12; // into the list
            continue;
        }
        if (id == "icon")
            return size <= ani.size() - pos - 8 ? ani.substr(pos + 8, size) : std::string();
        if (size > ani.size())
            return {};
        pos += 8 + size + (size & 1);
    }
    return {};
}

// The cursor picture and its hot spot, from a .cur (or an .ani's first frame).
QImage LoadCursor(const fs::path& file, QPoint& hotSpot) {
    std::string bytes;
    if (file.empty() || ReadWholeFile(file, bytes, MaxCursorBytes))
        return {};
    if (bytes.compare(0, 4, "RIFF") == 0)
        bytes = FirstAniFrame(bytes);
    if (bytes.size() < 22)
        return {};
    hotSpot = QPoint(
        static_cast<unsigned char>(bytes[10]) | (static_cast<unsigned char>(bytes[11]) << 8),
        static_cast<unsigned char>(bytes[12]) | (static_cast<unsigned char>(bytes[13]) << 8));
    // Qt reads cursor files with its icon reader; type 2 marks a cursor.
    QImage image =
        QImage::fromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), "CUR");
    if (image.isNull()) {
        bytes[2] = 1; // the same directory read as an icon
        image =
            QImage::fromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), "ICO");
    }
    return image;
}

// Places the wallpaper as Windows does for its style: 0 centre (1 with tile:
// tiled), 2 stretch, 6 fit, 10 fill, 22 span (one screen: fill).
void DrawWallpaper(QPainter& p, const QImage& wall, const std::string& style,
                   const std::string& tile) {
    const QRect screen(0, 0, DesktopWidth, DesktopHeight);
    if (wall.isNull())
        return;
    if (style == "2") {
        p.drawImage(screen, wall);
    } else if (style == "6" || style == "10" || style == "22") {
        const Qt::AspectRatioMode mode =
            style == "6" ? Qt::KeepAspectRatio : Qt::KeepAspectRatioByExpanding;
        const QImage scaled = wall.scaled(screen.size(), mode, Qt::SmoothTransformation);
        p.drawImage((DesktopWidth - scaled.width()) / 2, (DesktopHeight - scaled.height()) / 2,
                    scaled);
    } else if (tile == "1") {
        for (int y = 0; y < DesktopHeight; y += wall.height())
            for (int x = 0; x < DesktopWidth; x += wall.width())
                p.drawImage(x, y, wall);
    } else {
        p.drawImage((DesktopWidth - wall.width()) / 2, (DesktopHeight - wall.height()) / 2, wall);
    }
}

QString OrNone(const std::string& s) {
    return s.empty() ? QStringLiteral("无") : QString::fromStdString(s);
}

} // namespace

bool DrawDesktopPicture(const TDesktopState& state, const fs::path& png, std::string& why) {
    EnsureGuiApplication();
    QImage screen(DesktopWidth, DesktopHeight, QImage::Format_RGB32);
    screen.fill(QColor(0, 0, 0)); // the desktop colour shows where no wallpaper is
    QPainter p(&screen);
    QImage wall;
    if (!state.WallpaperFile.empty())
        wall.load(QString::fromStdString(state.WallpaperFile.string()));
    DrawWallpaper(p, wall, state.WallpaperStyle, state.TileWallpaper);

    QPoint hot;
    const QImage cursor = LoadCursor(state.ArrowFile, hot);
    if (!cursor.isNull())
        p.drawImage(QRect(CursorX - hot.x() * CursorScale, CursorY - hot.y() * CursorScale,
                          cursor.width() * CursorScale, cursor.height() * CursorScale),
                    cursor);

    const QRect band(0, DesktopHeight - CaptionHeight, DesktopWidth, CaptionHeight);
    p.fillRect(band, QColor(0, 0, 0, 170));
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(18);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(band.adjusted(16, 0, -16, 0), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("主题：%1    鼠标指针：%2    屏保：%3")
                   .arg(OrNone(state.ThemeName), OrNone(state.CursorScheme),
                        OrNone(state.ScreenSaverName)));
    p.end();

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!screen.save(&buffer, "PNG")) {
        why = "cannot encode the picture";
        return false;
    }
    if (std::error_code ec =
            WriteFileAtomically(png, std::string_view(bytes.constData(), bytes.size()))) {
        why = "cannot write " + png.string() + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace velmora::tool
