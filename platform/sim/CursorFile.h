#pragma once
// Checks that a file is a cursor the system would load: a .cur (icon
// directory of type 2 whose images lie inside the file and start as a DIB or
// a PNG) or an animated .ani (RIFF "ACON" with an "anih" header and at least
// one frame that is itself a valid cursor or icon).
#include <string_view>

namespace velmora::sim {

bool IsValidCursorData(std::string_view bytes);

} // namespace velmora::sim
