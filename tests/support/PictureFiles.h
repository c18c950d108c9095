#pragma once
// Small, valid cursor and picture files built byte by byte, for tests of both
// system backends and of the installers. Plain C++: the Windows cross build of
// the backend tests compiles it too.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmora::test {

// A 32 x 32 monochrome cursor (.cur) with its hot spot at (hx, hy).
std::string MakeCurBytes(int hx = 1, int hy = 1);
// An animated cursor (.ani) of one frame, the cursor above.
std::string MakeAniBytes();
// A cabinet (theme pack) holding the files in one uncompressed folder; names
// use "\\" as the folder separator, as cabinets do.
std::string MakeCabBytes(const std::vector<std::pair<std::string, std::string>>& files);
// A small 24-bit BMP picture.
std::string MakeBmpBytes(int width = 4, int height = 3);

// One picture of a cursor file, as the test means it: straight
// (unpremultiplied) ARGB, top row first. For 1 to 24 bits per pixel alpha is
// 0 or 255, and a pixel of alpha 0 with a colour other than black is one that
// inverts the screen (AND bit set, colour in the XOR picture).
struct TCursorPicture {
    int Width = 0, Height = 0;
    int Bpp = 32; // 1, 4, 8, 24 or 32; 0 stores the picture as a PNG
    int HotX = 0, HotY = 0;
    bool AlphaInMaskOnly = false; // 32 bpp with every alpha byte 0 (old files)
    std::vector<std::uint32_t> Argb;
};

// A .cur (or, with icon, a .ico) holding the pictures in order.
std::string MakeCursorFile(const std::vector<TCursorPicture>& pictures, bool icon = false);

// An .ani of the given frame files: rates and sequence chunks only when
// given (one entry per step).
std::string MakeAnimatedCursor(const std::vector<std::string>& frames, unsigned jiffies,
                               const std::vector<unsigned>& rates = {},
                               const std::vector<unsigned>& sequence = {});

// A PNG of straight ARGB pixels, its data stored uncompressed.
std::string MakePngBytes(int width, int height, const std::vector<std::uint32_t>& argb);

} // namespace velmora::test
