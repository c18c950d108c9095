#include "catalog/uWinHttp.h"

#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace velmora {
namespace {

constexpr std::size_t BlockSize = 4096;
constexpr long MaxRedirects = 5;
// Used when Timeout is 0: a dead server must not hold a request forever.
constexpr long DefaultTimeoutMs = 60000;

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The system's proxy settings, except that loopback never goes through a proxy.
std::string NoProxyList() {
    std::string list = "127.0.0.1,localhost,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        if (const char* v = std::getenv(name); v && *v) {
            list += ",";
            list += v;
            break;
        }
    }
    return list;
}

struct TRequestContext {
    TWinHttp* Self;
    const std::string* Url;
    IByteStream* Stream;
    CURL* Handle;
    std::exception_ptr Error;
    long TimeoutMs;
    std::int64_t LowSpeedBytes;
    long LowSpeedWindowMs;
    std::uint64_t MaxBody;
    std::uint64_t RangeFrom;
    TAnswer* Answer;
    bool BodyChecked = false; // the answer's status and range were looked at
    bool TooLarge = false;
    std::uint64_t Received = 0;
    curl_off_t LastReceived = 0;
    std::chrono::steady_clock::time_point LastActivity = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point WindowStart = LastActivity;
    curl_off_t WindowStartBytes = 0;
};

// A wait for data longer than the time-out ends the request, as a receive
// time-out does; libcurl's own low-speed check averages over seconds instead.
// On top of that, every window must bring its minimum of bytes, so that a
// byte every few seconds cannot keep a request alive.
int OnTransferInfo(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t) {
    auto* ctx = static_cast<TRequestContext*>(user);
    if (ctx->Self->Cancelled && ctx->Self->Cancelled())
        return 1;
    auto now = std::chrono::steady_clock::now();
    if (ctx->LowSpeedWindowMs > 0 &&
        now - ctx->WindowStart >= std::chrono::milliseconds(ctx->LowSpeedWindowMs)) {
        if (dlnow - ctx->WindowStartBytes < ctx->LowSpeedBytes)
            return 1;
        ctx->WindowStart = now;
        ctx->WindowStartBytes = dlnow;
    }
    if (dlnow != ctx->LastReceived) {
        ctx->LastReceived = dlnow;
        ctx->LastActivity = now;
        return 0;
    }
    return now - ctx->LastActivity > std::chrono::milliseconds(ctx->TimeoutMs) ? 1 : 0;
}

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

// Every header line of every answer (redirects included): a status line
// starts the answer afresh, so that only the last one's fields count.
std::size_t OnHeader(char* data, std::size_t, std::size_t size, void* user) {
    auto* answer = static_cast<TAnswer*>(user);
    std::string_view line(data, size);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        *answer = TAnswer{};
        return size;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return size;
    const std::string name = LowerAscii(line.substr(0, colon));
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    if (name == "etag")
        answer->ETag = value;
    else if (name == "last-modified")
        answer->LastModified = value;
    else if (name == "content-range")
        ParseContentRange(value, *answer);
    return size;
}

// Status and lengths of the answer, from the handle once its head is in.
void CompleteAnswer(CURL* h, TAnswer& answer) {
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    answer.Status = static_cast<int>(status);
    curl_off_t len = -1;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &len) != CURLE_OK || len < 0)
        len = -1;
    answer.Length = static_cast<std::int64_t>(len);
    if (answer.Status == 200) {
        answer.FullSize = answer.Length;
        answer.RangeStart = 0;
    } else if (answer.Status != 206) {
        answer.FullSize = -1;
        answer.RangeStart = 0;
    }
}

// Whether the body of this answer belongs in the stream: a 200, or the 206
// that continues the file where the request asked.
bool BodyWanted(const TAnswer& answer, std::uint64_t rangeFrom) {
    if (answer.Status == 200)
        return true;
    return answer.Status == 206 && rangeFrom > 0 && answer.RangeStart == rangeFrom &&
           answer.FullSize > 0 && std::uint64_t(answer.FullSize) > rangeFrom;
}

