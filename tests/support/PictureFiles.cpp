#include "tests/support/PictureFiles.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string_view>

namespace velmora::test {
namespace {

void Put16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, unsigned v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// The cabinet checksum of a data block: little-endian words XORed, the
// last partial word taken from its bytes in reverse.
unsigned CabChecksum(const std::string& bytes, unsigned seed) {
    unsigned sum = seed;
    std::size_t i = 0;
    auto byte = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at]));
    };
    for (; i + 4 <= bytes.size(); i += 4)
        sum ^= byte(i) | (byte(i + 1) << 8) | (byte(i + 2) << 16) | (byte(i + 3) << 24);
    unsigned last = 0;
    switch (bytes.size() - i) {
    case 3:
        last = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        break;
    case 2:
        last = (byte(i) << 8) | byte(i + 1);
        break;
    case 1:
        last = byte(i);
        break;
    default:
        break;
    }
    return sum ^ last;
}

} // namespace

std::string MakeCurBytes(int hx, int hy) {
    // DIB: header, two-colour table, XOR mask (an arrow-ish block), AND mask.
    std::string dib;
    Put32(dib, 40);
    Put32(dib, 32);
    Put32(dib, 64); // XOR and AND masks stacked
    Put16(dib, 1);
    Put16(dib, 1);
    Put32(dib, 0);
    Put32(dib, 2 * 32 * 4);
    Put32(dib, 0);
    Put32(dib, 0);
    Put32(dib, 2);
    Put32(dib, 0);
    Put32(dib, 0x000000);
    Put32(dib, 0xFFFFFF);
    for (int row = 0; row < 32; ++row)
        Put32(dib, row < 16 ? 0x0000FFFF : 0);
    for (int row = 0; row < 32; ++row)
        Put32(dib, row < 16 ? 0xFFFF0000 : 0xFFFFFFFF);

    std::string cur;
    Put16(cur, 0);
    Put16(cur, 2); // cursor
    Put16(cur, 1);
    cur += static_cast<char>(32);
    cur += static_cast<char>(32);
    cur += static_cast<char>(0);
    cur += static_cast<char>(0);
    Put16(cur, static_cast<unsigned>(hx));
    Put16(cur, static_cast<unsigned>(hy));
    Put32(cur, static_cast<unsigned>(dib.size()));
    Put32(cur, 22);
    return cur + dib;
}

std::string MakeAniBytes() {
    const std::string frame = MakeCurBytes();
    std::string anih = "anih";
    Put32(anih, 36);
    Put32(anih, 36); // cbSize
    Put32(anih, 1);  // frames
    Put32(anih, 1);  // steps
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, 0);
    Put32(anih, 10); // jiffies per step
    Put32(anih, 1);  // AF_ICON: frames are icon resources
    std::string icon = "icon";
    Put32(icon, static_cast<unsigned>(frame.size()));
    icon += frame;
    if (icon.size() % 2)
        icon += '\0';
    std::string list = "LIST";
    Put32(list, static_cast<unsigned>(4 + icon.size()));
    list += "fram" + icon;
    std::string body = "ACON" + anih + list;
    std::string riff = "RIFF";
    Put32(riff, static_cast<unsigned>(body.size()));
    return riff + body;
}

std::string MakeBmpBytes(int width, int height) {
    const unsigned stride = static_cast<unsigned>((width * 3 + 3) & ~3);
    const unsigned size = stride * static_cast<unsigned>(height);
    std::string bmp = "BM";
    Put32(bmp, 54 + size);
    Put32(bmp, 0);
    Put32(bmp, 54);
    Put32(bmp, 40);
    Put32(bmp, static_cast<unsigned>(width));
    Put32(bmp, static_cast<unsigned>(height));
    Put16(bmp, 1);
    Put16(bmp, 24);
    Put32(bmp, 0);
    Put32(bmp, size);
    Put32(bmp, 2835);
    Put32(bmp, 2835);
    Put32(bmp, 0);
    Put32(bmp, 0);
    for (unsigned i = 0; i < size; ++i)
        bmp += static_cast<char>(i * 37 % 251);
    return bmp;
}

