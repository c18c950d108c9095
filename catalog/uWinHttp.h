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

// (sender, URL as given, bytes in the stream so far, size of the whole file or
// 0). The whole file's size is the Content-Length of a 200 answer and the
// total of a 206 answer's Content-Range; a stream that continues a partial
// file counts the bytes it already held, so progress runs from where it was.
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

// What the answer to a request said about the file it delivers.
struct TAnswer {
    int Status = 0;               // final status; 0 when no answer arrived
    std::string ETag;             // as sent, quotes included; empty when none
    std::string LastModified;     // as sent; empty when none
    std::int64_t Length = -1;     // Content-Length of this answer; -1 when none
    std::int64_t FullSize = -1;   // the whole file (see TProgressEvent); -1 unknown
    std::uint64_t RangeStart = 0; // where a 206 answer's body lies in the file
    // The validator to resume with: the ETag, else the Last-Modified date.
    const std::string& Validator() const { return ETag.empty() ? LastModified : ETag; }
};

class TWinHttp {
public:
    TWinHttp();

    void SetAccept(const std::string& acceptTypes) { FAccept = acceptTypes; }
    void SetReferer(const std::string& referer) { FReferer = referer; }
    const std::string& Accept() const { return FAccept; }
    const std::string& Referer() const { return FReferer; }

    // Milliseconds; when not 0 it bounds connecting and every wait for data.
    std::int32_t Timeout = 0;
    // A request that receives fewer than LowSpeedBytes in any LowSpeedWindow
    // milliseconds (counted from the start, window after window) fails: a
    // server trickling a byte now and then must not hold a request for days.
    std::int64_t LowSpeedBytes = 1024;
    std::int32_t LowSpeedWindow = 30000;
    // When not 0, a body longer than this (announced or received) fails the
    // request; GetString always applies its own bound.
    std::uint64_t MaxBodyBytes = 0;
    TProgressEvent OnProgress;
    // Resuming a download. When RangeFrom is not 0, the next request asks only
    // for the bytes from RangeFrom on ("Range: bytes=N-") and, when IfRange is
    // not empty, only while the file still has that validator ("If-Range");
    // otherwise the server sends the whole file with 200. A 206 answer whose
    // range starts at RangeFrom reaches the stream as a 200 does; any other
    // 206, and a 416, write nothing and fail (LastAnswer says which). Both
    // apply to one request: every request clears them.
    std::uint64_t RangeFrom = 0;
    std::string IfRange;
    // Asked about once a second while a request runs, also while it waits;
    // true ends the request at once, as a failed one. Must not throw.
    std::function<bool()> Cancelled;

    // The most GetString takes: catalogue documents and result pages are far
    // smaller, and an endless answer must not fill the memory.
    static constexpr std::uint64_t MaxPageBytes = std::uint64_t(32) << 20;

    // The body of a 200 answer, or empty when nothing was received, it was
    // longer than MaxPageBytes or the transfer did not end cleanly (a page cut
    // short is no page).
    std::string GetString(const std::string& url);
    // Writes the body of a 200 answer (or of the 206 asked for, see RangeFrom)
    // into the stream. Returns true only when the body arrived whole: the
    // transfer ended without a transport error and, when the server announced
    // a length, with that many bytes. Bytes
    // received before a failure stay in the stream. Errors raised by the
    // stream or by OnProgress pass on to the caller after the request ends.
    bool GetStream(const std::string& url, IByteStream& stream);

    // Host, object path and port of the last request.
    const TSplitUrl& LastUrl() const { return FUrl; }
    // The answer to the last (or running) request. Complete before the first
    // byte of the body is written, so that a stream may decide by it whether
    // the body starts a file or continues one.
    const TAnswer& LastAnswer() const { return FAnswer; }

private:
    TSplitUrl FUrl;
    std::string FAccept = "text/html, */*";
    std::string FReferer;
    TAnswer FAnswer;
};

} // namespace velmora
