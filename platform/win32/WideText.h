#pragma once
// The program's UTF-8 strings and the UTF-16 of the Windows API.
#include <string>
#include <string_view>

namespace velmora {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

} // namespace velmora
