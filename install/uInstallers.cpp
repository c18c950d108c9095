#include "install/uInstallers.h"

#include "install/uCursorInstaller.h"
#include "install/uScreenSaverInstaller.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"
#include "platform/ISystem.h"
#include "platform/util/Files.h"

#include <set>
#include <vector>

namespace velmora {

bool IsPlainItemName(std::string_view name) {
    if (name.empty() || name.find_first_not_of(". ") == std::string_view::npos)
        return false;
    return name.find_first_of("/\\:") == std::string_view::npos;
}

std::string PackageItemName(const std::filesystem::path& package) {
    std::string file = package.filename().string();
    return file.size() > 4 ? file.substr(0, file.size() - 4) : std::string();
}

void RecordExtraction(ISystem& system, const TZipFile& zip, const std::filesystem::path& dest) {
    namespace fs = std::filesystem;
    // The folders first: one that is not there yet is made, and goes again.
    std::set<fs::path> folders{dest};
    std::vector<fs::path> files;
    for (const TZipEntry& entry : zip.Entries()) {
        if (!UnsafeEntryReason(entry).empty())
            continue;
        std::string name = entry.Name;
        if (fs::path::preferred_separator != '\\')
            for (char& c : name)
                if (c == '\\')
                    c = '/';
        fs::path at;
        for (const fs::path& part : fs::path(name).relative_path().parent_path())
            folders.insert(dest / (at /= part));
        if (entry.IsFolder)
            folders.insert(dest / name);
        else
            files.push_back(dest / name);
    }
    for (const fs::path& folder : folders)
        system.RecordFileBefore(folder);
    for (const fs::path& file : files)
        system.RecordFileBefore(file);
}

void ExtractPackage(ISystem& system, TZipFile& zip, const std::filesystem::path& dest,
                    TOverwriteMode mode) {
    RecordExtraction(system, zip, dest);
    zip.ExtractAll(dest, mode, {},
                   [&system](const std::filesystem::path& p) { return system.ResolvePath(p); });
}

std::vector<TExtractionFolder> ExtractionFolders(const TFolderFields& folders, ISystem& system) {
    std::vector<TExtractionFolder> out;
    if (!folders.WinDir.empty() && folders.WinDir.is_absolute()) {
        // Each cursor scheme unpacks into a folder of its own below this one.
        out.push_back({system.ResolvePath(folders.WinDir / "Cursors"), true});
        out.push_back({system.ResolvePath(SystemThemesFolder(folders)), true});
    }
    // Screen savers unpack here; the system folder is not walked below.
    if (!folders.SysDir.empty() && folders.SysDir.is_absolute())
        out.push_back({system.ResolvePath(folders.SysDir), false});
    return out;
}

std::size_t RemoveStaleExtractions(const std::vector<TExtractionFolder>& folders) {
    std::size_t removed = 0;
    for (const auto& f : folders)
        removed += RemoveStaleTemporaries(f.Folder, f.Recursive);
    return removed;
}

int UninstallTagForPage(int pageIndex) {
    switch (pageIndex) {
    case 0: // themes
    case 2: // cursor schemes
    case 3: // screen savers
        return pageIndex;
    default:
        return -1;
    }
}

void UninstallItem(int tag, const std::string& name, bool isZip, bool& installed,
                   const TFolderFields& folders, ISystem& system) {
    switch (tag) {
    case 0:
        RemoveTheme(name, isZip, installed, folders, system);
        break;
    case 2:
        RemoveCursorScheme(name, installed, folders, system);
        break;
    case 3:
        RemoveScreenSaver(name, installed, folders, system);
        break;
    default:
        break;
    }
}

} // namespace velmora
