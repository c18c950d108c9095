#pragma once
// The main-thread dispatcher of the program: a worker hands a step to the Qt
// main thread and waits for it. Once shut down (the main window is gone) it
// refuses every step without blocking, and releases workers already waiting.
#include "catalog/uDispatcher.h"

#include <QObject>

#include <thread>

namespace velmora {

class TQtDispatcher;

// Receives the posted wake-ups on the main thread. The call is posted by name,
// so the main thread reads nothing that a worker allocated: Qt's event queue,
// which ThreadSanitizer cannot look into, is the only hand-over, and the steps
// themselves pass through the dispatcher's own lock.
class TDispatchReceiver : public QObject {
    Q_OBJECT
public:
    explicit TDispatchReceiver(TQtDispatcher& dispatcher) : FDispatcher(dispatcher) {}
    Q_INVOKABLE void RunPending();

private:
    TQtDispatcher& FDispatcher;
};

class TQtDispatcher : public TLoopDispatcher {
public:
    // Create on the main thread, and shut down there.
    TQtDispatcher();
    ~TQtDispatcher() override;

protected:
    // Posts a call of RunPending to the event loop.
    void Wake() override;
    // Deleting the receiver drops the calls still queued for it.
    void OnShutdown() override;

private:
    const std::thread::id FMainThread;
    TDispatchReceiver* FReceiver; // lives on the main thread; deleted at shutdown
};

} // namespace velmora
