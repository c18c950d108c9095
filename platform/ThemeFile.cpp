#include "platform/ThemeFile.h"

#include "platform/ISystem.h"
#include "platform/util/Ascii.h"
#include "platform/util/Utf8.h"

#include <array>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// UTF-16 of either byte order to UTF-8; a lone surrogate or an odd last byte
// becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](std::size_t i) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            const char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
    }
    if (i < bytes.size())
        AppendUtf8(out, 0xFFFD);
    return out;
}

std::string DecodeText(std::string_view bytes, const TThemeTextDecoder& decode) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return Utf16ToUtf8(bytes.substr(2), false);
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF')
        return Utf16ToUtf8(bytes.substr(2), true);
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(bytes.substr(3));
    return decode ? decode(bytes) : std::string(bytes);
}

// Keys whose values are files, by section. "*" is every key of the section.
struct TPathKey {
    const char* Section;
    const char* Key;
    bool SectionPrefix; // the section name only starts with Section
};

constexpr std::array<TPathKey, 11> PathKeys = {{
    {"Control Panel\\Desktop", "Wallpaper", false},
    {"Control Panel\\Cursors", "*", false},
    {"boot", "SCRNSAVE.EXE", false},
    {"VisualStyles", "Path", false},
    {"Theme", "BrandImage", false},
    {"Slideshow", "ImagesRootPath", false},
    {"Slideshow", "RssFeed", false},
    {"Slideshow", "Item*", false},
    {"AppEvents\\", "*", true},
    {"CLSID\\", "*", true},
    {"Sounds", "*", false},
}};

// Cursor values that are names, not files.
bool IsCursorNameKey(std::string_view key) {
    return EqualsIgnoreCaseAscii(key, "DefaultValue") ||
           EqualsIgnoreCaseAscii(key, "Scheme Source");
}

bool IsPathKey(std::string_view section, std::string_view key) {
    for (const auto& k : PathKeys) {
        const bool sectionMatches = k.SectionPrefix ? StartsWithIgnoreCaseAscii(section, k.Section)
                                                    : EqualsIgnoreCaseAscii(section, k.Section);
        if (!sectionMatches)
            continue;
        const std::string_view pattern = k.Key;
        if (pattern == "*")
            return !(EqualsIgnoreCaseAscii(section, "Control Panel\\Cursors") &&
                     IsCursorNameKey(key));
        if (pattern.back() == '*'
                ? StartsWithIgnoreCaseAscii(key, pattern.substr(0, pattern.size() - 1))
                : EqualsIgnoreCaseAscii(key, pattern))
            return true;
    }
    return false;
}

// "scheme:" of an address: two or more scheme characters (one letter is a
// drive).
bool HasAddressScheme(std::string_view v) {
    std::size_t i = 0;
    if (v.empty() || !((v[0] >= 'a' && v[0] <= 'z') || (v[0] >= 'A' && v[0] <= 'Z')))
        return false;
    while (i < v.size() &&
           ((v[i] >= 'a' && v[i] <= 'z') || (v[i] >= 'A' && v[i] <= 'Z') ||
            (v[i] >= '0' && v[i] <= '9') || v[i] == '+' || v[i] == '.' || v[i] == '-'))
        ++i;
    return i >= 2 && i < v.size() && v[i] == ':';
}

bool IsNetworkPath(std::string_view v) {
    return v.size() >= 2 && (v[0] == '\\' || v[0] == '/') && (v[1] == '\\' || v[1] == '/');
}

// A value that leaves the machine whatever key holds it.
bool LooksRemote(std::string_view v) {
    if (!v.empty() && v.front() == '@')
        v.remove_prefix(1);
    v = TrimView(v);
    return IsNetworkPath(v) || (HasAddressScheme(v) && v.find("//") != std::string_view::npos);
}

// The file part of a value: without the "@" of a resource reference and
// without a trailing ",index" of an icon or a resource.
std::string_view FilePart(std::string_view v) {
    v = TrimView(v);
    if (!v.empty() && v.front() == '"' && v.back() == '"' && v.size() >= 2)
        v = v.substr(1, v.size() - 2);
    if (!v.empty() && v.front() == '@')
        v.remove_prefix(1);
    const std::size_t comma = v.rfind(',');
    if (comma != std::string_view::npos) {
        std::string_view index = TrimView(v.substr(comma + 1));
        if (!index.empty() && index.front() == '-')
            index.remove_prefix(1);
        bool digits = !index.empty();
        for (char c : index)
            digits = digits && c >= '0' && c <= '9';
        if (digits)
            v = v.substr(0, comma);
    }
    return TrimView(v);
}

bool IsDrivePath(std::string_view v) {
    return v.size() >= 2 && ((v[0] >= 'a' && v[0] <= 'z') || (v[0] >= 'A' && v[0] <= 'Z')) &&
           v[1] == ':';
}

// Component-wise containment; on Windows names compare without regard to
// case, elsewhere the paths were resolved to their case on disk first.
bool IsWithin(const fs::path& path, const fs::path& folder) {
    if (folder.empty())
        return false;
    auto p = path.begin();
    for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
        if (f->empty() && std::next(f) == folder.end())
            break; // a trailing separator
        if (p == path.end())
            return false;
#ifdef _WIN32
        if (!EqualsIgnoreCaseAscii(p->string(), f->string()))
            return false;
#else
        if (*p != *f)
            return false;
#endif
    }
    return true;
}

