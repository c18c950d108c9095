#pragma once
// TWinHttp: the program's blocking HTTP GET client. One call is one complete
// request on a connection of its own; a failed request never throws, it just
// delivers nothing.
#include "catalog/uStream.h"

#include <cstdint>
#include <functional>
#include <string>

namespace velmora {

class TWinHttp;

// (sender, URL as given, bytes in the stream so far, Content-Length or 0)
using TProgressEvent =
    std::function<void(TWinHttp& sender, const std::string& url, std::int64_t sofar, std::int64_t total)>;

struct TSplitUrl {
    bool Secure = false;     // the address began with https://
    std::string Host;
    std::string ObjectPath;  // path and query from the first "/", or empty
    std::uint16_t Port = 80;
};

// Splits an address into host, object path and port as every request does.
TSplitUrl SplitUrl(const std::string& url);

class TWinHttp {
public:
    TWinHttp();

    void SetAccept(const std::string& acceptTypes) { FAccept = acceptTypes; }
    void SetReferer(const std::string& referer) { FReferer = referer; }
    const std::string& Accept() const { return FAccept; }
    const std::string& Referer() const { return FReferer; }

    // Milliseconds; when not 0 it bounds connecting and every wait for data.
    std::int32_t Timeout = 0;
    TProgressEvent OnProgress;

    // The body of a 200 answer, or empty when nothing was received.
    std::string GetString(const std::string& url);
    // Writes the body of a 200 answer into the stream. Errors raised by the
    // stream or by OnProgress pass on to the caller after the request ends.
    void GetStream(const std::string& url, IByteStream& stream);

    // Host, object path and port of the last request.
    const TSplitUrl& LastUrl() const { return FUrl; }

private:
    TSplitUrl FUrl;
    std::string FAccept = "text/html, */*";
    std::string FReferer;
};

} // namespace velmora
