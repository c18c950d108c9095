#pragma once
// Decodes Windows cursor files into pictures: a .cur (or .ico) with every
// image it holds, and an animated .ani with its frames, rates and sequence.
// Images are DIBs of 1, 4, 8, 24 or 32 bits per pixel with their AND masks,
// or PNG-compressed. Plain C++ with libpng.
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace velmora::desktop {

// A cursor file that cannot be decoded; the text says why.
class ECursorFormat : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Larger pictures are refused: no cursor is that big, and a hostile header
// must not make us allocate gigabytes.
constexpr int MaxCursorSide = 1024;

struct TCursorImage {
    int Width = 0, Height = 0;
    int HotX = 0, HotY = 0;
    // Premultiplied ARGB (alpha in the top byte), rows top to bottom.
    std::vector<std::uint32_t> Pixels;
};

struct TCursorStep {
    std::size_t Frame = 0;
    unsigned Jiffies = 0; // 1/60 s; 0 for a still cursor
};

struct TDecodedCursor {
    // Each frame holds its images in file order (usually one per size).
    std::vector<std::vector<TCursorImage>> Frames;
    // The order the frames are shown in; a still cursor has one step.
    std::vector<TCursorStep> Steps;
};

// The images of an icon directory (type 2 cursor, or type 1 icon whose hot
// spot is its centre, as Windows loads icons as cursors).
std::vector<TCursorImage> DecodeIconDirectory(std::string_view bytes);

// A .cur, .ico or .ani file. Throws ECursorFormat.
TDecodedCursor DecodeCursorFile(std::string_view bytes);

} // namespace velmora::desktop
