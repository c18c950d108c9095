// The parts of the HTTP client both systems share: splitting an address and
// the bounded page read on top of GetStream.
#include "catalog/uWinHttp.h"

#include "platform/util/Ascii.h"

#include <cstdlib>

namespace velmora {

TSplitUrl SplitUrl(const std::string& url) {
    TSplitUrl r;
    std::string rest = url;
    if (StartsWithIgnoreCaseAscii(rest, "http://")) {
        rest.erase(0, 7);
    } else if (StartsWithIgnoreCaseAscii(rest, "https://")) {
        rest.erase(0, 8);
        r.Secure = true;
        r.Port = 443;
    }
    std::size_t slash = rest.find('/');
    std::string hostPart = rest.substr(0, slash);
    if (slash != std::string::npos)
        r.ObjectPath = rest.substr(slash);
    // A bracketed IPv6 literal keeps its colons.
    std::size_t from = 0;
    if (!hostPart.empty() && hostPart[0] == '[') {
        std::size_t close = hostPart.find(']');
        if (close != std::string::npos)
            from = close;
    }
    std::size_t colon = hostPart.find(':', from);
    if (colon != std::string::npos) {
        std::string port = hostPart.substr(colon + 1);
        if (!port.empty()) {
            char* end = nullptr;
            long v = std::strtol(port.c_str(), &end, 10);
            if (end != port.c_str())
                r.Port = static_cast<std::uint16_t>(v);
        }
        hostPart.resize(colon);
    }
    r.Host = hostPart;
    return r;
}

std::string TWinHttp::GetString(const std::string& url) {
    TMemoryStream stream;
    const std::uint64_t callerLimit = MaxBodyBytes;
    if (MaxBodyBytes == 0 || MaxBodyBytes > MaxPageBytes)
        MaxBodyBytes = MaxPageBytes;
    bool whole = false;
    try {
        whole = GetStream(url, stream);
    } catch (...) {
        MaxBodyBytes = callerLimit;
        throw;
    }
    MaxBodyBytes = callerLimit;
    return whole ? stream.Take() : std::string();
}

} // namespace velmora
