#include "platform/sim/CursorFile.h"

#include <cstdint>

namespace velmora::sim {

namespace {

std::uint32_t U16(std::string_view b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t U32(std::string_view b, std::size_t at) {
    return U16(b, at) | (U16(b, at + 2) << 16);
}

// An icon directory of the given types (1 icon, 2 cursor).
bool IsValidIconDir(std::string_view b, bool allowIcon) {
    if (b.size() < 6 || U16(b, 0) != 0)
        return false;
    const std::uint32_t type = U16(b, 2);
    if (type != 2 && !(allowIcon && type == 1))
        return false;
    const std::uint32_t count = U16(b, 4);
    if (count == 0 || b.size() < 6 + 16ull * count)
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16ull * i;
        const std::uint64_t size = U32(b, e + 8);
        const std::uint64_t offset = U32(b, e + 12);
        if (size < 8 || offset < 6 + 16ull * count || offset + size > b.size())
            return false;
        const std::string_view img = b.substr(offset, size);
        const bool png = img.substr(0, 8) == std::string_view("\x89PNG\r\n\x1a\n", 8);
        const bool dib = img.size() >= 40 && U32(img, 0) == 40 && U16(img, 12) == 1;
        if (!png && !dib)
            return false;
    }
    return true;
}

bool IsValidAni(std::string_view b) {
    if (b.size() < 12 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "ACON")
        return false;
    const std::uint64_t riffEnd = std::uint64_t(U32(b, 4)) + 8;
    const std::size_t end = riffEnd < b.size() ? static_cast<std::size_t>(riffEnd) : b.size();
    bool header = false;
    bool frame = false;
    for (std::size_t p = 12; p + 8 <= end;) {
        const std::string_view id = b.substr(p, 4);
        const std::uint64_t size = U32(b, p + 4);
        if (p + 8 + size > end)
            return false;
        const std::string_view body = b.substr(p + 8, static_cast<std::size_t>(size));
        if (id == "anih") {
            // cbSize, frame count and steps must make sense.
            header = size >= 36 && U32(body, 0) == 36 && U32(body, 4) > 0 && U32(body, 8) > 0;
        } else if (id == "LIST" && size >= 4 && body.substr(0, 4) == "fram") {
            for (std::size_t q = 4; q + 8 <= body.size();) {
                const std::uint64_t fs = U32(body, q + 4);
                if (q + 8 + fs > body.size())
                    return false;
                if (body.substr(q, 4) == "icon") {
                    if (!IsValidIconDir(body.substr(q + 8, static_cast<std::size_t>(fs)), true))
                        return false;
                    frame = true;
                }
                q += 8 + static_cast<std::size_t>(fs) + (fs & 1);
            }
        }
        p += 8 + static_cast<std::size_t>(size) + (size & 1);
    }
    return header && frame;
}

} // namespace

bool IsValidCursorData(std::string_view bytes) {
    if (bytes.substr(0, 4) == "RIFF")
        return IsValidAni(bytes);
    return IsValidIconDir(bytes, false);
}

} // namespace velmora::sim
