#include "install/uFolders.h"

#include "install/uPubFunc.h"
#include "platform/ISystem.h"

namespace velmora {
namespace fs = std::filesystem;

const char* const MsgNoSystemFolder = "无法找到系统文件夹，操作已取消";

namespace {

fs::path Reported(fs::path folder) {
    return folder.is_absolute() ? folder : fs::path();
}

} // namespace

TFolderFields MakeFolderFields(ISystem& system, const fs::path& exePath) {
    TFolderFields f;
    f.ExePath = exePath;
    f.WinDir = Reported(system.WindowsDirectory());
    f.SysDir = Reported(system.SystemDirectory());
    const fs::path localAppData = Reported(system.SpecialFolder(csidlLocalAppData));
    if (!localAppData.empty())
        f.UserThemesDir = localAppData / "Microsoft" / "Windows" / "Themes";
    return f;
}

bool RequireSystemFolder(const fs::path& folder) {
    if (!folder.empty() && folder.is_absolute())
        return true;
    ShowMessageBox(MsgNoSystemFolder, "", mkInformation);
    return false;
}

} // namespace velmora
