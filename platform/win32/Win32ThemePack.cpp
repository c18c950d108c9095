#include "platform/win32/Win32ThemePack.h"

#include "platform/ThemeHandler.h"
#include "platform/util/Ascii.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <fcntl.h>
#include <fdi.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>

namespace velmora::win32 {

namespace fs = std::filesystem;

namespace {

// FDI reads through these callbacks. It opens only the cabinet (the name it
// passes is ignored: the wide path is used, whatever the ANSI code page can
// spell), and writes only the theme files it is handed a memory sink for.
struct THandle {
    HANDLE File = INVALID_HANDLE_VALUE; // the cabinet, or a file being unpacked
    std::string* Sink = nullptr;        // a file being extracted into memory
    bool TooLarge = false;
};

// Theme packs hold a theme file and its pictures; anything this large is not one.
constexpr std::uint64_t MaxUnpackedBytes = 512ull << 20;

struct TState {
    std::wstring Cabinet;
    std::size_t MaxBytes = 0;
    std::map<std::string, std::string> Themes; // top-level .theme files by name
    std::map<std::string, bool> Oversized;
    // Unpacking: every file goes below Dest; the first refusal ends it.
    fs::path Dest;
    std::uint64_t Total = 0;
    std::string Why;
};

thread_local TState* g_state = nullptr;

void* DIAMONDAPI Alloc(ULONG cb) {
    return std::malloc(cb);
}
void DIAMONDAPI Free(void* p) {
    std::free(p);
}

INT_PTR DIAMONDAPI Open(char*, int, int) {
    HANDLE h = CreateFileW(g_state->Cabinet.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    auto* handle = new THandle;
    handle->File = h;
    return reinterpret_cast<INT_PTR>(handle);
}

UINT DIAMONDAPI Read(INT_PTR hf, void* pv, UINT cb) {
    auto* h = reinterpret_cast<THandle*>(hf);
    DWORD got = 0;
    if (h->File == INVALID_HANDLE_VALUE || !ReadFile(h->File, pv, cb, &got, nullptr))
        return static_cast<UINT>(-1);
    return got;
}

UINT DIAMONDAPI Write(INT_PTR hf, void* pv, UINT cb) {
    auto* h = reinterpret_cast<THandle*>(hf);
    if (!h->Sink) {
        DWORD written = 0;
        if (h->File == INVALID_HANDLE_VALUE || !WriteFile(h->File, pv, cb, &written, nullptr) ||
            written != cb)
            return static_cast<UINT>(-1);
        return cb;
    }
    if (h->Sink->size() + cb > g_state->MaxBytes)
        h->TooLarge = true;
    else
        h->Sink->append(static_cast<const char*>(pv), cb);
    return cb;
}

int DIAMONDAPI Close(INT_PTR hf) {
    auto* h = reinterpret_cast<THandle*>(hf);
    if (h->File != INVALID_HANDLE_VALUE)
        CloseHandle(h->File);
    delete h;
    return 0;
}

long DIAMONDAPI Seek(INT_PTR hf, long dist, int seektype) {
    auto* h = reinterpret_cast<THandle*>(hf);
    const DWORD method = seektype == SEEK_CUR   ? FILE_CURRENT
                         : seektype == SEEK_END ? FILE_END
                                                : FILE_BEGIN;
    return static_cast<long>(SetFilePointer(h->File, dist, nullptr, method));
}

bool IsTopLevelTheme(const char* name) {
    const std::string n = name ? name : "";
    if (n.empty() || n.find_first_of("\\/") != std::string::npos || n.size() < 6)
        return false;
    return EqualsIgnoreCaseAscii(std::string_view(n).substr(n.size() - 6), ".theme");
}

// The entry's name as the cabinet spells it: UTF-8 when flagged, else the
// ANSI code page.
std::string EntryName(const FDINOTIFICATION& info) {
    const std::string raw = info.psz1 ? info.psz1 : "";
    if (info.attribs & _A_NAME_IS_UTF)
        return raw;
    const int n =
        MultiByteToWideChar(CP_ACP, 0, raw.data(), static_cast<int>(raw.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, raw.data(), static_cast<int>(raw.size()), wide.data(), n);
    return Utf8(wide);
}

// Opens the file an entry is unpacked to; -1 (FDI stops) when it is refused.
INT_PTR UnpackEntry(const FDINOTIFICATION& info) {
    const std::string name = EntryName(info);
    const std::string safe = SafePackEntryName(name);
    if (safe.empty()) {
        g_state->Why = "unsafe name in pack: " + name;
        return -1;
    }
    g_state->Total += static_cast<std::uint64_t>(info.cb < 0 ? 0 : info.cb);
    if (g_state->Total > MaxUnpackedBytes) {
        g_state->Why = "pack too large";
        return -1;
    }
    const fs::path out = g_state->Dest / fs::path(Wide(safe));
    std::error_code ec;
    fs::create_directories(out.parent_path(), ec);
    HANDLE h = CreateFileW(out.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        g_state->Why = "cannot write " + Utf8(out.wstring());
        return -1;
    }
    auto* handle = new THandle;
    handle->File = h;
    return reinterpret_cast<INT_PTR>(handle);
}

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION info) {
    if (!g_state->Dest.empty() && type == fdintCOPY_FILE)
        return UnpackEntry(*info);
    switch (type) {
    case fdintCOPY_FILE: {
        if (!IsTopLevelTheme(info->psz1))
            return 0; // skipped
        if (info->cb < 0 || static_cast<std::size_t>(info->cb) > g_state->MaxBytes) {
            g_state->Oversized[info->psz1] = true;
            return 0;
        }
        auto* h = new THandle;
        h->Sink = &g_state->Themes[info->psz1];
        return reinterpret_cast<INT_PTR>(h);
    }
    case fdintCLOSE_FILE_INFO: {
        auto* h = reinterpret_cast<THandle*>(info->hf);
        if (h->TooLarge)
            g_state->Oversized[info->psz1] = true;
        if (h->File != INVALID_HANDLE_VALUE)
            CloseHandle(h->File);
        delete h;
        return TRUE;
    }
    default:
        return 0;
    }
}

// Runs the cabinet through FDI with the state's settings; false when the
// cabinet cannot be read or an entry was refused.
bool RunFdi(TState& state) {
    g_state = &state;
    ERF erf{};
    HFDI fdi = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf);
    if (!fdi) {
        g_state = nullptr;
        return false;
    }
    char name[] = "pack.cab";
    char path[] = "";
    const BOOL ok = FDICopy(fdi, name, path, 0, Notify, nullptr, nullptr);
    FDIDestroy(fdi);
    g_state = nullptr;
    return ok != FALSE;
}

} // namespace

std::optional<std::string> ReadPackedTheme(const fs::path& pack, std::size_t maxBytes) {
    TState state;
    state.Cabinet = pack.wstring();
    state.MaxBytes = maxBytes;
    if (!RunFdi(state) || state.Themes.empty())
        return std::nullopt;
    // The map is ordered by name: the first is the one the handler applies.
    const auto& [first, bytes] = *state.Themes.begin();
    if (state.Oversized.count(first))
        return std::nullopt;
    return bytes;
}

bool UnpackThemePack(const fs::path& pack, const fs::path& dest, std::string& why) {
    return UnpackIntoPlace(dest, why, [&](const fs::path& temp, std::string& reason) {
        TState state;
        state.Cabinet = pack.wstring();
        state.Dest = temp;
        if (RunFdi(state))
            return true;
        reason = state.Why.empty() ? "not a cabinet, or a damaged one" : state.Why;
        return false;
    });
}

} // namespace velmora::win32
