// The parts of the HTTP client both systems share: splitting an address, the
// bounded page read on top of GetStream, and reading an answer's head.
#include "catalog/uWinHttp.h"

#include "catalog/uWinHttpAnswer.h"
#include "platform/util/Ascii.h"

#include <cstdlib>
#include <string_view>

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

namespace {

// "bytes START-END/TOTAL": START and TOTAL (-1 for "*" or anything unreadable).
void ParseContentRange(std::string_view value, TAnswer& answer) {
    if (!StartsWithIgnoreCaseAscii(std::string(value), "bytes "))
        return;
    value.remove_prefix(6);
    const std::size_t dash = value.find('-'), slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return;
    const auto number = [](std::string_view text, std::int64_t& out) {
        if (text.empty() || text.size() > 18)
            return false;
        std::int64_t v = 0;
        for (char c : text) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + (c - '0');
        }
        out = v;
        return true;
    };
    std::int64_t start = -1, total = -1;
    if (number(value.substr(0, dash), start) && number(value.substr(slash + 1), total)) {
        answer.RangeStart = static_cast<std::uint64_t>(start);
        answer.FullSize = total;
    }
}

} // namespace

void ReadAnswerHeaderLine(std::string_view line, TAnswer& answer) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        answer = TAnswer{};
        return;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return;
    const std::string name = LowerAscii(line.substr(0, colon));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    if (name == "etag")
        answer.ETag = value;
    else if (name == "last-modified")
        answer.LastModified = value;
    else if (name == "content-range")
        ParseContentRange(value, answer);
}

void SettleAnswer(TAnswer& answer, int status, std::int64_t length) {
    answer.Status = status;
    answer.Length = length < 0 ? -1 : length;
    if (answer.Status == 200) {
        answer.FullSize = answer.Length;
        answer.RangeStart = 0;
    } else if (answer.Status != 206) {
        answer.FullSize = -1;
        answer.RangeStart = 0;
    }
}

bool BodyWanted(const TAnswer& answer, std::uint64_t rangeFrom) {
    if (answer.Status == 200)
        return true;
    return answer.Status == 206 && rangeFrom > 0 && answer.RangeStart == rangeFrom &&
           answer.FullSize > 0 && std::uint64_t(answer.FullSize) > rangeFrom;
}

} // namespace velmora
