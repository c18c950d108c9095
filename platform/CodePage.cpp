#include "platform/CodePage.h"

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
