#pragma once
// Reading the head of an answer and deciding whether its body is wanted: the
// same rules for the client of every system (uWinHttp.h, TAnswer).
#include "catalog/uWinHttp.h"

#include <cstdint>
#include <string_view>

namespace velmora {

// One header line of an answer, its line end included or not. A status line
// starts the answer afresh, so that after redirects only the last answer's
// ETag, Last-Modified and Content-Range count.
void ReadAnswerHeaderLine(std::string_view line, TAnswer& answer);

// Completes the answer from its status and Content-Length (-1 when none) once
// its head is in: the whole file's size and where the body lies in it.
void SettleAnswer(TAnswer& answer, int status, std::int64_t length);

// Whether the body of this answer belongs in the stream: a 200, or the 206
// that continues the file where the request asked.
bool BodyWanted(const TAnswer& answer, std::uint64_t rangeFrom);

} // namespace velmora
