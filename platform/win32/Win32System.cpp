// The Win32 backend of the system interface.
#include "platform/win32/Win32System.h"
#include "platform/System.h"
#include "platform/ThemeHandler.h"
#include "platform/util/Ascii.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32ThemePack.h"

#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

// The interface names its members after the calls; the macros would rename them.
#undef DeleteFile
#undef RemoveDirectory
#undef GetFileAttributes
#undef SetFileAttributes
#undef LoadCursorFromFile
#undef SystemParametersInfo
#undef PathMakeSystemFolder

#include <atomic>
#include <mutex>
#include <vector>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// Calls fn(buffer, size) until the buffer is large enough.
template <class Fn> std::wstring GrowingBuffer(Fn&& fn) {
    std::vector<wchar_t> buf(MAX_PATH + 1);
    for (int round = 0; round < 4; ++round) {
        const DWORD n = fn(buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return {};
        if (n < buf.size())
            return std::wstring(buf.data(), n);
        buf.resize(n + 1);
    }
    return {};
}

std::wstring KeyPath(const std::string& subKey) {
    std::string s = subKey;
    while (!s.empty() && s.front() == '\\')
        s.erase(0, 1);
    while (!s.empty() && s.back() == '\\')
        s.pop_back();
    return Wide(s);
}

// The shlwapi export is undocumented: a fault inside it must not take the
// program down. It runs on a thread of its own; a fault on that thread sends
// the thread to its end instead of the process.
std::atomic<DWORD> g_guardedThread{0};

[[noreturn]] void EndFaultedThread() {
    ExitThread(1);
}

LONG CALLBACK GuardFault(PEXCEPTION_POINTERS info) {
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    const bool fatal = (code & 0xC0000000u) == 0xC0000000u; // error severity
    if (!fatal || GetCurrentThreadId() != g_guardedThread.load())
        return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* c = info->ContextRecord;
#if defined(_M_X64) || defined(__x86_64__)
    c->Rsp = (c->Rsp & ~DWORD64(15)) - 8; // as if called
    c->Rip = reinterpret_cast<DWORD64>(&EndFaultedThread);
#else
    c->Esp = (c->Esp & ~DWORD(15)) - 4;
    c->Eip = reinterpret_cast<DWORD>(&EndFaultedThread);
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

struct TOrdinalCall {
    FARPROC Fn;
    DWORD Arg;
};

DWORD WINAPI RunOrdinalCall(void* param) {
    auto* call = static_cast<TOrdinalCall*>(param);
    using TOrdinal633 = BOOL(WINAPI*)(DWORD);
    reinterpret_cast<TOrdinal633>(reinterpret_cast<void*>(call->Fn))(call->Arg);
    return 0;
}

// Calls fn(arg) and returns once it returned or faulted (or after a while).
void CallGuarded(FARPROC fn, DWORD arg) {
    static std::mutex one; // one guarded call at a time
    std::lock_guard lock(one);
    TOrdinalCall call{fn, arg};
    PVOID handler = AddVectoredExceptionHandler(1, GuardFault);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, RunOrdinalCall, &call, CREATE_SUSPENDED, &id);
    if (thread) {
        g_guardedThread = id;
        ResumeThread(thread);
        WaitForSingleObject(thread, 10000);
        CloseHandle(thread);
        g_guardedThread = 0;
    }
    if (handler)
        RemoveVectoredExceptionHandler(handler);
}

bool HasExtension(const std::string& target, const char* extension) {
    const std::size_t dot = target.rfind('.');
    return dot != std::string::npos && EqualsIgnoreCaseAscii(target.substr(dot), extension);
}

// True when the system has a program that opens files of the type.
bool HasOpenCommand(const wchar_t* extension) {
    DWORD size = 0;
    const HRESULT hr = AssocQueryStringW(ASSOCF_INIT_IGNOREUNKNOWN, ASSOCSTR_COMMAND, extension,
                                         L"open", nullptr, &size);
    return (hr == S_OK || hr == S_FALSE) && size > 1;
}

// Preselects the folder the caller asked for once the picker is up.
int CALLBACK BrowseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message != BFFM_INITIALIZED)
        return 1;
    const auto* initial = reinterpret_cast<const std::wstring*>(data);
    return static_cast<int>(
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(initial->c_str())));
}

