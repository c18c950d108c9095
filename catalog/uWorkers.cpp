#include "catalog/uWorkers.h"

#include <thread>

namespace velmora {

std::shared_ptr<TWorkerGroup> TWorkerGroup::Create() {
    return std::shared_ptr<TWorkerGroup>(new TWorkerGroup());
}

bool TWorkerGroup::Start(std::function<void()> body) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (Abandoned())
            return false;
        ++FRunning;
    }
    try {
        std::thread([self = shared_from_this(), body = std::move(body)]() mutable {
            try {
                body();
            } catch (...) {
            }
            // What the body owns goes first: a waiter released by Leave may
            // rely on it being gone.
            body = nullptr;
            self->Leave();
        }).detach();
        return true;
    } catch (...) {
        Leave();
        return false;
    }
}

void TWorkerGroup::Abandon() {
    std::lock_guard<std::mutex> lock(FLock);
    FAbandoned.store(true, std::memory_order_release);
}

int TWorkerGroup::Running() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FRunning;
}

bool TWorkerGroup::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(FLock);
    return FIdle.wait_for(lock, timeout, [this] { return FRunning == 0; });
}

void TWorkerGroup::Leave() {
    std::lock_guard<std::mutex> lock(FLock);
    if (--FRunning == 0)
        FIdle.notify_all();
}

void TThreadCount::Started() {
    std::lock_guard lock(FLock);
    ++FRunning;
}

void TThreadCount::Ended() {
    std::lock_guard lock(FLock);
    --FRunning;
    FEnded.notify_all();
}

int TThreadCount::Running() const {
    std::lock_guard lock(FLock);
    return FRunning;
}

bool TThreadCount::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(FLock);
    return FEnded.wait_for(lock, timeout, [&] { return FRunning == 0; });
}

} // namespace velmora
