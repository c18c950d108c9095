#include "platform/desktop/DesktopSession.h"
#include "platform/util/Ascii.h"

#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace velmora::desktop {
namespace fs = std::filesystem;

namespace {

template <typename T> struct TGFree {
    void operator()(T* p) const { g_free(p); }
};
using TGString = std::unique_ptr<gchar, TGFree<gchar>>;

struct TUnref {
    void operator()(gpointer p) const { g_object_unref(p); }
};

// A schema when it is installed; GSettings aborts on a missing one.
GSettingsSchema* LookupSchema(const char* schema) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    return source ? g_settings_schema_source_lookup(source, schema, TRUE) : nullptr;
}

std::unique_ptr<GSettings, TUnref> OpenSettings(const char* schema, const char* key,
                                                std::string* why) {
    GSettingsSchema* s = LookupSchema(schema);
    if (!s) {
        *why = std::string("桌面设置“") + schema + "”没有安装";
        return nullptr;
    }
    const bool hasKey = g_settings_schema_has_key(s, key);
    g_settings_schema_unref(s);
    if (!hasKey) {
        *why = std::string("桌面设置“") + schema + "”没有“" + key + "”一项";
        return nullptr;
    }
    return std::unique_ptr<GSettings, TUnref>(g_settings_new(schema));
}

TSessionResult Ok() {
    return {true, {}};
}
TSessionResult Fail(std::string message) {
    return {false, std::move(message)};
}

std::string FileUri(const fs::path& file) {
    TGString uri(g_filename_to_uri(fs::absolute(file).c_str(), nullptr, nullptr));
    return uri ? uri.get() : std::string();
}

TSessionResult SetGnomeWallpaper(const char* schema, const fs::path& picture,
                                 bool spanned = false) {
    const std::string uri = FileUri(picture);
    TSessionResult r = SetGSettingsString(schema, "picture-uri", uri);
    // The dark style has a picture of its own on newer desktops.
    if (r.Ok && GSettingsHasKey(schema, "picture-uri-dark"))
        r = SetGSettingsString(schema, "picture-uri-dark", uri);
    // One picture across the screens, or (after one) a picture for each
    // screen again, as the desktop shows it by default.
    if (r.Ok && (spanned || GSettingsString(schema, "picture-options") == "spanned"))
        r = SetGSettingsString(schema, "picture-options", spanned ? "spanned" : "zoom");
    return r;
}

// XFCE keeps a picture per monitor and workspace: every one of them changes.
TSessionResult SetXfceWallpaper(const fs::path& picture) {
    TToolRun list = RunTool({"xfconf-query", "-c", "xfce4-desktop", "-l"});
    if (!list.Ok)
        return Fail(list.Message);
    std::vector<std::string> properties;
    for (std::size_t at = 0; at < list.Out.size();) {
        std::size_t end = list.Out.find('\n', at);
        if (end == std::string::npos)
            end = list.Out.size();
        std::string line = list.Out.substr(at, end - at);
        const std::string suffix = "/last-image";
        if (line.size() > suffix.size() &&
            line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0)
            properties.push_back(line);
        at = end + 1;
    }
    if (properties.empty())
        properties.push_back("/backdrop/screen0/monitor0/workspace0/last-image");
    for (const std::string& p : properties) {
        TToolRun set = RunTool({"xfconf-query", "-c", "xfce4-desktop", "-p", p, "-n", "-t",
                                "string", "-s", fs::absolute(picture).string()});
        if (!set.Ok)
            return Fail(set.Message);
    }
    return Ok();
}

std::string TrimLine(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

} // namespace

const char* KdeConfigTool(bool read) {
    static const char* const writers[] = {"kwriteconfig6", "kwriteconfig5"};
    static const char* const readers[] = {"kreadconfig6", "kreadconfig5"};
    for (const char* tool : read ? readers : writers)
        if (HaveTool(tool))
            return tool;
    return nullptr;
}