fs::path Normal(ISystem& system, const fs::path& p) {
    std::error_code ec;
    fs::path abs = fs::absolute(p, ec);
    if (ec)
        abs = p;
    return system.ResolvePath(abs.lexically_normal());
}

} // namespace

TThemeFile TThemeFile::Parse(std::string_view bytes, const TThemeTextDecoder& decode) {
    TThemeFile file;
    if (bytes.size() > MaxBytes)
        bytes = bytes.substr(0, MaxBytes);
    const std::string text = DecodeText(bytes, decode);
    std::size_t pos = 0;
    TThemeSection* current = nullptr;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line = TrimView(std::string_view(text).substr(pos, end - pos));
        pos = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos)
                continue;
            file.FSections.push_back({std::string(TrimView(line.substr(1, close - 1))), {}});
            current = &file.FSections.back();
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!current || eq == std::string_view::npos)
            continue;
        current->Values.push_back({std::string(TrimView(line.substr(0, eq))),
                                   std::string(TrimView(line.substr(eq + 1)))});
    }
    return file;
}

const TThemeSection* TThemeFile::Section(std::string_view name) const {
    for (const auto& s : FSections)
        if (EqualsIgnoreCaseAscii(s.Name, name))
            return &s;
    return nullptr;
}

std::optional<std::string> TThemeFile::Value(std::string_view section, std::string_view key) const {
    if (const TThemeSection* s = Section(section))
        for (const auto& v : s->Values)
            if (EqualsIgnoreCaseAscii(v.Key, key))
                return v.Value;
    return std::nullopt;
}

std::vector<TThemePathValue> ThemePathValues(const TThemeFile& theme) {
    std::vector<TThemePathValue> out;
    for (const auto& s : theme.Sections())
        for (const auto& v : s.Values) {
            const std::string_view value = TrimView(v.Value);
            if (value.empty())
                continue;
            if (IsPathKey(s.Name, v.Key) || value.front() == '@' || LooksRemote(value))
                out.push_back({s.Name, v.Key, v.Value});
        }
    return out;
}

std::optional<fs::path> ExpandThemePath(std::string_view value, const TThemeFolders& folders,
                                        std::string* why) {
    auto fail = [&](const char* reason) -> std::optional<fs::path> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const std::string_view v = FilePart(value);
    if (v.empty())
        return fail("empty");
    if (IsNetworkPath(v))
        return fail("a network path");
    if (HasAddressScheme(v))
        return fail("an address");

    // Expand the folder variables at the start; any other variable is one
    // this machine cannot place.
    std::string rest(v);
    fs::path base;
    if (rest.front() == '%') {
        const std::size_t close = rest.find('%', 1);
        if (close == std::string::npos)
            return fail("an unknown variable");
        const std::string_view name = std::string_view(rest).substr(1, close - 1);
        if (EqualsIgnoreCaseAscii(name, "WinDir") || EqualsIgnoreCaseAscii(name, "SystemRoot"))
            base = folders.WinDir;
        else if (EqualsIgnoreCaseAscii(name, "ResourceDir"))
            base = folders.WinDir / "Resources";
        else if (EqualsIgnoreCaseAscii(name, "LocalAppData") && !folders.LocalAppData.empty())
            base = folders.LocalAppData;
        else
            return fail("an unknown variable");
        if (base.empty())
            return fail("an unknown variable");
        rest.erase(0, close + 1);
        while (!rest.empty() && (rest.front() == '\\' || rest.front() == '/'))
            rest.erase(0, 1);
    }
    if (rest.find('%') != std::string::npos)
        return fail("an unknown variable");
    if (fs::path::preferred_separator != '\\')
        for (char& c : rest)
            if (c == '\\')
                c = '/';

    if (!base.empty())
        return rest.empty() ? base : base / fs::path(rest);
    if (IsDrivePath(rest)) {
#ifdef _WIN32
        return fs::path(rest);
#else
        return fail("a drive this system does not have");
#endif
    }
    if (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) {
#ifdef _WIN32
        return folders.WinDir.root_name() / fs::path(rest);
#else
        return fs::path(rest);
#endif
    }
    if (folders.ThemeDir.empty())
        return fail("a relative path without the theme's folder");
    return folders.ThemeDir / fs::path(rest);
}

std::string ThemeReachProblem(const TThemeFile& theme, const TThemeFolders& folders,
                              ISystem& system) {
    const fs::path winDir = Normal(system, folders.WinDir);
    const fs::path themeDir =
        folders.ThemeDir.empty() ? fs::path() : Normal(system, folders.ThemeDir);
    for (const auto& pv : ThemePathValues(theme)) {
        const std::string where = "[" + pv.Section + "] " + pv.Key + "=" + pv.Value;
        std::string why;
        const auto path = ExpandThemePath(pv.Value, folders, &why);
        if (!path) {
            if (why == "empty")
                continue;
            return where + " (" + why + ")";
        }
        const fs::path normal = Normal(system, *path);
        if (!IsWithin(normal, winDir) && !IsWithin(normal, themeDir))
            return where + " (outside the Windows folder and the theme's folder)";
    }
    return {};
}

} // namespace velmora
