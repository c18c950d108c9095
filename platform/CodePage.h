#pragma once
// Conversions between the program's UTF-8 strings and code page 936, the
// ANSI code page of the target systems. Used only where the bytes matter.
#include <string>
#include <string_view>

namespace velmora {

// Code page 936 bytes to UTF-8. A byte sequence the code page cannot decode
// becomes "?" per bad byte; nothing is dropped silently.
std::string Cp936ToUtf8(std::string_view cp936);

// Decodes a run of code page 936 bytes that are all 0x80 or above, but for
// the trails their lead bytes claim, as Cp936ToUtf8 decodes it: s starts the
// run (s[0] >= 0x80). Appends the UTF-8 and returns the bytes used, stopping
// early at an ASCII byte that a broken pair left on its own (it is text of
// its own, which the caller reads). For readers that decode as they scan; a
// table made once from Cp936ToUtf8 answers, so both always agree.
std::size_t AppendCp936Run(std::string& out, std::string_view s);

// UTF-8 to code page 936. A character the code page lacks becomes "?", as the
// Windows conversion does; invalid UTF-8 bytes become "?" too.
std::string Utf8ToCp936(std::string_view utf8);

// The bytes of the UTF-8 character s starts with (s not empty): its length
// when whole, else the bytes to skip as one broken sequence.
std::size_t Utf8SeqLen(std::string_view s);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Cuts a UTF-8 text so that its code page 936 form holds at most maxBytes
// bytes, never splitting a character (the 255-byte short strings).
std::string CutToCp936Bytes(std::string_view utf8, std::size_t maxBytes);

} // namespace velmora
