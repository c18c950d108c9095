#include "install/PackageCheck.h"

#include "install/uInstallers.h"
#include "install/uThemeInstaller.h"
#include "install/uZip.h"

namespace velmora {
namespace fs = std::filesystem;

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
        const auto index = FindRootFile(zip.Entries(), SetupInfName);
        r.SetupInf = index.has_value();
        if (r.SetupInf) {
            try {
                r.Roles = SchemeRoleFiles(zip.ReadEntry(*index, MaxSetupInfBytes));
            } catch (const EZipError& e) {
                if (r.Error.empty())
                    r.Error = e.what();
            }
        }
        break;
    }
    case TPackageKind::ScreenSave:
        r.ScrFound = FindRootFile(zip.Entries(), (itemName.empty() ? PackageItemName(file)
                                                                   : std::string(itemName)) +
                                                     ".scr")
                         .has_value();
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
