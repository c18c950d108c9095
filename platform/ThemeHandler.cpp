#include "platform/ThemeHandler.h"

#include "platform/CodePage.h"
#include "platform/ISystem.h"
#include "platform/ThemeFile.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <algorithm>
#include <array>
#include <random>
#include <vector>

namespace velmora {

namespace fs = std::filesystem;

const char* const ThemesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes";
const char* const CurrentThemeValue = "CurrentTheme";
const char* const ThemeNameValue = "DisplayName";

namespace {

struct TCursorValue {
    const char* Name;
    unsigned Id;
};

// The values of "Control Panel\Cursors" and the system cursors they stand for.
constexpr std::array<TCursorValue, 15> CursorValues = {{
    {"Arrow", ocrNormal},
    {"Help", ocrHelp},
    {"AppStarting", ocrAppStarting},
    {"Wait", ocrWait},
    {"Crosshair", ocrCross},
    {"IBeam", ocrIBeam},
    {"Hand", ocrHand},
    {"No", ocrNo},
    {"SizeNS", ocrSizeNS},
    {"SizeWE", ocrSizeWE},
    {"SizeNWSE", ocrSizeNWSE},
    {"SizeNESW", ocrSizeNESW},
    {"SizeAll", ocrSizeAll},
    {"NWPen", 32641},
    {"UpArrow", ocrUp},
}};

// The sections the handler applies; any other is journalled as ignored.
constexpr std::array<const char*, 4> AppliedSections = {"Theme", "Control Panel\\Desktop",
                                                        "Control Panel\\Cursors", "boot"};

class TApplier {
public:
    TApplier(ISystem& system, const fs::path& theme, const TJournalWriter& journal)
        : FSystem(system), FJournal(journal) {
        FFolders.WinDir = system.WindowsDirectory();
        FFolders.ThemeDir = theme.parent_path();
        FFolders.LocalAppData = system.SpecialFolder(csidlLocalAppData);
    }

    // The file a value names when it exists; journals it as missing else.
    std::optional<fs::path> Existing(const std::string& section, const std::string& key,
                                     const std::string& value) {
        std::string why;
        if (auto path = ExpandThemePath(value, FFolders, &why)) {
            const fs::path onDisk = FSystem.ResolvePath(path->lexically_normal());
            std::error_code ec;
            if (fs::is_regular_file(onDisk, ec))
                return onDisk;
            why = "no such file " + onDisk.string();
        }
        FJournal("ThemeMissing [" + section + "] " + key + "=" + value + " (" + why + ")");
        return std::nullopt;
    }

    void Desktop(const TThemeFile& file) {
        const std::string section = "Control Panel\\Desktop";
        const auto wallpaper = file.Value(section, "Wallpaper");
        if (!wallpaper)
            return;
        auto key = FSystem.OpenCurrentUserKey(section, true);
        if (key)
            for (const char* style : {"WallpaperStyle", "TileWallpaper"})
                if (auto v = file.Value(section, style))
                    key->WriteString(style, *v);
        key.reset();
        if (wallpaper->empty()) {
            FSystem.SystemParametersInfo(spiSetDeskWallpaper, 0, std::string(), spifUpdateIniFile);
            return;
        }
        if (auto path = Existing(section, "Wallpaper", *wallpaper))
            FSystem.SystemParametersInfo(spiSetDeskWallpaper, 0, path->string(), spifUpdateIniFile);
    }

    void Cursors(const TThemeFile& file) {
        const std::string section = "Control Panel\\Cursors";
        if (!file.Section(section))
            return;
        auto key = FSystem.OpenCurrentUserKey(section, true);
        if (!key)
            return;
        for (const auto& role : CursorValues) {
            const auto value = file.Value(section, role.Name);
            if (!value)
                continue;
            if (value->empty()) {
                key->WriteString(role.Name, "");
                continue;
            }
            const auto path = Existing(section, role.Name, *value);
            if (!path)
                continue;
            key->WriteString(role.Name, path->string());
            if (TCursorHandle cursor = FSystem.LoadCursorFromFile(*path))
                if (!FSystem.SetSystemCursor(cursor, role.Id))
                    FSystem.DestroyCursor(cursor);
        }
        if (auto scheme = file.Value(section, "DefaultValue"))
            key->WriteString("", *scheme);
        key.reset();
        FSystem.SystemParametersInfo(spiSetCursors, 0, std::nullopt, 0);
    }

