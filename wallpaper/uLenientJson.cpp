#include "wallpaper/uLenientJson.h"

namespace velmora {
namespace {

bool IsIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}
bool IsIdentPart(char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}
int Hex(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void PutEscapedChar(std::string& out, unsigned code) {
    static const char* digits = "0123456789abcdef";
    out += "\\u00";
    out.push_back(digits[(code >> 4) & 15]);
    out.push_back(digits[code & 15]);
}

// Copies a string literal that begins at s[i] (either quote) as a JSON string.
// Returns the index after its closing quote, or npos when it does not end.
std::size_t CopyString(std::string_view s, std::size_t i, std::string& out) {
    const char quote = s[i++];
    out.push_back('"');
    while (i < s.size()) {
        char c = s[i];
        if (c == quote) {
            out.push_back('"');
            return i + 1;
        }
        if (c == '\n' || c == '\r')
            return std::string_view::npos;
        if (c == '"') { // only inside a single-quoted literal
            out += "\\\"";
            ++i;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20) {
            PutEscapedChar(out, static_cast<unsigned char>(c));
            ++i;
            continue;
        }
        if (c != '\\') {
            out.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 >= s.size())
            return std::string_view::npos;
        char e = s[i + 1];
        i += 2;
        switch (e) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            out.push_back('\\');
            out.push_back(e);
            break;
        case '\'':
            out.push_back('\'');
            break;
        case 'v':
            PutEscapedChar(out, 0x0b);
            break;
        case '0':
            PutEscapedChar(out, 0);
            break;
        case 'x': {
            if (i + 2 > s.size() || Hex(s[i]) < 0 || Hex(s[i + 1]) < 0)
                return std::string_view::npos;
            PutEscapedChar(out, static_cast<unsigned>(Hex(s[i]) * 16 + Hex(s[i + 1])));
            i += 2;
            break;
        }
        case 'u':
            out += "\\u"; // nlohmann checks the four digits
            break;
        case '\r':
        case '\n': // a line continuation
            if (e == '\r' && i < s.size() && s[i] == '\n')
                ++i;
            break;
        default: // an unknown escape stands for the character itself
            out.push_back(e);
            break;
        }
    }
    return std::string_view::npos;
}

} // namespace

std::optional<std::string> LiteralToJson(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    // Index in `out` of the last comma written and not yet followed by a
    // value; a closing bracket right after it drops it.
    std::size_t pendingComma = std::string::npos;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            std::size_t end = s.find("*/", i + 2);
            if (end == std::string_view::npos)
                return std::nullopt;
            i = end + 2;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
            continue;
        }
        if (c == ',') {
            out.push_back(',');
            pendingComma = out.size() - 1;
            ++i;
            continue;
        }
        if ((c == '}' || c == ']') && pendingComma != std::string::npos) {
            out.erase(pendingComma, 1);
        }
        pendingComma = std::string::npos;
        if (c == '"' || c == '\'') {
            i = CopyString(s, i, out);
            if (i == std::string_view::npos)
                return std::nullopt;
            continue;
        }
        if (IsIdentStart(c)) {
            std::size_t j = i;
            while (j < s.size() && IsIdentPart(s[j]))
                ++j;
            std::string_view word = s.substr(i, j - i);
            // A name followed by a colon is a key; otherwise a bare word
            // (true, false, null) goes through as it stands.
            std::size_t k = j;
            while (k < s.size() && (s[k] == ' ' || s[k] == '\t' || s[k] == '\r' || s[k] == '\n'))
                ++k;
            if (k < s.size() && s[k] == ':') {
                out.push_back('"');
                out.append(word);
                out.push_back('"');
            } else if (word == "undefined") {
                out += "null";
            } else {
                out.append(word);
            }
            i = j;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

nlohmann::json ParseLenientJson(std::string_view utf8) {
    auto strict = LiteralToJson(utf8);
    if (!strict)
        return nlohmann::json(nlohmann::json::value_t::discarded);
    return nlohmann::json::parse(*strict, nullptr, false);
}

} // namespace velmora
