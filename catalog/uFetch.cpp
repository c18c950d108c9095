#include "catalog/uFetch.h"

#include "catalog/uWinHttp.h"
#include "platform/util/Files.h"

#include <algorithm>
#include <stdexcept>

namespace velmora {

bool GetWithin(TWinHttp& http, const std::string& url, IByteStream& stream,
               std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    if (limit.count() <= 0)
        return http.GetStream(url, stream);
    const auto deadline = Clock::now() + limit;
    bool late = false;
    // Wraps the caller's own check for the length of this request.
    struct TRestore {
        TWinHttp& Http;
        std::function<bool()> Cancelled;
        std::int32_t Timeout;
        ~TRestore() {
            Http.Cancelled = std::move(Cancelled);
            Http.Timeout = Timeout;
        }
    } restore{http, http.Cancelled, http.Timeout};
    http.Cancelled = [&] {
        if (restore.Cancelled && restore.Cancelled())
            return true;
        late = late || Clock::now() >= deadline;
        return late;
    };
    // Connecting is bounded by the same limit.
    const auto limitMs =
        static_cast<std::int32_t>(std::min<std::int64_t>(limit.count(), INT32_MAX));
    if (http.Timeout <= 0 || http.Timeout > limitMs)
        http.Timeout = limitMs;
    const bool whole = http.GetStream(url, stream);
    return whole && !late;
}

void TBoundedMemoryStream::Write(const char* data, std::size_t size) {
    if (FMax > 0 && Size() + size > FMax)
        throw std::length_error("answer larger than expected");
    TMemoryStream::Write(data, size);
}

TFetchResult Fetch(const TFetchRequest& request, const TWorkerGroup& workers) {
    TFetchResult result;
    try {
        TWinHttp http;
        http.Cancelled = [&workers] { return workers.Abandoned(); };
        TBoundedMemoryStream stream(request.MaxBytes);
        if (!GetWithin(http, request.Url, stream, request.Limit) || workers.Abandoned())
            return result;
        result.Body = stream.Take();
    } catch (const std::exception&) {
        return result; // too large, or the client failed: nothing arrived
    }
    if (!result.Body.empty() && !request.SaveTo.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(request.SaveTo.parent_path(), ec);
        result.Saved = !WriteFileAtomically(request.SaveTo, result.Body);
    }
    return result;
}

bool FetchAsync(TFetchRequest request, std::shared_ptr<IMainDispatcher> dispatcher,
                const std::shared_ptr<TWorkerGroup>& workers,
                std::function<void(TFetchResult&)> done) {
    const TWorkerGroup* group = workers.get();
    return RunOnWorker<TFetchResult>(
        workers, std::move(dispatcher),
        [request = std::move(request), group] { return Fetch(request, *group); }, std::move(done));
}

} // namespace velmora
