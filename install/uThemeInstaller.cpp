#include "install/uThemeInstaller.h"

#include "install/uInstallers.h"
#include "install/uPubFunc.h"
#include "platform/ISystem.h"
#include "platform/util/Ascii.h"

#include <system_error>

namespace velmora {
namespace fs = std::filesystem;

const char* const MsgApplyThemeFailed = "应用主题失败";

namespace {

bool IsThemeExtension(const std::string& fileName) {
    std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos)
        return false;
    const std::string ext = LowerAscii(std::string_view(fileName).substr(dot));
    return ext == ".theme" || ext == ".themepack";
}

} // namespace

fs::path SystemThemesFolder(const TFolderFields& folders) {
    return folders.WinDir / "Resources" / "Themes";
}

std::string FindRootThemeFile(const std::vector<TZipEntry>& entries) {
    for (const auto& e : entries)
        if (e.FolderPart.empty() && !e.IsFolder && IsThemeExtension(e.FileName))
            return e.FileName;
    return {};
}

bool InstallThemePackage(const fs::path& package, const TFolderFields& folders, ISystem& system,
                         std::uintptr_t ownerWindow) {
    const fs::path dest = SystemThemesFolder(folders);
    TZipFile zip(package);
    const std::string themeFile = FindRootThemeFile(zip.Entries());
    zip.ExtractAll(dest, omNever);

    std::error_code ec;
    if (!themeFile.empty() && fs::is_regular_file(dest / themeFile, ec)) {
        system.ShellOpen((dest / themeFile).string(), ownerWindow);
        return true;
    }
    ShowMessageBox(MsgApplyThemeFailed, "", mkInformation);
    return false;
}

void ApplyThemeRow(bool isZip, const fs::path& package, bool& installed,
                   const TFolderFields& folders, ISystem& system, std::uintptr_t ownerWindow) {
    if (isZip) {
        if (InstallThemePackage(package, folders, system, ownerWindow))
            installed = true;
        return;
    }
    std::error_code ec;
    if (!fs::exists(package, ec)) {
        ShowMessageBox(MsgApplyThemeFailed, "", mkInformation);
        return;
    }
    // The shell's theme handler unpacks and applies the pack in its own
    // process; what it answers is not looked at.
    system.ShellOpen(package.string(), ownerWindow);
    installed = true;
}

void RemoveTheme(const std::string& name, bool isZip, bool& installed, const TFolderFields& folders,
                 ISystem& system) {
    if (IsPlainItemName(name)) {
        if (isZip) {
            const fs::path themes = SystemThemesFolder(folders);
            DeleteFolderTree(system, themes / name);
            system.DeleteFile(themes / (name + ".theme"));
        } else {
            DeleteFolderTree(system, folders.UserThemesDir / name);
        }
    }
    installed = false;
}

} // namespace velmora
