#include "catalog/uWinHttp.h"

#include "install/uPubFunc.h"
#include "catalog/uWinHttpAnswer.h"

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

// Every header line of every answer (redirects included).
std::size_t OnHeader(char* data, std::size_t, std::size_t size, void* user) {
    ReadAnswerHeaderLine(std::string_view(data, size), *static_cast<TAnswer*>(user));
    return size;
}

// Status and lengths of the answer, from the handle once its head is in.
void CompleteAnswer(CURL* h, TAnswer& answer) {
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t len = -1;
    if (curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &len) != CURLE_OK || len < 0)
        len = -1;
    SettleAnswer(answer, static_cast<int>(status), static_cast<std::int64_t>(len));
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

TWinHttp::TWinHttp() {
    GlobalInit();
}

bool TWinHttp::GetStream(const std::string& url, IByteStream& stream) {
    // The range asked for applies to this request only.
    const std::uint64_t rangeFrom = std::exchange(RangeFrom, 0);
    const std::string ifRange = std::exchange(IfRange, std::string());
    FAnswer = TAnswer{};

    FUrl = SplitUrl(url);
    if (FUrl.Host.empty())
        return false;

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> handle(curl_easy_init(), curl_easy_cleanup);
    if (!handle)
        return false;
    CURL* h = handle.get();

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
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, 256L * 1024);
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
