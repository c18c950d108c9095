#pragma once
// What a cut-off download keeps so that the next download of the same package
// continues instead of starting again. Beside the package file:
//   <package>.part    the bytes received so far, from the start of the file
//   <package>.resume  what makes continuing safe: the address, the validator
//                     the server gave the file (ETag or Last-Modified) and the
//                     size it announced
// The package's own name never holds partial data.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

namespace velmora {

struct TResumeRecord {
    std::string Url;
    std::string Validator;
    std::uint64_t Size = 0; // the whole file
};

std::filesystem::path PartialFile(const std::filesystem::path& package);
std::filesystem::path ResumeRecordFile(const std::filesystem::path& package);

// False when there is no record or it cannot be read.
bool ReadResumeRecord(const std::filesystem::path& package, TResumeRecord& out);
[[nodiscard]] std::error_code WriteResumeRecord(const std::filesystem::path& package,
                                                const TResumeRecord& record);
// Removes the partial data and its record, as far as they exist.
void RemovePartial(const std::filesystem::path& package);

// Where a download of `url` into `package` can continue: the size of the
// partial data when its record names the same address, has a validator and a
// size, and the data is shorter than that size (and `expectedSize`, when not
// 0, is that size); 0 when it must start from the beginning. `record` gets
// the record read.
std::uint64_t ResumableOffset(const std::filesystem::path& package, const std::string& url,
                              std::uint64_t expectedSize, TResumeRecord& record);

// How long partial data is kept for a later download.
constexpr auto PartialKeepTime = std::chrono::hours(24 * 7);

// The partial data in a cache folder after a restart: kept for the packages
// `listed` says the catalogue still offers (all, when `listed` is empty), as
// long as both files are there and younger than `keepTime`; everything else
// of that kind is removed. Files a running download holds are left alone.
// Returns how many files were removed.
std::size_t SweepPartialDownloads(const std::filesystem::path& folder,
                                  const std::function<bool(const std::string& package)>& listed,
                                  std::chrono::seconds keepTime = PartialKeepTime);

} // namespace velmora
