#include "tests/support/PictureFiles.h"

#include <algorithm>

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

std::string RedGifBytes() {
    static const char bytes[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
                                ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    return std::string(bytes, sizeof bytes - 1);
}

} // namespace velmora::test
