#include "app/uSingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace velmora {

namespace {

QString UserTag() {
    return QString::number(static_cast<qulonglong>(::getuid()));
}

} // namespace

TSingleInstance::TSingleInstance(const QString& name, QObject* parent)
    : QObject(parent), FName(name) {}

TSingleInstance::~TSingleInstance() {
    if (FServer)
        FServer->close();
}

QString TSingleInstance::ServerName() const {
    return FName + "-" + UserTag();
}

bool TSingleInstance::Acquire(int timeoutMs) {
    const QString lockPath = QDir(QDir::tempPath()).filePath(ServerName() + ".lock");
    FLock = std::make_unique<QLockFile>(lockPath);
    // A lock left by a crashed instance is taken over once its owner is gone.
    FLock->setStaleLockTime(0);
    if (!FLock->tryLock(0)) {
        FLock.reset();
        SendRestore(timeoutMs);
        return false;
    }
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(ServerName()); // a socket left by a crashed instance
    FServer->listen(ServerName());
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::AcceptRequests);
    return true;
}

void TSingleInstance::AcceptRequests() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const QByteArray line = socket->readLine(64).trimmed();
            if (line != RestoreMessage)
                return;
            if (OnRestore)
                OnRestore();
            // The sender waits for this answer, as SendMessage waits.
            socket->write("done\n");
            socket->flush();
        });
    }
}

bool TSingleInstance::SendRestore(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(ServerName());
    if (!socket.waitForConnected(timeoutMs))
        return false; // the running instance has no window yet, or is ending
    socket.write(QByteArray(RestoreMessage) + "\n");
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    const bool answered = socket.waitForReadyRead(timeoutMs);
    socket.disconnectFromServer();
    return answered;
}

} // namespace velmora
