// The simulated backend's desktop and shell: what Windows would show or do is
// written as a line to journal.log; themes and theme packs are applied as
// Windows' theme handler does.
#include "platform/System.h"
#include "platform/ThemeHandler.h"
#include "platform/sim/CursorFile.h"
#include "platform/sim/SimSystem.h"
#include "platform/sim/ThemePack.h"
#include "platform/util/Ascii.h"
#include "platform/util/Files.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include "platform/sim/WinFileCalls.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace velmora::sim {

namespace {

constexpr std::uintmax_t MaxCursorFile = 16u << 20;

// One journal line: control characters would split it, so they are escaped.
std::string JournalText(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Hex(long v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lX", static_cast<unsigned long>(v));
    return buf;
}

// The system cursor ids Windows defines (OCR_*), the obsolete ones included:
// the cursor scheme table uses 32641.
bool IsKnownCursorId(unsigned id) {
    return (id >= ocrNormal && id <= ocrUp) || id == 32631 || (id >= 32640 && id <= ocrHelp);
}

#ifdef _WIN32
// The stand-in has no desktop of its own to hand an address to on Windows:
// its callers give it an opener (SetUrlOpener).
bool OpenWithXdg(const std::string&) {
    return false;
}
#else
bool FindOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path)
        return false;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t colon = std::min(rest.find(':'), rest.size());
        const fs::path candidate = fs::path(std::string(rest.substr(0, colon))) / program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        rest.remove_prefix(std::min(colon + 1, rest.size()));
    }
    return false;
}

// The desktop's opener, started detached so that it never waits on us.
bool OpenWithXdg(const std::string& url) {
    if (!FindOnPath("xdg-open"))
        return false;
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        if (::fork() == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0) {
                ::dup2(null, 0);
                ::dup2(null, 1);
                ::dup2(null, 2);
            }
            ::execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return true;
}
#endif

} // namespace

// --- the journal ---

std::vector<std::string> TSimSystem::Journal() const {
    std::string text;
    if (ReadWholeFile(JournalFile(), text, MaxStateFileBytes))
        return {};
    return SplitLines(text);
}

