// TWinHttp on Windows: WinINet, with the guarantees of the Linux client. The
// blocking WinINet calls run on a reader thread of the request; the calling
// thread keeps the clock (time-out, lowest speed), asks Cancelled, writes to
// the stream and reports progress, exactly as on Linux. A request the caller
// ends returns at once and leaves the reader to end by itself: at its next
// read, or at the latest on its receive time-out, set a little after the
// caller's. (Closing the request's handle under a waiting call would not cut
// the wait short: Wine's WinINet makes the close wait for the call.) The
// reader touches nothing but the state it shares with the caller
// (TTransfer), which lives as long as either of them.
#include "catalog/uWinHttp.h"

#include "catalog/uWinHttpAnswer.h"
#include "install/uPubFunc.h"
#include "platform/util/Ascii.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t BlockSize = 4096;
constexpr std::size_t ReadSize = 64 * 1024;
constexpr int MaxRedirects = 5;
// Used when Timeout is 0: a dead server must not hold a request forever.
constexpr std::int32_t DefaultTimeoutMs = 60000;
// How often the calling thread looks at the clock and asks Cancelled.
constexpr auto Tick = std::chrono::milliseconds(100);
// The reader stops reading ahead while this much waits for the stream.
constexpr std::size_t MaxPending = 4 * 1024 * 1024;

struct THandle {
    HINTERNET H = nullptr;
    THandle() = default;
    explicit THandle(HINTERNET h) : H(h) {}
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    ~THandle() { Reset(); }
    void Reset(HINTERNET h = nullptr) {
        if (H)
            InternetCloseHandle(H);
        H = h;
    }
};

// What the reader thread and the calling thread share.
struct TTransfer {
    std::mutex Lock;
    std::condition_variable Changed;
    // Set by the reader.
    bool Answered = false; // the final answer's head is in Answer
    TAnswer Answer;
    bool Wanted = false;  // its body belongs in the stream
    bool TooLong = false; // announced more than the bound allows
    std::string Pending;  // received, not yet written to the stream
    std::uint64_t Received = 0;
    bool Done = false;   // the reader has ended
    bool Failed = false; // a transport error, a refused redirect
    // Set by the caller.
    bool Stop = false;
    // The open request, closed by the reader when it ends.
    HINTERNET Request = nullptr;

    void CloseRequestLocked() {
        if (Request)
            InternetCloseHandle(Request);
        Request = nullptr;
    }

    // The request's session, closed by the last of the two to go.
    HINTERNET Session = nullptr;
    ~TTransfer() {
        CloseRequestLocked();
        if (Session)
            InternetCloseHandle(Session);
    }
};

// The Content-Length, -1 when there is none.
std::int64_t QueryContentLength(HINTERNET request) {
    wchar_t buf[32];
    DWORD size = sizeof buf;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH, buf, &size, &index))
        return -1;
    wchar_t* end = nullptr;
    const unsigned long long v = std::wcstoull(buf, &end, 10);
    if (end == buf || v > static_cast<unsigned long long>(INT64_MAX))
        return -1;
    return static_cast<std::int64_t>(v);
}

// The head of the answer, every line as it came (status line first), read
// the way the Linux client reads them.
TAnswer QueryAnswer(HINTERNET request, DWORD status) {
    TAnswer answer;
    DWORD size = 0;
    DWORD index = 0;
    HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, &index);
    std::string head(size + 1, '\0');
    index = 0;
    if (size > 0 &&
        HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, head.data(), &size, &index)) {
        head.resize(size);
        std::string_view rest(head);
        while (!rest.empty()) {
            const std::size_t end = rest.find('\n');
            ReadAnswerHeaderLine(rest.substr(0, end), answer);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        }
    }
    SettleAnswer(answer, static_cast<int>(status), QueryContentLength(request));
    return answer;
}

DWORD QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        &index))
        return 0;
    return status;
}

std::string QueryLocation(HINTERNET request) {
    DWORD size = 0;
    DWORD index = 0;
    HttpQueryInfoW(request, HTTP_QUERY_LOCATION, nullptr, &size, &index);
    if (size == 0)
        return {};
    std::wstring w(size / sizeof(wchar_t) + 1, L'\0');
    index = 0;
    if (!HttpQueryInfoW(request, HTTP_QUERY_LOCATION, w.data(), &size, &index))
        return {};
    w.resize(size / sizeof(wchar_t));
    return Utf8(w);
}

// A redirect target relative to the address that answered.
std::string ResolveLocation(const std::string& base, const std::string& location) {
    if (StartsWithIgnoreCaseAscii(location, "http://") ||
        StartsWithIgnoreCaseAscii(location, "https://"))
        return location;
    const std::wstring b = Wide(base);
    const std::wstring l = Wide(location);
    DWORD size = 0;
    InternetCombineUrlW(b.c_str(), l.c_str(), nullptr, &size, ICU_NO_ENCODE);
    if (size == 0)
        return {};
    std::wstring out(size + 1, L'\0');
    if (!InternetCombineUrlW(b.c_str(), l.c_str(), out.data(), &size, ICU_NO_ENCODE))
        return {};
    out.resize(size);
    return Utf8(out);
}

