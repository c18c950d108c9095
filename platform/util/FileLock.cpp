#include "platform/util/FileLock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace velmora {

#ifdef _WIN32
TFileLock::TFileLock(const std::filesystem::path& lockFile)
    : FHandle(::CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (FHandle == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED whole = {};
    // The whole file, however long: waits until no other process holds it.
    if (!::LockFileEx(FHandle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
        ::CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
    }
}

TFileLock::~TFileLock() {
    if (FHandle == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED whole = {};
    ::UnlockFileEx(FHandle, 0, MAXDWORD, MAXDWORD, &whole);
    ::CloseHandle(FHandle);
}
#else
TFileLock::TFileLock(const std::filesystem::path& lockFile)
    : FFd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (FFd >= 0)
        while (::flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
        }
}

TFileLock::~TFileLock() {
    if (FFd >= 0)
        ::close(FFd); // closing releases the lock
}
#endif

} // namespace velmora
