#pragma once
// The folder fields of the main window, set once at start and used by the
// catalogue and the installers.
#include <filesystem>

namespace velmora {

class ISystem;

struct TFolderFields {
    std::filesystem::path ExePath;       // folder of the program file
    std::filesystem::path WinDir;        // the Windows folder
    std::filesystem::path SysDir;        // the system folder
    std::filesystem::path UserThemesDir; // local app data + Microsoft/Windows/Themes
    // The download cache; empty: ExePath/cache, the program folder's layout.
    std::filesystem::path CacheDir = {};
};

// The fields as the program reads them at start: the system's Windows and
// system folders, and the user theme folder below its local application data.
// A folder the system cannot report, or reports as a relative path, stays
// empty: names joined onto it would land in the working folder.
TFolderFields MakeFolderFields(ISystem& system, const std::filesystem::path& exePath);

extern const char* const MsgNoSystemFolder;

// True when names may be joined onto the folder: it is set and absolute.
// Otherwise shows MsgNoSystemFolder and returns false; the caller writes and
// deletes nothing.
bool RequireSystemFolder(const std::filesystem::path& folder);

} // namespace velmora
