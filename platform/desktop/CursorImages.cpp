#include "platform/desktop/CursorImages.h"

#include "platform/util/Png.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace velmora::desktop {
namespace {

constexpr std::string_view PngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr unsigned AfIcon = 1;     // frames are icon or cursor resources
constexpr unsigned AfSequence = 2; // a "seq " chunk orders the frames
constexpr std::size_t MaxSteps = 4096;

std::uint32_t U16(std::string_view b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}
std::uint32_t U32(std::string_view b, std::size_t at) {
    return U16(b, at) | (U16(b, at + 2) << 16);
}

void CheckSide(int w, int h) {
    if (w <= 0 || h <= 0 || w > MaxCursorSide || h > MaxCursorSide)
        throw ECursorFormat("cursor image of " + std::to_string(w) + " x " + std::to_string(h) +
                            " pixels is not a usable size");
}

TCursorImage DecodePng(std::string_view data) {
    TArgbPicture picture;
    std::string message;
    switch (velmora::DecodePng(data, MaxCursorSide, picture, message)) {
    case TPngResult::Decoded:
        break;
    case TPngResult::TooLarge:
        CheckSide(picture.Width, picture.Height);
        break;
    case TPngResult::Unreadable:
        throw ECursorFormat("PNG cursor image cannot be read: " + message);
    case TPngResult::Undecodable:
        throw ECursorFormat("PNG cursor image cannot be decoded: " + message);
    }
    TCursorImage out;
    out.Width = picture.Width;
    out.Height = picture.Height;
    out.Pixels = std::move(picture.Pixels);
    return out;
}

// A DIB as icon resources store it: the height covers the XOR picture and
// the AND mask below it; rows run bottom to top.
TCursorImage DecodeDib(std::string_view d) {
    if (d.size() < 40 || U32(d, 0) < 40 || U32(d, 0) > d.size())
        throw ECursorFormat("cursor image has no bitmap header");
    const std::size_t headerSize = U32(d, 0);
    const int w = static_cast<std::int32_t>(U32(d, 4));
    const int fullHeight = static_cast<std::int32_t>(U32(d, 8));
    const unsigned bpp = U16(d, 14);
    const unsigned compression = U32(d, 16);
    const bool topDown = fullHeight < 0;
    const int h = (topDown ? -fullHeight : fullHeight) / 2;
    CheckSide(w, h);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
        throw ECursorFormat("cursor image has " + std::to_string(bpp) +
                            " bits per pixel; 1, 4, 8, 24 and 32 are read");
    // BI_BITFIELDS only with the standard 32-bit masks.
    if (compression != 0 && !(compression == 3 && bpp == 32))
        throw ECursorFormat("cursor image is compressed in a way cursors do not use");

    std::size_t pos = headerSize;
    if (compression == 3 && headerSize == 40)
        pos += 12; // the three masks follow a short header
    std::vector<std::uint32_t> palette;
    if (bpp <= 8) {
        std::size_t colours = U32(d, 32);
        if (colours == 0 || colours > (1u << bpp))
            colours = 1u << bpp;
        if (pos + colours * 4 > d.size())
            throw ECursorFormat("cursor image is cut short in its colour table");
        for (std::size_t i = 0; i < colours; ++i)
            palette.push_back(U32(d, pos + 4 * i) & 0xFFFFFF);
        pos += colours * 4;
    }
    const std::size_t xorStride = ((static_cast<std::size_t>(w) * bpp + 31) / 32) * 4;
    const std::size_t andStride = ((static_cast<std::size_t>(w) + 31) / 32) * 4;
    const std::size_t xorAt = pos, andAt = pos + xorStride * h;
    if (andAt > d.size())
        throw ECursorFormat("cursor image is cut short in its pixels");
    // A 32-bit image carries its transparency in alpha; some files leave the
    // AND mask out.
    const bool haveMask = andAt + andStride * h <= d.size();
    if (!haveMask && bpp != 32)
        throw ECursorFormat("cursor image is cut short in its mask");

    auto row = [&](int y) { return topDown ? y : h - 1 - y; };
    auto colourAt = [&](int x, int y) -> std::uint32_t {
        const std::size_t r = xorAt + xorStride * row(y);
        switch (bpp) {
        case 1:
        case 4:
        case 8: {
            const std::size_t bit = static_cast<std::size_t>(x) * bpp;
            const unsigned byte = static_cast<unsigned char>(d[r + bit / 8]);
            const unsigned index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
            return index < palette.size() ? palette[index] : 0;
        }
        case 24:
            return U16(d, r + 3 * x) |
                   (static_cast<std::uint32_t>(static_cast<unsigned char>(d[r + 3 * x + 2])) << 16);
        default:
            return U32(d, r + 4 * x);
        }
    };
    auto masked = [&](int x, int y) {
        if (!haveMask)
            return false;
        const unsigned byte = static_cast<unsigned char>(d[andAt + andStride * row(y) + x / 8]);
        return ((byte >> (7 - x % 8)) & 1) != 0;
    };

    bool alphaUsed = false;
    if (bpp == 32)
        for (int y = 0; y < h && !alphaUsed; ++y)
            for (int x = 0; x < w && !alphaUsed; ++x)
                alphaUsed = (colourAt(x, y) >> 24) != 0;

    TCursorImage out;
    out.Width = w;
    out.Height = h;
    out.Pixels.resize(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = colourAt(x, y);
            const unsigned r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            std::uint32_t& px = out.Pixels[static_cast<std::size_t>(y) * w + x];
            if (alphaUsed)
                px = PremultipliedArgb(c >> 24, r, g, b);
            else if (!masked(x, y))
                px = PremultipliedArgb(255, r, g, b);
            else
                // A masked pixel with a colour inverts the screen on Windows;
                // X cursors cannot invert, and black shows on the light
                // backgrounds such cursors are drawn for.
                px = (c & 0xFFFFFF) != 0 ? 0xFF000000u : 0;
        }
    return out;
}

TDecodedCursor StillCursor(std::vector<TCursorImage> images) {
    TDecodedCursor cursor;
    cursor.Frames.push_back(std::move(images));
    cursor.Steps.push_back({0, 0});
    return cursor;
}

struct TChunk {
    std::string_view Id;
    std::string_view Data;
};

// The chunks of a RIFF body; a chunk running past the end is an error.
std::vector<TChunk> Chunks(std::string_view body) {
    std::vector<TChunk> chunks;
    std::size_t at = 0;
    while (at + 8 <= body.size()) {
        const std::size_t size = U32(body, at + 4);
        if (size > body.size() - at - 8)
            throw ECursorFormat("animated cursor has a chunk running past the end of the file");
        chunks.push_back({body.substr(at, 4), body.substr(at + 8, size)});
        at += 8 + size + (size & 1);
    }
    return chunks;
}

TDecodedCursor DecodeAni(std::string_view bytes) {
    if (bytes.size() < 12 || bytes.substr(8, 4) != "ACON")
        throw ECursorFormat("RIFF file is not an animated cursor");
    const std::size_t riffSize = std::min<std::size_t>(U32(bytes, 4), bytes.size() - 8);
    std::string_view header, rates, sequence;
    std::vector<std::string_view> icons;
    for (const TChunk& c : Chunks(bytes.substr(12, riffSize - 4))) {
        if (c.Id == "anih")
            header = c.Data;
        else if (c.Id == "rate")
            rates = c.Data;
        else if (c.Id == "seq ")
            sequence = c.Data;
        else if (c.Id == "LIST" && c.Data.substr(0, 4) == "fram")
            for (const TChunk& f : Chunks(c.Data.substr(4)))
                if (f.Id == "icon")
                    icons.push_back(f.Data);
    }
    if (header.size() < 36)
        throw ECursorFormat("animated cursor has no \"anih\" header");
    const unsigned flags = U32(header, 32);
    if (!(flags & AfIcon))
        throw ECursorFormat("animated cursor stores raw bitmaps, which cursors do not use");
    if (icons.empty())
        throw ECursorFormat("animated cursor has no frames");

    TDecodedCursor cursor;
    for (std::string_view icon : icons)
        cursor.Frames.push_back(DecodeIconDirectory(icon));

    const bool useSequence = (flags & AfSequence) && !sequence.empty();
    std::size_t steps = U32(header, 8);
    if (useSequence && steps == 0)
        steps = sequence.size() / 4;
    else if (!useSequence)
        steps = steps == 0 ? icons.size() : std::min(steps, icons.size());
    if (steps > MaxSteps)
        throw ECursorFormat("animated cursor has too many steps");
    if (useSequence && sequence.size() / 4 < steps)
        throw ECursorFormat("animated cursor's sequence is shorter than its steps");
    const unsigned defaultRate = U32(header, 28);
    for (std::size_t i = 0; i < steps; ++i) {
        TCursorStep step;
        step.Frame = useSequence ? U32(sequence, 4 * i) : i;
        if (step.Frame >= cursor.Frames.size())
            throw ECursorFormat("animated cursor's sequence names a frame it does not have");
        step.Jiffies = rates.size() >= 4 * (i + 1) ? U32(rates, 4 * i) : defaultRate;
        // A step of no time would spin; Windows shows it for one jiffy.
        step.Jiffies = std::max(1u, step.Jiffies);
        cursor.Steps.push_back(step);
    }
    return cursor;
}

} // namespace