TDesktopKind DetectDesktop(std::string_view xdgCurrentDesktop) {
    std::string_view rest = xdgCurrentDesktop;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string name = LowerAscii(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (name == "gnome" || name == "gnome-classic" || name == "gnome-flashback" ||
            name == "unity" || name == "budgie" || name == "ubuntu" || name == "pantheon")
            return TDesktopKind::dkGnome;
        if (name == "x-cinnamon" || name == "cinnamon")
            return TDesktopKind::dkCinnamon;
        if (name == "mate")
            return TDesktopKind::dkMate;
        if (name == "kde")
            return TDesktopKind::dkKde;
        if (name == "xfce")
            return TDesktopKind::dkXfce;
    }
    return TDesktopKind::dkUnknown;
}

TDesktopSession::TDesktopSession(std::string xdgCurrentDesktop)
    : FName(std::move(xdgCurrentDesktop)), FKind(DetectDesktop(FName)) {}

TSessionResult TDesktopSession::SetWallpaper(const fs::path& picture) {
    switch (FKind) {
    case TDesktopKind::dkGnome:
        return SetGnomeWallpaper("org.gnome.desktop.background", picture);
    case TDesktopKind::dkCinnamon:
        return SetGnomeWallpaper("org.cinnamon.desktop.background", picture);
    case TDesktopKind::dkMate:
        return SetGSettingsString("org.mate.background", "picture-filename",
                                  fs::absolute(picture).string());
    case TDesktopKind::dkKde: {
        TToolRun run = RunTool({"plasma-apply-wallpaperimage", fs::absolute(picture).string()});
        return run.Ok ? Ok() : Fail(run.Message);
    }
    case TDesktopKind::dkXfce:
        return SetXfceWallpaper(picture);
    case TDesktopKind::dkUnknown:
        break;
    }
    return Fail("无法识别当前的桌面（XDG_CURRENT_DESKTOP=“" + FName + "”）");
}

TSessionResult TDesktopSession::SetSpannedWallpaper(const fs::path& picture) {
    const char* schema = nullptr;
    switch (FKind) {
    case TDesktopKind::dkGnome:
        schema = "org.gnome.desktop.background";
        break;
    case TDesktopKind::dkCinnamon:
        schema = "org.cinnamon.desktop.background";
        break;
    case TDesktopKind::dkMate: {
        TSessionResult r = SetGSettingsString("org.mate.background", "picture-filename",
                                              fs::absolute(picture).string());
        return r.Ok ? SetGSettingsString("org.mate.background", "picture-options", "spanned") : r;
    }
    default:
        return Fail("这个桌面（XDG_CURRENT_DESKTOP=“" + FName + "”）不能让每个显示器各有壁纸");
    }
    return SetGnomeWallpaper(schema, picture, true);
}

std::optional<std::string> TDesktopSession::CursorTheme() const {
    switch (FKind) {
    case TDesktopKind::dkGnome:
        return GSettingsString("org.gnome.desktop.interface", "cursor-theme");
    case TDesktopKind::dkCinnamon:
        return GSettingsString("org.cinnamon.desktop.interface", "cursor-theme");
    case TDesktopKind::dkMate:
        return GSettingsString("org.mate.peripherals-mouse", "cursor-theme");
    case TDesktopKind::dkKde:
        if (const char* tool = KdeConfigTool(true)) {
            TToolRun run =
                RunTool({tool, "--file", "kcminputrc", "--group", "Mouse", "--key", "cursorTheme"});
            if (run.Ok)
                return TrimLine(run.Out);
        }
        return std::nullopt;
    case TDesktopKind::dkXfce: {
        TToolRun run = RunTool({"xfconf-query", "-c", "xsettings", "-p", "/Gtk/CursorThemeName"});
        return run.Ok ? std::optional<std::string>(TrimLine(run.Out)) : std::nullopt;
    }
    case TDesktopKind::dkUnknown:
        break;
    }
    return std::nullopt;
}

