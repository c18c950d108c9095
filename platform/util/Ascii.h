#pragma once
// Text helpers that look only at ASCII: names, extensions, keys and markers
// compared without regard to case. A byte outside A-Z (a UTF-8 or GBK lead or
// trail byte among them) is never changed.
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

char LowerAscii(char c);
std::string LowerAscii(std::string_view s);
bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b);
bool StartsWithIgnoreCaseAscii(std::string_view s, std::string_view prefix);
// The text without spaces and control characters (bytes up to ' ') at its ends.
std::string_view TrimView(std::string_view s);

// Whether a file or folder name is one of Windows' device names (CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9, in any case, with or without an extension
// or trailing spaces): such a name opens the device whatever folder it is in.
bool IsWindowsDeviceName(std::string_view name);

// Lines broken at CR LF, LF or CR; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

} // namespace velmora