    void ScreenSaver(const TThemeFile& file) {
        const auto saver = file.Value("boot", "SCRNSAVE.EXE");
        if (!saver)
            return;
        std::string value;
        if (!saver->empty()) {
            const auto path = Existing("boot", "SCRNSAVE.EXE", *saver);
            if (!path)
                return;
            value = path->string();
        }
        if (auto key = FSystem.OpenCurrentUserKey("Control Panel\\Desktop", true))
            key->WriteString("SCRNSAVE.EXE", value);
        FJournal("ThemeScreenSaver file=" + value);
    }

    void Ignored(const TThemeFile& file) {
        for (const auto& s : file.Sections()) {
            bool applied = false;
            for (const char* name : AppliedSections)
                applied = applied || EqualsIgnoreCaseAscii(s.Name, name);
            if (!applied)
                FJournal("ThemeIgnored [" + s.Name + "]");
        }
    }

private:
    ISystem& FSystem;
    const TJournalWriter& FJournal;
    TThemeFolders FFolders;
};

} // namespace

bool ApplyThemeFile(ISystem& system, const fs::path& theme, const TJournalWriter& given) {
    const TJournalWriter journal = given ? given : [](const std::string&) {};
    std::string bytes;
    if (ReadWholeFile(theme, bytes, TThemeFile::MaxBytes)) {
        journal("ThemeFailed " + theme.string() + ": cannot read the theme file");
        return false;
    }
    const TThemeFile file = TThemeFile::Parse(bytes, Cp936ToUtf8);
    TApplier applier(system, theme, journal);
    applier.Desktop(file);
    applier.Cursors(file);
    applier.ScreenSaver(file);
    applier.Ignored(file);

    auto key = system.OpenCurrentUserKey(ThemesKey, true);
    if (!key || !key->WriteString(CurrentThemeValue, theme.string())) {
        journal("ThemeFailed " + theme.string());
        return false;
    }
    // Windows shows the file's name when the theme names itself nothing.
    const auto displayName = file.Value("Theme", "DisplayName");
    key->WriteString(ThemeNameValue, displayName.value_or(theme.stem().string()));
    if (displayName)
        journal("ThemeName " + *displayName);
    journal("ThemeApplied " + theme.string());
    return true;
}

bool ApplyThemePack(ISystem& system, const fs::path& pack, const TThemePackUnpacker& unpack,
                    const TJournalWriter& given) {
    const TJournalWriter journal = given ? given : [](const std::string&) {};
    const fs::path dest =
        system.SpecialFolder(csidlLocalAppData) / "Microsoft" / "Windows" / "Themes" / pack.stem();
    std::string why;
    if (!dest.is_absolute()) {
        journal("ThemePackFailed " + pack.string() + ": no user theme folder");
        return false;
    }
    if (!unpack(pack, dest, why)) {
        journal("ThemePackFailed " + pack.string() + ": " + why);
        return false;
    }
    journal("ThemePackUnpacked " + dest.string());
    const fs::path theme = FindThemeFile(dest);
    if (theme.empty()) {
        journal("ThemePackFailed " + pack.string() + ": no .theme file inside");
        return false;
    }
    return ApplyThemeFile(system, theme, journal);
}

bool UnpackIntoPlace(
    const fs::path& dest, std::string& why,
    const std::function<bool(const fs::path& temp, std::string& why)>& unpackInto) {
    fs::path temp = dest;
    temp += ".unpacking-" + std::to_string(std::random_device{}());
    std::error_code ec;
    fs::remove_all(temp, ec);
    fs::create_directories(temp, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    if (!unpackInto(temp, why)) {
        fs::remove_all(temp, ec);
        return false;
    }
    fs::remove_all(dest, ec);
    fs::rename(temp, dest, ec);
    if (ec) {
        why = ec.message();
        fs::remove_all(temp, ec);
        return false;
    }
    return true;
}

std::string SafePackEntryName(std::string_view raw) {
    if (raw.empty())
        return {};
    std::string name(raw);
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.front() == '/' || name.find(':') != std::string::npos)
        return {};
    std::string out;
    std::size_t pos = 0;
    while (pos <= name.size()) {
        const std::size_t end = std::min(name.find('/', pos), name.size());
        const std::string part = name.substr(pos, end - pos);
        if (part.empty() || part == "." || part == ".." || IsWindowsDeviceName(part))
            return {};
        if (!out.empty())
            out += '/';
        out += part;
        pos = end + 1;
    }
    return out;
}

fs::path FindThemeFile(const fs::path& folder) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string ext = LowerAscii(it->path().extension().string());
        if (ext == ".theme" && it->is_regular_file(ec))
            found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? fs::path() : found.front();
}

} // namespace velmora
