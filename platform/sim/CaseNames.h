#pragma once
// Names as Windows matches them: without regard to case, keeping the case on
// disk. The simulated backend resolves every path it is given through this.
#include <filesystem>
#include <string_view>

namespace velmora::sim {

// Names equal without regard to ASCII case (other characters as they are).
bool SameFileName(std::string_view a, std::string_view b);

// Each component that exists under another case takes its name on disk; the
// first component that matches nothing, and everything after it, stay as
// given. When a folder holds several names that differ only in case (possible
// on Linux), the exact name wins, else the first in byte order.
std::filesystem::path ResolveCase(const std::filesystem::path& path);

} // namespace velmora::sim
