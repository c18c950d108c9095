#include "platform/desktop/DesktopSystem.h"

#include "platform/CodePage.h"
#include "platform/ThemeFile.h"
#include "platform/desktop/DesktopSession.h"
#include "platform/desktop/FolderIcon.h"
#include "platform/desktop/XcursorTheme.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

namespace velmora {
namespace fs = std::filesystem;
using namespace desktop;

namespace {

constexpr const char* CursorsKey = "Control Panel\\Cursors";
constexpr const char* DesktopSection = "Control Panel\\Desktop";
// Where Windows records the theme it applied last.
constexpr const char* ThemesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes";

// What a theme holds that has no counterpart on a Linux desktop, by section.
struct TUnsupportedPart {
    const char* SectionPrefix; // compared without regard to case
    const char* What;
};
constexpr TUnsupportedPart UnsupportedParts[] = {
    {"boot", "屏幕保护程序"},
    {"AppEvents", "声音"},
    {"Control Panel\\Colors", "颜色"},
    {"VisualStyles", "视觉样式"},
    {"Metrics", "字体和窗口尺寸"},
    {"Control Panel\\Desktop\\WindowMetrics", "字体和窗口尺寸"},
    {"CLSID", "桌面图标"},
    {"Slideshow", "幻灯片放映"},
    {"Control Panel\\Sounds", "声音"},
};

class TDesktopSystem : public ISystem {
public:
    TDesktopSystem(std::unique_ptr<ISystem> inner, TDesktopOptions options)
        : FInner(std::move(inner)), FOptions(std::move(options)),
          FSession(FOptions.CurrentDesktop) {}

    fs::path WindowsDirectory() const override { return FInner->WindowsDirectory(); }
    fs::path SystemDirectory() const override { return FInner->SystemDirectory(); }
    fs::path SpecialFolder(int csidl) const override { return FInner->SpecialFolder(csidl); }

    std::unique_ptr<IRegKey> OpenCurrentUserKey(const std::string& subKey, bool canCreate,
                                                long* error) override {
        return FInner->OpenCurrentUserKey(subKey, canCreate, error);
    }

    bool SystemParametersInfo(unsigned action, unsigned uiParam,
                              const std::optional<std::string>& pvParam, unsigned winIni) override {
        const bool done = FInner->SystemParametersInfo(action, uiParam, pvParam, winIni);
        if (done && action == spiSetDeskWallpaper && pvParam && !pvParam->empty())
            ApplyWallpaper(FInner->ResolvePath(*pvParam));
        else if (done && action == spiSetCursors)
            ApplyCursorScheme();
        return done;
    }

    TCursorHandle LoadCursorFromFile(const fs::path& file) override {
        return FInner->LoadCursorFromFile(file);
    }
    bool SetSystemCursor(TCursorHandle cursor, unsigned id) override {
        return FInner->SetSystemCursor(cursor, id);
    }
    void DestroyCursor(TCursorHandle cursor) override { FInner->DestroyCursor(cursor); }

    // The desktop gets the composed picture across its screens (GNOME's
    // "spanned"); a desktop without that option keeps its picture.
    bool SetScreenWallpaper(const TScreenWallpaper& request) override {
        const bool done = FInner->SetScreenWallpaper(request);
        if (done)
            ApplyWallpaper(FInner->ResolvePath(request.Composed), true);
        return done;
    }

    bool PostScreenSaveCommand() override {
        const bool done = FInner->PostScreenSaveCommand();
        Notice("屏幕保护程序（.scr）是 Windows 程序，无法在这里运行；桌面没有任何改变。");
        return done;
    }

    long ShellOpen(const std::string& fileOrUrl, std::uintptr_t ownerWindow) override {
        const long result = FInner->ShellOpen(fileOrUrl, ownerWindow);
        const std::string ext = LowerAscii(fs::path(fileOrUrl).extension().string());
        if (result > 32 && (ext == ".theme" || ext == ".themepack"))
            ApplyTheme(fileOrUrl);
        return result;
    }

    void ShChangeNotify(long eventId, const fs::path& item) override {
        FInner->ShChangeNotify(eventId, item);
        // The folder-icon handlers announce every change of a folder's
        // desktop.ini with this event first.
        std::error_code ec;
        if (eventId == shcneUpdateImage && fs::is_directory(item, ec))
            SyncFolderIcon(item);
    }

    bool PathMakeSystemFolder(const fs::path& folder) override {
        return FInner->PathMakeSystemFolder(folder);
    }
    std::optional<std::string> ReadThemeFromPack(const fs::path& pack) override {
        return FInner->ReadThemeFromPack(pack);
    }
    std::optional<fs::path> BrowseForFolder(const std::string& text, const fs::path& root,
                                            const fs::path& initial,
                                            std::uintptr_t ownerWindow) override {
        return FInner->BrowseForFolder(text, root, initial, ownerWindow);
    }
    bool CallShlwapiOrdinal633(std::uint32_t arg) override {
        return FInner->CallShlwapiOrdinal633(arg);
    }

