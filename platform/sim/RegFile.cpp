#include "platform/sim/RegFile.h"

#include "platform/util/Ascii.h"
#include "platform/util/Files.h"
#include "platform/util/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <system_error>

namespace velmora::sim {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view Hive = "HKEY_CURRENT_USER";

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t c = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 6 || (b >> 4) == 14 || (b >> 3) == 30) {
            len = (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
            c = b & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
            bool ok = i + len <= s.size();
            for (std::size_t k = 1; ok && k < len; ++k) {
                const auto cb = static_cast<unsigned char>(s[i + k]);
                ok = (cb >> 6) == 2;
                c = (c << 6) | (cb & 0x3F);
            }
            if (!ok) {
                c = 0xFFFD;
                len = 1;
            }
        }
        i += len;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string Utf16ToUtf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = b < 0x80         ? 1
                          : (b >> 5) == 6  ? 2
                          : (b >> 4) == 14 ? 3
                          : (b >> 3) == 30 ? 4
                                           : 0;
        if (len == 0 || i + len > s.size())
            return false;
        char32_t c = len == 1 ? b : b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
            const auto cb = static_cast<unsigned char>(s[i + k]);
            if ((cb >> 6) != 2)
                return false;
            c = (c << 6) | (cb & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF do not survive
        // the trip through UTF-16.
        if ((len == 2 && c < 0x80) || (len == 3 && c < 0x800) || (len == 4 && c < 0x10000) ||
            (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF)
            return false;
        i += len;
    }
    return true;
}

// Control characters cannot all stand in a quoted string (a line break ends
// the line), so such text is written as hex(1). Text that UTF-16 cannot carry
// stays quoted: it never holds a line break when it was read from a file.
bool NeedsHex(std::string_view s) {
    return std::any_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; }) &&
           IsValidUtf8(s);
}

// The reader joins a line that mentions "=hex" and ends in a backslash with
// the next one; a line written that way must be followed by an empty one.
bool JoinsNextLine(std::string_view line) {
    return !line.empty() && line.back() == '\\' && line.find("=hex") != std::string_view::npos;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

std::string HexString(std::string_view s) {
    static const char* digits = "0123456789abcdef";
    std::string out = "hex(1):";
    std::u16string w = Utf8ToUtf16(s);
    w += u'\0';
    bool first = true;
    for (char16_t u : w) {
        for (int b : {u & 0xFF, u >> 8}) {
            if (!first)
                out += ',';
            first = false;
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

// Reads a quoted string at s[pos] (pos on the opening quote); pos ends after it.
bool ReadQuoted(std::string_view s, std::size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        if (s[pos] == '\\' && pos + 1 < s.size()) {
            out += s[++pos];
        } else if (s[pos] == '"') {
            ++pos;
            return true;
        } else {
            out += s[pos];
        }
    }
    return false;
}

bool ParseHexSz(std::string_view hex, std::string& out) {
    std::string bytes;
    std::size_t i = 0;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        c = LowerAscii(c);
        return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    };
    while (i < hex.size()) {
        while (i < hex.size() && (hex[i] == ' ' || hex[i] == '\t' || hex[i] == ','))
            ++i;
        if (i >= hex.size())
            break;
        if (i + 1 >= hex.size() || nibble(hex[i]) < 0 || nibble(hex[i + 1]) < 0)
            return false;
        bytes += static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1]));
        i += 2;
    }
    if (bytes.size() % 2 != 0)
        return false;
    std::u16string w;
    for (std::size_t k = 0; k < bytes.size(); k += 2)
        w += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                   (static_cast<unsigned char>(bytes[k + 1]) << 8));
    // One terminating NUL; any before it belong to the value.
    if (!w.empty() && w.back() == u'\0')
        w.pop_back();
    out = Utf16ToUtf8(w);
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace

bool TRegFile::SameName(const std::string& a, const std::string& b) {
    return EqualsIgnoreCaseAscii(a, b);
}

std::string TRegFile::NormalKey(const std::string& path) {
    std::string out;
    std::size_t i = 0;
    while (i <= path.size()) {
        const std::size_t j = std::min(path.find('\\', i), path.size());
        if (j > i) {
            if (!out.empty())
                out += '\\';
            out.append(path, i, j - i);
        }
        i = j + 1;
    }
    return out;
}

bool TRegFile::IsWithin(const std::string& path, const std::string& key) {
    if (key.empty())
        return true;
    if (path.size() < key.size() || !SameName(path.substr(0, key.size()), key))
        return false;
    return path.size() == key.size() || path[key.size()] == '\\';
}

TRegKeyData* TRegFile::Find(const std::string& path) {
    for (auto& k : Keys)
        if (SameName(k.Path, path))
            return &k;
    return nullptr;
}

