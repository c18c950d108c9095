#pragma once
// The user's own base folders (XDG): where a program installed for everyone
// keeps what it writes for one user.
#include <filesystem>

namespace velmora {

enum TUserFolder { ufCache, ufData, ufConfig };

// $XDG_CACHE_HOME, $XDG_DATA_HOME or $XDG_CONFIG_HOME when set to an absolute
// path (a relative one is ignored, as the XDG rules say); otherwise
// ~/.cache, ~/.local/share or ~/.config, with ~ from $HOME or, without it,
// the user's entry in the password database. Empty when the user has no home
// at all: the caller must not fall back to a folder other users share. On
// Windows: %LOCALAPPDATA% for the cache, %APPDATA% for data and settings.
std::filesystem::path UserFolder(TUserFolder kind);

} // namespace velmora
