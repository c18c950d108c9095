#pragma once
// The full-picture download of the wallpaper search, on a worker: the window
// starts it and goes on, watches its progress, may cancel it, and gets what
// became of the picture on the main thread through the dispatcher.
#include "catalog/uDispatcher.h"
#include "wallpaper/uPicStore.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmora {

class TPictureFetcher {
public:
    // The converter decodes on the worker threads: it must be usable from any
    // thread.
    TPictureFetcher(TPicStore store, std::shared_ptr<IPictureConverter> converter,
                    std::shared_ptr<IMainDispatcher> dispatcher);
    // Cancels the running download and waits, at most ExitWait, until no
    // worker of this fetcher can still write a file; its answer is dropped.
    ~TPictureFetcher();
    TPictureFetcher(const TPictureFetcher&) = delete;
    TPictureFetcher& operator=(const TPictureFetcher&) = delete;

    // Milliseconds; bounds connecting and every wait for data of a download.
    std::int32_t Timeout = 4000;

    // Main thread. Starts downloading the address into the store; onDone runs
    // on the main thread with the outcome, unless the download was cancelled
    // or this fetcher has gone. False, and nothing starts, while another
    // download runs or when no thread can be had.
    bool Start(const std::string& address, std::function<void(TPicFetchResult&)> onDone);
    // Main thread. Ends the running download at once as far as the caller is
    // concerned: Busy() is false, onDone never runs, nothing is stored. The
    // worker winds down on its own.
    void Cancel();
    bool Busy() const;

    // The bytes so far and the announced length (0: none announced) of the
    // running download, or of the last one once it has ended; main thread.
    std::int64_t SoFar() const;
    std::int64_t Total() const;

    static constexpr std::chrono::milliseconds ExitWait{2000};

    // Workers of all fetchers still running, and a wait for them to end (true
    // when none is left); for the end of the program and for tests.
    static int Running();
    static bool WaitForWorkers(std::chrono::milliseconds timeout);

private:
    struct TJob;
    struct TShared;

    TPicStore FStore;
    std::shared_ptr<IPictureConverter> FConverter;
    std::shared_ptr<IMainDispatcher> FDispatcher;
    std::shared_ptr<TShared> FShared;
    std::shared_ptr<TJob> FJob;  // the running download, main thread only
    std::shared_ptr<TJob> FLast; // the latest one, also once it has ended
};

} // namespace velmora
