#pragma once
// The running freedesktop session's own settings: the wallpaper and the
// cursor theme. GNOME-family desktops through GSettings (GIO), KDE Plasma
// and XFCE through their command-line tools. The desktop is named by
// XDG_CURRENT_DESKTOP. Plain C++ over GLib/GIO; no Qt.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::desktop {

enum class TDesktopKind { dkGnome, dkCinnamon, dkMate, dkKde, dkXfce, dkUnknown };

// XDG_CURRENT_DESKTOP is a colon-separated list, most specific first.
TDesktopKind DetectDesktop(std::string_view xdgCurrentDesktop);

// What a change did: Ok, or a message saying what was not done and why.
struct TSessionResult {
    bool Ok = false;
    std::string Message;
};

class TDesktopSession {
public:
    // xdgCurrentDesktop as the environment gives it (kept for messages).
    explicit TDesktopSession(std::string xdgCurrentDesktop);

    TDesktopKind Kind() const { return FKind; }

    TSessionResult SetWallpaper(const std::filesystem::path& picture);
    // One picture across all screens: GNOME's and its relatives' "spanned"
    // picture option. Other desktops have no such option: a message.
    TSessionResult SetSpannedWallpaper(const std::filesystem::path& picture);
    // The cursor theme in use; nothing when it cannot be read.
    std::optional<std::string> CursorTheme() const;
    TSessionResult SetCursorTheme(const std::string& name);

private:
    std::string FName;
    TDesktopKind FKind;
};

// GSettings through GIO; a schema or key that is not installed is a message,
// never an abort. Shared with the tests, which read back what was written.
TSessionResult SetGSettingsString(const char* schema, const char* key, const std::string& value);
std::optional<std::string> GSettingsString(const char* schema, const char* key);
bool GSettingsHasKey(const char* schema, const char* key);

// A desktop tool run without a shell. Exit status 0 and its output, or a
// message; a tool missing from PATH says so.
struct TToolRun {
    bool Ok = false;
    std::string Out;
    std::string Message;
};
bool HaveTool(const char* program);
// KDE's configuration reader (or writer) on PATH, the newest first; null
// when none is there.
const char* KdeConfigTool(bool read);
TToolRun RunTool(const std::vector<std::string>& argv);

} // namespace velmora::desktop
