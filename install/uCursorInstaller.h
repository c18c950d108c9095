#pragma once
// Cursor schemes: a ZIP package with cursor files and a setup.inf whose
// [Strings] section maps roles to files. Installing unpacks it below the
// Windows cursor folder, registers the files as the current cursors and as a
// named scheme of the current user, and switches the system cursors at once.
#include "install/uFolders.h"

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class ISystem;

struct TCursorRole {
    const char* Key;       // in [Strings], matched without regard to case
    const char* ValueName; // under "Control Panel\Cursors"
    unsigned CursorId;     // the system cursor it replaces
};

constexpr std::size_t CursorRoleCount = 15;
// In the order they are processed and joined into the scheme.
extern const std::array<TCursorRole, CursorRoleCount> CursorRoles;

// The file at the package's root that maps the roles, found without regard
// to case.
inline constexpr std::string_view SetupInfName = "setup.inf";

// A setup.inf is a few kilobytes; a larger one is refused, not read.
constexpr std::size_t MaxSetupInfBytes = 16 << 20;

extern const char* const CursorsKey;       // "Control Panel\Cursors"
extern const char* const CursorSchemesKey; // "Control Panel\Cursors\Schemes"

// The lines of the [Strings] section of a setup.inf (code page 936 bytes),
// each rewritten as key + "=" + value: ASCII letters lowered, both sides
// trimmed, the value stripped of its first and last character (meant for the
// quotes). A line without "=" has an empty key. UTF-8.
std::vector<std::string> ReadSchemeStrings(std::string_view infBytes);

// The file name of each role in table order, empty when the role has none.
std::array<std::string, CursorRoleCount> SchemeRoleFiles(std::string_view infBytes);

// FWinDir + "\Cursors\" + name + "\", with the trailing separator.
std::string SchemeFolder(const TFolderFields& folders, const std::string& name);
// scheme folder + file, "\" in the file name read as a folder separator.
std::string SchemeRolePath(const std::string& schemeFolder, const std::string& file);

// Unpacks, registers and switches on the scheme of the package. True when
// "Control Panel\Cursors" could be opened and the scheme was written. Shows
// no message. ZIP, file and registry errors propagate as exceptions.
bool InstallCursorScheme(const std::filesystem::path& package, const TFolderFields& folders,
                         ISystem& system);

// Deletes the scheme folder and the scheme's value under
// "Control Panel\Cursors\Schemes"; the cursors in use stay as they are.
// Sets installed to false.
void RemoveCursorScheme(const std::string& name, bool& installed, const TFolderFields& folders,
                        ISystem& system);

} // namespace velmora
