#pragma once
// Writing Unicode code points as UTF-8, for readers that decode other
// encodings (UTF-16 files, escapes) into the program's UTF-8 strings.
#include <string>

namespace velmora {

// Appends one code point as UTF-8 (1 to 4 bytes).
void AppendUtf8(std::string& out, char32_t cp);

} // namespace velmora
