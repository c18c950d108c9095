#include "app/uQtDispatcher.h"

#include <QMetaObject>

namespace velmora {

void TDispatchReceiver::RunPending() {
    FDispatcher.RunPending();
}

TQtDispatcher::TQtDispatcher()
    : FMainThread(std::this_thread::get_id()), FReceiver(new TDispatchReceiver(*this)) {}

TQtDispatcher::~TQtDispatcher() {
    // Workers keep the dispatcher alive, so the last of them may free it on its
    // own thread; by then the main thread has shut it down.
    if (std::this_thread::get_id() == FMainThread)
        Shutdown();
}

void TQtDispatcher::Wake() {
    // Posted under the dispatcher's lock: OnShutdown cannot delete the
    // receiver meanwhile.
    QMetaObject::invokeMethod(FReceiver, "RunPending", Qt::QueuedConnection);
}

void TQtDispatcher::OnShutdown() {
    delete FReceiver;
    FReceiver = nullptr;
}

} // namespace velmora