std::string MakeCabBytes(const std::vector<std::pair<std::string, std::string>>& files) {
    constexpr std::size_t Header = 36, Folder = 8, Block = 32768;
    std::string entries, data, payload;
    unsigned offset = 0;
    for (const auto& [name, bytes] : files) {
        Put32(entries, static_cast<unsigned>(bytes.size()));
        Put32(entries, offset);
        Put16(entries, 0);      // folder 0
        Put16(entries, 0x5821); // 2024-01-01
        Put16(entries, 0);
        Put16(entries, 0x20); // archive
        entries += name;
        entries += '\0';
        offset += static_cast<unsigned>(bytes.size());
        payload += bytes;
    }
    unsigned blocks = 0;
    for (std::size_t at = 0; at < payload.size() || blocks == 0; at += Block, ++blocks) {
        const std::string chunk = payload.substr(std::min(at, payload.size()), Block);
        std::string sizes;
        Put16(sizes, static_cast<unsigned>(chunk.size()));
        Put16(sizes, static_cast<unsigned>(chunk.size()));
        Put32(data, CabChecksum(sizes, CabChecksum(chunk, 0)));
        data += sizes + chunk;
        if (payload.empty())
            break;
    }
    if (blocks == 0)
        blocks = 1;
    std::string cab = "MSCF";
    Put32(cab, 0);
    Put32(cab, static_cast<unsigned>(Header + Folder + entries.size() + data.size()));
    Put32(cab, 0);
    Put32(cab, static_cast<unsigned>(Header + Folder)); // first file entry
    Put32(cab, 0);
    cab += '\x03'; // version 1.3
    cab += '\x01';
    Put16(cab, 1);
    Put16(cab, static_cast<unsigned>(files.size()));
    Put16(cab, 0);
    Put16(cab, 0);
    Put16(cab, 0);
    Put32(cab, static_cast<unsigned>(Header + Folder + entries.size())); // first data block
    Put16(cab, blocks);
    Put16(cab, 0); // stored
    return cab + entries + data;
}

} // namespace velmora::test

