#include "wallpaper/PictureFetch.h"

#include "catalog/uWinHttp.h"
#include "catalog/uWorkers.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace velmora {

namespace {

// Every worker of this kind in the program, so that its end can wait for them.
TThreadCount GWorkers;

} // namespace

struct TPictureFetcher::TJob {
    std::atomic<bool> Cancelled{false};
    std::atomic<std::int64_t> SoFar{0}, Total{0};
};

struct TPictureFetcher::TShared {
    std::mutex Lock;
    std::condition_variable Changed;
    int Writing = 0; // workers that may still write into the store
    // The fetcher while it lives; read and cleared on the main thread only.
    TPictureFetcher* Owner = nullptr;
};

TPictureFetcher::TPictureFetcher(TPicStore store, std::shared_ptr<IPictureConverter> converter,
                                 std::shared_ptr<IMainDispatcher> dispatcher)
    : FStore(std::move(store)), FConverter(std::move(converter)),
      FDispatcher(std::move(dispatcher)), FShared(std::make_shared<TShared>()) {
    FShared->Owner = this;
}

TPictureFetcher::~TPictureFetcher() {
    Cancel();
    std::unique_lock lock(FShared->Lock);
    FShared->Owner = nullptr;
    // A worker that is past its store hands its answer over without waiting
    // for this: the answer is dropped when it runs, or at the dispatcher's
    // shutdown.
    FShared->Changed.wait_for(lock, ExitWait, [&] { return FShared->Writing == 0; });
}

bool TPictureFetcher::Busy() const {
    return FJob != nullptr;
}

std::int64_t TPictureFetcher::SoFar() const {
    return FLast ? FLast->SoFar.load() : 0;
}

std::int64_t TPictureFetcher::Total() const {
    return FLast ? FLast->Total.load() : 0;
}

void TPictureFetcher::Cancel() {
    if (FJob)
        FJob->Cancelled = true;
    FJob.reset();
}

bool TPictureFetcher::Start(const std::string& address,
                            std::function<void(TPicFetchResult&)> onDone) {
    if (FJob)
        return false;
    auto job = std::make_shared<TJob>();
    {
        std::lock_guard lock(FShared->Lock);
        ++FShared->Writing;
    }
    GWorkers.Started();
    auto work = [job, shared = FShared, dispatcher = FDispatcher, converter = FConverter,
                 store = FStore, address, timeout = Timeout, onDone = std::move(onDone)]() mutable {
        TWinHttp http;
        http.Timeout = timeout;
        http.Cancelled = [&] { return job->Cancelled.load(); };
        http.OnProgress = [&](TWinHttp&, const std::string&, std::int64_t sofar,
                              std::int64_t total) {
            job->Total = total;
            job->SoFar = sofar;
        };
        TPicFetchResult result = store.DownloadFullPicture(http, address, *converter,
                                                           [&] { return !job->Cancelled.load(); });
        {
            std::lock_guard lock(shared->Lock);
            --shared->Writing;
            shared->Changed.notify_all();
        }
        if (!job->Cancelled) {
            dispatcher->RunOnMain([&] {
                // On the main thread, where the fetcher lives and dies.
                TPictureFetcher* owner = shared->Owner;
                if (!owner || owner->FJob != job)
                    return;
                owner->FJob.reset();
                onDone(result);
            });
        }
        onDone = nullptr;
        GWorkers.Ended();
    };
    FJob = FLast = job;
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        {
            std::lock_guard lock(FShared->Lock);
            --FShared->Writing;
        }
        GWorkers.Ended();
        FJob.reset();
        return false;
    }
    return true;
}

int TPictureFetcher::Running() {
    return GWorkers.Running();
}

bool TPictureFetcher::WaitForWorkers(std::chrono::milliseconds timeout) {
    return GWorkers.WaitIdle(timeout);
}

} // namespace velmora
