#include "platform/desktop/DesktopSettings.h"

#include "platform/desktop/DesktopSession.h"
#include "platform/desktop/FolderIcon.h"

#include <gio/gio.h>

namespace velmora {
namespace fs = std::filesystem;
using namespace desktop;

namespace {

std::vector<std::string> Split(const std::string& text, char by, std::size_t parts) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (out.size() + 1 < parts) {
        const std::size_t end = text.find(by, at);
        if (end == std::string::npos)
            break;
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    out.push_back(text.substr(at));
    return out;
}

std::string Chomp(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

class TDesktopSettings : public ISettingsState {
public:
    explicit TDesktopSettings(const TDesktopOptions& options)
        : FKind(DetectDesktop(options.CurrentDesktop)), FDataHome(options.DataHome) {}

    TTouchedSettings Touched(TSettingsCall call, const fs::path& item) override {
        TTouchedSettings t;
        if (call == TSettingsCall::scWallpaper || call == TSettingsCall::scTheme)
            WallpaperSettings(t);
        if (call == TSettingsCall::scCursors || call == TSettingsCall::scTheme ||
            call == TSettingsCall::scRemoveFolder)
            CursorSettings(t);
        if (call == TSettingsCall::scFolderIcon) {
            t.Settings.push_back("gio-metadata:" + item.string());
            t.Files.push_back(item / ".directory");
        }
        return t;
    }

    std::optional<std::string> ReadSetting(const std::string& name) override {
        const std::vector<std::string> p = Split(name, ':', 4);
        if (p[0] == "gsettings" && p.size() >= 3) {
            const auto parts = Split(name, ':', 3);
            return GSettingsString(parts[1].c_str(), parts[2].c_str());
        }
        if (p[0] == "xfconf") {
            const auto parts = Split(name, ':', 3);
            TToolRun run = RunTool({"xfconf-query", "-c", parts[1], "-p", parts[2]});
            return run.Ok ? std::optional<std::string>(Chomp(run.Out)) : std::nullopt;
        }
        if (p[0] == "kde" && p.size() == 4) {
            const char* tool = KdeConfigTool(true);
            if (!tool)
                return std::nullopt;
            TToolRun run = RunTool({tool, "--file", p[1], "--group", p[2], "--key", p[3]});
            return run.Ok ? std::optional<std::string>(Chomp(run.Out)) : std::nullopt;
        }
        if (p[0] == "gio-metadata")
            return FolderMetadataIcon(name.substr(p[0].size() + 1));
        return std::nullopt;
    }

    bool WriteSetting(const std::string& name, const std::optional<std::string>& value) override {
        const std::vector<std::string> p = Split(name, ':', 4);
        if (p[0] == "gsettings") {
            const auto parts = Split(name, ':', 3);
            if (parts.size() < 3)
                return false;
            // A key that could not be read was the schema's default.
            return SetGSettingsString(parts[1].c_str(), parts[2].c_str(), value.value_or("")).Ok;
        }
        if (p[0] == "xfconf") {
            const auto parts = Split(name, ':', 3);
            if (!value)
                return RunTool({"xfconf-query", "-c", parts[1], "-p", parts[2], "-r"}).Ok;
            return RunTool({"xfconf-query", "-c", parts[1], "-p", parts[2], "-n", "-t", "string",
                            "-s", *value})
                .Ok;
        }
        if (p[0] == "kde" && p.size() == 4) {
            const char* tool = KdeConfigTool(false);
            if (!tool)
                return false;
            std::vector<std::string> argv = {tool, "--file", p[1], "--group", p[2], "--key", p[3]};
            if (value)
                argv.push_back(*value);
            else
                argv.push_back("--delete");
            return RunTool(argv).Ok;
        }
        if (p[0] == "gio-metadata") {
            std::string why;
            return SetFolderMetadataIcon(name.substr(p[0].size() + 1), value, why);
        }
        return false;
    }

private:
    void GSetting(TTouchedSettings& t, const char* schema, const char* key) {
        if (GSettingsHasKey(schema, key))
            t.Settings.push_back(std::string("gsettings:") + schema + ":" + key);
    }

    void WallpaperSettings(TTouchedSettings& t) {
        switch (FKind) {
        case TDesktopKind::dkGnome:
            GSetting(t, "org.gnome.desktop.background", "picture-uri");
            GSetting(t, "org.gnome.desktop.background", "picture-uri-dark");
            break;
        case TDesktopKind::dkCinnamon:
            GSetting(t, "org.cinnamon.desktop.background", "picture-uri");
            GSetting(t, "org.cinnamon.desktop.background", "picture-uri-dark");
            break;
        case TDesktopKind::dkMate:
            GSetting(t, "org.mate.background", "picture-filename");
            break;
        case TDesktopKind::dkXfce: {
            TToolRun list = RunTool({"xfconf-query", "-c", "xfce4-desktop", "-l"});
            std::string out = list.Ok ? list.Out : std::string();
            bool any = false;
            for (const std::string& line : Split(out, '\n', std::string::npos))
                if (line.size() > 11 && line.compare(line.size() - 11, 11, "/last-image") == 0) {
                    t.Settings.push_back("xfconf:xfce4-desktop:" + line);
                    any = true;
                }
            if (!any)
                t.Settings.push_back(
                    "xfconf:xfce4-desktop:/backdrop/screen0/monitor0/workspace0/last-image");
            break;
        }
        case TDesktopKind::dkKde:
        case TDesktopKind::dkUnknown:
            break;
        }
        // The backend shows a copy of the picture and removes older copies.
        std::error_code ec;
        for (fs::directory_iterator it(FDataHome / "velmora" / "wallpapers", ec), end;
             !ec && it != end; it.increment(ec))
            t.Files.push_back(it->path());
    }

    void CursorSettings(TTouchedSettings& t) {
        switch (FKind) {
        case TDesktopKind::dkGnome:
            GSetting(t, "org.gnome.desktop.interface", "cursor-theme");
            break;
        case TDesktopKind::dkCinnamon:
            GSetting(t, "org.cinnamon.desktop.interface", "cursor-theme");
            break;
        case TDesktopKind::dkMate:
            GSetting(t, "org.mate.peripherals-mouse", "cursor-theme");
            break;
        case TDesktopKind::dkKde:
            t.Settings.push_back("kde:kcminputrc:Mouse:cursorTheme");
            break;
        case TDesktopKind::dkXfce:
            t.Settings.push_back("xfconf:xsettings:/Gtk/CursorThemeName");
            break;
        case TDesktopKind::dkUnknown:
            break;
        }
    }

    TDesktopKind FKind;
    fs::path FDataHome;
};

} // namespace

std::shared_ptr<ISettingsState> CreateDesktopSettingsState(const TDesktopOptions& options) {
    return std::make_shared<TDesktopSettings>(options);
}

} // namespace velmora