struct TRequestSetup {
    std::string Url;
    std::string Accept;
    std::string Referer;
    DWORD TimeoutMs;
    std::uint64_t MaxBody;
    std::uint64_t RangeFrom; // ask for the bytes from here on, when not 0
    std::string IfRange;     // ... only while the file has this validator
};

// The request's own header lines: the range asked for, when one is.
std::wstring RangeHeaders(const TRequestSetup& setup) {
    if (setup.RangeFrom == 0)
        return {};
    std::string lines = "Range: bytes=" + std::to_string(setup.RangeFrom) + "-\r\n";
    if (!setup.IfRange.empty())
        lines += "If-Range: " + setup.IfRange + "\r\n";
    return Wide(lines);
}

// The reader thread: connects, follows at most MaxRedirects redirects between
// http and https addresses, and reads the body of a 200 answer (or of the 206
// asked for) into Pending.
void ReadTransfer(TRequestSetup setup, std::shared_ptr<TTransfer> t) {
    const HINTERNET session = t->Session;
    auto fail = [&] {
        std::lock_guard<std::mutex> lock(t->Lock);
        t->Failed = true;
        t->Done = true;
        t->CloseRequestLocked();
        t->Changed.notify_all();
    };
    std::string url = setup.Url;
    const std::wstring headers = RangeHeaders(setup);
    THandle connection;
    HINTERNET request = nullptr;
    for (int redirects = 0;; ++redirects) {
        const TSplitUrl parts = SplitUrl(url);
        if (parts.Host.empty())
            return fail();
        {
            std::lock_guard<std::mutex> lock(t->Lock);
            t->CloseRequestLocked();
        }
        connection.Reset(InternetConnectW(session, Wide(parts.Host).c_str(), parts.Port, nullptr,
                                          nullptr, INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection.H)
            return fail();
        const std::wstring accept = Wide(setup.Accept);
        const wchar_t* acceptTypes[] = {accept.c_str(), nullptr};
        const std::wstring referer = Wide(setup.Referer);
        const std::wstring object = Wide(parts.ObjectPath.empty() ? "/" : parts.ObjectPath);
        // Every request goes to the server: nothing read from or written to
        // the cache, no cookies, no dialogs, redirects followed here.
        DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                      INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                      INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
        if (parts.Secure)
            flags |= INTERNET_FLAG_SECURE;
        {
            std::lock_guard<std::mutex> lock(t->Lock);
            if (t->Stop)
                return fail();
            request = HttpOpenRequestW(connection.H, L"GET", object.c_str(), L"HTTP/1.0",
                                       referer.empty() ? nullptr : referer.c_str(), acceptTypes,
                                       flags, 0);
            t->Request = request;
        }
        if (!request)
            return fail();
        if (!HttpSendRequestW(request, headers.empty() ? nullptr : headers.c_str(),
                              static_cast<DWORD>(headers.size()), nullptr, 0))
            return fail();
        const DWORD status = QueryStatus(request);
        const bool redirect =
            status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (!redirect) {
            TAnswer answer = QueryAnswer(request, status);
            std::lock_guard<std::mutex> lock(t->Lock);
            t->Wanted = BodyWanted(answer, setup.RangeFrom);
            t->TooLong = setup.MaxBody > 0 && answer.FullSize > 0 &&
                         std::uint64_t(answer.FullSize) > setup.MaxBody;
            t->Answer = std::move(answer);
            t->Answered = true;
            t->Changed.notify_all();
            break;
        }
        const std::string next = ResolveLocation(url, QueryLocation(request));
        if (redirects + 1 > MaxRedirects || next.empty() ||
            !(StartsWithIgnoreCaseAscii(next, "http://") ||
              StartsWithIgnoreCaseAscii(next, "https://")))
            return fail();
        url = next;
    }
    {
        std::lock_guard<std::mutex> lock(t->Lock);
        if (!t->Wanted || t->TooLong) {
            t->Done = true;
            t->CloseRequestLocked();
            t->Changed.notify_all();
            return;
        }
    }
    std::string buffer(ReadSize, '\0');
    for (;;) {
        {
            // Read ahead only as far as the caller keeps up.
            std::unique_lock<std::mutex> lock(t->Lock);
            t->Changed.wait(lock, [&] { return t->Stop || t->Pending.size() < MaxPending; });
            if (t->Stop)
                break;
        }
        DWORD got = 0;
        const BOOL ok =
            InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got);
        std::lock_guard<std::mutex> lock(t->Lock);
        if (!ok) {
            t->Failed = true;
            break;
        }
        if (got == 0)
            break;
        t->Pending.append(buffer.data(), got);
        t->Received += got;
        t->Changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(t->Lock);
    t->Done = true;
    t->CloseRequestLocked();
    t->Changed.notify_all();
}

} // namespace

TWinHttp::TWinHttp() = default;

