#pragma once
// One running instance per user. A lock file stands in for the named mutex and
// a local socket for the restore message: a second start asks the running
// instance to restore its window, waits until it has, and ends.
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
};

} // namespace velmora
