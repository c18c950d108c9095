#pragma once
// Reading the theme file of a theme pack (a cabinet) with Windows' own
// cabinet library, without unpacking the pack.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace velmora::win32 {

// The first ".theme" file (by name) at the top of the cabinet, as the theme
// handler picks it; nothing when the cabinet cannot be read, holds none, or
// it is larger than maxBytes.
std::optional<std::string> ReadPackedTheme(const std::filesystem::path& pack,
                                           std::size_t maxBytes = 1u << 20);

} // namespace velmora::win32
