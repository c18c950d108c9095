#include "catalog/uStream.h"

#include "platform/util/Files.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace velmora {

TFileStream::TFileStream(const std::filesystem::path& path, bool lock, bool append) {
    FFile = OpenCFile(path, append ? "ab" : "wb");
    if (!FFile)
        throw std::runtime_error("Cannot create file \"" + path.string() + "\". " +
                                 std::strerror(errno));
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
    if (lock)
        HoldForWriting(fileno(FFile));
#else
    (void)lock; // an open file is held there anyway
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

} // namespace velmora
