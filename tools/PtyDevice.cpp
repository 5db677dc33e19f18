#include "PtyDevice.h"

#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

TPtyDevice::TPtyDevice(const QString &device, int bitsPerSecond) : m_bitsPerSecond(bitsPerSecond)
{
    if (device.isEmpty()) {
        int master = -1, slave = -1;
        char name[256] = {0};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error(std::string("openpty: ") + strerror(errno));
        // Raw on the station's side from the start: a CR must not become a line feed even
        // for bytes written before the station configures the port.
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        m_fd = master;
        m_keepOpen = slave;
        m_path = QString::fromLocal8Bit(name);
    } else {
        m_fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            throw std::runtime_error(std::string("open ") + device.toStdString() + ": " + strerror(errno));
        m_path = device;
    }
}

TPtyDevice::~TPtyDevice()
{
    if (m_keepOpen >= 0)
        ::close(m_keepOpen);
    if (m_fd >= 0)
        ::close(m_fd);
}

void TPtyDevice::write(const QByteArray &bytes)
{
    const unsigned long perByteUs = 10UL * 1000000UL / unsigned(m_bitsPerSecond);
    for (char c : bytes) {
        while (::write(m_fd, &c, 1) < 0) {
            if (errno != EINTR && errno != EAGAIN)
                throw std::runtime_error(std::string("write: ") + strerror(errno));
            QThread::usleep(1000);
        }
        QThread::usleep(perByteUs);
    }
}
