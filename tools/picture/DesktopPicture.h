#pragma once
// A picture of the simulated desktop, drawn with Qt's picture decoder: the
// wallpaper on a 1280 x 800 screen as its style places it, the arrow cursor
// from its .cur or .ani file near the centre, and a caption band at the
// bottom naming the theme, the cursor scheme and the screen saver. Only
// velmora-tool's GUI build has it; the tool's core stays without Qt.
#include "tools/DesktopState.h"

#include <filesystem>
#include <string>

namespace velmora::tool {

constexpr int DesktopWidth = 1280;
constexpr int DesktopHeight = 800;
constexpr int CaptionHeight = 48;         // the band at the bottom
constexpr int CursorX = DesktopWidth / 2; // where the cursor's hot spot sits
constexpr int CursorY = DesktopHeight / 2;
constexpr int CursorScale = 2; // cursors are drawn at twice their size

// Text needs the font database, which needs an application object: makes an
// offscreen one when the process has none.
void EnsureGuiApplication();

// Writes the PNG; false with why when it cannot be written.
bool DrawDesktopPicture(const TDesktopState& state, const std::filesystem::path& png,
                        std::string& why);

} // namespace velmora::tool
