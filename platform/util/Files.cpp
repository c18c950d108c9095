#include "platform/util/Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <vector>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace velmora {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t TagDigits = 16;
constexpr std::string_view TemporarySuffix = ".tmp";
static_assert(TemporaryNameTailBytes == 1 + TagDigits + TemporarySuffix.size());
// Room left in a 255-byte file name for the tag and the suffix.
constexpr std::size_t MaxKeptNameBytes = 200;

std::error_code LastError() {
    return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

enum class TOpen {
    Read,   // an existing file
    Create, // a new file; fails when there is one
    Append, // at the end of the file, made when missing (for its owner only)
};

// The few file calls that differ between the systems.
#ifdef _WIN32
int OpenFile(const fs::path& file, TOpen how) {
    if (how == TOpen::Append) {
        // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the
        // end of the file, whoever else appends.
        const HANDLE h = ::CreateFileW(file.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            errno = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
                    : error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
                                                                                     : EIO;
            return -1;
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (fd < 0)
            ::CloseHandle(h);
        return fd;
    }
    return ::_wopen(file.c_str(),
                    how == TOpen::Create ? _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT
                                         : _O_RDONLY | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}
long ReadSome(int fd, char* data, std::size_t size) {
    return ::_read(fd, data, static_cast<unsigned>(size));
}
long WriteSome(int fd, const char* data, std::size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int SyncFile(int fd) {
    return ::_commit(fd);
}
int CloseFile(int fd) {
    return ::_close(fd);
}
std::error_code ReplaceFile(const fs::path& from, const fs::path& to) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}
void RemoveFile(const fs::path& file) {
    ::_wunlink(file.c_str());
}
// Windows has no handle on a folder to flush: MOVEFILE_WRITE_THROUGH did it.
void SyncFolder(const fs::path&) {}
std::uint64_t ProcessId() {
    return static_cast<std::uint64_t>(::_getpid());
}
#else
int OpenFile(const fs::path& file, TOpen how) {
    switch (how) {
    case TOpen::Create:
        return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    case TOpen::Append:
        return ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    case TOpen::Read:
        break;
    }
    return ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
}
long ReadSome(int fd, char* data, std::size_t size) {
    return static_cast<long>(::read(fd, data, size));
}
long WriteSome(int fd, const char* data, std::size_t size) {
    return static_cast<long>(::write(fd, data, size));
}
int SyncFile(int fd) {
    return ::fsync(fd);
}
int CloseFile(int fd) {
    return ::close(fd);
}
std::error_code ReplaceFile(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : LastError();
}
void RemoveFile(const fs::path& file) {
    ::unlink(file.c_str());
}
// The rename itself lasts only once the folder is flushed too.
void SyncFolder(const fs::path& folder) {
    const int dir =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
std::uint64_t ProcessId() {
    return static_cast<std::uint64_t>(::getpid());
}
#endif

// Writes all bytes to the file (new or appended to), flushes them to disk
// and closes the file.
std::error_code WriteAndSync(const fs::path& file, std::string_view bytes, TOpen how) {
    const int fd = OpenFile(file, how);
    if (fd < 0)
        return LastError();
    std::error_code ec;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const long n = WriteSome(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ec = n < 0 ? LastError() : std::make_error_code(std::errc::io_error);
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (!ec && SyncFile(fd) != 0)
        ec = LastError();
    if (CloseFile(fd) != 0 && !ec)
        ec = LastError();
    return ec;
}

} // namespace

std::error_code ReadWholeFile(const fs::path& file, std::string& out, std::uintmax_t maxBytes) {
    out.clear();
    const int fd = OpenFile(file, TOpen::Read);
    if (fd < 0)
        return LastError();
    // Read in pieces up to the cap rather than trusting the size the file
    // system reports: a file may grow while it is read.
    std::error_code ec;
    char buffer[64 * 1024];
    for (;;) {
        const long n = ReadSome(fd, buffer, sizeof buffer);
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
    CloseFile(fd);
    if (ec)
        out.clear();
    return ec;
}

std::error_code WriteFileAtomically(const fs::path& target, std::string_view bytes) {
    const fs::path temporary = TemporaryNameBeside(target);
    std::error_code ec = WriteAndSync(temporary, bytes, TOpen::Create);
    if (!ec)
        ec = ReplaceFile(temporary, target);
    if (ec) {
        RemoveFile(temporary);
        return ec;
    }
    SyncFolder(target.parent_path());
    return {};
}

std::error_code AppendToFileDurably(const fs::path& file, std::string_view bytes) {
    std::error_code ec;
    const bool existed = fs::exists(file, ec);
    ec = WriteAndSync(file, bytes, TOpen::Append);
    // A file made here lasts only once its folder is flushed too.
    if (!ec && !existed)
        SyncFolder(file.parent_path());
    return ec;
}

std::error_code CopyFileReplacing(const fs::path& from, const fs::path& to) {
#ifdef _WIN32
    if (::CopyFileW(from.c_str(), to.c_str(), FALSE))
        return {};
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
#else
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    return ec;
#endif
}

fs::path TemporaryNameBeside(const fs::path& target) {
    // The clock and the process id keep processes apart, the counter the
    // names one process asks for.
    static std::atomic<std::uint32_t> counter{0};
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    const std::uint64_t tag =
        ticks ^ (ProcessId() << 20) ^ (std::uint64_t(counter.fetch_add(1)) << 44);
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
    const std::size_t tail = TemporaryNameTailBytes;
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

std::string_view TemporaryTarget(std::string_view fileName) {
    if (!IsTemporaryName(fs::path(std::string(fileName))))
        return {};
    return fileName.substr(0, fileName.size() - TemporaryNameTailBytes);
}

void HoldForWriting(int fd) {
#ifndef _WIN32
    // Released when the file is closed.
    (void)flock(fd, LOCK_EX | LOCK_NB);
#else
    (void)fd;
#endif
}

int CreateHeldFile(const fs::path& file) {
#ifdef _WIN32
    // Held by being open.
    return ::_wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
#else
#ifdef O_TMPFILE
    // Made without a name, locked, then named: no moment where another
    // program's sweep could take it for a leftover.
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        HoldForWriting(fd);
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, file.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return fd;
        const int err = errno;
        ::close(fd);
        if (err != ENOENT && err != EPERM && err != EACCES) {
            errno = err;
            return -1;
        }
        // No /proc to name it through: made the plain way below.
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return -1;
    }
#endif
    const int plain = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (plain >= 0)
        HoldForWriting(plain);
    return plain;
#endif
}

bool IsLockedByWriter(const fs::path& path) {
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

std::size_t RemoveStaleTemporaries(const fs::path& folder, bool recursive,
                                   const std::function<bool(std::string_view)>& target) {
    std::size_t removed = 0;
    std::error_code ec;
    std::vector<fs::path> below;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kindError;
        if (it->is_symlink(kindError))
            continue;
        if (it->is_directory(kindError)) {
            if (recursive)
                below.push_back(it->path());
            continue;
        }
        const std::string name = it->path().filename().string();
        const std::string_view of = TemporaryTarget(name);
        if (of.empty() || (target && !target(of)) || !it->is_regular_file(kindError))
            continue;
        if (IsLockedByWriter(it->path()))
            continue; // a running program is still writing it
        std::error_code removeError;
        if (fs::remove(it->path(), removeError))
            ++removed;
    }
    for (const auto& sub : below)
        removed += RemoveStaleTemporaries(sub, true, target);
    return removed;
}

std::FILE* OpenCFile(const fs::path& file, const char* mode) {
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return ::_wfopen(file.c_str(), wideMode.c_str());
#else
    return std::fopen(file.c_str(), mode);
#endif
}

} // namespace velmora
