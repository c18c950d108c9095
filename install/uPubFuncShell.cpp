// Shell and desktop helpers of uPubFunc.
#include "install/uPubFunc.h"
#include "platform/ISystem.h"
#include "platform/uRegistry.h"
#include "platform/util/Ascii.h"

#include <chrono>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace velmora {

namespace fs = std::filesystem;

std::string BrowseInitialFolder;

namespace {

constexpr const char* DesktopKey = "Control Panel\\Desktop";

// Removes a link itself, whether it stands for a folder or a file.
void RemoveLink(ISystem& system, const fs::path& link, std::uint32_t attr) {
    if (attr & faDirectory)
        system.RemoveDirectory(link);
    else
        system.DeleteFile(link);
}

} // namespace

void DeleteFolderTree(ISystem& system, const fs::path& given) {
    if (given.empty())
        return;
    const fs::path folder = system.ResolvePath(given);
    const std::uint32_t self = system.GetFileAttributes(folder);
    if (self != faInvalid && (self & faReparsePoint)) {
        RemoveLink(system, folder, self);
        return;
    }
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    for (const fs::path& entry : entries) {
        const std::string name = entry.filename().string();
        const std::string_view trimmed = TrimView(name);
        if (trimmed == "." || trimmed == "..")
            continue;
        const std::uint32_t attr = system.GetFileAttributes(entry);
        if (attr == faInvalid)
            continue;
        if (attr & faReparsePoint)
            RemoveLink(system, entry, attr);
        else if (attr & faDirectory)
            DeleteFolderTree(system, entry);
        else
            system.DeleteFile(entry); // a file that stays is skipped silently
    }
    // Give the system a moment to let go of handles closed just now.
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    for (int attempt = 0; attempt < 3; ++attempt)
        if (system.RemoveDirectory(folder))
            break;
}

bool SetScreenSaver(ISystem& system, const fs::path& given, bool cancel) {
    const fs::path file = given.empty() ? given : system.ResolvePath(given);
    std::error_code ec;
    if (!cancel && (file.empty() || !fs::exists(file, ec))) {
        ShowMessageBox("没有找到屏保文件", "", mkInformation);
        return false;
    }
    TChangeScope change(system, cancel ? "取消屏幕保护程序" : "设置屏幕保护程序");
    TRegistry reg(system);
    if (!reg.OpenKey(DesktopKey, false))
        return false;
    if (cancel) {
        reg.WriteString("SCRNSAVE.EXE", "");
    } else {
        // The short form keeps the value free of spaces; the long path
        // stands in should the system give none.
        fs::path shortPath = system.ShortPathName(file);
        if (shortPath.empty())
            shortPath = file;
        reg.WriteString("SCRNSAVE.EXE", shortPath.string());
        reg.WriteString("ScreenSaverIsSecure", "1");
    }
    reg.CloseKey();
    system.SystemParametersInfo(spiSetScreenSaveActive, 1, std::nullopt, spifSendWinIniChange);
    if (!cancel)
        system.PostScreenSaveCommand();
    return true;
}

void SetWallpaper(ISystem& system, const fs::path& file) {
    TChangeScope change(system, "设置壁纸");
    TRegistry reg(system);
    reg.OpenKey(DesktopKey, false);
    reg.WriteString("Wallpaper", file.string());
    system.SystemParametersInfo(spiSetDeskWallpaper, 0, file.string(), spifUpdateIniFile);
    reg.CloseKey();
}

std::string GetSpecialFolder(ISystem& system, int csidl) {
    std::string path = system.SpecialFolder(csidl).string();
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

bool BrowseForFolder(ISystem& system, const std::string& text, const fs::path& root,
                     std::string& folder, std::uintptr_t ownerWindow) {
    folder.clear();
    const auto chosen =
        system.BrowseForFolder(text, root, fs::path(BrowseInitialFolder), ownerWindow);
    if (!chosen)
        return false;
    folder = chosen->string();
    return true;
}

void CallShlwapi633(ISystem& system) {
    system.CallShlwapiOrdinal633(47);
}

} // namespace velmora
