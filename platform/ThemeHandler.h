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

} // namespace velmora
