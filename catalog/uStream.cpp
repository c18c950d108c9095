#include "catalog/uStream.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace velmora {

TFileStream::TFileStream(const std::filesystem::path& path) {
    FFile = std::fopen(path.c_str(), "wb");
    if (!FFile)
        throw std::runtime_error("Cannot create file \"" + path.string() + "\". " + std::strerror(errno));
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
