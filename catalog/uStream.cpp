#include "catalog/uStream.h"

#include "platform/util/Files.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace velmora {

TFileStream::TFileStream(const std::filesystem::path& path, bool lock, bool append) {
    FFile = OpenCFile(path, append ? "ab" : "wb");
    if (!FFile)
        throw std::runtime_error("Cannot create file \"" + path.string() + "\". " + std::strerror(errno));
    if (append) {
#ifdef _WIN32
        // long is 32 bits there: a partial file may be larger.
        _fseeki64(FFile, 0, SEEK_END);
        const long long end = _ftelli64(FFile);
#else
        std::fseek(FFile, 0, SEEK_END);
        const long end = std::ftell(FFile);
#endif
        FSize = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    }
#ifndef _WIN32
    // Released when the file is closed. A file system without locks just
    // leaves the file unmarked.
    if (lock)
        (void)flock(fileno(FFile), LOCK_EX | LOCK_NB);
#else
    (void)lock;
#endif
}

TFileStream::~TFileStream() {
    if (FFile)
        std::fclose(FFile);
}

void TFileStream::Write(const char* data, std::size_t size) {
    if (!FFile)
        throw std::runtime_error("Stream write error: file closed");
    if (std::fwrite(data, 1, size, FFile) != size)
        throw std::runtime_error(std::string("Stream write error: ") + std::strerror(errno));
    FSize += size;
}

void TFileStream::Close() {
    if (!FFile)
        return;
    int flushed = std::fflush(FFile);
    int err = errno;
    int closed = std::fclose(FFile);
    FFile = nullptr;
    if (flushed != 0 || closed != 0)
        throw std::runtime_error(std::string("Stream write error: ") + std::strerror(err));
}

bool IsLockedByWriter(const std::filesystem::path& path) {
#ifndef _WIN32
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
#else
    // A file the C runtime has open for writing shares reading and writing
    // but not an exclusive open: that fails while the writer has it.
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
#endif
}

} // namespace velmora
