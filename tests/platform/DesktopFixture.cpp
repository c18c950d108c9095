#include "tests/platform/DesktopFixture.h"

#include <X11/Xcursor/Xcursor.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace velmora::test {
namespace fs = std::filesystem;

namespace {

fs::path MakeHome() {
    std::string pattern = (fs::temp_directory_path() / "velmora-desktop-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    const fs::path home = pattern;
    fs::create_directories(home / "config");
    fs::create_directories(home / "data");
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    // No test reaches the person's own session.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(DesktopTestHome(), ec);
    });
    return home;
}

// Set before main, so GLib reads these, not the person's own folders.
const fs::path& Home() {
    static const fs::path home = MakeHome();
    return home;
}
[[maybe_unused]] const bool HomeReady = !Home().empty();

std::uint32_t Premultiplied(std::uint32_t argb) {
    const unsigned a = argb >> 24;
    auto mul = [a](unsigned c) { return (c * a + 127) / 255; };
    return (a << 24) | (mul((argb >> 16) & 0xFF) << 16) | (mul((argb >> 8) & 0xFF) << 8) |
           mul(argb & 0xFF);
}

} // namespace

const fs::path& DesktopTestHome() {
    return Home();
}

TCursorPicture Pattern(int width, int height, int bpp, int seed, int hotX, int hotY) {
    std::vector<std::uint32_t> colours;
    switch (bpp) {
    case 1:
        colours = {0x00000000, 0x00FFFFFF, 0xFF000000, 0xFFFFFFFF};
        break;
    case 4:
        colours = {0x00000000, 0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                   0xFF808080, 0xFFFFFF00, 0xFF00FFFF, 0xFFFFFFFF, 0x00FFFFFF};
        break;
    case 8:
        colours.push_back(0);
        for (std::uint32_t i = 1; i < 60; ++i)
            colours.push_back(0xFF000000u | (i * 0x040301u + 0x101010u));
        break;
    default:
        for (std::uint32_t i = 0; i < 97; ++i) {
            const std::uint32_t rgb = (i * 2654435761u) & 0xFFFFFF;
            // Partial alpha only where the format keeps alpha.
            std::uint32_t a = i % 5 == 0 ? 0 : 0xFF;
            static const std::uint32_t alphas[] = {0, 0x40, 0x80, 0xC3, 0xFF};
            if (bpp == 32 || bpp == 0)
                a = alphas[i % 5];
            colours.push_back(a == 0 ? 0 : (a << 24) | rgb);
        }
    }
    TCursorPicture p;
    p.Width = width;
    p.Height = height;
    p.Bpp = bpp;
    p.HotX = hotX;
    p.HotY = hotY;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.Argb.push_back(colours[(x * 7 + y * 13 + seed) % colours.size()]);
    return p;
}

std::vector<std::uint32_t> ExpectedPixels(const TCursorPicture& p) {
    const bool alpha = p.Bpp == 0 || (p.Bpp == 32 && !p.AlphaInMaskOnly);
    std::vector<std::uint32_t> out;
    for (std::uint32_t px : p.Argb) {
        if (alpha)
            out.push_back(Premultiplied(px));
        else if (px >> 24)
            out.push_back(0xFF000000u | px);
        else
            out.push_back((px & 0xFFFFFF) ? 0xFF000000u : 0);
    }
    return out;
}

std::vector<std::uint32_t> ScaledPixels(const std::vector<std::uint32_t>& pixels, int width,
                                        int height, int num, int den) {
    const int w = width * num / den, h = height * num / den;
    std::vector<std::uint32_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.push_back(pixels[static_cast<std::size_t>(y * den / num) * width + x * den / num]);
    return out;
}

namespace {

std::optional<std::vector<TLoadedImage>> Images(XcursorImages* images) {
    if (!images)
        return std::nullopt;
    std::vector<TLoadedImage> out;
    for (int i = 0; i < images->nimage; ++i) {
        const XcursorImage* g = images->images[i];
        out.push_back({static_cast<int>(g->size), static_cast<int>(g->width),
                       static_cast<int>(g->height), static_cast<int>(g->xhot),
                       static_cast<int>(g->yhot), g->delay,
                       std::vector<std::uint32_t>(g->pixels, g->pixels + g->width * g->height)});
    }
    XcursorImagesDestroy(images);
    return out;
}

} // namespace

std::optional<std::vector<TLoadedImage>> LoadXcursor(const fs::path& file) {
    return Images(XcursorFilenameLoadAllImages(file.c_str()));
}

std::optional<std::vector<TLoadedImage>> LoadThemeCursor(const fs::path& iconsDir, const char* name,
                                                         const char* theme, int size) {
    setenv("XCURSOR_PATH", iconsDir.c_str(), 1);
    return Images(XcursorLibraryLoadImages(name, theme, size));
}

} // namespace velmora::test
