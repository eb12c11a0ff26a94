#include "app/os/instance_channel.h"

#include <QLocalServer>
#include <QLocalSocket>

#include "app/os/single_instance.h"

namespace filever {

namespace {
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
}

TInstanceChannel::TInstanceChannel(const QString& name, QObject* parent)
    : QObject(parent), name_(name), server_(new QLocalServer(this)) {
    // Only this user may connect.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &TInstanceChannel::Accept);
}

TInstanceChannel::~TInstanceChannel() = default;

QString TInstanceChannel::SocketPath(const QString& name) {
    QString path = TSingleInstanceLock::LockFilePath(name);
    if (path.endsWith(QStringLiteral(".lock"))) path.chop(5);
    return path + QStringLiteral(".sock");
}

bool TInstanceChannel::Listen(QString* error) {
    const QString path = SocketPath(name_);
    // A socket file that is still there belongs to an instance that died: this process
    // holds the lock, so no other instance listens on it.
    QLocalServer::removeServer(path);
    if (server_->listen(path)) return true;
    if (error) *error = server_->errorString();
    return false;
}

bool TInstanceChannel::AskRunningInstanceToShow(const QString& name, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(SocketPath(name));
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(kShowRequest);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return sent;
}

void TInstanceChannel::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto read = [this, socket] {
            // One short request per connection; a longer stream is not ours.
            if (socket->bytesAvailable() > 64) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine()) return;
            if (socket->readLine(64) == kShowRequest) emit ShowRequested();
            socket->disconnectFromServer();
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        read();  // the request may be here already
    }
}

}  // namespace filever
