#include "install/uInstallers.h"

#include "install/uCursorInstaller.h"
#include "install/uScreenSaverInstaller.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"
#include "platform/ISystem.h"

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
    for (const TZipEntry& entry : zip.Entries()) {
        if (entry.IsFolder || !UnsafeEntryReason(entry).empty())
            continue;
        std::string name = entry.Name;
        if (std::filesystem::path::preferred_separator != '\\')
            for (char& c : name)
                if (c == '\\')
                    c = '/';
        system.RecordFileBefore(dest / name);
    }
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
