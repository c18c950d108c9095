#include "catalog/uStream.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace velmora {

TFileStream::TFileStream(const std::filesystem::path& path, bool lock) {
#ifdef _WIN32
    FFile = ::_wfopen(path.c_str(), L"wb");
#else
    FFile = std::fopen(path.c_str(), "wb");
#endif
    if (!FFile)
        throw std::runtime_error("Cannot create file \"" + path.string() + "\". " + std::strerror(errno));
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
    (void)path;
    return false;
#endif
}

} // namespace velmora
