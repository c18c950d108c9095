#pragma once
// The worker threads of one owner (the main window, a run of the tool). Each
// worker runs on a thread of its own and frees itself; the group only counts
// them, so that the owner can tell them all to stop and wait, bounded, until
// the last one has cleaned up (a download removes its temporary file).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace velmora {

class TWorkerGroup : public std::enable_shared_from_this<TWorkerGroup> {
public:
    static std::shared_ptr<TWorkerGroup> Create();

    TWorkerGroup(const TWorkerGroup&) = delete;
    TWorkerGroup& operator=(const TWorkerGroup&) = delete;

    // Runs `body` on a new thread that counts as running until everything the
    // body owned has been destroyed. Returns false, without running it, when
    // the group has been abandoned or no thread could be started. The thread
    // keeps the group alive; the body must not let an exception escape (one
    // that does is swallowed).
    bool Start(std::function<void()> body);

    // Any thread: asks every worker to stop as soon as it can; no worker
    // starts any more. Workers look at Abandoned() while they wait.
    void Abandon();
    bool Abandoned() const { return FAbandoned.load(std::memory_order_acquire); }

    int Running() const;
    // Waits until no worker of the group runs, at most `timeout`. Returns
    // whether none runs.
    bool WaitIdle(std::chrono::milliseconds timeout);

private:
    TWorkerGroup() = default;
    void Leave();

    std::atomic<bool> FAbandoned{false};
    mutable std::mutex FLock;
    std::condition_variable FIdle;
    int FRunning = 0;
};

// Counts the running threads of one kind (not owned by a group: each frees
// itself), so that the end of the program and tests can wait for them.
class TThreadCount {
public:
    void Started();
    void Ended();
    int Running() const;
    // True when none runs, after waiting at most `timeout`.
    bool WaitIdle(std::chrono::milliseconds timeout);

private:
    mutable std::mutex FLock;
    std::condition_variable FEnded;
    int FRunning = 0;
};

} // namespace velmora