bool TWinHttp::GetStream(const std::string& url, IByteStream& stream) {
    // The range asked for applies to this request only.
    const std::uint64_t rangeFrom = std::exchange(RangeFrom, 0);
    std::string ifRange = std::exchange(IfRange, std::string());
    FAnswer = TAnswer{};

    FUrl = SplitUrl(url);
    if (FUrl.Host.empty())
        return false;
    const std::int32_t timeoutMs = Timeout > 0 ? Timeout : DefaultTimeoutMs;

    // One session per request: its own connection, its own time-outs. The
    // system's proxy settings apply (loopback bypasses them). No agent name:
    // requests carry no User-Agent, as on Linux.
    auto transfer = std::make_shared<TTransfer>();
    transfer->Session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    const HINTERNET session = transfer->Session;
    if (!session)
        return false;
    DWORD connectMs = static_cast<DWORD>(timeoutMs);
    // The reader's own waits end a moment after the caller's clock would.
    DWORD receiveMs = static_cast<DWORD>(timeoutMs) + 1000;
    InternetSetOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
    InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &receiveMs, sizeof receiveMs);
    InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);
    InternetSetOptionW(session, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receiveMs, sizeof receiveMs);

    TRequestSetup setup{"http" + std::string(FUrl.Secure ? "s" : "") + "://" + FUrl.Host + ":" +
                            std::to_string(FUrl.Port) +
                            // Sent escaped as a request line needs, as on Linux.
                            (FUrl.ObjectPath.empty() ? "/" : EscapeUrlForRequest(FUrl.ObjectPath)),
                        FAccept,
                        EscapeUrlForRequest(FReferer),
                        connectMs,
                        MaxBodyBytes,
                        rangeFrom,
                        std::move(ifRange)};
    std::thread reader(ReadTransfer, std::move(setup), transfer);

    std::exception_ptr error;
    bool aborted = false;
    bool tooLarge = false;
    bool answered = false;
    bool wanted = false;
    std::int64_t total = 0; // the whole file, 0 when unknown
    auto lastActivity = Clock::now();
    auto windowStart = lastActivity;
    std::uint64_t windowStartBytes = 0;
    std::uint64_t written = 0;
    std::string chunk;
    for (;;) {
        bool done = false;
        {
            std::unique_lock<std::mutex> lock(transfer->Lock);
            transfer->Changed.wait_for(
                lock, Tick, [&] { return transfer->Done || !transfer->Pending.empty(); });
            // The answer is known to the caller before any of its body.
            if (transfer->Answered && !answered) {
                answered = true;
                FAnswer = transfer->Answer;
                wanted = transfer->Wanted;
                total = FAnswer.FullSize > 0 ? FAnswer.FullSize : 0;
            }
            chunk.swap(transfer->Pending);
            transfer->Pending.clear();
            done = transfer->Done;
            tooLarge = transfer->TooLong;
            transfer->Changed.notify_all();
        }
        const auto now = Clock::now();
        if (!chunk.empty()) {
            lastActivity = now;
            // Nothing but the body asked for reaches the stream (the
            // reader reads no other); the bound holds for this answer's part.
            if (MaxBodyBytes > 0 && written + chunk.size() > MaxBodyBytes) {
                tooLarge = true;
                break;
            }
            try {
                for (std::size_t at = 0; at < chunk.size();) {
                    const std::size_t n = std::min(BlockSize, chunk.size() - at);
                    stream.Write(chunk.data() + at, n);
                    at += n;
                    written += n;
                    if (OnProgress)
                        OnProgress(*this, url, static_cast<std::int64_t>(stream.Size()), total);
                }
            } catch (...) {
                error = std::current_exception();
                break;
            }
            chunk.clear();
        }
        if (done)
            break;
        if (Cancelled && Cancelled()) {
            aborted = true;
            break;
        }
        // Every window must bring its minimum of bytes, and no wait for data
        // may outlast the time-out.
        if (LowSpeedWindow > 0 && now - windowStart >= std::chrono::milliseconds(LowSpeedWindow)) {
            if (std::int64_t(written - windowStartBytes) < LowSpeedBytes) {
                aborted = true;
                break;
            }
            windowStart = now;
            windowStartBytes = written;
        }
        if (now - lastActivity > std::chrono::milliseconds(timeoutMs)) {
            aborted = true;
            break;
        }
    }

    bool failed = false;
    bool readerDone = false;
    {
        std::lock_guard<std::mutex> lock(transfer->Lock);
        readerDone = transfer->Done;
        failed = transfer->Failed;
        if (!readerDone) {
            transfer->Stop = true;
            transfer->Changed.notify_all();
        }
    }
    if (readerDone)
        reader.join();
    else
        reader.detach();

    if (error)
        std::rethrow_exception(error);
    // A transport error, a time-out or a body short of its length is no body.
    const std::int64_t length = FAnswer.Length;
    const bool whole = !aborted && !failed && !tooLarge && answered && wanted &&
                       (length <= 0 || written >= std::uint64_t(length));
    // The read that returns no more data reports once more, size unchanged.
    if (whole && OnProgress)
        OnProgress(*this, url, static_cast<std::int64_t>(stream.Size()), total);
    return whole;
}

} // namespace velmora
