#pragma once
// What the program asks of Windows, behind one interface. The core includes
// this header only; a backend (the simulated Windows on Linux, the Win32 calls
// on Windows) implements it. Plain C++: no Qt, no network.
//
// Strings are UTF-8; paths are native paths. Registry values are plain string
// values (REG_SZ). Several member names match <windows.h> macros: a file that
// includes both undefines those macros first (see platform/win32).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// Windows error codes the callers may look at.
constexpr long errSuccess = 0;
constexpr long errFileNotFound = 2;
constexpr long errPathNotFound = 3;
constexpr long errAccessDenied = 5;
constexpr long errInvalidParameter = 87;

// Special folders (CSIDL values).
constexpr int csidlLocalAppData = 28;

// SystemParametersInfo actions and flags.
constexpr unsigned spiSetScreenSaveActive = 17;
constexpr unsigned spiSetDeskWallpaper = 20;
constexpr unsigned spiSetCursors = 87;
constexpr unsigned spifUpdateIniFile = 1;
constexpr unsigned spifSendWinIniChange = 2;

// System cursor ids (OCR_*).
constexpr unsigned ocrNormal = 32512;
constexpr unsigned ocrIBeam = 32513;
constexpr unsigned ocrWait = 32514;
constexpr unsigned ocrCross = 32515;
constexpr unsigned ocrUp = 32516;
constexpr unsigned ocrSizeNWSE = 32642;
constexpr unsigned ocrSizeNESW = 32643;
constexpr unsigned ocrSizeWE = 32644;
constexpr unsigned ocrSizeNS = 32645;
constexpr unsigned ocrSizeAll = 32646;
constexpr unsigned ocrNo = 32648;
constexpr unsigned ocrHand = 32649;
constexpr unsigned ocrAppStarting = 32650;
constexpr unsigned ocrHelp = 32651;

// Shell change notification events (SHCNE_*); items are paths.
constexpr long shcneUpdateItem = 0x2000;
constexpr long shcneUpdateImage = 0x8000;
constexpr long shcneAssocChanged = 0x8000000;

// File attributes (FILE_ATTRIBUTE_*).
constexpr std::uint32_t faReadOnly = 0x1;
constexpr std::uint32_t faHidden = 0x2;
constexpr std::uint32_t faSysFile = 0x4;
constexpr std::uint32_t faDirectory = 0x10;
constexpr std::uint32_t faArchive = 0x20;
constexpr std::uint32_t faNormal = 0x80;
constexpr std::uint32_t faReparsePoint = 0x400;
constexpr std::uint32_t faInvalid = 0xFFFFFFFF; // what a failed query returns

// ShellOpen's result: above 32 is success, as ShellExecute reports it.
constexpr long seOk = 33;

// An opened key of the current user's registry; closed when destroyed.
class IRegKey {
public:
    virtual ~IRegKey() = default;
    // Writes a REG_SZ value ("" names the key's default value).
    virtual bool WriteString(const std::string& name, const std::string& value) = 0;
    // The value's text; nothing when the value is missing.
    virtual std::optional<std::string> ReadString(const std::string& name) const = 0;
    // False when the value was missing or could not be deleted.
    virtual bool DeleteValue(const std::string& name) = 0;
    virtual std::vector<std::string> ValueNames() const = 0;
    // Closes early; further calls fail.
    virtual void Close() = 0;
};

// A screen of the desktop: its rectangle in virtual-desktop pixels.
struct TScreenRect {
    std::int32_t X = 0, Y = 0, Width = 0, Height = 0;
    bool operator==(const TScreenRect&) const = default;
};

// One screen's own wallpaper (SetScreenWallpaper).
struct TScreenWallpaper {
    std::vector<TScreenRect> Screens{}; // every screen of the desktop
    std::size_t Screen = 0;             // the one that gets Picture
    std::filesystem::path Picture{};    // that screen's picture
    // The whole virtual desktop (as large as the screens' bounding box) with
    // every screen's picture fitted into its rectangle, placed for tiling
    // from the primary screen's corner (0, 0), for systems without a
    // wallpaper per monitor.
    std::filesystem::path Composed{};
};

// A loaded cursor; 0 is none.
using TCursorHandle = std::uintptr_t;

class ISystem {
public:
    virtual ~ISystem() = default;

    // --- Folders -----------------------------------------------------------
    virtual std::filesystem::path WindowsDirectory() const = 0;
    virtual std::filesystem::path SystemDirectory() const = 0;
    // The special folder of a CSIDL number, empty when it cannot be resolved.
    virtual std::filesystem::path SpecialFolder(int csidl) const = 0;

    // --- Registry (HKEY_CURRENT_USER) --------------------------------------
    // Opens subKey (backslash-separated, e.g. "Control Panel\\Desktop") with
    // full access, creating it (and its parents) when canCreate. Null when it
    // cannot be opened; *error (when given) receives the Windows error code.
    virtual std::unique_ptr<IRegKey> OpenCurrentUserKey(const std::string& subKey, bool canCreate,
                                                        long* error = nullptr) = 0;

