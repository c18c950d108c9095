#pragma once
// A lenient front end for the object literal that the Baidu result page
// assigns to a script variable: unquoted keys, single-quoted strings, trailing
// commas and comments are turned into strict JSON, which nlohmann/json then
// parses (it accepts none of these itself).
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Strict JSON for the literal, or nothing when the text is not a literal this
// front end understands (an unterminated string or comment, a stray byte).
std::optional<std::string> LiteralToJson(std::string_view utf8);

// The parsed value, or a discarded value when the text does not parse.
nlohmann::json ParseLenientJson(std::string_view utf8);

} // namespace velmora
