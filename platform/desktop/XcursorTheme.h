#pragma once
// Windows cursor schemes as Xcursor themes: each role's .cur/.ani converted
// with libXcursor under <icons>/<scheme>/cursors/, the X cursor name of the
// role as the file, the CSS and legacy names as links to it, and an
// index.theme that also records the theme that was in use before, so that
// removing the scheme can switch back to it.
#include "platform/desktop/CursorImages.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velmora::desktop {

struct TXcursorRole {
    const char* ValueName;            // under "Control Panel\Cursors"
    const char* XName;                // the file written
    std::vector<const char*> Aliases; // links to it
};

// The fifteen roles of a Windows scheme.
extern const std::array<TXcursorRole, 15> XcursorRoles;

// Written into each image's nominal size: one per size of the file, and for
// a file of one size only, copies scaled by 1.5 and 2 for dense screens.
// Frames follow the steps of an animation with their delays in ms.
struct TXcursorImage {
    int NominalSize = 0;
    unsigned DelayMs = 0;
    TCursorImage Image;
};
std::vector<TXcursorImage> XcursorImagesOf(const TDecodedCursor& cursor);

// Writes the images as an Xcursor file (through a temporary name).
// Throws std::runtime_error.
void WriteXcursorFile(const std::vector<TXcursorImage>& images, const std::filesystem::path& file);

// A role's file in a scheme.
struct TRoleFile {
    std::string ValueName;
    std::filesystem::path File;
};

struct TThemeWritten {
    int Converted = 0;                 // roles written
    std::vector<std::string> Problems; // one line per role that was left out
};

// A theme name must be one plain folder name.
bool IsUsableThemeName(const std::string& name);

// Builds the theme <iconsDir>/<name> beside the final name and then puts it
// in place of an earlier one made by this program. A folder of that name
// that this program did not make is left alone (std::runtime_error).
TThemeWritten WriteXcursorTheme(const std::filesystem::path& iconsDir, const std::string& name,
                                const std::vector<TRoleFile>& roles,
                                const std::string& previousTheme);

// The theme in use before <name> was made, when <name> is a theme this
// program made; nothing otherwise.
std::optional<std::string> PreviousThemeOf(const std::filesystem::path& iconsDir,
                                           const std::string& name);

// Removes a theme this program made and returns the theme it replaced;
// nothing (and nothing removed) for any other folder. Themes of ours that
// recorded the removed one as their previous theme inherit its record.
std::optional<std::string> RemoveXcursorTheme(const std::filesystem::path& iconsDir,
                                              const std::string& name);

} // namespace velmora::desktop
