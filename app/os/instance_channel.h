// The line between a second start of the version manager and the instance that runs: the
// running instance listens on a local socket beside its single-instance lock file
// ("<name>.sock" where the lock is "<name>.lock"); a second start connects, asks the
// running window to come to the front, and ends. The socket is only ever written the one
// request "show"; anything else is ignored. User-interface thread only.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace filever {

class TInstanceChannel : public QObject {
    Q_OBJECT
public:
    // The channel of the instance that holds the lock called `name`.
    explicit TInstanceChannel(const QString& name, QObject* parent = nullptr);
    ~TInstanceChannel() override;

    // Starts listening; only the holder of the single-instance lock may call it, which
    // makes a socket file left by an instance that died safe to replace. False, with the
    // reason in `error`, when the socket cannot be made (the program runs all the same).
    bool Listen(QString* error = nullptr);

    // A second start: asks the instance holding the lock `name` to show its window. False
    // when no instance answered within `timeoutMs`.
    static bool AskRunningInstanceToShow(const QString& name, int timeoutMs = 2000);

    // The socket's path for the lock `name`.
    static QString SocketPath(const QString& name);

signals:
    // A second start asked for the window.
    void ShowRequested();

private:
    void Accept();

    QString name_;
    QLocalServer* server_;
};

}  // namespace filever
