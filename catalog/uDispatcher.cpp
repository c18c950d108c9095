#include "catalog/uDispatcher.h"

namespace velmora {

TLoopDispatcher::TLoopDispatcher() : FMainThread(std::this_thread::get_id()) {}

TLoopDispatcher::~TLoopDispatcher() {
    Shutdown();
}

bool TLoopDispatcher::RunOnMain(const std::function<void()>& step) {
    std::unique_lock<std::mutex> lock(FLock);
    if (FShutDown)
        return false;
    if (std::this_thread::get_id() == FMainThread) {
        // Queuing it here would wait for ourselves.
        lock.unlock();
        step();
        return true;
    }
    TRequest request{&step};
    FQueue.push_back(&request);
    FWork.notify_one();
    Wake();
    FDone.wait(lock, [&] { return request.Finished; });
    return request.Ran;
}

bool TLoopDispatcher::RunOne(std::unique_lock<std::mutex>& lock) {
    if (FQueue.empty())
        return false;
    TRequest* request = FQueue.front();
    FQueue.pop_front();
    lock.unlock();
    bool ran = true;
    try {
        (*request->Step)();
    } catch (...) {
        // An error must not leave the main loop; the worker learns the step failed.
        ran = false;
    }
    lock.lock();
    // The worker may return and free the request as soon as it sees Finished.
    request->Ran = ran;
    request->Finished = true;
    FDone.notify_all();
    return true;
}

std::size_t TLoopDispatcher::RunPending() {
    std::unique_lock<std::mutex> lock(FLock);
    std::size_t waiting = FQueue.size();
    std::size_t ran = 0;
    while (ran < waiting && RunOne(lock))
        ++ran;
    return ran;
}

bool TLoopDispatcher::RunUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        lock.unlock();
        bool finished = done();
        lock.lock();
        if (finished)
            return true;
        bool arrived =
            FWork.wait_until(lock, deadline, [&] { return !FQueue.empty() || FShutDown; });
        if (!arrived || FQueue.empty()) {
            // Timed out, or shut down with nothing left that could change done().
            lock.unlock();
            return done();
        }
        RunOne(lock);
    }
}

void TLoopDispatcher::Shutdown() {
    std::lock_guard<std::mutex> lock(FLock);
    if (!FShutDown)
        OnShutdown();
    FShutDown = true;
    for (TRequest* request : FQueue)
        request->Finished = true;
    FQueue.clear();
    FDone.notify_all();
    FWork.notify_all();
}

} // namespace velmora
