#include "SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

static QString runtimeFolder()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    QDir().mkpath(dir);
    return dir;
}

TSingleInstance::TSingleInstance(const QString &key, QObject *parent)
    : QObject(parent), m_key(QStringLiteral("%1-%2").arg(key).arg(getuid()))
{
    m_lock = std::make_unique<QLockFile>(runtimeFolder() + QLatin1Char('/') + m_key + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);  // only a live process holds the marker
}

TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::claim()
{
    if (m_lock->tryLock(0)) {
        listen();
        return true;
    }
    // Held by a live copy (a dead one's lock would have been taken over above).
    if (askRunningCopy())
        return false;
    // The holder does not answer: no window to bring forward, so start normally.
    listen();
    return true;
}

bool TSingleInstance::askRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write("raise\n");
    socket.flush();
    if (!socket.waitForReadyRead(2000))
        return false;
    return socket.readAll().startsWith("ok");
}

void TSingleInstance::listen()
{
    QLocalServer::removeServer(m_key);  // a socket file left by a crashed copy
    m_server.listen(m_key);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server.nextPendingConnection()) {
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().startsWith("raise")) {
                    emit raiseRequested();
                    peer->write("ok\n");
                    peer->flush();
                }
                peer->disconnectFromServer();
            });
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        }
    });
}
