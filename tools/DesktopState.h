#pragma once
// What the desktop shows, read from the system's registry and files (and the
// simulated Windows' journal): the wallpaper, the theme, the cursors, the screen saver and the
// folders that carry an icon of their own. Plain C++ (no Qt).
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace velmora {
class ISystem;
}

namespace velmora::tool {

struct TDesktopState {
    std::string Wallpaper;               // as the registry holds it
    std::filesystem::path WallpaperFile; // the file found for it; empty when missing
    std::string WallpaperStyle, TileWallpaper;
    std::string CurrentTheme, ThemeName;
    std::string CursorScheme;
    std::vector<std::pair<std::string, std::string>> CursorRoles; // value name, file
    std::filesystem::path ArrowFile; // the arrow cursor's file found; empty when none
    std::string ScreenSaver;         // as the registry holds it (a short path)
    std::string ScreenSaverName;     // its long file name without the extension
    bool ScreenSaverActive = false;
    std::vector<std::pair<std::string, std::string>> FolderIcons; // folder, icon
};

TDesktopState ReadDesktopState(ISystem& system);

// The state as the JSON text `velmora-tool desktop` prints.
std::string DesktopJson(const TDesktopState& state);

} // namespace velmora::tool
