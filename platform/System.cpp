#include "platform/System.h"

#ifdef _WIN32
#include "platform/win32/Win32System.h"
#else
#include "platform/SimulatedSystem.h"
#endif

namespace velmora {

std::unique_ptr<ISystem> CreateSystem() {
#ifdef _WIN32
    return CreateWin32System();
#else
    return CreateSimulatedSystem(DefaultSimulatedRoot());
#endif
}

bool SetTiledScreenWallpaper(ISystem& system, const TScreenWallpaper& request) {
    if (request.Composed.empty() || request.Screen >= request.Screens.size())
        return false;
    auto key = system.OpenCurrentUserKey("Control Panel\\Desktop", true);
    if (!key || !key->WriteString("WallpaperStyle", "0") || !key->WriteString("TileWallpaper", "1"))
        return false;
    key->Close();
    return system.SystemParametersInfo(spiSetDeskWallpaper, 0, request.Composed.string(),
                                       spifUpdateIniFile | spifSendWinIniChange);
}

std::filesystem::path DefaultChangeRecordFolder() {
#ifdef _WIN32
    // Beside the program's cache (install/ProgramFolders): the record is of
    // this machine's desktop, so it does not roam with the profile.
    return std::filesystem::path(CreateWin32System()->SpecialFolder(csidlLocalAppData)) /
           "velmora" / "history";
#else
    return ChangeRecordFolder(DefaultSimulatedRoot());
#endif
}

} // namespace velmora
