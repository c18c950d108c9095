#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace velmora {

std::size_t Utf8SeqLen(std::string_view s) {
    auto c = static_cast<unsigned char>(s[0]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (n > s.size())
        return s.size();
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return i;
    return n;
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t n = Utf8SeqLen(text.substr(i));
        if (c >= 0x80 && (n < 2 || c < 0xC2 || c > 0xF4))
            return false;
        i += n;
    }
    return true;
}

namespace {

// The UTF-8 of every double-byte character and of every single byte from 0x80.
class TCp936Table {
public:
    struct TChar {
        char Bytes[4];
        std::uint8_t Size = 0; // 0: no character
    };

    TCp936Table() : FPairs(126 * 256) {
        // One conversion of every pair, each on a line of its own: a pair that
        // is no character comes out as "?" and its trail on its own.
        std::string all;
        all.reserve(126 * 191 * 3);
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                all += static_cast<char>(lead);
                all += static_cast<char>(trail);
                all += '\n';
            }
        const std::string utf8 = Cp936ToUtf8(all);
        std::size_t at = 0;
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                const std::size_t end = utf8.find('\n', at);
                const std::string_view ch(utf8.data() + at, end - at);
                at = end + 1;
                if (!ch.empty() && ch[0] != '?' && Utf8SeqLen(ch) == ch.size())
                    Set(FPairs[(lead - 0x81) * 256 + trail], ch);
            }
        for (int b = 0x80; b <= 0xFF; ++b) {
            const std::string ch = Cp936ToUtf8(std::string(1, static_cast<char>(b)));
            Set(FSingles[b - 0x80], ch.size() <= 4 ? std::string_view(ch) : "?");
        }
    }

    const TChar& Pair(unsigned char lead, unsigned char trail) const {
        return FPairs[(lead - 0x81) * 256 + trail];
    }
    const TChar& Single(unsigned char b) const { return FSingles[b - 0x80]; }

private:
    static void Set(TChar& c, std::string_view utf8) {
        std::memcpy(c.Bytes, utf8.data(), utf8.size());
        c.Size = static_cast<std::uint8_t>(utf8.size());
    }

    std::vector<TChar> FPairs;
    std::array<TChar, 128> FSingles{};
};

bool IsCp936Lead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

} // namespace

std::size_t AppendCp936Run(std::string& out, std::string_view s) {
    static const TCp936Table table;
    // Where the run ends: Cp936ToUtf8 lets every lead byte claim the next.
    std::size_t end = 0;
    while (end < s.size() && static_cast<unsigned char>(s[end]) >= 0x80)
        end += IsCp936Lead(static_cast<unsigned char>(s[end])) && end + 1 < s.size() ? 2 : 1;
    end = std::min(end, s.size());
    std::size_t i = 0;
    while (i < end) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80)
            return i; // a trail a broken pair gave back
        if (IsCp936Lead(c) && i + 1 < end) {
            const TCp936Table::TChar& pair = table.Pair(c, static_cast<unsigned char>(s[i + 1]));
            if (pair.Size) {
                out.append(pair.Bytes, pair.Size);
                i += 2;
                continue;
            }
        }
        const TCp936Table::TChar& single = table.Single(c);
        out.append(single.Bytes, single.Size);
        ++i;
    }
    return end;
}

std::string CutToCp936Bytes(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes || Utf8ToCp936(utf8).size() <= maxBytes)
        return std::string(utf8);
    std::string out;
    size_t used = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t n = Utf8SeqLen(utf8.substr(i));
        std::string_view ch = utf8.substr(i, n);
        size_t width = n == 1 ? 1 : Utf8ToCp936(ch).size();
        if (used + width > maxBytes)
            break;
        out.append(ch);
        used += width;
        i += n;
    }
    return out;
}

} // namespace velmora
