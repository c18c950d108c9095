#pragma once
// The few file calls of the simulated Windows that have no portable form,
// for its build on Windows (kept apart so that <windows.h> and its A/W
// macros stay out of the backend's own files).
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace velmora::sim {

// The file's volume and index (created is 0: the creation time is not one a
// file keeps under Wine); false when it cannot be opened.
bool WinFileIdentity(const std::filesystem::path& p, std::uint64_t& volume, std::uint64_t& index,
                     std::uint64_t& created);

// Appends the bytes with one write at the end of the file (made when
// missing), wherever other writers have left it.
void WinAppendToFile(const std::filesystem::path& file, std::string_view bytes);

} // namespace velmora::sim
