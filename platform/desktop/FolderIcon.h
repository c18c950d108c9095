#pragma once
// A folder's custom icon for Linux file managers: GIO's metadata::custom-icon
// (kept by the desktop's metadata service, when one answers) and the Icon
// entry of a KDE .directory file. The icon is the one the folder's
// desktop.ini names.
#include <filesystem>
#include <optional>
#include <string>

namespace velmora::desktop {

// The icon file desktop.ini names (IconFile, or IconResource without its
// index), read as UTF-8 or else as code page 936; a relative name is taken
// inside the folder. Nothing when there is no such line or no such file.
std::optional<std::filesystem::path> DesktopIniIcon(const std::filesystem::path& folder);

struct TLinuxFolderIcon {
    bool Metadata = false;  // metadata::custom-icon was written or removed
    bool Directory = false; // .directory was written or cleaned
    std::string Message;    // why one of them was not
};

TLinuxFolderIcon SetLinuxFolderIcon(const std::filesystem::path& folder,
                                    const std::filesystem::path& icon);
// Removes both. Other entries of .directory stay; a file left with nothing
// in it is deleted.
TLinuxFolderIcon ClearLinuxFolderIcon(const std::filesystem::path& folder);

// The folder's metadata::custom-icon, nothing when unset or unreadable.
std::optional<std::string> FolderMetadataIcon(const std::filesystem::path& folder);
// Sets (or with nothing removes) metadata::custom-icon alone; false and why
// when the metadata service refuses.
bool SetFolderMetadataIcon(const std::filesystem::path& folder,
                           const std::optional<std::string>& uri, std::string& why);

} // namespace velmora::desktop
