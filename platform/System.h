#pragma once
// The system the program runs on: the Win32 backend on Windows, the simulated
// Windows at its default root elsewhere.
#include "platform/ISystem.h"

#include <filesystem>
#include <memory>

namespace velmora {

std::unique_ptr<ISystem> CreateSystem();

// How a system without a wallpaper per monitor shows one picture per screen:
// the composed picture of the whole virtual desktop, tiled (WallpaperStyle 0,
// TileWallpaper 1): tiles start at the primary screen's corner (0, 0).
bool SetTiledScreenWallpaper(ISystem& system, const TScreenWallpaper& request);

// Where the person's record of the desktop's changes is kept: beside the
// system CreateSystem gives (platform/history).
std::filesystem::path DefaultChangeRecordFolder();

} // namespace velmora
