#include "platform/util/Files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t TagDigits = 16;
constexpr std::string_view TemporarySuffix = ".tmp";
// Room left in a 255-byte file name for the tag and the suffix.
constexpr std::size_t MaxKeptNameBytes = 200;

std::error_code LastError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

// Writes all bytes, flushes them to disk and closes the file.
std::error_code WriteAndSync(const fs::path& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return LastError();
    std::error_code ec;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ec = n < 0 ? LastError() : std::make_error_code(std::errc::io_error);
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (!ec && ::fsync(fd) != 0)
        ec = LastError();
    if (::close(fd) != 0 && !ec)
        ec = LastError();
    return ec;
}

} // namespace

std::error_code ReadWholeFile(const fs::path& file, std::string& out, std::uintmax_t maxBytes) {
    out.clear();
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return LastError();
    // Read in pieces up to the cap rather than trusting the size the file
    // system reports: a file may grow while it is read.
    std::error_code ec;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ec = LastError();
            break;
        }
        if (n == 0)
            break;
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            ec = std::make_error_code(std::errc::file_too_large);
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (ec)
        out.clear();
    return ec;
}

std::error_code WriteFileAtomically(const fs::path& target, std::string_view bytes) {
    const fs::path temporary = TemporaryNameBeside(target);
    std::error_code ec = WriteAndSync(temporary, bytes);
    if (!ec && ::rename(temporary.c_str(), target.c_str()) != 0)
        ec = LastError();
    if (ec) {
        ::unlink(temporary.c_str());
        return ec;
    }
    // The rename itself lasts only once the folder is flushed too.
    const fs::path folder = target.parent_path();
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

fs::path TemporaryNameBeside(const fs::path& target) {
    // The clock and the process id keep processes apart, the counter the
    // names one process asks for.
    static std::atomic<std::uint32_t> counter{0};
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    const std::uint64_t tag =
        ticks ^ (std::uint64_t(::getpid()) << 20) ^ (std::uint64_t(counter.fetch_add(1)) << 44);
    char hex[TagDigits + 1];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(tag));
    std::string name = target.filename().string();
    if (name.size() > MaxKeptNameBytes) {
        std::size_t cut = MaxKeptNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut; // not inside a UTF-8 character
        name.resize(cut);
    }
    return target.parent_path() / (name + "." + hex + std::string(TemporarySuffix));
}

bool IsTemporaryName(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::size_t tail = 1 + TagDigits + TemporarySuffix.size();
    if (name.size() <= tail || name.compare(name.size() - TemporarySuffix.size(),
                                            TemporarySuffix.size(), TemporarySuffix) != 0)
        return false;
    const std::size_t dot = name.size() - tail;
    if (name[dot] != '.')
        return false;
    for (std::size_t i = dot + 1; i < dot + 1 + TagDigits; ++i) {
        const char c = name[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

} // namespace velmora
