#include "platform/win32/Win32ThemePack.h"

#include <windows.h>

#include <fcntl.h>
#include <fdi.h>

#include <cstdlib>
#include <map>
#include <memory>

namespace velmora::win32 {

namespace {

// FDI reads through these callbacks. It opens only the cabinet (the name it
// passes is ignored: the wide path is used, whatever the ANSI code page can
// spell), and writes only the theme files it is handed a memory sink for.
struct THandle {
    HANDLE File = INVALID_HANDLE_VALUE; // the cabinet
    std::string* Sink = nullptr;        // a file being extracted into memory
    bool TooLarge = false;
};

struct TState {
    std::wstring Cabinet;
    std::size_t MaxBytes = 0;
    std::map<std::string, std::string> Themes; // top-level .theme files by name
    std::map<std::string, bool> Oversized;
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
    if (!h->Sink)
        return static_cast<UINT>(-1);
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
    std::string ext = n.substr(n.size() - 6);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext == ".theme";
}

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION info) {
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
        delete h;
        return TRUE;
    }
    default:
        return 0;
    }
}

} // namespace

std::optional<std::string> ReadPackedTheme(const std::filesystem::path& pack,
                                           std::size_t maxBytes) {
    TState state;
    state.Cabinet = pack.wstring();
    state.MaxBytes = maxBytes;
    g_state = &state;
    ERF erf{};
    HFDI fdi = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf);
    if (!fdi) {
        g_state = nullptr;
        return std::nullopt;
    }
    char name[] = "pack.cab";
    char path[] = "";
    const BOOL ok = FDICopy(fdi, name, path, 0, Notify, nullptr, nullptr);
    FDIDestroy(fdi);
    g_state = nullptr;
    if (!ok || state.Themes.empty())
        return std::nullopt;
    // The map is ordered by name: the first is the one the handler applies.
    const auto& [first, bytes] = *state.Themes.begin();
    if (state.Oversized.count(first))
        return std::nullopt;
    return bytes;
}

} // namespace velmora::win32
