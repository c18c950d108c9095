#include "app/uQtDispatcher.h"

#include <QMetaObject>

namespace velmora {

TQtDispatcher::TQtDispatcher() : FMainThread(std::this_thread::get_id()), FReceiver(new QObject) {}

TQtDispatcher::~TQtDispatcher() {
    // Workers keep the dispatcher alive, so the last of them may free it on its
    // own thread; by then the main thread has shut it down.
    if (std::this_thread::get_id() == FMainThread)
        Shutdown();
}

bool TQtDispatcher::RunOnMain(const std::function<void()>& step) {
    std::unique_lock<std::mutex> lock(FLock);
    if (FShutDown)
        return false;
    if (std::this_thread::get_id() == FMainThread) {
        lock.unlock();
        step();
        return true;
    }
    TRequest request{&step};
    FQueue.push_back(&request);
    // Posted under the lock: Shutdown cannot delete the receiver meanwhile.
    QMetaObject::invokeMethod(
        FReceiver, [this] { RunPending(); }, Qt::QueuedConnection);
    FDone.wait(lock, [&] { return request.Finished; });
    return request.Ran;
}

void TQtDispatcher::RunPending() {
    std::unique_lock<std::mutex> lock(FLock);
    while (!FQueue.empty()) {
        TRequest* request = FQueue.front();
        FQueue.pop_front();
        lock.unlock();
        bool ran = true;
        try {
            (*request->Step)();
        } catch (...) {
            ran = false; // a step's error must not end the event loop
        }
        lock.lock();
        request->Ran = ran;
        request->Finished = true;
        FDone.notify_all();
    }
}

void TQtDispatcher::Shutdown() {
    QObject* receiver = nullptr;
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FShutDown)
            return;
        FShutDown = true;
        for (TRequest* request : FQueue)
            request->Finished = true; // Ran stays false
        FQueue.clear();
        FDone.notify_all();
        receiver = FReceiver;
        FReceiver = nullptr;
    }
    delete receiver; // drops the queued calls with it
}

} // namespace velmora
