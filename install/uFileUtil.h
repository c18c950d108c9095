#pragma once
// Whole-file reads and writes shared by the core, the windows and the tool.
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora {

// The whole file into out; false when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& file, std::string& out);

// Writes the bytes under a temporary name beside target and renames them into
// place, so a failed write never leaves a partial file under the final name
// and never leaves the temporary file. Returns the error, empty on success.
std::error_code WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

} // namespace velmora
