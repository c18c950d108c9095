#include "app/uSingleInstance.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <string>

#include <windows.h>

namespace velmora {

namespace {

// Message 1349 reaches the window procedure of one of the program's windows;
// the filter sees it before Qt does.
class TRestoreFilter : public QAbstractNativeEventFilter {
public:
    explicit TRestoreFilter(TSingleInstance& owner) : FOwner(owner) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override {
        if (type != "windows_generic_MSG")
            return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != TSingleInstance::RestoreWindowMessage)
            return false;
        if (FOwner.OnRestore)
            FOwner.OnRestore();
        if (result)
            *result = 0;
        return true;
    }

private:
    TSingleInstance& FOwner;
};

} // namespace

TSingleInstance::TSingleInstance(const QString& name, QObject* parent)
    : QObject(parent), FName(name) {}

TSingleInstance::~TSingleInstance() {
    if (FFilter && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(FFilter.get());
    if (FMutex)
        CloseHandle(static_cast<HANDLE>(FMutex));
}

QString TSingleInstance::ServerName() const {
    return FName;
}

bool TSingleInstance::Acquire(int timeoutMs) {
    const std::wstring name = FName.toStdWString();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) {
        FMutex = mutex;
        FFilter = std::make_unique<TRestoreFilter>(*this);
        QCoreApplication::instance()->installNativeEventFilter(FFilter.get());
        return true;
    }
    if (mutex)
        CloseHandle(mutex);
    SendRestore(timeoutMs);
    return false;
}

void TSingleInstance::AcceptRequests() {}

bool TSingleInstance::SendRestore(int timeoutMs) {
    // No window with the caption: the running instance has none yet, or is
    // ending; this one just ends.
    HWND window = FindWindowW(nullptr, WindowCaption);
    if (!window)
        return false;
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, RestoreWindowMessage, 0, 0, SMTO_ABORTIFHUNG,
                               UINT(timeoutMs), &answer) != 0;
}

} // namespace velmora
