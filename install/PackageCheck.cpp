#include "install/PackageCheck.h"

#include "install/uInstallers.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"
#include "platform/util/Ascii.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

// The root entry of that name (case ignored); the last one wins, as the
// extraction replaces earlier copies.
const TZipEntry* FindRootEntry(const TZipFile& zip, std::string_view fileName,
                               std::size_t* index = nullptr) {
    const TZipEntry* found = nullptr;
    const auto& entries = zip.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].FolderPart.empty() && !entries[i].IsFolder &&
            EqualsIgnoreCaseAscii(entries[i].FileName, fileName)) {
            found = &entries[i];
            if (index)
                *index = i;
        }
    return found;
}

} // namespace

std::optional<TPackageKind> PackageKindOf(std::string_view word) {
    if (word == "theme")
        return TPackageKind::Theme;
    if (word == "cursor")
        return TPackageKind::Cursor;
    if (word == "screensave")
        return TPackageKind::ScreenSave;
    return std::nullopt;
}

TPackageReport InspectPackage(const fs::path& file, TPackageKind kind, std::string_view itemName) {
    TZipFile zip(file);
    TPackageReport r;
    for (const auto& e : zip.Entries())
        r.Entries.push_back(e.Name);
    r.Unsafe = zip.UnsafeEntries();
    // Every entry is decompressed, as the installer would, under its bounds.
    try {
        zip.Verify();
    } catch (const EZipError& e) {
        r.Error = e.what();
    }
    switch (kind) {
    case TPackageKind::Theme:
        r.ThemeFile = FindRootThemeFile(zip.Entries());
        break;
    case TPackageKind::Cursor: {
        std::size_t index = 0;
        r.SetupInf = FindRootEntry(zip, "setup.inf", &index) != nullptr;
        if (r.SetupInf) {
            try {
                r.Roles = SchemeRoleFiles(zip.ReadEntry(index, MaxSetupInfBytes));
            } catch (const EZipError& e) {
                if (r.Error.empty())
                    r.Error = e.what();
            }
        }
        break;
    }
    case TPackageKind::ScreenSave:
        r.ScrFound =
            FindRootEntry(zip, (itemName.empty() ? PackageItemName(file) : std::string(itemName)) +
                                   ".scr") != nullptr;
        break;
    }
    return r;
}

std::string PackageRefusal(const TPackageReport& r, TPackageKind kind) {
    if (!r.Unsafe.empty())
        return "unsafe entry \"" + r.Unsafe.front() + "\"";
    if (!r.Error.empty())
        return r.Error;
    switch (kind) {
    case TPackageKind::Theme:
        if (r.ThemeFile.empty())
            return "no .theme file at the top of the archive";
        break;
    case TPackageKind::Cursor: {
        if (!r.SetupInf)
            return "no setup.inf at the top of the archive";
        bool any = false;
        for (const auto& f : r.Roles)
            any = any || !f.empty();
        if (!any)
            return "setup.inf names none of the fifteen cursor roles";
        break;
    }
    case TPackageKind::ScreenSave:
        if (!r.ScrFound)
            return "no .scr file of the package's name at the top of the archive";
        break;
    }
    return {};
}

} // namespace velmora