void TSimSystem::AppendJournal(const std::string& line) {
    std::lock_guard lock(FJournalMutex);
    const std::string text = JournalText(line) + "\n";
#ifdef _WIN32
    WinAppendToFile(JournalFile(), text);
#else
    const int fd = ::open(JournalFile().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    // One write per line so that lines of several writers never interleave.
    [[maybe_unused]] const ssize_t n = ::write(fd, text.data(), text.size());
    ::close(fd);
#endif
}

// --- Desktop ---

bool TSimSystem::SystemParametersInfo(unsigned action, unsigned uiParam,
                                      const std::optional<std::string>& pvParam, unsigned winIni) {
    if (action != spiSetScreenSaveActive && action != spiSetDeskWallpaper &&
        action != spiSetCursors)
        return false;
    if (action == spiSetDeskWallpaper) {
        if (!pvParam)
            return false;
        std::error_code ec;
        if (!pvParam->empty() && !fs::is_regular_file(ResolvePath(fs::path(*pvParam)), ec))
            return false;
    }
    AppendJournal("SystemParametersInfo action=" + std::to_string(action) +
                  " uiParam=" + std::to_string(uiParam) + " winIni=" + std::to_string(winIni) +
                  " pvParam=" + (pvParam ? *pvParam : std::string("null")));
    if (winIni & spifUpdateIniFile) {
        if (action == spiSetDeskWallpaper)
            WriteDesktopValue("Wallpaper", *pvParam);
        else if (action == spiSetScreenSaveActive)
            WriteDesktopValue("ScreenSaveActive", uiParam ? "1" : "0");
    }
    return true;
}

// The simulated Windows is Windows 7: no wallpaper per monitor.
bool TSimSystem::SetScreenWallpaper(const TScreenWallpaper& request) {
    if (request.Screen >= request.Screens.size())
        return false;
    const TScreenRect& r = request.Screens[request.Screen];
    AppendJournal("SetScreenWallpaper screen=" + std::to_string(request.Screen) +
                  " rect=" + std::to_string(r.Width) + "x" + std::to_string(r.Height) + "+" +
                  std::to_string(r.X) + "+" + std::to_string(r.Y) +
                  " picture=" + request.Picture.string());
    return SetTiledScreenWallpaper(*this, request);
}

TCursorHandle TSimSystem::LoadCursorFromFile(const fs::path& given) {
    const fs::path file = ResolvePath(given);
    std::string bytes;
    if (ReadWholeFile(file, bytes, MaxCursorFile) || !IsValidCursorData(bytes))
        return 0;
    std::error_code ec;
    std::lock_guard lock(FMutex);
    const TCursorHandle h = FNextCursor++;
    FCursors[h] = fs::absolute(file, ec).lexically_normal();
    return h;
}

bool TSimSystem::SetSystemCursor(TCursorHandle cursor, unsigned id) {
    fs::path file;
    {
        std::lock_guard lock(FMutex);
        auto it = FCursors.find(cursor);
        if (it == FCursors.end() || !IsKnownCursorId(id))
            return false;
        file = it->second;
        FCursors.erase(it);
    }
    AppendJournal("SetSystemCursor id=" + std::to_string(id) + " file=" + file.string());
    return true;
}

void TSimSystem::DestroyCursor(TCursorHandle cursor) {
    std::lock_guard lock(FMutex);
    FCursors.erase(cursor);
}

bool TSimSystem::PostScreenSaveCommand() {
    std::string saver;
    if (auto key = OpenCurrentUserKey("Control Panel\\Desktop", false))
        saver = key->ReadString("SCRNSAVE.EXE").value_or("");
    AppendJournal("ScreenSaverStarted file=" + saver);
    return true;
}

// --- Shell ---

long TSimSystem::ShellOpen(const std::string& target, std::uintptr_t) {
    const std::string lower = LowerAscii(target);
    if (lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0) {
        AppendJournal("ShellOpen " + target);
        const bool ok = FOpener ? FOpener(target) : OpenWithXdg(target);
        return ok ? seOk : 31; // SE_ERR_NOASSOC
    }
    const fs::path path = ResolvePath(fs::path(target));
    std::error_code ec;
    if (target.empty() || !fs::exists(fs::symlink_status(path, ec)))
        return errFileNotFound;
    AppendJournal("ShellOpen " + target);
    const std::string ext = LowerAscii(path.extension().string());
    if (ext == ".theme")
        ApplyTheme(path);
    else if (ext == ".themepack")
        ApplyThemePack(path);
    return seOk;
}

void TSimSystem::ShChangeNotify(long eventId, const fs::path& item) {
    AppendJournal("SHChangeNotify event=" + Hex(eventId) + " item=" + item.string());
}

std::optional<fs::path> TSimSystem::BrowseForFolder(const std::string& text, const fs::path& root,
                                                    const fs::path& initial,
                                                    std::uintptr_t ownerWindow) {
    if (!FPicker)
        return std::nullopt;
    std::error_code ec;
    // Absolute, normal, without a trailing separator, as the shell gives it.
    const auto plain = [&](const fs::path& p) {
        fs::path out = fs::absolute(p, ec).lexically_normal();
        return !out.has_filename() && out.has_relative_path() ? out.parent_path() : out;
    };
    const auto existing = [&](const fs::path& p) {
        return !p.empty() && fs::is_directory(ResolvePath(p), ec) ? plain(ResolvePath(p))
                                                                  : fs::path();
    };
    TFolderPickRequest request{text, existing(root), existing(initial), ownerWindow};
    const std::optional<fs::path> chosen = FPicker(request);
    // Only folders of the file system, and only inside the tree's top.
    if (!chosen || !fs::is_directory(ResolvePath(*chosen), ec))
        return std::nullopt;
    const fs::path folder = plain(ResolvePath(*chosen));
    if (!request.Root.empty()) {
        const fs::path inside = folder.lexically_relative(request.Root);
        if (inside.empty() || *inside.begin() == "..")
            return std::nullopt;
    }
    return folder;
}

bool TSimSystem::PathMakeSystemFolder(const fs::path& given) {
    const fs::path folder = ResolvePath(given);
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(folder, ec)))
        return false;
    const std::uint32_t attr = GetFileAttributes(folder);
    if (attr == faInvalid || !SetFileAttributes(folder, (attr & KeptAttributes) | faSysFile))
        return false;
    AppendJournal("PathMakeSystemFolder " + folder.string());
    return true;
}

bool TSimSystem::CallShlwapiOrdinal633(std::uint32_t arg) {
    AppendJournal("Shlwapi633 arg=" + std::to_string(arg));
    return true;
}

// --- Themes ---

// Applies what the theme file names and records it as the current theme.
bool TSimSystem::ApplyTheme(const fs::path& theme) {
    return ApplyThemeFile(*this, theme, [this](const std::string& line) { AppendJournal(line); });
}

std::optional<std::string> TSimSystem::ReadThemeFromPack(const fs::path& given) {
    return ReadPackedTheme(ResolvePath(given));
}

// Unpacks into the user theme folder under the pack's name, then applies the
// theme inside, as Windows' theme handler does.
void TSimSystem::ApplyThemePack(const fs::path& pack) {
    velmora::ApplyThemePack(*this, pack, UnpackThemePack,
                            [this](const std::string& line) { AppendJournal(line); });
}

} // namespace velmora::sim
