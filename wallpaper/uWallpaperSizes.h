#pragma once
// The wallpaper sizes offered by the search bar, with the code under which the
// current search service knows each size.
#include <array>
#include <cstdint>
#include <string>

namespace velmora {

// The three search services, as the Tags of their buttons.
enum TSearchKind : std::int32_t { skNone = -1, skBaidu = 0, skYoudao = 1, skSogou = 2 };

struct TWallpaperSize {
    std::string Name; // what the size list shows
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t ServiceCode = 0; // 0 when the current service has no code for it
};

constexpr int WallpaperSizeCount = 35;

// Entry 0 is the desktop's own size (see SetDesktopSize); entries 1 to 34 are
// named "WxH". Lives for the whole run.
extern std::array<TWallpaperSize, WallpaperSizeCount> WallpaperSizes;

// Entry 0 takes the screen's size when the search window is made.
void SetDesktopSize(std::int32_t width, std::int32_t height);

// Sets every code to 0, then writes the codes of the service (Youdao has none).
void ApplyServiceCodes(int kind);

} // namespace velmora
