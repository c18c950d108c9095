#pragma once
// What Windows' theme handler applies from a ".theme" file: the wallpaper and
// its style, the cursors, the screen saver and the theme's name, each through
// the system's own calls (registry values, SystemParametersInfo,
// SetSystemCursor). The simulated system applies its themes with it, and so
// does the Win32 backend on a system without a handler for ".theme" files.
// What it does not apply (sounds, colours, visual styles …) is journalled as
// ignored; a value naming a missing file as missing.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

class ISystem;

using TJournalWriter = std::function<void(const std::string& line)>;

// The registry key and values the handler records the applied theme under.
extern const char* const ThemesKey;         // Software\Microsoft\Windows\CurrentVersion\Themes
extern const char* const CurrentThemeValue; // "CurrentTheme"
extern const char* const ThemeNameValue;    // "DisplayName"

// False (journalled "ThemeFailed") when the file cannot be read or the
// theme cannot be recorded. The journal may be empty.
bool ApplyThemeFile(ISystem& system, const std::filesystem::path& theme,
                    const TJournalWriter& journal = {});

// Theme packs are cabinets the handler unpacks into the user's theme folder.
// Unpacks pack into dest (replacing an earlier copy); false, with why, when
// it fails, leaving nothing under dest.
using TThemePackUnpacker = std::function<bool(const std::filesystem::path& pack,
                                              const std::filesystem::path& dest, std::string& why)>;

// What the handler does with a pack: unpacks it under its own name into
// %LocalAppData%\Microsoft\Windows\Themes and applies the first theme file
// there (ApplyThemeFile). False (journalled "ThemePackFailed") when either
// fails.
bool ApplyThemePack(ISystem& system, const std::filesystem::path& pack,
                    const TThemePackUnpacker& unpack, const TJournalWriter& journal = {});

// Unpacks a pack through unpackInto into a fresh folder beside dest, then
// moves that into place whole, replacing dest. Nothing is left beside dest,
// and dest is untouched, when unpacking fails; why says what went wrong.
bool UnpackIntoPlace(
    const std::filesystem::path& dest, std::string& why,
    const std::function<bool(const std::filesystem::path& temp, std::string& why)>& unpackInto);

// A cabinet entry's name as a relative path (separated by "/") inside the
// pack's folder, or empty when it would leave it (absolute, a drive, "..",
// empty parts) or name a device (CON, NUL, COM1 ...).
std::string SafePackEntryName(std::string_view name);

// The first ".theme" file (by name) directly in folder, or empty.
std::filesystem::path FindThemeFile(const std::filesystem::path& folder);

} // namespace velmora
