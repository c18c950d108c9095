#include "install/uThemeInstaller.h"

#include "install/CodePage.h"
#include "install/uInstallers.h"
#include "install/uPubFunc.h"
#include "platform/ISystem.h"
#include "platform/ThemeFile.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <system_error>

namespace velmora {
namespace fs = std::filesystem;

const char* const MsgApplyThemeFailed = "应用主题失败";
const char* const MsgThemeReachesOut =
    "主题文件引用了本机 Windows 文件夹和主题文件夹以外的位置，已拒绝应用该主题";

namespace {

// The extension from the last "." on, in lower case; empty without one.
std::string LowerExtension(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos)
        return {};
    return LowerAscii(std::string_view(fileName).substr(dot));
}

bool IsThemeExtension(const std::string& fileName) {
    const std::string ext = LowerExtension(fileName);
    return ext == ".theme" || ext == ".themepack";
}

// The root theme file of a package, as the check and the installer find it.
std::optional<std::size_t> RootThemeEntry(const std::vector<TZipEntry>& entries) {
    return FindRootFile(
        entries, [](std::string_view name) { return IsThemeExtension(std::string(name)); }, true);
}

bool IsThemePackName(const std::string& fileName) {
    return LowerExtension(fileName) == ".themepack";
}

// Shows the refusal; false so that callers can return it.
bool Refuse(const std::string& problem) {
    ShowMessageBox(std::string(MsgThemeReachesOut) + "：\n" + problem, "", mkWarning);
    return false;
}

// Reads the theme file inside a pack and checks it; false (after its
// message) when it cannot be read or reaches out.
bool PackIsSafe(const fs::path& pack, const TFolderFields& folders, ISystem& system) {
    const auto bytes = system.ReadThemeFromPack(pack);
    if (!bytes) {
        ShowMessageBox(MsgApplyThemeFailed, "", mkInformation);
        return false;
    }
    // The handler unpacks a pack into the user theme folder under its name.
    const fs::path own =
        folders.UserThemesDir.empty() ? fs::path() : folders.UserThemesDir / pack.stem();
    const std::string problem = ThemeRefusal(*bytes, own, folders, system);
    return problem.empty() || Refuse(problem);
}

} // namespace

fs::path SystemThemesFolder(const TFolderFields& folders) {
    return folders.WinDir / "Resources" / "Themes";
}

std::string FindRootThemeFile(const std::vector<TZipEntry>& entries) {
    const auto index = RootThemeEntry(entries);
    return index ? ExtractedPath(entries[*index]) : std::string();
}

std::string ThemeRefusal(std::string_view themeBytes, const fs::path& themeFolder,
                         const TFolderFields& folders, ISystem& system) {
    const TThemeFile theme = TThemeFile::Parse(themeBytes, Cp936ToUtf8);
    TThemeFolders where{folders.WinDir, themeFolder, system.SpecialFolder(csidlLocalAppData)};
    return ThemeReachProblem(theme, where, system);
}

bool InstallThemePackage(const fs::path& package, const TFolderFields& folders, ISystem& system,
                         std::uintptr_t ownerWindow) {
    TChangeScope change(system, "应用主题：" + PackageItemName(package));
    if (!RequireSystemFolder(folders.WinDir))
        return false;
    const fs::path dest = SystemThemesFolder(folders);
    TZipFile zip(package);
    const auto index = RootThemeEntry(zip.Entries());
    const std::string themeFile = index ? ExtractedPath(zip.Entries()[*index]) : std::string();
    if (index && !IsThemePackName(themeFile)) {
        // Checked before anything is unpacked: a refused theme leaves no trace.
        const std::string problem =
            ThemeRefusal(zip.ReadEntry(*index, TThemeFile::MaxBytes), dest, folders, system);
        if (!problem.empty())
            return Refuse(problem);
    }
    ExtractPackage(system, zip, dest, omNever);

    std::error_code ec;
    const fs::path theme = themeFile.empty() ? fs::path() : system.ResolvePath(dest / themeFile);
    if (!themeFile.empty() && fs::is_regular_file(theme, ec)) {
        if (IsThemePackName(themeFile)) {
            if (!PackIsSafe(theme, folders, system))
                return false;
        } else {
            // A file that was already there stays (no overwriting): the file
            // opened is checked, not only the archive's copy.
            std::string bytes;
            // One that cannot be read is checked as empty: bytes is left empty.
            (void)ReadWholeFile(theme, bytes, TThemeFile::MaxBytes);
            const std::string problem = ThemeRefusal(bytes, dest, folders, system);
            if (!problem.empty())
                return Refuse(problem);
        }
        system.ShellOpen(theme.string(), ownerWindow);
        return true;
    }
    ShowMessageBox(MsgApplyThemeFailed, "", mkInformation);
    return false;
}

void ApplyThemeRow(bool isZip, const fs::path& package, bool& installed,
                   const TFolderFields& folders, ISystem& system, std::uintptr_t ownerWindow) {
    TChangeScope change(system, "应用主题：" +
                                    (isZip ? PackageItemName(package) : package.stem().string()));
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
    // The handler unpacks into the user's theme folder, which the removal
    // deletes again: without it, neither may run.
    if (!RequireSystemFolder(folders.UserThemesDir))
        return;
    if (!PackIsSafe(package, folders, system))
        return;
    // The shell's theme handler unpacks and applies the pack in its own
    // process; what it answers is not looked at.
    system.ShellOpen(package.string(), ownerWindow);
    installed = true;
}

void RemoveTheme(const std::string& name, bool isZip, bool& installed, const TFolderFields& folders,
                 ISystem& system) {
    TChangeScope change(system, "卸载主题：" + name);
    if (IsPlainItemName(name)) {
        if (!RequireSystemFolder(isZip ? folders.WinDir : folders.UserThemesDir))
            return;
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
