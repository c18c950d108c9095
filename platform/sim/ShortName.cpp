#include "platform/sim/ShortName.h"

#include <cstdint>

namespace velmora::sim {

namespace {

bool IsShortChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || u <= 0x20)
        return false;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Clean(std::string_view s, std::size_t max) {
    std::string out;
    for (char c : s) {
        if (out.size() == max)
            break;
        if (IsShortChar(c))
            out += Upper(c);
    }
    return out;
}

} // namespace

bool IsValidShortName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return !name.empty();
    const std::size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3)
        return false;
    if (dot != std::string_view::npos && ext.empty())
        return false;
    for (char c : base)
        if (!IsShortChar(c))
            return false;
    for (char c : ext)
        if (!IsShortChar(c))
            return false;
    return true;
}

std::string MakeShortName(std::string_view longName, unsigned n) {
    // Leading dots do not start an extension.
    std::size_t start = 0;
    while (start < longName.size() && longName[start] == '.')
        ++start;
    const std::size_t dot = longName.rfind('.');
    const bool hasExt = dot != std::string_view::npos && dot > start;
    const std::string_view base = longName.substr(0, hasExt ? dot : longName.size());
    const std::string ext = hasExt ? Clean(longName.substr(dot + 1), 3) : std::string();

    // Appended piece by piece: "~" + to_string(n) trips a false -Wrestrict
    // warning of GCC 12.
    std::string tail(1, '~');
    tail += std::to_string(n);
    std::string b = Clean(base, 8 - tail.size() < 6 ? 8 - tail.size() : 6);
    if (b.empty()) {
        // Nothing 8.3 can hold (e.g. only Chinese): a stable hash stands in.
        std::uint32_t h = 2166136261u;
        for (char c : longName)
            h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
        static const char* hex = "0123456789ABCDEF";
        for (int i = 0; i < 4; ++i)
            b += hex[(h >> (4 * i)) & 15];
    }
    b += tail;
    if (!ext.empty()) {
        b += '.';
        b += ext;
    }
    return b;
}

} // namespace velmora::sim