TRegKeyData& TRegFile::Create(const std::string& path) {
    if (TRegKeyData* k = Find(path))
        return *k;
    if (!path.empty()) {
        const std::size_t cut = path.rfind('\\');
        Create(cut == std::string::npos ? std::string() : path.substr(0, cut));
    }
    Keys.push_back({path, {}});
    return Keys.back();
}

bool TRegFile::Parse(const std::string& input) {
    std::string text = input;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
        // regedit writes UTF-16LE; accept it when a person drops one in.
        std::u16string w;
        for (std::size_t k = 2; k + 1 < text.size(); k += 2)
            w += static_cast<char16_t>(static_cast<unsigned char>(text[k]) |
                                       (static_cast<unsigned char>(text[k + 1]) << 8));
        text = Utf16ToUtf8(w);
    } else if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }

    // Join continuation lines (a trailing backslash outside quotes).
    std::vector<std::string> lines;
    std::string pending;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        const bool hexLine =
            pending.find("=hex") != std::string::npos || line.find("=hex") != std::string::npos;
        if (hexLine && !line.empty() && line.back() == '\\') {
            // Blanks before the mark belong to the layout, as those that
            // open the next line do.
            pending += Trim(line.substr(0, line.size() - 1));
            continue;
        }
        pending += line;
        lines.push_back(std::move(pending));
        pending.clear();
    }
    // A continued line at the very end of a file without a final line break.
    if (!pending.empty())
        lines.push_back(std::move(pending));

    TRegFile parsed;
    bool sawHeader = false;
    TRegKeyData* current = nullptr;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == ';')
            continue;
        if (!sawHeader) {
            if (line != Header && line != "REGEDIT4")
                return false;
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']')
                return false;
            std::string key = line.substr(1, line.size() - 2);
            std::string hive = key.substr(0, key.find('\\'));
            if (!SameName(hive, std::string(Hive)) && !SameName(hive, "HKCU"))
                return false;
            key = hive.size() < key.size() ? NormalKey(key.substr(hive.size() + 1)) : "";
            current = &parsed.Create(key);
            continue;
        }
        if (!current)
            return false;
        TRegValue value;
        std::size_t p = 0;
        if (line[0] == '@') {
            p = 1;
        } else if (!ReadQuoted(line, p, value.Name)) {
            return false;
        }
        if (p >= line.size() || line[p] != '=')
            return false;
        ++p;
        std::string_view rhs = std::string_view(line).substr(p);
        if (!rhs.empty() && rhs[0] == '"') {
            std::size_t q = 0;
            if (!ReadQuoted(rhs, q, value.Data) || q != rhs.size())
                return false;
        } else if (rhs.rfind("hex(1):", 0) == 0) {
            if (!ParseHexSz(rhs.substr(7), value.Data))
                return false;
        } else if (rhs == "-" || rhs.empty()) {
            return false;
        } else {
            value.Data = std::string(rhs);
            value.Raw = true;
        }
        current->Values.push_back(std::move(value));
    }
    if (!sawHeader)
        return false;
    Keys = std::move(parsed.Keys);
    return true;
}

std::string TRegFile::Format() const {
    std::string out(Header);
    out += "\r\n";
    for (const auto& k : Keys) {
        out += "\r\n[";
        out += Hive;
        if (!k.Path.empty())
            out += "\\" + k.Path;
        out += "]\r\n";
        for (const auto& v : k.Values) {
            std::string line = v.Name.empty() ? std::string("@") : Quote(v.Name);
            line += '=';
            line += v.Raw ? v.Data : NeedsHex(v.Data) ? HexString(v.Data) : Quote(v.Data);
            out += line;
            // A raw value ending in a backslash: one more, which the reader
            // takes as the continuation mark, and an empty line to end it.
            if (JoinsNextLine(line))
                out += "\\\r\n";
            out += "\r\n";
        }
    }
    return out;
}

void TRegFile::Load(const fs::path& file) {
    Keys.clear();
    std::string text;
    std::error_code ec = ReadWholeFile(file, text, MaxRegistryFileBytes);
    // A file too large to be ours is set aside as an unreadable one is.
    if (ec && ec != std::errc::file_too_large)
        return;
    if (!ec && Parse(text))
        return;
    // Not ours to overwrite: keep it under a new name and start afresh.
    for (int n = 1; n < 1000; ++n) {
        fs::path aside = file;
        aside += ".unreadable-" + std::to_string(n);
        if (!fs::exists(aside, ec)) {
            fs::rename(file, aside, ec);
            break;
        }
    }
    Keys.clear();
}

bool TRegFile::Save(const fs::path& file) const {
    return !WriteFileAtomically(file, Format());
}

} // namespace velmora::sim
