// The code page conversions on Linux: glibc's iconv.
#include "platform/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace velmora {
namespace {

// iconv with one "?" for every unconvertible input unit. `unitLen` tells how
// many bytes to skip on a bad sequence (1 for byte input, one UTF-8 character
// for UTF-8 input).
// One converter per direction and thread: opening one costs far more than
// converting a short name.
class TConverter {
public:
    TConverter(const char* to, const char* from) : FCd(iconv_open(to, from)) {
        if (FCd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("code page conversion unavailable: ") + from +
                                     " to " + to);
    }
    ~TConverter() { iconv_close(FCd); }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;
    iconv_t Get() const { return FCd; }

private:
    iconv_t FCd;
};

template <typename SkipFn>
std::string Convert(const TConverter& converter, std::string_view in, SkipFn skip) {
    iconv_t cd = converter.Get();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
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
    return out;
}

} // namespace

std::string Cp936ToUtf8(std::string_view cp936) {
    thread_local TConverter converter("UTF-8", "CP936");
    // A lead byte whose trail is invalid: skip the lead only, so the trail
    // byte gets its own chance (it may be plain ASCII).
    auto skipLead = [](std::string_view) { return size_t{1}; };
    // ASCII is the same in both; only runs of double-byte text go through
    // the converter. A byte below 0x80 can still be the trail of a lead byte,
    // so a run ends only at an ASCII byte that no lead byte claims.
    std::string out;
    out.reserve(cp936.size() * 3 / 2);
    size_t i = 0;
    while (i < cp936.size()) {
        size_t ascii = i;
        while (ascii < cp936.size() && static_cast<unsigned char>(cp936[ascii]) < 0x80)
            ++ascii;
        out.append(cp936.substr(i, ascii - i));
        size_t end = ascii;
        while (end < cp936.size() && static_cast<unsigned char>(cp936[end]) >= 0x80) {
            auto c = static_cast<unsigned char>(cp936[end]);
            end += (c >= 0x81 && c <= 0xFE && end + 1 < cp936.size()) ? 2 : 1;
        }
        end = std::min(end, cp936.size());
        if (end > ascii)
            out += Convert(converter, cp936.substr(ascii, end - ascii), skipLead);
        i = end;
    }
    return out;
}

std::string Utf8ToCp936(std::string_view utf8) {
    thread_local TConverter converter("CP936", "UTF-8");
    return Convert(converter, utf8, [](std::string_view s) { return Utf8SeqLen(s); });
}

} // namespace velmora
