#include "tests/install/ZipFixture.h"

#include "tests/support/TestSupport.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace velmora::test {
namespace fs = std::filesystem;

namespace {
// The Unix mode of a symbolic link, as archivers on Unix store it.
constexpr zip_uint32_t UnixSymlinkMode = 0120777;
} // namespace

void MakeZip(const fs::path& file, const std::vector<TZipItem>& items) {
    int code = 0;
    zip_t* za = zip_open(file.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!za)
        throw std::runtime_error("zip_open failed: " + std::to_string(code));
    auto fail = [&](const std::string& what) {
        std::string msg = what + ": " + zip_strerror(za);
        zip_discard(za);
        throw std::runtime_error(msg);
    };
    for (const auto& item : items) {
        zip_int64_t index;
        if (item.Kind == TZipItem::Folder) {
            index = zip_dir_add(za, item.Name.c_str(), ZIP_FL_ENC_GUESS);
        } else {
            // libzip frees the source once the archive is written.
            zip_source_t* src = zip_source_buffer(za, item.Data.data(), item.Data.size(), 0);
            if (!src)
                fail("zip_source_buffer");
            index = zip_file_add(za, item.Name.c_str(), src, ZIP_FL_ENC_GUESS);
            if (index < 0) {
                zip_source_free(src);
                fail("zip_file_add " + item.Name);
            }
            if (item.Store)
                zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
        if (index < 0)
            fail("zip_dir_add " + item.Name);
        if (item.Kind == TZipItem::Symlink)
            zip_file_set_external_attributes(za, static_cast<zip_uint64_t>(index), 0,
                                             ZIP_OPSYS_UNIX, UnixSymlinkMode << 16);
    }
    if (zip_close(za) != 0)
        fail("zip_close");
}

void PatchBytes(const fs::path& file, const std::string& from, const std::string& to) {
    if (from.size() != to.size())
        throw std::invalid_argument("PatchBytes needs equal lengths");
    std::string bytes = ReadFile(file);
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + 1))
        bytes.replace(at, from.size(), to);
    WriteFile(file, bytes);
}

void PatchDeclaredSizes(const fs::path& file, std::uint32_t size) {
    std::string bytes = ReadFile(file);
    auto put = [&](std::size_t at) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    };
    const std::string local("PK\x03\x04", 4), central("PK\x01\x02", 4);
    for (auto at = bytes.find(local); at != std::string::npos; at = bytes.find(local, at + 1))
        put(at + 22);
    for (auto at = bytes.find(central); at != std::string::npos; at = bytes.find(central, at + 1))
        put(at + 24);
    WriteFile(file, bytes);
}

std::vector<std::string> TreeOf(const fs::path& root) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        out.push_back(it->path().lexically_relative(root).generic_string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace velmora::test
