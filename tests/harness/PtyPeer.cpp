// Uses termios2 to read any bit rate back, so <termios.h> (and <pty.h>) stay out of here.
#include "PtyPeer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <asm/termbits.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

TPtyPeer::TPtyPeer(Writes writes)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        qFatal("no pseudo-terminal: %s", strerror(errno));
    if (writes == Writes::RunEventLoop && ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0)
        qFatal("pty non-blocking: %s", strerror(errno));
    m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
}

TPtyPeer::~TPtyPeer()
{
    HangUp();
}

void TPtyPeer::HangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void TPtyPeer::Write(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(m_master, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            // Full: the reader is in this thread and drains the line from the event loop.
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
            continue;
        }
        if (n < 0)
            qFatal("pty write: %s", strerror(errno));
        p += n;
        left -= n;
    }
}

QByteArray TPtyPeer::Read(int count, int timeoutMs)
{
    QByteArray out;
    while (out.size() < count) {
        struct pollfd p = {m_master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        char buf[4096];
        ssize_t n =
            ::read(m_master, buf, sizeof buf < size_t(count - out.size()) ? sizeof buf : size_t(count - out.size()));
        if (n <= 0)
            break;
        out.append(buf, int(n));
    }
    return out;
}

unsigned TPtyPeer::CFlag() const
{
    struct termios2 tio {
    };
    ::ioctl(m_master, TCGETS2, &tio);
    return tio.c_cflag;
}

unsigned TPtyPeer::IFlag() const
{
    struct termios2 tio {
    };
    ::ioctl(m_master, TCGETS2, &tio);
    return tio.c_iflag;
}

unsigned TPtyPeer::OutputSpeed() const
{
    struct termios2 tio {
    };
    ::ioctl(m_master, TCGETS2, &tio);
    return tio.c_ospeed;
}

TWorkFolder::TWorkFolder(const QMap<int, QString> &ports)
{
    m_previous = QDir::currentPath();
    QFile ini(m_dir.filePath(QStringLiteral("VidadIva.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Port]\r\nAlge=0\r\n[SerialPorts]\r\n");
    for (auto it = ports.cbegin(); it != ports.cend(); ++it)
        ini.write(QStringLiteral("COM%1=%2\r\n").arg(it.key()).arg(it.value()).toLocal8Bit());
    ini.close();
    QDir::setCurrent(m_dir.path());
    m_previousData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("share")).toLocal8Bit());
}

TWorkFolder::~TWorkFolder()
{
    QDir::setCurrent(m_previous);
    if (m_previousData.isEmpty())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", m_previousData);
}