namespace velmora::test {
namespace {

void PutBe32(std::string& s, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        s += static_cast<char>((v >> shift) & 0xFF);
}

std::uint32_t Crc32(std::string_view data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

std::string PngChunk(const std::string& type, const std::string& data) {
    std::string chunk;
    PutBe32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk += type + data;
    PutBe32(chunk, Crc32(type + data));
    return chunk;
}

std::string CursorImageData(const TCursorPicture& p) {
    if (p.Bpp == 0)
        return MakePngBytes(p.Width, p.Height, p.Argb);
    const int bpp = p.Bpp;
    std::vector<std::uint32_t> palette;
    std::map<std::uint32_t, unsigned> index;
    if (bpp <= 8) {
        palette.push_back(0); // black: transparent pixels point here
        index[0] = 0;
        for (std::uint32_t px : p.Argb) {
            const std::uint32_t rgb = px & 0xFFFFFF;
            if (!index.count(rgb)) {
                index[rgb] = static_cast<unsigned>(palette.size());
                palette.push_back(rgb);
            }
        }
        if (palette.size() > (1u << bpp))
            throw std::logic_error("too many colours for the bit depth");
    }
    const std::size_t xorStride = ((static_cast<std::size_t>(p.Width) * bpp + 31) / 32) * 4;
    const std::size_t andStride = ((static_cast<std::size_t>(p.Width) + 31) / 32) * 4;
    std::string xorBits(xorStride * p.Height, '\0'), andBits(andStride * p.Height, '\0');
    for (int y = 0; y < p.Height; ++y) {
        const int row = p.Height - 1 - y; // bottom-up
        for (int x = 0; x < p.Width; ++x) {
            const std::uint32_t px = p.Argb[static_cast<std::size_t>(y) * p.Width + x];
            const unsigned a = px >> 24;
            char* out = &xorBits[xorStride * row];
            if (bpp <= 8) {
                const unsigned i = index[px & 0xFFFFFF];
                const std::size_t bit = static_cast<std::size_t>(x) * bpp;
                out[bit / 8] = static_cast<char>(out[bit / 8] | (i << (8 - bpp - bit % 8)));
            } else {
                out[x * (bpp / 8) + 0] = static_cast<char>(px & 0xFF);
                out[x * (bpp / 8) + 1] = static_cast<char>((px >> 8) & 0xFF);
                out[x * (bpp / 8) + 2] = static_cast<char>((px >> 16) & 0xFF);
                if (bpp == 32)
                    out[x * 4 + 3] = static_cast<char>(p.AlphaInMaskOnly ? 0 : a);
            }
            if (a == 0)
                andBits[andStride * row + x / 8] |= static_cast<char>(0x80 >> (x % 8));
        }
    }
    std::string dib;
    Put32(dib, 40);
    Put32(dib, static_cast<unsigned>(p.Width));
    Put32(dib, static_cast<unsigned>(2 * p.Height));
    Put16(dib, 1);
    Put16(dib, static_cast<unsigned>(bpp));
    Put32(dib, 0);
    Put32(dib, static_cast<unsigned>(xorBits.size() + andBits.size()));
    Put32(dib, 0);
    Put32(dib, 0);
    Put32(dib, static_cast<unsigned>(palette.size()));
    Put32(dib, 0);
    for (std::uint32_t c : palette)
        Put32(dib, c);
    return dib + xorBits + andBits;
}

} // namespace

std::string MakePngBytes(int width, int height, const std::vector<std::uint32_t>& argb) {
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0'; // no filter
        for (int x = 0; x < width; ++x) {
            const std::uint32_t px = argb[static_cast<std::size_t>(y) * width + x];
            for (int shift : {16, 8, 0, 24})
                raw += static_cast<char>((px >> shift) & 0xFF);
        }
    }
    std::string z = "\x78\x01";
    for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
        z += static_cast<char>(at + n >= raw.size() ? 1 : 0);
        Put16(z, static_cast<unsigned>(n));
        Put16(z, static_cast<unsigned>(~n & 0xFFFF));
        z += raw.substr(at, n);
        if (at + n >= raw.size())
            break;
    }
    std::uint32_t s1 = 1, s2 = 0;
    for (unsigned char c : raw) {
        s1 = (s1 + c) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    PutBe32(z, (s2 << 16) | s1);
    std::string ihdr;
    PutBe32(ihdr, static_cast<std::uint32_t>(width));
    PutBe32(ihdr, static_cast<std::uint32_t>(height));
    ihdr += std::string("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA
    return std::string("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IDAT", z) +
           PngChunk("IEND", "");
}

std::string MakeCursorFile(const std::vector<TCursorPicture>& pictures, bool icon) {
    std::string head, body;
    Put16(head, 0);
    Put16(head, icon ? 1 : 2);
    Put16(head, static_cast<unsigned>(pictures.size()));
    std::size_t offset = 6 + 16 * pictures.size();
    for (const TCursorPicture& p : pictures) {
        const std::string data = CursorImageData(p);
        head += static_cast<char>(p.Width & 0xFF);
        head += static_cast<char>(p.Height & 0xFF);
        head += '\0';
        head += '\0';
        Put16(head, static_cast<unsigned>(icon ? 1 : p.HotX));
        Put16(head, static_cast<unsigned>(icon ? p.Bpp : p.HotY));
        Put32(head, static_cast<unsigned>(data.size()));
        Put32(head, static_cast<unsigned>(offset));
        offset += data.size();
        body += data;
    }
    return head + body;
}

std::string MakeAnimatedCursor(const std::vector<std::string>& frames, unsigned jiffies,
                               const std::vector<unsigned>& rates,
                               const std::vector<unsigned>& sequence) {
    const unsigned steps =
        static_cast<unsigned>(sequence.empty() ? frames.size() : sequence.size());
    std::string anih = "anih";
    Put32(anih, 36);
    Put32(anih, 36);
    Put32(anih, static_cast<unsigned>(frames.size()));
    Put32(anih, steps);
    for (int i = 0; i < 4; ++i)
        Put32(anih, 0);
    Put32(anih, jiffies);
    Put32(anih, 1u | (sequence.empty() ? 0u : 2u)); // AF_ICON, AF_SEQUENCE
    auto listOf = [](const char* id, const std::vector<unsigned>& values) {
        std::string chunk = id;
        Put32(chunk, static_cast<unsigned>(4 * values.size()));
        for (unsigned v : values)
            Put32(chunk, v);
        return chunk;
    };
    std::string body = "ACON" + anih;
    if (!rates.empty())
        body += listOf("rate", rates);
    if (!sequence.empty())
        body += listOf("seq ", sequence);
    std::string fram = "fram";
    for (const std::string& frame : frames) {
        fram += "icon";
        Put32(fram, static_cast<unsigned>(frame.size()));
        fram += frame;
        if (frame.size() % 2)
            fram += '\0';
    }
    body += "LIST";
    Put32(body, static_cast<unsigned>(fram.size()));
    body += fram;
    std::string riff = "RIFF";
    Put32(riff, static_cast<unsigned>(body.size()));
    return riff + body;
}

} // namespace velmora::test
