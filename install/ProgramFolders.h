#pragma once
// Where the program reads what it ships and writes what it makes, decided once
// at start from the folder of the program file.
//
// A writable program folder (the build tree, a portable copy) holds both: the
// download cache in cache\, the icon library in cache\icons, the wallpaper
// search's temp\ and favorites\. An installed copy (its program file in a
// bin folder beside share/velmora, or a program folder it may not write)
// reads what it ships from share/velmora and writes only into the user's own
// folders.
#include <filesystem>
#include <optional>
#include <string>

namespace velmora {

struct TProgramFolders {
    bool Installed = false;
    std::filesystem::path ExePath;   // what the program ships: icon library, config.txt
    std::filesystem::path CacheDir;  // the download cache (a folder per category)
    std::filesystem::path TempDir;   // pictures the wallpaper search downloads
    std::filesystem::path Favorites; // pictures the user keeps
    std::filesystem::path ConfigDir; // settings
};

// The layout for the program file's folder, with every folder absolute.
// Installed: $XDG_CACHE_HOME/velmora (temp below it), favorites in
// $XDG_DATA_HOME/velmora, $XDG_CONFIG_HOME/velmora. Empty per-user folders
// when the user has no home (MakeProgramFolders refuses those).
TProgramFolders ChooseProgramFolders(const std::filesystem::path& exeDir);

// Makes the folders the program writes into. Per-user folders are made for
// this user alone (0700). On failure, the message to show ("无法创建文件夹
// <folder>: <reason>") and nothing else is tried.
std::optional<std::string> MakeProgramFolders(const TProgramFolders& folders);

} // namespace velmora
