#include "install/CodePage.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace velmora {
namespace {

// iconv with one "?" for every unconvertible input unit. `unitLen` tells how
// many bytes to skip on a bad sequence (1 for byte input, one UTF-8 character
// for UTF-8 input).
template <typename SkipFn>
std::string Convert(const char* to, const char* from, std::string_view in, SkipFn skip) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("code page conversion unavailable: ") + from + " to " + to);
    std::string out;
    out.reserve(in.size() * 3 / 2 + 8);
    char buf[4096];
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    while (inLeft > 0) {
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf, static_cast<size_t>(outPtr - buf));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: an unconvertible or truncated sequence.
            size_t n = skip(std::string_view(inPtr, inLeft));
            out.push_back('?');
            inPtr += n;
            inLeft -= n;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

size_t Utf8SeqLen(std::string_view s) {
    auto c = static_cast<unsigned char>(s[0]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (n > s.size())
        return s.size();
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return i;
    return n;
}

} // namespace

std::string Cp936ToUtf8(std::string_view cp936) {
    return Convert("UTF-8", "CP936", cp936, [](std::string_view s) {
        // A lead byte whose trail is invalid: skip the lead only, so the trail
        // byte gets its own chance (it may be plain ASCII).
        (void)s;
        return size_t{1};
    });
}

std::string Utf8ToCp936(std::string_view utf8) {
    return Convert("CP936", "UTF-8", utf8, [](std::string_view s) { return Utf8SeqLen(s); });
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
