#pragma once
// Network work of a window, done on a worker: the window asks and goes on, and
// the answer comes back to the main thread through the dispatcher. The window
// tags what it asks for (a generation, a row handle) and drops an answer for
// something it no longer shows.
#include "catalog/uDispatcher.h"
#include "catalog/uStream.h"
#include "catalog/uWorkers.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace velmora {

class TWinHttp;

// Runs `work` on a worker of `workers`, then `done` with its result on the
// main thread. `done` does not run when the dispatcher refuses (the window is
// gone) or the group was abandoned meanwhile. Both functions are destroyed on
// the worker thread: they must capture nothing whose destruction needs the
// main thread. Returns false when no worker could be started; nothing runs.
template <typename T>
bool RunOnWorker(const std::shared_ptr<TWorkerGroup>& workers,
                 std::shared_ptr<IMainDispatcher> dispatcher, std::function<T()> work,
                 std::function<void(T&)> done) {
    TWorkerGroup* group = workers.get(); // alive while its worker runs
    return workers->Start([group, dispatcher = std::move(dispatcher), work = std::move(work),
                           done = std::move(done)] {
        T result = work();
        if (!group->Abandoned())
            dispatcher->RunOnMain([&] { done(result); });
    });
}

// GetStream bounded in all by `limit` (0: only the client's own waits),
// whatever the server does. Returns false when the limit cut the request off
// or the body did not arrive whole; what arrived until then is in the stream.
bool GetWithin(TWinHttp& http, const std::string& url, IByteStream& stream,
               std::chrono::milliseconds limit);

// A memory stream that refuses to grow beyond a bound (0: none): an answer far
// larger than what was asked for is not held in memory.
class TBoundedMemoryStream : public TMemoryStream {
public:
    explicit TBoundedMemoryStream(std::uint64_t maxBytes) : FMax(maxBytes) {}
    void Write(const char* data, std::size_t size) override;

private:
    std::uint64_t FMax;
};

struct TFetchRequest {
    std::string Url{};
    std::chrono::milliseconds Limit{0}; // bounds the whole request; 0: none
    std::uint64_t MaxBytes = 0;         // a longer answer counts as nothing; 0: no bound
    // When set, an answer is stored there on the worker (parent folders made,
    // written atomically).
    std::filesystem::path SaveTo{};
};

struct TFetchResult {
    std::string Body;   // empty: nothing usable arrived
    bool Saved = false; // Body is in SaveTo
};

// The request on the worker, as RunOnWorker runs it: cut short when the group
// is abandoned.
TFetchResult Fetch(const TFetchRequest& request, const TWorkerGroup& workers);

// Fetch on a worker, `done` on the main thread (RunOnWorker).
bool FetchAsync(TFetchRequest request, std::shared_ptr<IMainDispatcher> dispatcher,
                const std::shared_ptr<TWorkerGroup>& workers,
                std::function<void(TFetchResult&)> done);

} // namespace velmora
