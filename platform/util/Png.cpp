#include "platform/util/Png.h"

#include <png.h>

#include <cstring>

namespace velmora {

TPngResult DecodePng(std::string_view data, int maxSide, TArgbPicture& out,
                     std::string& message) {
    out = {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size())) {
        message = image.message;
        return TPngResult::Unreadable;
    }
    const long long w = image.width, h = image.height;
    if (w > maxSide || h > maxSide) {
        png_image_free(&image);
        out.Width = static_cast<int>(w); // PNG sides are below 2^31
        out.Height = static_cast<int>(h);
        message = "picture of " + std::to_string(w) + " x " + std::to_string(h) +
                  " pixels is too large";
        return TPngResult::TooLarge;
    }
    // BGRA bytes are a little-endian ARGB word.
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), static_cast<png_int_32>(w * 4),
                               nullptr)) {
        message = image.message;
        return TPngResult::Undecodable;
    }
    for (std::uint32_t& p : pixels) {
        unsigned char c[4]; // b, g, r, a
        std::memcpy(c, &p, 4);
        p = PremultipliedArgb(c[3], c[2], c[1], c[0]);
    }
    out.Width = static_cast<int>(w);
    out.Height = static_cast<int>(h);
    out.Pixels = std::move(pixels);
    return TPngResult::Decoded;
}

} // namespace velmora
