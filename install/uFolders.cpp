#include "install/uFolders.h"

#include "platform/ISystem.h"

namespace velmora {

TFolderFields MakeFolderFields(ISystem& system, const std::filesystem::path& exePath) {
    TFolderFields f;
    f.ExePath = exePath;
    f.WinDir = system.WindowsDirectory();
    f.SysDir = system.SystemDirectory();
    const std::filesystem::path localAppData = system.SpecialFolder(csidlLocalAppData);
    if (!localAppData.empty())
        f.UserThemesDir = localAppData / "Microsoft" / "Windows" / "Themes";
    return f;
}

} // namespace velmora