    fs::path ResolvePath(const fs::path& path) override { return FInner->ResolvePath(path); }
    fs::path ShortPathName(const fs::path& path) override { return FInner->ShortPathName(path); }
    fs::path LongPathName(const fs::path& path) override { return FInner->LongPathName(path); }
    std::uint32_t GetFileAttributes(const fs::path& path) override {
        return FInner->GetFileAttributes(path);
    }
    bool SetFileAttributes(const fs::path& path, std::uint32_t attributes) override {
        return FInner->SetFileAttributes(path, attributes);
    }
    bool DeleteFile(const fs::path& path) override { return FInner->DeleteFile(path); }

    bool RemoveDirectory(const fs::path& path) override {
        const bool done = FInner->RemoveDirectory(path);
        if (done && IsSchemeFolder(path))
            RemoveCursorTheme(NormalPath(path).filename().string());
        return done;
    }

private:
    void Notice(const std::string& text) {
        if (FOptions.Notice)
            FOptions.Notice(text);
    }

    fs::path IconsDir() const { return FOptions.DataHome / "icons"; }

    // The registry keeps Windows names, matched without regard to case (the
    // cursor installer even lowers them); the file on disk may differ.
    fs::path Resolved(const std::string& path) {
        return path.empty() ? fs::path() : FInner->ResolvePath(path);
    }

    // The desktop may not notice a new picture under an old name (the
    // wallpaper search always writes the same file), so it gets a copy
    // under a fresh name; earlier copies go.
    void ApplyWallpaper(const fs::path& picture, bool spanned = false) {
        const fs::path folder = FOptions.DataHome / "velmora" / "wallpapers";
        std::error_code ec;
        fs::create_directories(folder, ec);
        const auto stamp = std::chrono::system_clock::now().time_since_epoch().count();
        const fs::path copy =
            folder / ("wallpaper-" + std::to_string(stamp) + picture.extension().string());
        if (ec || !fs::copy_file(picture, copy, fs::copy_options::overwrite_existing, ec)) {
            Notice("桌面壁纸没有改变：无法复制“" + picture.string() + "”");
            return;
        }
        const TSessionResult r =
            spanned ? FSession.SetSpannedWallpaper(copy) : FSession.SetWallpaper(copy);
        if (!r.Ok) {
            fs::remove(copy, ec);
            Notice("桌面壁纸没有改变：" + r.Message + "。壁纸只设置在模拟的 Windows 中。");
            return;
        }
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.path() != copy)
                fs::remove(entry.path(), ec);
    }

    // The scheme "Control Panel\Cursors" now holds, named by its default
    // value unless a name is given.
    void ApplyCursorScheme(const std::string& givenName = {}) {
        auto key = FInner->OpenCurrentUserKey(CursorsKey, false);
        if (!key)
            return;
        const std::string name = givenName.empty() ? key->ReadString("").value_or("") : givenName;
        if (name.empty())
            return; // the system's own cursors: nothing to convert
        std::vector<TRoleFile> roles;
        for (const TXcursorRole& role : XcursorRoles)
            roles.push_back(
                {role.ValueName, Resolved(key->ReadString(role.ValueName).value_or(""))});
        key.reset();

        // Switching to the scheme again keeps the theme it first replaced.
        std::string previous = FSession.CursorTheme().value_or("");
        if (previous == name)
            previous = PreviousThemeOf(IconsDir(), name).value_or("");
        TThemeWritten written;
        try {
            std::error_code ec;
            fs::create_directories(IconsDir(), ec);
            written = WriteXcursorTheme(IconsDir(), name, roles, previous);
        } catch (const std::exception& e) {
            Notice("光标方案“" + name + "”无法转换为桌面的光标主题：" + e.what());
            return;
        }
        std::string text;
        for (const std::string& p : written.Problems)
            text += "\n" + p;
        if (written.Converted == 0) {
            Notice("光标方案“" + name + "”没有可以转换的光标文件。" + text);
            return;
        }
        const TSessionResult r = FSession.SetCursorTheme(name);
        if (!r.Ok)
            text = "\n桌面的光标主题没有切换：" + r.Message + "。主题在“" +
                   (IconsDir() / name).string() + "”，可以手动选择。" + text;
        if (!text.empty())
            Notice("光标方案“" + name + "”已转换为桌面的光标主题。" + text);
    }

