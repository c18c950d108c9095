#include "platform/util/Ascii.h"

#include <algorithm>

namespace velmora {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerAscii(c);
    return out;
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

bool StartsWithIgnoreCaseAscii(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsIgnoreCaseAscii(s.substr(0, prefix.size()), prefix);
}

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

bool IsWindowsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    if (stem.size() == 3)
        for (const char* device : {"con", "prn", "aux", "nul"})
            if (EqualsIgnoreCaseAscii(stem, device))
                return true;
    return stem.size() == 4 &&
           (StartsWithIgnoreCaseAscii(stem, "com") || StartsWithIgnoreCaseAscii(stem, "lpt")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = text.find_first_of("\r\n", i);
        if (j == std::string_view::npos) {
            lines.emplace_back(text.substr(i));
            break;
        }
        lines.emplace_back(text.substr(i, j - i));
        i = j + ((text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

} // namespace velmora
