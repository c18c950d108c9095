#include "tools/DesktopState.h"

#include "install/CodePage.h"
#include "install/uCursorInstaller.h"
#ifndef _WIN32
#include "platform/SimulatedSystem.h"
#endif
#include "platform/ISystem.h"
#include "platform/ThemeFile.h"
#include "platform/util/Files.h"

#include <nlohmann/json.hpp>

#include <set>

namespace velmora::tool {
namespace fs = std::filesystem;

namespace {

std::string Read(ISystem& system, const char* key, const char* name) {
    auto k = system.OpenCurrentUserKey(key, false);
    return k ? k->ReadString(name).value_or("") : std::string();
}

fs::path Existing(ISystem& system, const std::string& value) {
    if (value.empty())
        return {};
    const fs::path path = system.ResolvePath(fs::path(value));
    std::error_code ec;
    return fs::is_regular_file(path, ec) ? path : fs::path();
}

#ifndef _WIN32
// The icon a folder's desktop.ini gives it, empty when none (Windows keeps
// no list of the folders that have one, so only the simulated one asks).
std::string FolderIcon(ISystem& system, const fs::path& folder) {
    std::string bytes;
    const fs::path ini = system.ResolvePath(folder / "desktop.ini");
    if (ReadWholeFile(ini, bytes, TThemeFile::MaxBytes))
        return {};
    const TThemeFile file = TThemeFile::Parse(bytes, Cp936ToUtf8);
    if (auto resource = file.Value(".ShellClassInfo", "IconResource");
        resource && !resource->empty())
        return *resource;
    if (auto icon = file.Value(".ShellClassInfo", "IconFile"); icon && !icon->empty())
        return *icon + "," + file.Value(".ShellClassInfo", "IconIndex").value_or("0");
    return {};
}
#endif

} // namespace

TDesktopState ReadDesktopState(ISystem& system) {
    TDesktopState s;
    const char* desktop = "Control Panel\\Desktop";
    s.Wallpaper = Read(system, desktop, "Wallpaper");
    s.WallpaperFile = Existing(system, s.Wallpaper);
    s.WallpaperStyle = Read(system, desktop, "WallpaperStyle");
    s.TileWallpaper = Read(system, desktop, "TileWallpaper");
    const char* themes = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes";
    s.CurrentTheme = Read(system, themes, "CurrentTheme");
    s.ThemeName = Read(system, themes, "DisplayName");
    s.CursorScheme = Read(system, CursorsKey, "");
    for (const auto& role : CursorRoles)
        s.CursorRoles.emplace_back(role.ValueName, Read(system, CursorsKey, role.ValueName));
    s.ArrowFile = Existing(system, s.CursorRoles.front().second);
    s.ScreenSaver = Read(system, desktop, "SCRNSAVE.EXE");
    if (!s.ScreenSaver.empty()) {
        const fs::path longPath = system.LongPathName(fs::path(s.ScreenSaver));
        s.ScreenSaverName = (longPath.empty() ? fs::path(s.ScreenSaver) : longPath).stem().string();
    }
    s.ScreenSaverActive = Read(system, desktop, "ScreenSaveActive") == "1";

#ifndef _WIN32
    // Folders get their icon through PathMakeSystemFolder; the simulated
    // Windows' journal keeps each one, and the desktop.ini says which icon it
    // still has. Windows keeps no such list.
    auto* simulated = dynamic_cast<TSimulatedSystem*>(&system);
    const std::string mark = "PathMakeSystemFolder ";
    std::set<std::string> seen;
    for (const auto& line : simulated ? simulated->Journal() : std::vector<std::string>()) {
        if (line.rfind(mark, 0) != 0)
            continue;
        const std::string folder = line.substr(mark.size());
        if (!seen.insert(folder).second)
            continue;
        if (std::string icon = FolderIcon(system, folder); !icon.empty())
            s.FolderIcons.emplace_back(folder, icon);
    }
#endif
    return s;
}

std::string DesktopJson(const TDesktopState& s) {
    using json = nlohmann::ordered_json;
    json roles = json::object();
    for (const auto& [name, file] : s.CursorRoles)
        roles[name] = file;
    json icons = json::array();
    for (const auto& [folder, icon] : s.FolderIcons)
        icons.push_back({{"folder", folder}, {"icon", icon}});
    const json doc = {
        {"wallpaper",
         {{"file", s.Wallpaper},
          {"exists", !s.WallpaperFile.empty()},
          {"style", s.WallpaperStyle},
          {"tile", s.TileWallpaper}}},
        {"theme", {{"file", s.CurrentTheme}, {"name", s.ThemeName}}},
        {"cursors", {{"scheme", s.CursorScheme}, {"roles", roles}}},
        {"screensaver",
         {{"file", s.ScreenSaver}, {"name", s.ScreenSaverName}, {"active", s.ScreenSaverActive}}},
        {"folder_icons", icons},
    };
    return doc.dump(2, ' ', false, json::error_handler_t::replace);
}

} // namespace velmora::tool
