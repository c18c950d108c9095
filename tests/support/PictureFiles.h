#pragma once
// Small, valid cursor and picture files built byte by byte, for tests of both
// system backends and of the installers. Plain C++: the Windows cross build of
// the backend tests compiles it too.
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
// A 1 x 1 GIF with one red pixel (Qt reads GIF but does not write it).
std::string RedGifBytes();

} // namespace velmora::test
