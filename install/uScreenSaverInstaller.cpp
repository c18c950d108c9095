#include "install/uScreenSaverInstaller.h"

#include "install/uInstallers.h"
#include "install/uPubFunc.h"
#include "install/uZip.h"
#include "platform/ISystem.h"

namespace velmora {
namespace fs = std::filesystem;

const char* const MsgScreenSaverCancelled = "取消屏保成功";

bool InstallScreenSaver(const fs::path& package, const TFolderFields& folders, ISystem& system) {
    TChangeScope change(system, "安装屏幕保护程序：" + PackageItemName(package));
    if (!RequireSystemFolder(folders.SysDir))
        return false;
    TZipFile zip(package);
    ExtractPackage(system, zip, folders.SysDir, omAlways);
    return SetScreenSaver(system, folders.SysDir / (PackageItemName(package) + ".scr"), false);
}

void CancelScreenSaver(ISystem& system) {
    TChangeScope change(system, "取消屏幕保护程序");
    if (SetScreenSaver(system, fs::path(), true))
        ShowMessageBox(MsgScreenSaverCancelled, "", mkInformation);
}

void RemoveScreenSaver(const std::string& name, bool& installed, const TFolderFields& folders,
                       ISystem& system) {
    TChangeScope change(system, "卸载屏幕保护程序：" + name);
    // The name becomes a file name in the system folder; anything that could
    // reach outside it is left alone.
    if (!IsPlainItemName(name) || !RequireSystemFolder(folders.SysDir))
        return;
    const fs::path path = folders.SysDir / (name + ".scr");
    if (!SetScreenSaver(system, path, true))
        return;
    system.DeleteFile(path);
    installed = false;
}

} // namespace velmora
