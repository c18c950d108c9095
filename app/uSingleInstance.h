#pragma once
// One running instance per user. On Windows the named mutex marks the running
// instance and window message 1349 to the window captioned "Velmora" asks it
// to restore itself; elsewhere a lock file stands in for the mutex and a local
// socket for the message. A second start asks the running instance to restore
// its window, waits until it has, and ends.
#include <QAbstractNativeEventFilter>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;

namespace velmora {

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // The message a second instance sends (window message 1349).
    static constexpr const char* RestoreMessage = "1349";
    static constexpr unsigned RestoreWindowMessage = 1349;
    // The caption of the window a restore request goes to (Windows).
    static constexpr const wchar_t* WindowCaption = L"Velmora";

    // name: the instance name ("Velmora.exe"); the lock file and the socket
    // are named after it and the user.
    explicit TSingleInstance(const QString& name, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // True when this is the first instance: it holds the lock and listens for
    // restore requests. False when another instance runs; the restore request
    // has then been delivered (or there was nobody to deliver it to).
    bool Acquire(int timeoutMs = 3000);

    // Runs on the main thread for each restore request of a later start.
    std::function<void()> OnRestore;

    QString ServerName() const;

private:
    void AcceptRequests();
    bool SendRestore(int timeoutMs);

    QString FName;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer* FServer = nullptr;
    // Windows: the mutex handle and the filter that sees message 1349.
    void* FMutex = nullptr;
    std::unique_ptr<QAbstractNativeEventFilter> FFilter;
};

} // namespace velmora
