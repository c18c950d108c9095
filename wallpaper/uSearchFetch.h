#pragma once
// How the wallpaper search gets its result pages: on the calling thread (the
// command-line tool), or on a worker whose answer the main thread takes over
// through the dispatcher, so that the window never waits on the network.
#include "catalog/uDispatcher.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace velmora {

// onPage gets the body of the answer, empty when the request failed.
using TPageHandler = std::function<void(const std::string& body)>;

class IPageSource {
public:
    virtual ~IPageSource() = default;
    // Fetches `address` with the referrer set and hands the body to onPage.
    virtual void Fetch(const std::string& address, const std::string& referer,
                       TPageHandler onPage) = 0;
};

// Fetches on the calling thread; onPage has run when Fetch returns.
class TBlockingPageSource : public IPageSource {
public:
    void Fetch(const std::string& address, const std::string& referer,
               TPageHandler onPage) override;
};

// Fetches each page on a thread of its own and runs onPage on the main thread.
// Only the newest fetch counts: starting one supersedes the others, whose
// answers are then dropped. Create, use and destroy on the main thread.
class TWorkerPageSource : public IPageSource {
public:
    explicit TWorkerPageSource(std::shared_ptr<IMainDispatcher> dispatcher);
    // Drops every answer still to come and waits a little for the requests
    // still running; a worker still waiting for its request after that ends on
    // its own later, touching nothing but its own state.
    ~TWorkerPageSource() override;
    TWorkerPageSource(const TWorkerPageSource&) = delete;
    TWorkerPageSource& operator=(const TWorkerPageSource&) = delete;

    // onPage is called only if this is still the newest fetch when the page
    // arrives, and is destroyed on the worker.
    void Fetch(const std::string& address, const std::string& referer,
               TPageHandler onPage) override;

    // Drops the answer of every fetch started so far.
    void Cancel();

    // True from the start of a fetch until the newest fetch's answer is
    // handled (OnBusyChanged(false) comes just before its onPage).
    bool Busy() const { return FBusy; }
    std::function<void(bool busy)> OnBusyChanged;

    // The generation of the newest fetch; each Fetch and Cancel adds one.
    std::uint64_t Generation() const;

    // How long the destructor waits for running requests.
    static constexpr std::chrono::milliseconds ExitWait{2000};

    // Workers of all sources that have not ended yet, and a wait for them to
    // end (true when none is left); for the end of the program and for tests.
    static int Running();
    static bool WaitForWorkers(std::chrono::milliseconds timeout);

private:
    struct TShared;
    void SetBusy(bool busy);

    std::shared_ptr<TShared> FShared;
    std::shared_ptr<IMainDispatcher> FDispatcher;
    bool FBusy = false;
};

} // namespace velmora