// The program's other windows stay disabled while the picker is open, so no
// click reaches them behind it.
class TDisabledWindows {
public:
    TDisabledWindows() {
        EnumThreadWindows(GetCurrentThreadId(), &Disable, reinterpret_cast<LPARAM>(this));
    }
    ~TDisabledWindows() {
        for (HWND w : FWindows)
            EnableWindow(w, TRUE);
    }
    TDisabledWindows(const TDisabledWindows&) = delete;
    TDisabledWindows& operator=(const TDisabledWindows&) = delete;

private:
    static BOOL CALLBACK Disable(HWND w, LPARAM self) {
        if (IsWindowVisible(w) && IsWindowEnabled(w)) {
            EnableWindow(w, FALSE);
            reinterpret_cast<TDisabledWindows*>(self)->FWindows.push_back(w);
        }
        return TRUE;
    }
    std::vector<HWND> FWindows;
};

class TWin32RegKey final : public IRegKey {
public:
    explicit TWin32RegKey(HKEY key) : FKey(key) {}
    ~TWin32RegKey() override { Close(); }

    bool WriteString(const std::string& name, const std::string& value) override {
        if (!FKey)
            return false;
        const std::wstring v = Wide(value);
        return RegSetValueExW(
                   FKey, Wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                   static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

    std::optional<std::string> ReadString(const std::string& name) const override {
        if (!FKey)
            return std::nullopt;
        const std::wstring n = Wide(name);
        DWORD type = 0, size = 0;
        if (RegQueryValueExW(FKey, n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
        if (RegQueryValueExW(FKey, n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                             &size) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring w(buf.data(), size / sizeof(wchar_t));
        while (!w.empty() && w.back() == L'\0')
            w.pop_back();
        return Utf8(w);
    }

    bool DeleteValue(const std::string& name) override {
        return FKey && RegDeleteValueW(FKey, Wide(name).c_str()) == ERROR_SUCCESS;
    }

    std::vector<std::string> ValueNames() const override {
        std::vector<std::string> names;
        for (DWORD i = 0; FKey; ++i) {
            wchar_t buf[16384];
            DWORD len = 16384;
            if (RegEnumValueW(FKey, i, buf, &len, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            names.push_back(Utf8(std::wstring(buf, len)));
        }
        return names;
    }

    void Close() override {
        if (FKey)
            RegCloseKey(FKey);
        FKey = nullptr;
    }

private:
    HKEY FKey;
};

// The system's per-monitor wallpaper (Windows 8 and later), reached through
// COM on the calling thread; released when the object goes.
class TDesktopWallpaper {
public:
    TDesktopWallpaper() {
        const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        FUninit = SUCCEEDED(init);
        if (FAILED(CoCreateInstance(__uuidof(DesktopWallpaper), nullptr, CLSCTX_ALL,
                                    IID_PPV_ARGS(&FWallpaper))))
            FWallpaper = nullptr;
    }
    ~TDesktopWallpaper() {
        if (FWallpaper)
            FWallpaper->Release();
        if (FUninit)
            CoUninitialize();
    }
    TDesktopWallpaper(const TDesktopWallpaper&) = delete;
    TDesktopWallpaper& operator=(const TDesktopWallpaper&) = delete;

    IDesktopWallpaper* operator->() const { return FWallpaper; }
    explicit operator bool() const { return FWallpaper != nullptr; }

    // The monitor whose rectangle is the screen's; empty when none is.
    std::wstring MonitorAt(const TScreenRect& screen) const {
        UINT count = 0;
        if (FAILED(FWallpaper->GetMonitorDevicePathCount(&count)))
            return {};
        for (UINT i = 0; i < count; ++i) {
            LPWSTR id = nullptr;
            if (FAILED(FWallpaper->GetMonitorDevicePathAt(i, &id)) || !id)
                continue;
            std::wstring monitor(id);
            CoTaskMemFree(id);
            RECT r{};
            if (SUCCEEDED(FWallpaper->GetMonitorRECT(monitor.c_str(), &r)) && r.left == screen.X &&
                r.top == screen.Y && r.right - r.left == screen.Width &&
                r.bottom - r.top == screen.Height)
                return monitor;
        }
        return {};
    }

private:
    IDesktopWallpaper* FWallpaper = nullptr;
    bool FUninit = false;
};

class TWin32System final : public ISystem {
public:
    fs::path WindowsDirectory() const override {
        return fs::path(
            GrowingBuffer([](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }));
    }
    fs::path SystemDirectory() const override {
        return fs::path(
            GrowingBuffer([](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); }));
    }
    fs::path SpecialFolder(int csidl) const override {
        LPITEMIDLIST pidl = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &pidl)) || !pidl)
            return {};
        wchar_t buf[MAX_PATH + 1] = {};
        const BOOL ok = SHGetPathFromIDListW(pidl, buf);
        CoTaskMemFree(pidl);
        return ok ? fs::path(buf) : fs::path();
    }

    std::unique_ptr<IRegKey> OpenCurrentUserKey(const std::string& subKey, bool canCreate,
                                                long* error = nullptr) override {
        HKEY key = nullptr;
        const std::wstring path = KeyPath(subKey);
        const LONG rc =
            canCreate
                ? RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr)
                : RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key);
        if (error)
            *error = rc;
        if (rc != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<TWin32RegKey>(key);
    }

    bool SystemParametersInfo(unsigned action, unsigned uiParam,
                              const std::optional<std::string>& pvParam, unsigned winIni) override {
        std::wstring text = pvParam ? Wide(*pvParam) : std::wstring();
        return SystemParametersInfoW(action, uiParam, pvParam ? text.data() : nullptr, winIni) !=
               FALSE;
    }

    TCursorHandle LoadCursorFromFile(const fs::path& file) override {
        return reinterpret_cast<TCursorHandle>(LoadCursorFromFileW(file.wstring().c_str()));
    }
    bool SetSystemCursor(TCursorHandle cursor, unsigned id) override {
        return cursor && ::SetSystemCursor(reinterpret_cast<HCURSOR>(cursor), id) != FALSE;
    }
    void DestroyCursor(TCursorHandle cursor) override {
        if (cursor)
            ::DestroyCursor(reinterpret_cast<HCURSOR>(cursor));
    }
    bool SetScreenWallpaper(const TScreenWallpaper& request) override {
        if (request.Screen >= request.Screens.size())
            return false;
        {
            TDesktopWallpaper wallpaper;
            if (wallpaper) {
                const std::wstring monitor = wallpaper.MonitorAt(request.Screens[request.Screen]);
                if (!monitor.empty())
                    return SUCCEEDED(wallpaper->SetWallpaper(
                        monitor.c_str(), fs::absolute(request.Picture).wstring().c_str()));
            }
        }
        // Windows 7, or a screen the system does not know: the composed picture.
        return SetTiledScreenWallpaper(*this, request);
    }

    bool PostScreenSaveCommand() override {
        return PostMessageW(GetDesktopWindow(), WM_SYSCOMMAND, SC_SCREENSAVE, 0) != FALSE;
    }

    long ShellOpen(const std::string& target, std::uintptr_t ownerWindow = 0) override {
        // A system without a theme handler (Wine has none) would only say it
        // has no program for the file: its values are applied here instead,
        // through the same calls the handler makes.
        if (HasExtension(target, ".theme") && !HasOpenCommand(L".theme"))
            return ApplyThemeWithoutHandler(fs::path(Wide(target)), false);
        if (HasExtension(target, ".themepack") && !HasOpenCommand(L".themepack"))
            return ApplyThemeWithoutHandler(fs::path(Wide(target)), true);
        const HINSTANCE rc = ShellExecuteW(reinterpret_cast<HWND>(ownerWindow), L"open",
                                           Wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        return static_cast<long>(reinterpret_cast<INT_PTR>(rc));
    }
    void ShChangeNotify(long eventId, const fs::path& item) override {
        SHChangeNotify(eventId, SHCNF_PATHW, item.wstring().c_str(), nullptr);
    }
    bool PathMakeSystemFolder(const fs::path& folder) override {
        return PathMakeSystemFolderW(folder.wstring().c_str()) != FALSE;
    }
    bool CallShlwapiOrdinal633(std::uint32_t arg) override {
        HMODULE lib = LoadLibraryW(L"shlwapi.dll");
        if (!lib)
            return false;
        const FARPROC fn = GetProcAddress(lib, MAKEINTRESOURCEA(633));
        if (fn)
            CallGuarded(fn, arg);
        FreeLibrary(lib);
        return fn != nullptr;
    }
    std::optional<fs::path> BrowseForFolder(const std::string& text, const fs::path& root,
                                            const fs::path& initial,
                                            std::uintptr_t ownerWindow = 0) override {
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        PIDLIST_ABSOLUTE rootList = nullptr;
        if (!root.empty() &&
            FAILED(SHParseDisplayName(root.wstring().c_str(), nullptr, &rootList, 0, nullptr)))
            rootList = nullptr; // the tree starts at the desktop then
        const std::wstring title = Wide(text);
        const std::wstring start = initial.wstring();
        wchar_t display[MAX_PATH + 1] = {};
        BROWSEINFOW info{};
        info.hwndOwner = reinterpret_cast<HWND>(ownerWindow);
        info.pidlRoot = rootList;
        info.pszDisplayName = display;
        info.lpszTitle = title.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS;
        info.lpfn = BrowseCallback;
        info.lParam = reinterpret_cast<LPARAM>(&start);
        PIDLIST_ABSOLUTE chosen = nullptr;
        {
            TDisabledWindows disabled;
            chosen = SHBrowseForFolderW(&info);
        }
        std::optional<fs::path> folder;
        if (chosen) {
            wchar_t path[MAX_PATH + 1] = {};
            if (SHGetPathFromIDListW(chosen, path))
                folder = fs::path(path);
            CoTaskMemFree(chosen);
        }
        CoTaskMemFree(rootList);
        if (SUCCEEDED(com))
            CoUninitialize();
        return folder;
    }

    std::optional<std::string> ReadThemeFromPack(const fs::path& pack) override {
        return win32::ReadPackedTheme(pack);
    }

    // NTFS matches names without regard to case already.
    fs::path ResolvePath(const fs::path& path) override { return path; }
    fs::path ShortPathName(const fs::path& path) override {
        const std::wstring p = path.wstring();
        return fs::path(
            GrowingBuffer([&](wchar_t* b, DWORD n) { return GetShortPathNameW(p.c_str(), b, n); }));
    }
    fs::path LongPathName(const fs::path& path) override {
        const std::wstring p = path.wstring();
        return fs::path(
            GrowingBuffer([&](wchar_t* b, DWORD n) { return GetLongPathNameW(p.c_str(), b, n); }));
    }
    std::uint32_t GetFileAttributes(const fs::path& path) override {
        return GetFileAttributesW(path.wstring().c_str());
    }
    bool SetFileAttributes(const fs::path& path, std::uint32_t attributes) override {
        attributes &= faReadOnly | faHidden | faSysFile | faArchive;
        return SetFileAttributesW(path.wstring().c_str(), attributes ? attributes : faNormal) !=
               FALSE;
    }
    bool DeleteFile(const fs::path& path) override {
        return DeleteFileW(path.wstring().c_str()) != FALSE;
    }
    bool RemoveDirectory(const fs::path& path) override {
        return RemoveDirectoryW(path.wstring().c_str()) != FALSE;
    }

private:
    // What ShellExecute answers: above 32 once applied, else an error.
    long ApplyThemeWithoutHandler(const fs::path& file, bool pack) {
        std::error_code ec;
        if (!fs::is_regular_file(file, ec))
            return SE_ERR_FNF;
        const bool applied = pack ? ApplyThemePack(*this, file, win32::UnpackThemePack)
                                  : ApplyThemeFile(*this, file);
        return applied ? seOk : SE_ERR_ACCESSDENIED;
    }
};

} // namespace

bool HasMonitorWallpaper(std::string* why) {
    TDesktopWallpaper wallpaper;
    if (!wallpaper) {
        if (why)
            *why = "the system has no per-monitor wallpaper interface (CLSID_DesktopWallpaper)";
        return false;
    }
    UINT count = 0;
    if (FAILED(wallpaper->GetMonitorDevicePathCount(&count)) || count == 0) {
        if (why)
            *why = "the per-monitor wallpaper interface lists no monitor";
        return false;
    }
    return true;
}

std::unique_ptr<ISystem> CreateWin32System() {
    return std::make_unique<TWin32System>();
}

} // namespace velmora
