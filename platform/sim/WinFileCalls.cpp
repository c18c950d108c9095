#include "platform/sim/WinFileCalls.h"

#include <windows.h>

namespace velmora::sim {

bool WinFileIdentity(const std::filesystem::path& p, std::uint64_t& volume, std::uint64_t& index,
                     std::uint64_t& created) {
    const HANDLE h = ::CreateFileW(
        p.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
    ::CloseHandle(h);
    if (!ok)
        return false;
    volume = info.dwVolumeSerialNumber;
    index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    // Not the creation time: Wine gives a folder's status-change time there,
    // which moves whenever a file inside comes or goes.
    created = 0;
    return true;
}

void WinAppendToFile(const std::filesystem::path& file, std::string_view bytes) {
    // Append-only access: the system puts every write at the current end.
    const HANDLE h = ::CreateFileW(file.c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
}

} // namespace velmora::sim
