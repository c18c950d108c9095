#pragma once
// Theme packs (cabinets) with Windows' own cabinet library: the theme file
// read without unpacking the pack, and the whole pack unpacked.
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

// Unpacks every file of the cabinet below dest (replacing an earlier copy of
// the same pack), as the theme handler does. Names that would leave dest, or
// name a device, are refused. Nothing is left under dest when it fails; why
// says what went wrong.
bool UnpackThemePack(const std::filesystem::path& pack, const std::filesystem::path& dest,
                     std::string& why);

} // namespace velmora::win32
