#pragma once
// The main-thread dispatcher of the program: a worker hands a step to the Qt
// main thread and waits for it. Once shut down (the main window is gone) it
// refuses every step without blocking, and releases workers already waiting.
#include "catalog/uDispatcher.h"

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velmora {

class TQtDispatcher : public IMainDispatcher {
public:
    // Create on the main thread.
    TQtDispatcher();
    ~TQtDispatcher() override;
    TQtDispatcher(const TQtDispatcher&) = delete;
    TQtDispatcher& operator=(const TQtDispatcher&) = delete;

    bool RunOnMain(const std::function<void()>& step) override;
    // Main thread.
    void Shutdown();

private:
    struct TRequest {
        const std::function<void()>* Step;
        bool Finished = false;
        bool Ran = false;
    };
    void RunPending();

    const std::thread::id FMainThread;
    QObject* FReceiver; // lives on the main thread; deleted at shutdown
    std::mutex FLock;
    std::condition_variable FDone;
    std::deque<TRequest*> FQueue;
    bool FShutDown = false;
};

} // namespace velmora
