#pragma once
// Folder icons: the icon library below the program folder (one sub-folder
// per category, ".ico" files inside) and the desktop.ini that gives a folder
// one of its icons. The folder-icon page and velmora-tool both run these.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class ISystem;

inline constexpr const char* MsgFolderMissing = "文件夹不存在，请重新指定文件夹";
inline constexpr const char* MsgChooseIcon = "请先选择一个图标";
inline constexpr const char* MsgSetIconFailed = "设置文件夹图标失败";
inline constexpr const char* MsgSetIconDone = "设置文件夹图标成功";
inline constexpr const char* MsgRestoreIconDone = "恢复图标成功";
// The text of the folder picker the page opens.
inline constexpr const char* BrowseFolderText = "指定图标所在的文件夹";

// The library folder: exePath + cache/icons.
std::filesystem::path IconLibraryFolder(const std::filesystem::path& exePath);

// The category names: the library's sub-folders that are neither hidden nor
// system, in the system's case-insensitive order. Empty when the library is
// missing.
std::vector<std::string> LoadIconCategoryNames(ISystem& system,
                                               const std::filesystem::path& exePath);

// The ".ico" file names of one category (hidden and system ones included), in
// the order the file system lists them. Empty when the category is missing.
std::vector<std::string> ListCategoryIcons(const std::filesystem::path& exePath,
                                           const std::string& category);

// The full path of an icon inside the library.
std::filesystem::path IconLibraryFile(const std::filesystem::path& exePath,
                                      const std::string& category, const std::string& icon);

// The desktop.ini that points a folder at iconFile: three CR LF lines in code
// page 936.
std::string DesktopIniBytes(const std::filesystem::path& iconFile);

// The desktop.ini of the folder as typed: no doubled separator when the text
// ends with one.
std::filesystem::path DesktopIniOf(const std::string& dir);

enum class TFolderIconResult {
    Done,          // the success message was shown
    FolderMissing, // the folder field should take the focus
    NoIcon,        // no icon chosen
    Failed,        // no category, or the folder cannot be marked as a system folder
};

// The set-icon button: shows the outcome's message (ShowMessageBox) and
// returns it. dirText is the folder field's text (trimmed here); category and
// icon are the focused category and the selected icon's file name, if any.
// Throws std::runtime_error "Cannot create file ..." when an existing
// desktop.ini cannot be replaced (read-only); nothing else is changed then.
TFolderIconResult SetFolderIcon(ISystem& system, const std::string& dirText,
                                const std::filesystem::path& exePath,
                                const std::optional<std::string>& category,
                                const std::optional<std::string>& icon);

// The restore button: removes the folder's desktop.ini (the system-folder mark
// stays), shows the message and tells the shell.
TFolderIconResult RestoreFolderIcon(ISystem& system, const std::string& dirText);

} // namespace velmora