std::vector<TCursorImage> DecodeIconDirectory(std::string_view b) {
    if (b.size() < 6 || U16(b, 0) != 0 || (U16(b, 2) != 1 && U16(b, 2) != 2))
        throw ECursorFormat("file is not a cursor or icon");
    const bool isCursor = U16(b, 2) == 2;
    const std::size_t count = U16(b, 4);
    if (count == 0 || b.size() < 6 + 16 * count)
        throw ECursorFormat("cursor directory is empty or cut short");
    std::vector<TCursorImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16 * i;
        const std::size_t size = U32(b, e + 8), offset = U32(b, e + 12);
        if (offset > b.size() || size > b.size() - offset)
            throw ECursorFormat("cursor image lies outside the file");
        const std::string_view data = b.substr(offset, size);
        TCursorImage image = data.substr(0, 8) == PngSignature ? DecodePng(data) : DecodeDib(data);
        if (isCursor) {
            image.HotX = static_cast<int>(U16(b, e + 4));
            image.HotY = static_cast<int>(U16(b, e + 6));
        } else {
            image.HotX = image.Width / 2;
            image.HotY = image.Height / 2;
        }
        // A hot spot outside the picture is pinned to its edge.
        image.HotX = std::min(image.HotX, image.Width - 1);
        image.HotY = std::min(image.HotY, image.Height - 1);
        images.push_back(std::move(image));
    }
    return images;
}

TDecodedCursor DecodeCursorFile(std::string_view bytes) {
    if (bytes.substr(0, 4) == "RIFF")
        return DecodeAni(bytes);
    return StillCursor(DecodeIconDirectory(bytes));
}

} // namespace velmora::desktop
