#pragma once
// What the installers will find in a ZIP package, read without installing
// it: the dry run of `velmora-tool package` and the check every package
// passes before `velmora-tool publish` lists it.
#include "install/uCursorInstaller.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

enum class TPackageKind { Theme, Cursor, ScreenSave };

// "theme", "cursor" or "screensave"; nothing for any other word.
std::optional<TPackageKind> PackageKindOf(std::string_view word);

struct TPackageReport {
    std::vector<std::string> Entries; // names in archive order
    std::vector<std::string> Unsafe;  // entries extraction refuses
    std::string Error;                // damaged or oversized data; empty when it reads
    std::string ThemeFile;            // theme: the root theme file the installer opens
    bool SetupInf = false;            // cursor: a root setup.inf
    std::array<std::string, CursorRoleCount> Roles{}; // cursor: file of each role
    bool ScrFound = false;                            // screen saver: a root "<name>.scr"
};

// Reads the archive as the installer of the kind would. Root names are
// matched without regard to ASCII case, as Windows finds files. A screen
// saver's .scr is looked for under itemName, by default the package's file
// name without ".zip" (where the installer takes it from). Throws EZipError
// when the file is not a readable ZIP archive.
TPackageReport InspectPackage(const std::filesystem::path& file, TPackageKind kind,
                              std::string_view itemName = {});

// Why the installer would refuse the package, in one short phrase; empty
// when it takes it.
std::string PackageRefusal(const TPackageReport& report, TPackageKind kind);

} // namespace velmora
