#pragma once
// The catalogue server the program and the tool ask: given on the command
// line, else in $VELMORA_SERVER, else the base the program was built with.
#include <optional>
#include <string>

namespace velmora {

extern const char* const ServerVariable; // "VELMORA_SERVER"

// The base without a trailing '/'. An address that is not http:// or
// https:// followed by a host gives nothing and the reason in `error`, so a
// mistyped address is said at start rather than as a missing catalogue.
std::optional<std::string> ChooseServerBase(const std::optional<std::string>& option,
                                            std::string& error);

} // namespace velmora