    // --- Desktop -----------------------------------------------------------
    // SystemParametersInfo: pvParam is a text (the wallpaper path) or null.
    virtual bool SystemParametersInfo(unsigned action, unsigned uiParam,
                                      const std::optional<std::string>& pvParam,
                                      unsigned winIni) = 0;
    // LoadCursorFromFile: 0 when the file is not a loadable .cur or .ani.
    virtual TCursorHandle LoadCursorFromFile(const std::filesystem::path& file) = 0;
    // SetSystemCursor: replaces the system cursor id; the handle is consumed
    // (destroyed) on success, as Windows does.
    virtual bool SetSystemCursor(TCursorHandle cursor, unsigned id) = 0;
    // Frees a loaded cursor that was not handed to SetSystemCursor.
    virtual void DestroyCursor(TCursorHandle cursor) = 0;
    // Gives one screen its own picture, keeping the other screens' pictures:
    // through the system's per-monitor wallpaper where it has one (Windows 8
    // and later: the monitor whose rectangle is the screen's), else Composed
    // becomes the wallpaper, tiled (what Windows 7 shows across screens).
    // False when nothing was set.
    virtual bool SetScreenWallpaper(const TScreenWallpaper& request) = 0;
    // Posts WM_SYSCOMMAND SC_SCREENSAVE to the desktop window.
    virtual bool PostScreenSaveCommand() = 0;

    // --- Shell -------------------------------------------------------------
    // ShellExecute with the verb "open", no parameters, no working folder,
    // SW_SHOWNORMAL, on a file or an address. ownerWindow is a native window
    // handle or 0. Returns a value above 32 on success (seOk), else an error.
    virtual long ShellOpen(const std::string& fileOrUrl, std::uintptr_t ownerWindow = 0) = 0;
    // SHChangeNotify with a path as the only item.
    virtual void ShChangeNotify(long eventId, const std::filesystem::path& item) = 0;
    // PathMakeSystemFolder: marks the folder so the shell reads its desktop.ini.
    virtual bool PathMakeSystemFolder(const std::filesystem::path& folder) = 0;
    // The bytes of the theme file inside a theme pack (the one the theme
    // handler would apply), read without installing the pack; nothing when
    // the pack cannot be read or holds no theme file.
    virtual std::optional<std::string> ReadThemeFromPack(const std::filesystem::path& pack) = 0;
    // Calls shlwapi's export of ordinal 633 with one 32-bit argument (stdcall),
    // ignoring its result and any fault. False when the export is missing.
    virtual bool CallShlwapiOrdinal633(std::uint32_t arg) = 0;
    // SHBrowseForFolder: the shell's modal folder picker, offering file-system
    // folders only, titled with text. root (may be empty: the desktop) roots
    // its tree; initial, when it is an existing folder, is preselected.
    // Nothing when the user cancels.
    virtual std::optional<std::filesystem::path>
    BrowseForFolder(const std::string& text, const std::filesystem::path& root,
                    const std::filesystem::path& initial, std::uintptr_t ownerWindow = 0) = 0;

    // --- Files -------------------------------------------------------------
    // The path as the system finds it: names match without regard to case and
    // keep the case they have on disk (each existing component takes its name
    // on disk; the rest stays as given). Windows' own file system does this
    // matching, so the Win32 backend answers the path itself. Plain file I/O of
    // the core on a name it did not list goes through this first.
    virtual std::filesystem::path ResolvePath(const std::filesystem::path& path) = 0;
    // GetShortPathName: the 8.3 form of an existing path; empty on failure.
    virtual std::filesystem::path ShortPathName(const std::filesystem::path& path) = 0;
    // GetLongPathName: the long form of a (short or long) existing path.
    virtual std::filesystem::path LongPathName(const std::filesystem::path& path) = 0;
    // GetFileAttributes: faInvalid when the path does not exist. A symbolic
    // link or junction reports faReparsePoint (and faDirectory when it stands
    // for a folder); the link is not followed.
    virtual std::uint32_t GetFileAttributes(const std::filesystem::path& path) = 0;
    // SetFileAttributes: read-only, hidden, system and archive; others ignored.
    virtual bool SetFileAttributes(const std::filesystem::path& path, std::uint32_t attributes) = 0;
    // DeleteFile: a read-only file is refused; a link (to a file or a folder)
    // is removed itself, never its target.
    virtual bool DeleteFile(const std::filesystem::path& path) = 0;
    // RemoveDirectory: only an empty folder (or a link to a folder, removing
    // the link).
    virtual bool RemoveDirectory(const std::filesystem::path& path) = 0;

    // --- Change record -----------------------------------------------------
    // A backend that keeps a record of the desktop's changes (see
    // platform/history) groups what follows into one entry described by the
    // text, until the matching EndChange; nested calls join the outer entry.
    // Elsewhere these do nothing.
    virtual void BeginChange(const std::string& /*description*/) {}
    virtual void EndChange() {}
    // The core is about to replace the file with plain file I/O: the record
    // keeps what it holds now.
    virtual void RecordFileBefore(const std::filesystem::path& /*file*/) {}
};

// One entry of the change record for the lifetime of the scope.
class TChangeScope {
public:
    TChangeScope(ISystem& system, const std::string& description) : FSystem(system) {
        FSystem.BeginChange(description);
    }
    ~TChangeScope() { FSystem.EndChange(); }
    TChangeScope(const TChangeScope&) = delete;
    TChangeScope& operator=(const TChangeScope&) = delete;

private:
    ISystem& FSystem;
};

} // namespace velmora
