#pragma once
// 8.3 names as Windows forms them for a long name.
#include <string>
#include <string_view>

namespace velmora::sim {

// True when the name is already a valid 8.3 name (kept as it stands).
bool IsValidShortName(std::string_view name);

// The short name with tail number n: the base in upper case without the
// characters an 8.3 name cannot hold, cut so that "~n" fits in eight
// characters, and the first three such characters of the extension.
std::string MakeShortName(std::string_view longName, unsigned n);

} // namespace velmora::sim
