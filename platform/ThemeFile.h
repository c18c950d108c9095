#pragma once
// Reading a Windows ".theme" file: its INI sections and values, the values
// that name files, and where those files are once the folder variables are
// expanded. Used by whatever applies a theme (the simulated theme handler, a
// desktop backend) and by the installer's check that a theme stays on this
// machine. Plain C++, no Qt; it reads bytes and never touches the disk.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class ISystem;

struct TThemeValue {
    std::string Key;
    std::string Value;
};

struct TThemeSection {
    std::string Name;
    std::vector<TThemeValue> Values;
};

// Turns the bytes of a file without a byte-order mark into UTF-8 (the ANSI
// code page of the system). The identity when not given.
using TThemeTextDecoder = std::function<std::string(std::string_view)>;

class TThemeFile {
public:
    // Theme files are a few kilobytes; anything far larger is not one.
    static constexpr std::size_t MaxBytes = 1u << 20;

    // Parses the text: UTF-16 (either order) or UTF-8 after a byte-order mark,
    // else through decode. Lines end in CR LF, LF or CR; ";" starts a comment
    // line; a line "[name]" starts a section; "key=value" lines (trimmed) go to
    // the current section, lines before the first section are ignored.
    static TThemeFile Parse(std::string_view bytes, const TThemeTextDecoder& decode = {});

    const std::vector<TThemeSection>& Sections() const { return FSections; }
    // The first section of that name, without regard to case.
    const TThemeSection* Section(std::string_view name) const;
    // The first value of key in the first section of that name (case ignored
    // in both), as Windows' profile reading answers it.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;

private:
    std::vector<TThemeSection> FSections;
};

// The folders a theme's variables and relative paths stand for.
struct TThemeFolders {
    std::filesystem::path WinDir;       // %WinDir%, %SystemRoot%; %ResourceDir% is its Resources
    std::filesystem::path ThemeDir;     // the folder of the .theme file; relative paths start here
    std::filesystem::path LocalAppData; // %LocalAppData%; empty when unknown
};

// One value of a theme that names a file or a place.
struct TThemePathValue {
    std::string Section;
    std::string Key;
    std::string Value; // as written
};

// The values that name files: the wallpaper, cursors, screen saver, visual
// style, sounds, icons, brand image and slide show, any value written as a
// resource reference ("@file,-id"), and any value anywhere that starts as a
// network path or an address.
std::vector<TThemePathValue> ThemePathValues(const TThemeFile& theme);

// The path a value names, as a native path: "@" and a trailing ",index" are
// dropped, %WinDir%, %SystemRoot%, %ResourceDir% and %LocalAppData% are
// expanded (any case), backslashes become the native separator, and a
// relative path is taken from ThemeDir. Nothing, with why, for a network
// path, an address, a drive of another machine's layout, an unknown variable
// or an empty value.
std::optional<std::filesystem::path>
ExpandThemePath(std::string_view value, const TThemeFolders& folders, std::string* why = nullptr);

// Why the theme must not be applied: a path value that leaves the machine
// (\\host\share, //host, any address scheme) or names a file outside the
// Windows folder tree and the theme's own folder. Empty when every path value
// stays inside. Paths are compared as the system resolves them (case as on
// disk where the files exist).
std::string ThemeReachProblem(const TThemeFile& theme, const TThemeFolders& folders,
                              ISystem& system);

} // namespace velmora
