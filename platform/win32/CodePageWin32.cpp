// The code page conversions on Windows: the system's own tables, character
// by character where a run does not convert whole, so that bad bytes and
// missing characters give the same "?" as on Linux.
#include "platform/CodePage.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <algorithm>

namespace velmora {
namespace {

constexpr UINT Cp936 = 936;

// The code page bytes as UTF-16, or empty when they are not valid there.
std::wstring Cp936Wide(std::string_view bytes) {
    const int n = MultiByteToWideChar(Cp936, MB_ERR_INVALID_CHARS, bytes.data(),
                                      static_cast<int>(bytes.size()), nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(Cp936, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                        w.data(), n);
    return w;
}

// One valid UTF-8 character in the code page, or "?" when it has none there
// (no best fit: "é" is not silently "e").
std::string CharToCp936(std::string_view utf8Char) {
    const std::wstring w = Wide(utf8Char);
    BOOL usedDefault = FALSE;
    char out[8];
    const int n =
        WideCharToMultiByte(Cp936, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), out,
                            sizeof out, "?", &usedDefault);
    if (n <= 0 || usedDefault)
        return "?";
    return std::string(out, static_cast<std::size_t>(n));
}

// The double-byte run at the start of bytes, character by character.
void DecodeRunByChar(std::string_view run, std::string& out) {
    std::size_t i = 0;
    while (i < run.size()) {
        const auto c = static_cast<unsigned char>(run[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        // A lead byte takes the next byte as its trail when the pair is a
        // character; otherwise the lead alone becomes "?" and the next byte
        // gets its own chance (it may be plain ASCII).
        if (c >= 0x81 && c <= 0xFE && i + 1 < run.size()) {
            const std::wstring pair = Cp936Wide(run.substr(i, 2));
            if (!pair.empty()) {
                out += Utf8(pair);
                i += 2;
                continue;
            }
        }
        const std::wstring single = c == 0x80 || c == 0xFF ? Cp936Wide(run.substr(i, 1)) : L"";
        out += single.empty() ? std::string("?") : Utf8(single);
        ++i;
    }
}

} // namespace

std::string Cp936ToUtf8(std::string_view cp936) {
    std::string out;
    out.reserve(cp936.size() * 3 / 2);
    std::size_t i = 0;
    while (i < cp936.size()) {
        // ASCII is the same in both. A run of double-byte text ends only at an
        // ASCII byte no lead byte claims; a run that is valid text converts in
        // one call, a broken one character by character.
        std::size_t ascii = i;
        while (ascii < cp936.size() && static_cast<unsigned char>(cp936[ascii]) < 0x80)
            ++ascii;
        out.append(cp936.substr(i, ascii - i));
        std::size_t end = ascii;
        while (end < cp936.size() && static_cast<unsigned char>(cp936[end]) >= 0x80) {
            const auto c = static_cast<unsigned char>(cp936[end]);
            end += (c >= 0x81 && c <= 0xFE && end + 1 < cp936.size()) ? 2 : 1;
        }
        end = std::min(end, cp936.size());
        if (end > ascii) {
            const std::string_view run = cp936.substr(ascii, end - ascii);
            const std::wstring wide = Cp936Wide(run);
            if (!wide.empty())
                out += Utf8(wide);
            else
                DecodeRunByChar(run, out);
        }
        i = end;
    }
    return out;
}

std::string Utf8ToCp936(std::string_view utf8) {
    // Valid text whose every character the code page has converts in one
    // call; anything else character by character.
    if (IsValidUtf8(utf8)) {
        const std::wstring w = Wide(utf8);
        BOOL usedDefault = FALSE;
        const int n =
            WideCharToMultiByte(Cp936, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()),
                                nullptr, 0, "?", &usedDefault);
        if (n > 0 && !usedDefault) {
            std::string out(static_cast<std::size_t>(n), '\0');
            WideCharToMultiByte(Cp936, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()),
                                out.data(), n, "?", nullptr);
            return out;
        }
    }
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        const std::size_t n = Utf8SeqLen(utf8.substr(i));
        const std::string_view ch = utf8.substr(i, n);
        out += IsValidUtf8(ch) ? CharToCp936(ch) : std::string("?");
        i += n;
    }
    return out;
}

} // namespace velmora
