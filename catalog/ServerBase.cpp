#include "catalog/ServerBase.h"

#include "platform/util/Ascii.h"

#include <cstdlib>

namespace velmora {

const char* const ServerVariable = "VELMORA_SERVER";

std::optional<std::string> ChooseServerBase(const std::optional<std::string>& option,
                                            std::string& error) {
    std::string base = VELMORA_SERVER_BASE;
    std::string from;
    if (option) {
        base = *option;
    } else if (const char* set = std::getenv(ServerVariable); set && *set) {
        base = set;
        from = std::string(" (") + ServerVariable + ")";
    }
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const std::string lower = LowerAscii(base);
    for (const std::string scheme : {"http://", "https://"}) {
        if (lower.rfind(scheme, 0) == 0 && base.size() > scheme.size() &&
            base[scheme.size()] != '/' && base.find_first_of(" \t\r\n?#") == std::string::npos)
            return base;
    }
    error = "not an http:// or https:// server address" + from + ": " + base;
    return std::nullopt;
}

} // namespace velmora
