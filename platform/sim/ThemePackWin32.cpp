// Theme packs of the simulated Windows when it runs on Windows: read with
// Windows' own cabinet library, as the Win32 backend reads them.
#include "platform/sim/ThemePack.h"

#include "platform/win32/Win32ThemePack.h"

namespace velmora::sim {

bool UnpackThemePack(const std::filesystem::path& pack, const std::filesystem::path& dest,
                     std::string& why) {
    return win32::UnpackThemePack(pack, dest, why);
}

std::optional<std::string> ReadPackedTheme(const std::filesystem::path& pack,
                                           std::size_t maxBytes) {
    return win32::ReadPackedTheme(pack, maxBytes);
}

} // namespace velmora::sim
