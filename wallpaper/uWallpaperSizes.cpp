#include "wallpaper/uWallpaperSizes.h"

namespace velmora {
namespace {

std::array<TWallpaperSize, WallpaperSizeCount> MakeSizes() {
    static const std::int32_t dims[WallpaperSizeCount - 1][2] = {
        {640, 480},   {640, 512},   {800, 600},   {1024, 768},  {1024, 800},  {1152, 720},
        {1152, 768},  {1152, 864},  {1152, 900},  {1280, 720},  {1280, 768},  {1280, 800},
        {1280, 854},  {1280, 960},  {1280, 1024}, {1360, 768},  {1440, 900},  {1440, 960},
        {1400, 1050}, {1400, 1080}, {1600, 768},  {1600, 900},  {1600, 1024}, {1600, 1200},
        {1680, 1050}, {1792, 1344}, {1800, 1440}, {1920, 1080}, {1920, 1200}, {1920, 1400},
        {1920, 1440}, {2048, 1152}, {2048, 1536}, {2560, 1600}};
    std::array<TWallpaperSize, WallpaperSizeCount> sizes;
    sizes[0].Name = "我的桌面尺寸";
    for (int i = 1; i < WallpaperSizeCount; ++i) {
        sizes[i].Width = dims[i - 1][0];
        sizes[i].Height = dims[i - 1][1];
        sizes[i].Name = std::to_string(sizes[i].Width) + "x" + std::to_string(sizes[i].Height);
    }
    return sizes;
}

// Entry, Baidu code, Sogou code.
struct TServiceCodes {
    int Entry, Baidu, Sogou;
};
const TServiceCodes Codes[] = {{3, 4, 1},  {4, 5, 2},  {12, 0, 5}, {14, 6, 3},
                                {15, 7, 0}, {17, 0, 6}, {24, 8, 4}};

} // namespace

std::array<TWallpaperSize, WallpaperSizeCount> WallpaperSizes = MakeSizes();

void SetDesktopSize(std::int32_t width, std::int32_t height) {
    WallpaperSizes[0].Width = width;
    WallpaperSizes[0].Height = height;
}

void ApplyServiceCodes(int kind) {
    for (auto& s : WallpaperSizes)
        s.ServiceCode = 0;
    if (kind != skBaidu && kind != skSogou)
        return;
    for (const auto& c : Codes)
        WallpaperSizes[c.Entry].ServiceCode = kind == skBaidu ? c.Baidu : c.Sogou;
}

} // namespace velmora