    // The theme handler of the system applied the theme (its wallpaper and
    // cursors are in the registry now); the same parts go to the desktop,
    // and what has no counterpart here is said once.
    void ApplyTheme(const std::string& opened) {
        fs::path theme = fs::path(opened);
        if (auto key = FInner->OpenCurrentUserKey(ThemesKey, false))
            if (auto current = key->ReadString("CurrentTheme"); current && !current->empty())
                theme = *current;
        theme = FInner->ResolvePath(theme);
        std::error_code ec;
        const auto size = fs::file_size(theme, ec);
        if (ec || size > TThemeFile::MaxBytes || LowerAscii(theme.extension().string()) != ".theme")
            return;
        std::ifstream in(theme, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        const TThemeFile file = TThemeFile::Parse(bytes, Cp936ToUtf8);
        const std::string name = file.Value("Theme", "DisplayName").value_or(theme.stem().string());

        TThemeFolders folders;
        folders.WinDir = FInner->WindowsDirectory();
        folders.ThemeDir = theme.parent_path();
        folders.LocalAppData = FInner->SpecialFolder(csidlLocalAppData);
        if (auto wallpaper = file.Value(DesktopSection, "Wallpaper");
            wallpaper && !wallpaper->empty())
            if (auto path = ExpandThemePath(*wallpaper, folders))
                if (const fs::path found = FInner->ResolvePath(path->lexically_normal());
                    fs::is_regular_file(found, ec))
                    ApplyWallpaper(found);
        if (file.Section(CursorsKey)) {
            const std::string scheme = file.Value(CursorsKey, "DefaultValue").value_or("");
            ApplyCursorScheme(scheme.empty() ? name : scheme);
        }

        std::vector<std::string> missing;
        for (const TThemeSection& section : file.Sections())
            for (const TUnsupportedPart& part : UnsupportedParts) {
                const std::string prefix = LowerAscii(part.SectionPrefix);
                const bool screenSaverOff =
                    prefix == "boot" && file.Value("boot", "SCRNSAVE.EXE").value_or("").empty();
                if (LowerAscii(section.Name).rfind(prefix, 0) == 0 && !screenSaverOff &&
                    std::find(missing.begin(), missing.end(), part.What) == missing.end())
                    missing.push_back(part.What);
            }
        if (missing.empty())
            return;
        std::string list;
        for (const std::string& what : missing)
            list += (list.empty() ? "" : "、") + what;
        Notice("主题“" + name + "”中的" + list + "在 Linux 桌面上没有对应，没有应用。");
    }

    // A folder right below the Windows cursor folder is a scheme's.
    bool IsSchemeFolder(const fs::path& path) const {
        const fs::path p = NormalPath(path);
        return p.parent_path().parent_path() == NormalPath(FInner->WindowsDirectory()) &&
               LowerAscii(p.parent_path().filename().string()) == "cursors";
    }

    void RemoveCursorTheme(const std::string& name) {
        const std::optional<std::string> current = FSession.CursorTheme();
        const std::optional<std::string> previous = RemoveXcursorTheme(IconsDir(), name);
        if (!previous || current != name)
            return;
        if (previous->empty()) {
            Notice("光标方案“" + name +
                   "”已删除；之前的光标主题不明，请在桌面设置中选择光标主题。");
            return;
        }
        const TSessionResult r = FSession.SetCursorTheme(*previous);
        if (!r.Ok)
            Notice("光标方案“" + name + "”已删除，但无法切换回光标主题“" + *previous + "”：" +
                   r.Message);
    }

    void SyncFolderIcon(const fs::path& folder) {
        const std::optional<fs::path> icon = DesktopIniIcon(folder);
        const TLinuxFolderIcon r =
            icon ? SetLinuxFolderIcon(folder, *icon) : ClearLinuxFolderIcon(folder);
        // KDE needs only .directory; elsewhere the metadata is what counts.
        const bool enough = r.Directory && (r.Metadata || FSession.Kind() == TDesktopKind::dkKde);
        if (!enough)
            Notice("文件夹图标只部分应用到了桌面：" + r.Message);
    }

    std::unique_ptr<ISystem> FInner;
    TDesktopOptions FOptions;
    TDesktopSession FSession;
};

} // namespace

TDesktopOptions DesktopOptionsFromEnvironment() {
    TDesktopOptions options;
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    options.CurrentDesktop = desktop ? desktop : "";
    options.DataHome = g_get_user_data_dir();
    return options;
}

std::unique_ptr<ISystem> CreateDesktopSystem(std::unique_ptr<ISystem> inner,
                                             TDesktopOptions options) {
    return std::make_unique<TDesktopSystem>(std::move(inner), std::move(options));
}

} // namespace velmora