TSessionResult TDesktopSession::SetCursorTheme(const std::string& name) {
    switch (FKind) {
    case TDesktopKind::dkGnome:
        return SetGSettingsString("org.gnome.desktop.interface", "cursor-theme", name);
    case TDesktopKind::dkCinnamon:
        return SetGSettingsString("org.cinnamon.desktop.interface", "cursor-theme", name);
    case TDesktopKind::dkMate:
        return SetGSettingsString("org.mate.peripherals-mouse", "cursor-theme", name);
    case TDesktopKind::dkKde: {
        // The Plasma tool applies at once; the configuration alone takes
        // effect at the next login.
        TToolRun run = HaveTool("plasma-apply-cursortheme")
                           ? RunTool({"plasma-apply-cursortheme", name})
                           : TToolRun{false, {}, "plasma-apply-cursortheme 没有安装"};
        if (run.Ok)
            return Ok();
        if (const char* tool = KdeConfigTool(false)) {
            run = RunTool(
                {tool, "--file", "kcminputrc", "--group", "Mouse", "--key", "cursorTheme", name});
            if (run.Ok)
                return Ok();
        }
        return Fail(run.Message);
    }
    case TDesktopKind::dkXfce: {
        TToolRun run = RunTool({"xfconf-query", "-c", "xsettings", "-p", "/Gtk/CursorThemeName",
                                "-n", "-t", "string", "-s", name});
        return run.Ok ? Ok() : Fail(run.Message);
    }
    case TDesktopKind::dkUnknown:
        break;
    }
    return Fail("无法识别当前的桌面（XDG_CURRENT_DESKTOP=“" + FName + "”）");
}

TSessionResult SetGSettingsString(const char* schema, const char* key, const std::string& value) {
    std::string why;
    auto settings = OpenSettings(schema, key, &why);
    if (!settings)
        return Fail(why);
    if (!g_settings_is_writable(settings.get(), key))
        return Fail(std::string("桌面设置“") + schema + "”的“" + key + "”已被锁定");
    if (!g_settings_set_string(settings.get(), key, value.c_str()))
        return Fail(std::string("桌面设置“") + schema + "”的“" + key + "”无法写入");
    // Written through before the program can end.
    g_settings_sync();
    return Ok();
}

std::optional<std::string> GSettingsString(const char* schema, const char* key) {
    std::string why;
    auto settings = OpenSettings(schema, key, &why);
    if (!settings)
        return std::nullopt;
    TGString value(g_settings_get_string(settings.get(), key));
    return std::string(value ? value.get() : "");
}

bool GSettingsHasKey(const char* schema, const char* key) {
    GSettingsSchema* s = LookupSchema(schema);
    if (!s)
        return false;
    const bool has = g_settings_schema_has_key(s, key);
    g_settings_schema_unref(s);
    return has;
}

bool HaveTool(const char* program) {
    TGString path(g_find_program_in_path(program));
    return path != nullptr;
}

TToolRun RunTool(const std::vector<std::string>& argv) {
    TToolRun run;
    if (argv.empty() || !HaveTool(argv[0].c_str())) {
        run.Message = (argv.empty() ? std::string("?") : argv[0]) + " 没有安装";
        return run;
    }
    std::vector<gchar*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<gchar*>(a.c_str()));
    args.push_back(nullptr);
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    GError* error = nullptr;
    const bool spawned = g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                                      nullptr, &out, &err, &status, &error);
    TGString outText(out), errText(err);
    if (!spawned) {
        run.Message = argv[0] + " 无法运行：" + (error ? error->message : "");
        g_clear_error(&error);
        return run;
    }
    if (!g_spawn_check_wait_status(status, &error)) {
        run.Message = argv[0] + " 失败：" + TrimLine(errText ? errText.get() : "");
        g_clear_error(&error);
        return run;
    }
    run.Ok = true;
    run.Out = outText ? outText.get() : "";
    return run;
}

} // namespace velmora::desktop
