#include "SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
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
    m_lock->setStaleLockTime(0); // only a live process holds the marker
}

TSingleInstance::~TSingleInstance() = default;

TSingleInstance::Start TSingleInstance::claim()
{
    if (m_lock->tryLock(0)) {
        listen();
        return Start::Go;
    }
    // Held by a live copy (a dead one's lock would have been taken over above).
    if (askRunningCopy())
        return Start::Raised;
    // No answer. The copy may have ended meanwhile: then its marker is free now.
    if (m_lock->tryLock(0)) {
        listen();
        return Start::Go;
    }
    // It lives but is busy (its window thread waits in a statement): a second copy would
    // take its socket and run beside it, so this start ends.
    return Start::Refused;
}

bool TSingleInstance::askRunningCopy()
{
    QElapsedTimer waited;
    waited.start();
    QLocalSocket socket;
    // A copy that has just started may not listen yet.
    for (;;) {
        socket.connectToServer(m_key);
        if (socket.waitForConnected(1000))
            break;
        if (waited.elapsed() >= AnswerTimeoutMs)
            return false;
        QThread::msleep(100);
    }
    socket.write("raise\n");
    socket.flush();
    while (waited.elapsed() < AnswerTimeoutMs) {
        if (socket.waitForReadyRead(int(qMax<qint64>(1, AnswerTimeoutMs - waited.elapsed()))))
            return socket.readAll().startsWith("ok");
        if (socket.state() != QLocalSocket::ConnectedState)
            return false;
    }
    return false;
}

void TSingleInstance::listen()
{
    // Only the marker's holder gets here: a socket file left now is a crashed copy's.
    QLocalServer::removeServer(m_key);
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
