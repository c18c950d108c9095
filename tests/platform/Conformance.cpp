#include "tests/platform/Conformance.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#endif

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

namespace velmora::test {

namespace fs = std::filesystem;

TScratchDir::TScratchDir() {
    static std::atomic<unsigned> counter{0};
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    for (unsigned attempt = 0;; ++attempt) {
        FPath = fs::temp_directory_path() /
                ("velmora-conformance-" + std::to_string(tick % 1000000007) + "-" +
                 std::to_string(counter++) + "-" + std::to_string(attempt));
        if (fs::create_directories(FPath))
            break;
    }
}

TScratchDir::~TScratchDir() {
    std::error_code ec;
    // Read-only files would stop the cleanup on Windows.
    for (fs::recursive_directory_iterator it(FPath, ec), end; !ec && it != end; it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(FPath, ec);
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {

#ifdef _WIN32
// A junction: a mount-point reparse point, which needs no privilege.
std::string MakeJunction(const fs::path& target, const fs::path& link) {
    if (!CreateDirectoryW(link.wstring().c_str(), nullptr))
        return "cannot create folder";
    HANDLE h = CreateFileW(link.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "cannot open folder";
    const std::wstring substitute = L"\\??\\" + fs::absolute(target).wstring();
    const std::wstring print = fs::absolute(target).wstring();
    std::vector<char> buf(8 + 8 + (substitute.size() + print.size() + 2) * sizeof(wchar_t));
    auto put16 = [&](std::size_t at, std::size_t v) {
        buf[at] = static_cast<char>(v & 0xFF);
        buf[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    };
    const std::size_t subBytes = substitute.size() * sizeof(wchar_t);
    const std::size_t printBytes = print.size() * sizeof(wchar_t);
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(buf.data(), &tag, 4);
    put16(4, buf.size() - 8);
    put16(8, 0);
    put16(10, subBytes);
    put16(12, subBytes + sizeof(wchar_t));
    put16(14, printBytes);
    std::memcpy(buf.data() + 16, substitute.c_str(), subBytes);
    std::memcpy(buf.data() + 16 + subBytes + sizeof(wchar_t), print.c_str(), printBytes);
    DWORD got = 0;
    const BOOL ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, buf.data(),
                                    static_cast<DWORD>(buf.size()), nullptr, 0, &got, nullptr);
    CloseHandle(h);
    if (!ok) {
        RemoveDirectoryW(link.wstring().c_str());
        return "junctions unavailable (error " + std::to_string(GetLastError()) + ")";
    }
    return {};
}
#endif

} // namespace

std::string MakeFolderLink(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    // 2: SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    // Some systems report success without making the link; check that it is there.
    if (CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(),
                            SYMBOLIC_LINK_FLAG_DIRECTORY | 2) &&
        GetFileAttributesW(link.wstring().c_str()) != INVALID_FILE_ATTRIBUTES)
        return {};
    return MakeJunction(target, link);
#else
    std::error_code ec;
    fs::create_directory_symlink(target, link, ec);
    return ec ? ec.message() : std::string();
#endif
}

bool IsShortShape(const std::string& name) {
    const std::string allowed = "!#$%&'()-@^_`{}~";
    auto ok = [&](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               allowed.find(c) != std::string::npos;
    };
    const std::size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 ||
        (dot != std::string::npos && ext.empty()))
        return false;
    for (char c : base + ext)
        if (!ok(c))
            return false;
    return true;
}

} // namespace velmora::test
