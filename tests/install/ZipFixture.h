#pragma once
// Small ZIP packages written by the tests with libzip.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmora::test {

struct TZipItem {
    std::string Name; // stored as given (raw bytes)
    std::string Data; // file content, or the target of a symbolic link
    enum TKind { File, Folder, Symlink } Kind = File;
    bool Store = false; // stored instead of deflated
};

// Writes the archive; throws std::runtime_error when libzip fails.
void MakeZip(const std::filesystem::path& file, const std::vector<TZipItem>& items);

// Replaces every occurrence of `from` by `to` (same length) in the file's
// bytes: entry names in both headers, sizes, damaged data.
void PatchBytes(const std::filesystem::path& file, const std::string& from, const std::string& to);

// Sets the declared uncompressed size of every entry (local and central
// headers) to `size`, leaving the data as it is.
void PatchDeclaredSizes(const std::filesystem::path& file, std::uint32_t size);

// Every file and folder below root, relative, sorted ("a", "a/b.txt").
std::vector<std::string> TreeOf(const std::filesystem::path& root);

} // namespace velmora::test
