#include "tools/picture/DesktopPicture.h"

#include "platform/util/Files.h"
#include "controls/uPictureBmp.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

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

// Places the wallpaper on one screen (its rectangle on the canvas) as Windows
// does for its style: 0 centre (1 with tile: tiled), 2 stretch, 6 fit, 10
// fill, 22 span (one screen: fill). Tiles start at `tileOrigin`.
void DrawWallpaper(QPainter& p, const QImage& wall, const std::string& style,
                   const std::string& tile, const QRect& screen, QPoint tileOrigin) {
    if (wall.isNull())
        return;
    p.save();
    p.setClipRect(screen);
    if (style == "2") {
        p.drawImage(screen, wall);
    } else if (style == "6" || style == "10" || style == "22") {
        const Qt::AspectRatioMode mode =
            style == "6" ? Qt::KeepAspectRatio : Qt::KeepAspectRatioByExpanding;
        const QImage scaled = wall.scaled(screen.size(), mode, Qt::SmoothTransformation);
        p.drawImage(screen.left() + (screen.width() - scaled.width()) / 2,
                    screen.top() + (screen.height() - scaled.height()) / 2, scaled);
    } else if (tile == "1") {
        auto first = [](int origin, int from, int step) {
            return from - (((from - origin) % step) + step) % step;
        };
        for (int y = first(tileOrigin.y(), screen.top(), wall.height()); y <= screen.bottom();
             y += wall.height())
            for (int x = first(tileOrigin.x(), screen.left(), wall.width()); x <= screen.right();
                 x += wall.width())
                p.drawImage(x, y, wall);
    } else {
        p.drawImage(screen.left() + (screen.width() - wall.width()) / 2,
                    screen.top() + (screen.height() - wall.height()) / 2, wall);
    }
    p.restore();
}

QString OrNone(const std::string& s) {
    return s.empty() ? QStringLiteral("无") : QString::fromStdString(s);
}

} // namespace

std::vector<TScreenRect> DisplayScreens() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    EnsureGuiApplication();
    return DesktopScreens();
}

bool DrawDesktopPicture(const TDesktopState& state, const fs::path& png, std::string& why,
                        std::vector<TScreenRect> screens) {
    EnsureGuiApplication();
    if (screens.empty())
        screens.push_back({0, 0, DesktopWidth, DesktopHeight});
    QRect box;
    for (const TScreenRect& r : screens)
        box |= QRect(r.X, r.Y, r.Width, r.Height);
    if (qint64(box.width()) * box.height() > qint64(16384) * 16384) {
        why = "the screens span more than 16384 x 16384 pixels";
        return false;
    }
    QImage screen(box.size(), QImage::Format_RGB32);
    screen.fill(QColor(0, 0, 0)); // the desktop colour shows where no wallpaper is
    QPainter p(&screen);
    QImage wall;
    if (!state.WallpaperFile.empty())
        wall.load(QString::fromStdString(state.WallpaperFile.string()));
    for (const TScreenRect& r : screens)
        DrawWallpaper(p, wall, state.WallpaperStyle, state.TileWallpaper,
                      QRect(r.X - box.x(), r.Y - box.y(), r.Width, r.Height), -box.topLeft());
    // The cursor and the caption on the primary screen.
    const QRect primary(screens[0].X - box.x(), screens[0].Y - box.y(), screens[0].Width,
                        screens[0].Height);
    const int cursorX = primary.left() + primary.width() / 2;
    const int cursorY = primary.top() + primary.height() / 2;

    QPoint hot;
    const QImage cursor = LoadCursor(state.ArrowFile, hot);
    if (!cursor.isNull())
        p.drawImage(QRect(cursorX - hot.x() * CursorScale, cursorY - hot.y() * CursorScale,
                          cursor.width() * CursorScale, cursor.height() * CursorScale),
                    cursor);

    const QRect band(primary.left(), primary.bottom() + 1 - CaptionHeight, primary.width(),
                     CaptionHeight);
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
