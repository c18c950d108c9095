#pragma once
// A picture of the simulated desktop, drawn with Qt's picture decoder: the
// wallpaper on a 1280 x 800 screen as its style places it, the arrow cursor
// from its .cur or .ani file near the centre, and a caption band at the
// bottom naming the theme, the cursor scheme and the screen saver. Only
// velmora-tool's GUI build has it; the tool's core stays without Qt.
#include "tools/DesktopState.h"

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ISystem.h"

namespace velmora::tool {

constexpr int DesktopWidth = 1280;
constexpr int DesktopHeight = 800;
constexpr int CaptionHeight = 48; // the band at the bottom
constexpr int CursorScale = 2;    // cursors are drawn at twice their size

// Text needs the font database, which needs an application object: makes an
// offscreen one when the process has none.
void EnsureGuiApplication();

// Writes the PNG of the virtual desktop (the screens' bounding box; by
// default one DesktopWidth x DesktopHeight screen): every screen shows the
// wallpaper as its style places it, a tiled one continuing across screens
// from the primary screen's corner (0, 0); the cursor and the caption are on
// the primary screen (the first). False with why when it cannot be written.
bool DrawDesktopPicture(const TDesktopState& state, const std::filesystem::path& png,
                        std::string& why, std::vector<TScreenRect> screens = {});

// The screens of the display the tool runs on (DISPLAY, through Qt), the
// primary one first; empty without a display.
std::vector<TScreenRect> DisplayScreens();

} // namespace velmora::tool
