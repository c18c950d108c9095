#pragma once
// Themes: a ZIP package unpacked into the Windows theme folder and its root
// theme file handed to the shell, or a theme pack the shell installs itself.
#include "install/uFolders.h"
#include "install/uZip.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class ISystem;

extern const char* const MsgApplyThemeFailed; // "应用主题失败"
// A theme whose files lie outside this machine's Windows folder and its own
// folder is not applied; the message names the offending value.
extern const char* const MsgThemeReachesOut;

// FWinDir + "\Resources\Themes".
std::filesystem::path SystemThemesFolder(const TFolderFields& folders);

// The file the installer opens: the first entry at the archive root, in
// archive order, whose extension is ".theme" or ".themepack" in any case.
// Empty when there is none.
std::string FindRootThemeFile(const std::vector<TZipEntry>& entries);

// Unpacks the package into the system theme folder without overwriting and
// opens the root theme file with the shell. False, after "应用主题失败", when
// no theme file is there. ZIP errors propagate. A root ".theme" that reaches
// outside (ThemeReachProblem) is refused before anything is unpacked; a root
// ".themepack" is read once unpacked and refused before it is opened.
bool InstallThemePackage(const std::filesystem::path& package, const TFolderFields& folders,
                         ISystem& system, std::uintptr_t ownerWindow = 0);

// Applies a downloaded theme row: a theme pack is opened with the shell
// (success whatever the shell says) once the theme file inside it has been
// read and found to stay on the machine; a pack that cannot be read shows
// "应用主题失败", one that reaches out MsgThemeReachesOut. A ZIP package goes
// through InstallThemePackage. Sets installed on success.
// Why the theme file (its bytes) must not be applied, as the message shows
// it; empty when it may. themeFolder is where the theme file lies once
// installed.
std::string ThemeRefusal(std::string_view themeBytes, const std::filesystem::path& themeFolder,
                         const TFolderFields& folders, ISystem& system);

void ApplyThemeRow(bool isZip, const std::filesystem::path& package, bool& installed,
                   const TFolderFields& folders, ISystem& system, std::uintptr_t ownerWindow = 0);

// Removes an installed theme: the folder Name and the file Name + ".theme" of
// the system theme folder (ZIP), or the folder Name of the user theme folder
// (theme pack). The theme in use stays. Sets installed to false.
void RemoveTheme(const std::string& name, bool isZip, bool& installed, const TFolderFields& folders,
                 ISystem& system);

} // namespace velmora
