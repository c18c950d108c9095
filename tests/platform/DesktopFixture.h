#pragma once
// Shared by the desktop backend's tests: every test process gets its own
// GSettings keyfile (the real schemas of the machine, no session bus) and
// data folder before GLib first looks at the environment.
#include "platform/desktop/CursorImages.h"
#include "tests/support/PictureFiles.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace velmora::test {

// The temporary home of this test process: config/ (XDG_CONFIG_HOME, with
// the GSettings keyfile) and data/ (XDG_DATA_HOME).
const std::filesystem::path& DesktopTestHome();

// A picture of the given bit depth whose colours that depth can hold,
// transparent and screen-inverting pixels included where the depth has them.
TCursorPicture Pattern(int width, int height, int bpp, int seed, int hotX = 0, int hotY = 0);

// The premultiplied pixels the conversion must give for a picture: screen
// inverting pixels become opaque black.
std::vector<std::uint32_t> ExpectedPixels(const TCursorPicture& picture);

// Nearest-neighbour enlargement by num/den of premultiplied pixels.
std::vector<std::uint32_t> ScaledPixels(const std::vector<std::uint32_t>& pixels, int width,
                                        int height, int num, int den);

// One image of an Xcursor file as libXcursor reads it back.
struct TLoadedImage {
    int Size = 0, Width = 0, Height = 0, HotX = 0, HotY = 0;
    unsigned Delay = 0;
    std::vector<std::uint32_t> Pixels;
};
// Nothing when libXcursor cannot read the file.
std::optional<std::vector<TLoadedImage>> LoadXcursor(const std::filesystem::path& file);
// Through libXcursor's theme lookup (XCURSOR_PATH set to iconsDir).
std::optional<std::vector<TLoadedImage>> LoadThemeCursor(const std::filesystem::path& iconsDir,
                                                         const char* name, const char* theme,
                                                         int size);

} // namespace velmora::test
