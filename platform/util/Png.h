#pragma once
// PNG pictures read with libpng into premultiplied ARGB words, for the layers
// that decode PNGs without Qt's image plug-ins.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct TArgbPicture {
    int Width = 0, Height = 0;
    // Premultiplied ARGB (alpha in the top byte), rows top to bottom.
    std::vector<std::uint32_t> Pixels;
};

// A pixel with straight alpha as a premultiplied ARGB word.
constexpr std::uint32_t PremultipliedArgb(unsigned a, unsigned r, unsigned g, unsigned b) {
    auto mul = [a](unsigned c) { return (c * a + 127) / 255; };
    return (a << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

enum class TPngResult {
    Decoded,
    Unreadable,  // not a PNG, or its header is damaged
    TooLarge,    // a side over the limit: Width and Height say the size found
    Undecodable, // the header was fine, the picture data is not
};

// Reads the PNG in data into out. A picture with a side over maxSide is
// refused before anything is allocated for it. On failure message says why
// (libpng's words) and out holds no pixels.
TPngResult DecodePng(std::string_view data, int maxSide, TArgbPicture& out,
                     std::string& message);

} // namespace velmora
