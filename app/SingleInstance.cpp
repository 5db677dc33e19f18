#include "SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QThread>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// A folder (not a link to one) of this user that no other user may enter or list.
bool isPrivateFolder(const QString &path)
{
    struct stat st {
    };
    return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

// Makes the folder with mode 0700 when it is missing; a name somebody else holds, or a
// folder others may enter, is not taken.
bool makePrivateFolder(const QString &path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return isPrivateFolder(path);
}

} // namespace

QString TSingleInstance::PrivateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime))
        return runtime;
    const QString uid = QString::number(::getuid());
    const QString inTemp = QDir::tempPath() + QStringLiteral("/midstation-run-") + uid;
    if (makePrivateFolder(inTemp))
        return inTemp;
    const QString cache = QDir::homePath() + QStringLiteral("/.cache");
    QDir().mkpath(cache);
    const QString inHome = cache + QStringLiteral("/midstation-run");
    return makePrivateFolder(inHome) ? inHome : QString();
}

TSingleInstance::TSingleInstance(const QString &key, QObject *parent)
    : QObject(parent), m_key(QStringLiteral("%1-%2").arg(key).arg(getuid()))
{
    const QString folder = PrivateFolder();
    if (folder.isEmpty())
        return;
    m_socketPath = folder + QLatin1Char('/') + m_key + QStringLiteral(".socket");
    m_lock = std::make_unique<QLockFile>(folder + QLatin1Char('/') + m_key + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // only a live process holds the marker
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
}

TSingleInstance::~TSingleInstance() = default;

TSingleInstance::Start TSingleInstance::claim()
{
    // No folder of the user's own (a home that cannot be written): the copy runs without
    // the guard rather than not at all.
    if (!m_lock) {
        qWarning("midstation: no private folder for the running-copy marker; a second copy is not kept out");
        return Start::Go;
    }
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
        socket.connectToServer(m_socketPath);
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
    QLocalServer::removeServer(m_socketPath);
    m_server.listen(m_socketPath);
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
