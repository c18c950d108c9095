#pragma once
// Theme packs are cabinet files: unpacked with libgcab (on Windows with its
// own cabinet library) into a folder of the user's theme folder, as Windows'
// theme handler does.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace velmora::sim {

// Unpacks every file of the cabinet below dest (replacing an earlier copy of
// the same pack). Names that would leave dest are refused. Nothing is left
// under dest when it fails; why says what went wrong.
bool UnpackThemePack(const std::filesystem::path& pack, const std::filesystem::path& dest,
                     std::string& why);

// The bytes of the theme file the pack would apply (FindThemeFile of the
// unpacked pack), unpacked into a temporary folder that is removed again.
// Nothing when the pack cannot be unpacked, holds no theme file, or the theme
// file is larger than maxBytes.
std::optional<std::string> ReadPackedTheme(const std::filesystem::path& pack,
                                           std::size_t maxBytes = 1u << 20);

} // namespace velmora::sim
