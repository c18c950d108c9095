// Folder icons: the icon library and a folder's desktop.ini.
#include "install/uFolderIcon.h"

#include "install/CodePage.h"
#include "install/uPubFunc.h"
#include "platform/ISystem.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// The system's comparison of names without regard to case. Code page 936
// keeps the common Chinese characters in their reading order, so its bytes
// sort them as the Chinese locale does; the UTF-8 bytes break remaining ties
// (characters the code page lacks) so that the order never depends on the
// listing.
bool NameLessNoCase(const std::string& a, const std::string& b) {
    const std::string ka = Utf8ToCp936(LowerAscii(a));
    const std::string kb = Utf8ToCp936(LowerAscii(b));
    if (ka != kb)
        return std::lexicographical_compare(
            ka.begin(), ka.end(), kb.begin(), kb.end(), [](char x, char y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
            });
    return a < b;
}

bool EndsWithSeparator(const std::string& s) {
    return !s.empty() &&
           (s.back() == '/' || s.back() == static_cast<char>(fs::path::preferred_separator));
}

// The folder as typed, found as Windows finds names (without regard to case).
bool IsExistingFolder(ISystem& system, const std::string& dir) {
    std::error_code ec;
    return !dir.empty() && fs::is_directory(system.ResolvePath(fs::path(dir)), ec);
}

// Told after the icon changed or went: the shell redraws the folder.
void NotifyShell(ISystem& system, const std::string& dir) {
    CallShlwapi633(system);
    for (long event : {shcneUpdateImage, shcneUpdateItem, shcneAssocChanged})
        system.ShChangeNotify(event, fs::path(dir));
}

} // namespace

fs::path IconLibraryFolder(const fs::path& exePath) {
    return exePath / "cache" / "icons";
}

std::vector<std::string> LoadIconCategoryNames(ISystem& system, const fs::path& exePath) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(IconLibraryFolder(exePath), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::uint32_t attr = system.GetFileAttributes(it->path());
        if (attr == faInvalid || !(attr & faDirectory) || (attr & (faHidden | faSysFile)))
            continue;
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), NameLessNoCase);
    return names;
}

std::vector<std::string> ListCategoryIcons(const fs::path& exePath, const std::string& category) {
    std::vector<std::string> names;
    if (category.empty())
        return names;
    std::error_code ec;
    for (fs::directory_iterator it(IconLibraryFolder(exePath) / category, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code kind;
        if (it->is_directory(kind) || name.size() <= 4 ||
            LowerAscii(name.substr(name.size() - 4)) != ".ico")
            continue;
        names.push_back(name);
    }
    // The Windows file system lists a folder in its case-insensitive name order.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = LowerAscii(a), lb = LowerAscii(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

fs::path IconLibraryFile(const fs::path& exePath, const std::string& category,
                         const std::string& icon) {
    return IconLibraryFolder(exePath) / category / icon;
}

std::string DesktopIniBytes(const fs::path& iconFile) {
    return Utf8ToCp936("[.ShellClassInfo]\r\nIconFile=" + iconFile.string() +
                       "\r\nIconIndex=0\r\n");
}

fs::path DesktopIniOf(const std::string& dir) {
    return fs::path(EndsWithSeparator(dir) ? dir + "desktop.ini" : dir + "/desktop.ini");
}

TFolderIconResult SetFolderIcon(ISystem& system, const std::string& dirText,
                                const fs::path& exePath, const std::optional<std::string>& category,
                                const std::optional<std::string>& icon) {
    const std::string dir = Trim(dirText);
    if (!IsExistingFolder(system, dir)) {
        ShowMessageBox(MsgFolderMissing, "", mkInformation);
        return TFolderIconResult::FolderMissing;
    }
    if (!icon) {
        ShowMessageBox(MsgChooseIcon, "", mkInformation);
        return TFolderIconResult::NoIcon;
    }
    if (!category) {
        ShowMessageBox(MsgSetIconFailed, "", mkInformation);
        return TFolderIconResult::Failed;
    }
    TChangeScope change(system, "设置文件夹图标：" + dir);
    const fs::path iconFile = IconLibraryFile(exePath, *category, *icon);
    const fs::path ini = system.ResolvePath(DesktopIniOf(dir));
    system.DeleteFile(ini); // a failure shows when the file is created
    std::error_code ec;
    if (fs::exists(fs::symlink_status(ini, ec)))
        throw std::runtime_error("Cannot create file \"" + ini.string() + "\". Access is denied");
    if (const std::error_code written = WriteFileAtomically(ini, DesktopIniBytes(iconFile)))
        throw std::runtime_error("Cannot create file \"" + ini.string() + "\". " +
                                 written.message());
    system.SetFileAttributes(ini, faHidden);
    if (!system.PathMakeSystemFolder(fs::path(dir))) {
        ShowMessageBox(MsgSetIconFailed, "", mkInformation);
        return TFolderIconResult::Failed;
    }
    NotifyShell(system, dir);
    ShowMessageBox(MsgSetIconDone, "", mkInformation);
    return TFolderIconResult::Done;
}

TFolderIconResult RestoreFolderIcon(ISystem& system, const std::string& dirText) {
    const std::string dir = Trim(dirText);
    if (!IsExistingFolder(system, dir)) {
        ShowMessageBox(MsgFolderMissing, "", mkInformation);
        return TFolderIconResult::FolderMissing;
    }
    TChangeScope change(system, "恢复文件夹默认图标：" + dir);
    system.DeleteFile(system.ResolvePath(DesktopIniOf(dir))); // none there is fine
    ShowMessageBox(MsgRestoreIconDone, "", mkInformation);
    NotifyShell(system, dir);
    return TFolderIconResult::Done;
}

} // namespace velmora
