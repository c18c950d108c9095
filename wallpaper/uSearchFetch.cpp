#include "wallpaper/uSearchFetch.h"

#include "catalog/uWinHttp.h"
#include "catalog/uWorkers.h"

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace velmora {

void TBlockingPageSource::Fetch(const std::string& address, const std::string& referer,
                                TPageHandler onPage) {
    TWinHttp http;
    http.SetReferer(referer);
    const std::string body = http.GetString(address);
    onPage(body);
}

namespace {

// Every worker of this kind in the program, so that its end can wait for them.
TThreadCount GWorkers;

// Thrown from the progress report of a request whose answer nobody wants any
// more; it ends the request.
struct TDropped {};

} // namespace

struct TWorkerPageSource::TShared {
    std::mutex Lock;
    std::condition_variable Changed;
    std::uint64_t Generation = 0; // written on the main thread under Lock
    bool Closed = false;          // likewise
    int Fetching = 0;             // requests still running
    // The source while it lives; read and cleared on the main thread only.
    TWorkerPageSource* Owner = nullptr;

    bool Wanted(std::uint64_t generation) {
        std::lock_guard lock(Lock);
        return !Closed && Generation == generation;
    }
};

TWorkerPageSource::TWorkerPageSource(std::shared_ptr<IMainDispatcher> dispatcher)
    : FShared(std::make_shared<TShared>()), FDispatcher(std::move(dispatcher)) {
    if (!FDispatcher)
        throw std::invalid_argument("TWorkerPageSource needs a dispatcher");
    FShared->Owner = this;
}

TWorkerPageSource::~TWorkerPageSource() {
    std::unique_lock lock(FShared->Lock);
    FShared->Owner = nullptr;
    FShared->Closed = true;
    ++FShared->Generation;
    // Workers waiting for the main thread are not waited for: their step is
    // dropped when it runs, or the dispatcher releases them at its shutdown.
    FShared->Changed.wait_for(lock, ExitWait, [&] { return FShared->Fetching == 0; });
}

std::uint64_t TWorkerPageSource::Generation() const {
    std::lock_guard lock(FShared->Lock);
    return FShared->Generation;
}

void TWorkerPageSource::SetBusy(bool busy) {
    if (FBusy == busy)
        return;
    FBusy = busy;
    if (OnBusyChanged)
        OnBusyChanged(busy);
}

void TWorkerPageSource::Cancel() {
    {
        std::lock_guard lock(FShared->Lock);
        ++FShared->Generation;
    }
    SetBusy(false);
}

void TWorkerPageSource::Fetch(const std::string& address, const std::string& referer,
                              TPageHandler onPage) {
    std::uint64_t generation;
    {
        std::lock_guard lock(FShared->Lock);
        generation = ++FShared->Generation;
        ++FShared->Fetching;
    }
    SetBusy(true);
    GWorkers.Started();
    auto work = [shared = FShared, dispatcher = FDispatcher, address, referer, generation,
                 onPage = std::move(onPage)]() mutable {
        std::string body;
        try {
            TWinHttp http;
            http.SetReferer(referer);
            http.OnProgress = [&](TWinHttp&, const std::string&, std::int64_t, std::int64_t) {
                if (!shared->Wanted(generation))
                    throw TDropped{};
            };
            body = http.GetString(address);
        } catch (...) {
            body.clear(); // dropped, or out of memory: nothing to show
        }
        {
            std::lock_guard lock(shared->Lock);
            --shared->Fetching;
            shared->Changed.notify_all();
        }
        if (shared->Wanted(generation)) {
            dispatcher->RunOnMain([&] {
                // On the main thread, where the source is created and destroyed.
                TWorkerPageSource* owner = shared->Owner;
                if (!owner || !shared->Wanted(generation))
                    return;
                owner->SetBusy(false);
                onPage(body);
            });
        }
        onPage = nullptr;
        GWorkers.Ended();
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        // No thread to be had: nothing arrives, and the window is not left busy.
        {
            std::lock_guard lock(FShared->Lock);
            --FShared->Fetching;
        }
        GWorkers.Ended();
        SetBusy(false);
    }
}

int TWorkerPageSource::Running() {
    return GWorkers.Running();
}

bool TWorkerPageSource::WaitForWorkers(std::chrono::milliseconds timeout) {
    return GWorkers.WaitIdle(timeout);
}

} // namespace velmora