std::size_t OnWrite(char* data, std::size_t, std::size_t size, void* user) {
    auto* ctx = static_cast<TRequestContext*>(user);
    if (!ctx->BodyChecked) {
        ctx->BodyChecked = true;
        CompleteAnswer(ctx->Handle, *ctx->Answer);
    }
    if (!BodyWanted(*ctx->Answer, ctx->RangeFrom))
        return CURL_WRITEFUNC_ERROR; // nothing but the body asked for reaches the stream
    const std::int64_t total = ctx->Answer->FullSize > 0 ? ctx->Answer->FullSize : 0;
    if (ctx->MaxBody > 0 &&
        (std::uint64_t(total) > ctx->MaxBody || ctx->Received + size > ctx->MaxBody)) {
        ctx->TooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    ctx->Received += size;
    try {
        for (std::size_t done = 0; done < size;) {
            std::size_t n = std::min(BlockSize, size - done);
            ctx->Stream->Write(data + done, n);
            done += n;
            if (ctx->Self->OnProgress)
                ctx->Self->OnProgress(*ctx->Self, *ctx->Url,
                                      static_cast<std::int64_t>(ctx->Stream->Size()), total);
        }
    } catch (...) {
        // Exceptions must not cross libcurl; rethrown once the request is closed.
        ctx->Error = std::current_exception();
        return CURL_WRITEFUNC_ERROR;
    }
    return size;
}

} // namespace

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

TWinHttp::TWinHttp() {
    GlobalInit();
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

bool TWinHttp::GetStream(const std::string& url, IByteStream& stream) {
    FUrl = SplitUrl(url);
    if (FUrl.Host.empty())
        return false;

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    if (!handle)
        return false;
    CURL* h = handle.get();

    // The range asked for applies to this request only.
    const std::uint64_t rangeFrom = std::exchange(RangeFrom, 0);
    const std::string ifRange = std::exchange(IfRange, std::string());
    FAnswer = TAnswer{};

    // Callers hand on addresses as pages gave them or as UrlDecode left them
    // (spaces, raw bytes): they go out escaped as a request line needs.
    std::string target = (FUrl.Secure ? "https://" : "http://") + FUrl.Host + ":" +
                         std::to_string(FUrl.Port) +
                         (FUrl.ObjectPath.empty() ? "/" : EscapeUrlForRequest(FUrl.ObjectPath));
    const std::string referer = EscapeUrlForRequest(FReferer);

    curl_slist* rawHeaders = nullptr;
    rawHeaders = curl_slist_append(rawHeaders, ("Accept: " + FAccept).c_str());
    rawHeaders = curl_slist_append(rawHeaders, "Pragma: no-cache");
    if (rangeFrom > 0 && !ifRange.empty())
        rawHeaders = curl_slist_append(rawHeaders, ("If-Range: " + ifRange).c_str());
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(rawHeaders, curl_slist_free_all);

    const long timeoutMs = Timeout > 0 ? Timeout : DefaultTimeoutMs;
    TRequestContext ctx{this,          &url,           &stream,      h,         nullptr, timeoutMs,
                        LowSpeedBytes, LowSpeedWindow, MaxBodyBytes, rangeFrom, &FAnswer};
    const std::string range = std::to_string(rangeFrom) + "-";
    const std::string noProxy = NoProxyList();

    curl_easy_setopt(h, CURLOPT_URL, target.c_str());
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (!referer.empty())
        curl_easy_setopt(h, CURLOPT_REFERER, referer.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnTransferInfo);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &ctx);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 64L * 1024);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &FAnswer);
    if (rangeFrom > 0)
        curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
    // A 206 announces only its part; the whole is bounded in OnWrite.
    if (MaxBodyBytes > 0 && rangeFrom == 0)
        curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxBodyBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &ctx);

    CURLcode rc = curl_easy_perform(h);
    if (!ctx.BodyChecked)
        CompleteAnswer(h, FAnswer);
    const std::int64_t length = FAnswer.Length;
    const std::int64_t total = FAnswer.FullSize > 0 ? FAnswer.FullSize : 0;
    headers.reset();
    handle.reset();

    if (ctx.Error)
        std::rethrow_exception(ctx.Error);
    // libcurl ends cleanly only when a body without a length reached the
    // close of the connection, or a body with one reached its length: a
    // reset, a cut chunk, a time-out or a short body all give an error.
    const bool whole = rc == CURLE_OK && BodyWanted(FAnswer, rangeFrom) && !ctx.TooLarge &&
                       (length <= 0 || ctx.Received >= std::uint64_t(length));
    // The read that returns no more data reports once more, size unchanged.
    if (whole && OnProgress)
        OnProgress(*this, url, static_cast<std::int64_t>(stream.Size()), total);
    return whole;
}

} // namespace velmora
