// The simulated Windows backend: a folder stands in for the machine. This
// file makes the folder and answers where things are; the registry, the files
// and the shell are in the Sim*.cpp files beside it.
#include "platform/sim/SimSystem.h"

#include "platform/util/UserFolders.h"

#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace velmora {

namespace fs = std::filesystem;

fs::path DefaultSimulatedRoot() {
    const fs::path data = UserFolder(ufData);
    // No home: a folder of this process's own rather than one every user of
    // the machine would share.
    if (data.empty()) {
#ifdef _WIN32
        // The temporary folder is the user's own on Windows.
        return fs::temp_directory_path() / "velmora" / "windows";
#else
        return fs::temp_directory_path() / ("velmora-" + std::to_string(::getuid())) / "windows";
#endif
    }
    return data / "velmora" / "windows";
}

fs::path ChangeRecordFolder(const fs::path& root) {
    return root / "history";
}

std::unique_ptr<TSimulatedSystem> CreateSimulatedSystem(const fs::path& root) {
    return std::make_unique<sim::TSimSystem>(root);
}

namespace sim {

TSimSystem::TSimSystem(fs::path root) : FRoot(std::move(root)) {
    std::error_code ec;
    FRoot = fs::absolute(FRoot, ec).lexically_normal();
    for (const char* sub :
         {"Windows/System32", "Windows/Resources/Themes", "Windows/Cursors",
          "AppData/Local/Microsoft/Windows/Themes", "AppData/Roaming", "Desktop", "Documents"})
        fs::create_directories(FRoot / sub, ec);
    if (!fs::exists(RegistryFile(), ec))
        SeedRegistry();
}

fs::path TSimSystem::SpecialFolder(int csidl) const {
    switch (csidl) {
    case 0:  // CSIDL_DESKTOP
    case 16: // CSIDL_DESKTOPDIRECTORY
        return FRoot / "Desktop";
    case 5: // CSIDL_PERSONAL
        return FRoot / "Documents";
    case 26: // CSIDL_APPDATA
        return FRoot / "AppData" / "Roaming";
    case csidlLocalAppData:
        return FRoot / "AppData" / "Local";
    case 36: // CSIDL_WINDOWS
        return WindowsDirectory();
    case 37: // CSIDL_SYSTEM
        return SystemDirectory();
    default:
        return {};
    }
}

} // namespace sim
} // namespace velmora
