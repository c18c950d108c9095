#pragma once
// How worker threads get a step run on the main thread: they hand it over and
// wait until it has run. Workers may outlive the main window, so a dispatcher
// that has shut down refuses every later step at once instead of blocking.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora {

class IMainDispatcher {
public:
    virtual ~IMainDispatcher() = default;
    // Runs `step` on the main thread and returns true once it has run. After
    // shutdown it returns false at once and the step never runs. A step handed
    // over from the main thread itself runs directly.
    //
    // A Qt implementation is a blocking queued call to an object of the main
    // thread; destroying that object at shutdown drops the queued calls and so
    // releases the waiting workers.
    virtual bool RunOnMain(const std::function<void()>& step) = 0;
};

// A dispatcher with a loop of its own, for programs without an event loop (the
// command-line tool) and for tests. The thread that creates it is its main
// thread and runs the steps inside RunPending or RunUntil. A program with an
// event loop derives from it and lets Wake post a call of RunPending.
class TLoopDispatcher : public IMainDispatcher {
public:
    TLoopDispatcher();
    ~TLoopDispatcher() override;
    TLoopDispatcher(const TLoopDispatcher&) = delete;
    TLoopDispatcher& operator=(const TLoopDispatcher&) = delete;

    bool RunOnMain(const std::function<void()>& step) override;

    // Main thread: runs the steps waiting now; returns how many ran.
    std::size_t RunPending();
    // Main thread: runs steps as they arrive until `done` returns true (checked
    // after every step) or the time-out passes. Returns the last value of done().
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

    // Any thread: refuses all later steps and releases every worker waiting for
    // a step that has not run. Steps run only on the main thread, so once the
    // main thread has called it no step runs any more.
    void Shutdown();

protected:
    // Called on the worker's thread after it queued a step, before it waits,
    // with the dispatcher's lock held: OnShutdown cannot run meanwhile. It must
    // not call back into the dispatcher.
    virtual void Wake() {}
    // Called once, by the first Shutdown, with the lock held.
    virtual void OnShutdown() {}

private:
    struct TRequest {
        const std::function<void()>* Step;
        bool Finished = false; // ran, or was dropped at shutdown
        bool Ran = false;
    };

    bool RunOne(std::unique_lock<std::mutex>& lock);

    const std::thread::id FMainThread;
    std::mutex FLock;
    std::condition_variable FWork; // a step arrived, or shutdown
    std::condition_variable FDone; // a request finished
    std::deque<TRequest*> FQueue;
    bool FShutDown = false;
};

} // namespace velmora
