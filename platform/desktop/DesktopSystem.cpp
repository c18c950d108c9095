#include "platform/desktop/DesktopSystem.h"

#include "platform/desktop/DesktopSession.h"
#include "platform/desktop/FolderIcon.h"
#include "platform/desktop/XcursorTheme.h"

#include <glib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <system_error>

namespace velmora {
namespace fs = std::filesystem;
using namespace desktop;

namespace {

constexpr const char* CursorsKey = "Control Panel\\Cursors";

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

fs::path Normal(const fs::path& p) {
    fs::path n = p.lexically_normal();
    if (!n.has_filename() && n.has_parent_path())
        n = n.parent_path();
    return n;
}

// The registry keeps Windows names, matched without regard to case (the
// cursor installer even lowers them); the file on disk may differ in case.
fs::path OnDisk(const fs::path& path) {
    std::error_code ec;
    if (path.empty() || fs::exists(path, ec))
        return path;
    fs::path found = path.root_path();
    for (const fs::path& part : path.relative_path()) {
        fs::path next = found / part;
        if (!fs::exists(next, ec)) {
            const std::string want = LowerAscii(part.string());
            for (const auto& entry : fs::directory_iterator(found, ec))
                if (LowerAscii(entry.path().filename().string()) == want) {
                    next = entry.path();
                    break;
                }
        }
        found = next;
    }
    return found;
}

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
            ApplyWallpaper(OnDisk(*pvParam));
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

    bool PostScreenSaveCommand() override {
        const bool done = FInner->PostScreenSaveCommand();
        Notice("屏幕保护程序（.scr）是 Windows 程序，无法在这里运行；桌面没有任何改变。");
        return done;
    }

    long ShellOpen(const std::string& fileOrUrl, std::uintptr_t ownerWindow) override {
        return FInner->ShellOpen(fileOrUrl, ownerWindow);
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
    bool CallShlwapiOrdinal633(std::uint32_t arg) override {
        return FInner->CallShlwapiOrdinal633(arg);
    }

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
            RemoveCursorTheme(Normal(path).filename().string());
        return done;
    }

private:
    void Notice(const std::string& text) {
        if (FOptions.Notice)
            FOptions.Notice(text);
    }

    fs::path IconsDir() const { return FOptions.DataHome / "icons"; }

    // The desktop may not notice a new picture under an old name (the
    // wallpaper search always writes the same file), so it gets a copy
    // under a fresh name; earlier copies go.
    void ApplyWallpaper(const fs::path& picture) {
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
        const TSessionResult r = FSession.SetWallpaper(copy);
        if (!r.Ok) {
            fs::remove(copy, ec);
            Notice("桌面壁纸没有改变：" + r.Message + "。壁纸只设置在模拟的 Windows 中。");
            return;
        }
        for (const auto& entry : fs::directory_iterator(folder, ec))
            if (entry.path() != copy)
                fs::remove(entry.path(), ec);
    }

    void ApplyCursorScheme() {
        auto key = FInner->OpenCurrentUserKey(CursorsKey, false);
        if (!key)
            return;
        const std::string name = key->ReadString("").value_or("");
        if (name.empty())
            return; // the system's own cursors: nothing to convert
        std::vector<TRoleFile> roles;
        for (const TXcursorRole& role : XcursorRoles)
            roles.push_back({role.ValueName, OnDisk(key->ReadString(role.ValueName).value_or(""))});
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

    // A folder right below the Windows cursor folder is a scheme's.
    bool IsSchemeFolder(const fs::path& path) const {
        const fs::path p = Normal(path);
        return p.parent_path().parent_path() == Normal(FInner->WindowsDirectory()) &&
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
        const TFolderIconResult r = icon ? SetFolderIcon(folder, *icon) : ClearFolderIcon(folder);
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
