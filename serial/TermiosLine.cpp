// The line backend over a kernel tty. Why it looks as it does:
// - termios2 (TCGETS2/TCSETS2 with BOTHER) sets any bit rate, not just the B-constants;
//   <asm/termbits.h> clashes with glibc's <termios.h>, so this file uses only the former.
// - The descriptor is non-blocking with VMIN=1, so read() returning 0 means the other end
//   hung up (a pseudo-terminal's master closed, a USB adapter unplugged).
// - The receive thread needs Windows' EV_RXCHAR, "new bytes arrived", not "bytes are
//   waiting": a level-triggered poll() would wake again and again while the window has not
//   read yet. epoll in edge-triggered mode wakes once per arrival (the tty line discipline
//   wakes its readers on every receive).
// - Modem lines, BREAK and line errors have no poll() event on Linux. The driver's
//   interrupt counters (TIOCGICOUNT) and the line levels (TIOCMGET) are sampled on each
//   wake-up and every 50 ms; a pseudo-terminal has neither, and then the wait has no time-out.
#include "TermiosLine.h"

#include <asm/termbits.h>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace
{

int ErrnoResult()
{
    return errno ? -errno : -EIO;
}

int BitsForSize(int charSize)
{
    switch (charSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    case 8:
        return CS8;
    default:
        return -1;
    }
}

} // namespace

TTermiosLine::~TTermiosLine()
{
    Close();
}

int TTermiosLine::Open(const QString &devicePath)
{
    if (m_fd >= 0)
        return -EBUSY;
    if (devicePath.isEmpty())
        return -ENOENT;
    const QByteArray path = devicePath.toLocal8Bit();
    int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ErrnoResult();
    // No sharing, as the Windows port: a second component or station fails on the lock,
    // and TIOCEXCL makes the kernel refuse every further open of the tty (EBUSY), so a
    // terminal program or ModemManager, which do not look at locks, cannot take the
    // timer's bytes either. Only root passes TIOCEXCL.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno == EWOULDBLOCK ? -EBUSY : ErrnoResult();
        ::close(fd);
        return err;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) { // also tells a non-tty apart
        int err = ErrnoResult();
        ::close(fd);
        return err;
    }
    struct termios2 tio {
    };
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        int err = ErrnoResult();
        ::close(fd);
        return err;
    }
    // Raw bytes: no echo, no line editing, no translation, no signals; BREAK is not put
    // into the data (it is counted by the driver and reported as an event).
    tio.c_iflag = IGNBRK;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(fd, TCSETS2, &tio) != 0) {
        int err = ErrnoResult();
        ::close(fd);
        return err;
    }
    ::ioctl(fd, TCFLSH, TCIFLUSH); // what arrived before we opened is not ours

    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epoll < 0) {
        int err = ErrnoResult();
        ::close(fd);
        return err;
    }
    struct epoll_event ev {
    };
    ev.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    ev.data.fd = fd;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
        int err = ErrnoResult();
        ::close(m_epoll);
        m_epoll = -1;
        ::close(fd);
        return err;
    }
    m_fd = fd;
    m_epollWake = -1;
    m_hungUp = false;
    m_hasModemLines = ::ioctl(fd, TIOCMGET, &m_modemLines) == 0;
    m_hasCounts = ReadCounts(m_eventCounts);
    m_errorCounts = m_eventCounts;
    return 0;
}

void TTermiosLine::Close()
{
    if (m_epoll >= 0)
        ::close(m_epoll);
    if (m_fd >= 0) {
        ::ioctl(m_fd, TIOCNXCL); // another root process may still hold the tty
        ::close(m_fd);           // also releases the flock
    }
    m_epoll = -1;
    m_fd = -1;
    m_epollWake = -1;
}

int TTermiosLine::SetupBuffers(int inQueue, int outQueue)
{
    // Linux has no driver queue sizes to set: the sizes are accepted and kept by the
    // component (BufLenReceive still drives the XON/XOFF limits of the record).
    if (m_fd < 0)
        return -EBADF;
    return inQueue > 0 && outQueue > 0 ? 0 : -EINVAL;
}

int TTermiosLine::GetConfig(TLineConfig &config)
{
    struct termios2 tio {
    };
    if (::ioctl(m_fd, TCGETS2, &tio) != 0)
        return ErrnoResult();
    config.bitRate = int(tio.c_ospeed);
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        config.charSize = 5;
        break;
    case CS6:
        config.charSize = 6;
        break;
    case CS7:
        config.charSize = 7;
        break;
    default:
        config.charSize = 8;
        break;
    }
    config.parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
    config.stopBits = (tio.c_cflag & CSTOPB) ? (config.charSize == 5 ? 1 : 2) : 0;
    config.flow = (tio.c_cflag & CRTSCTS) ? TLineFlow::RtsCts
                  : (tio.c_iflag & IXON)  ? TLineFlow::XonXoff
                                          : TLineFlow::None;
    config.xonChar = tio.c_cc[VSTART];
    config.xoffChar = tio.c_cc[VSTOP];
    return 0;
}

int TTermiosLine::SetConfig(const TLineConfig &config, TLineField changed)
{
    struct termios2 tio {
    };
    if (::ioctl(m_fd, TCGETS2, &tio) != 0)
        return ErrnoResult();
    const int size = BitsForSize(config.charSize);
    if (config.bitRate <= 0 || size < 0 || config.parity < 0 || config.parity > 2)
        return -EINVAL;
    // One and a half stop bits exist only with 5 data bits (CSTOPB gives 1.5 there).
    if (config.stopBits < 0 || config.stopBits > 2 || (config.stopBits == 1 && config.charSize != 5))
        return -EINVAL;

    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | tcflag_t(size) | CREAD | CLOCAL;
    tio.c_ispeed = tio.c_ospeed = speed_t(config.bitRate);
    if (config.parity)
        tio.c_cflag |= PARENB | (config.parity == 1 ? PARODD : 0);
    if (config.stopBits)
        tio.c_cflag |= CSTOPB;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (config.flow == TLineFlow::RtsCts)
        tio.c_cflag |= CRTSCTS;
    if (config.flow == TLineFlow::XonXoff)
        tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = config.xonChar;
    tio.c_cc[VSTOP] = config.xoffChar;
    if (::ioctl(m_fd, TCSETS2, &tio) != 0)
        return ErrnoResult();

    // The kernel takes what it cannot do without a word (a pseudo-terminal keeps CS8 and
    // drops parity): read the record back and refuse a setting that did not stick.
    struct termios2 got {
    };
    if (::ioctl(m_fd, TCGETS2, &got) != 0)
        return ErrnoResult();
    auto same = [&](tcflag_t bits) { return (got.c_cflag & bits) == (tio.c_cflag & bits); };
    const bool all = changed == TLineField::All;
    if ((all || changed == TLineField::BitRate) &&
        (got.c_ospeed == 0 || qAbs(double(got.c_ospeed) - config.bitRate) > config.bitRate * 0.03))
        return -EINVAL;
    if ((all || changed == TLineField::CharSize) && !same(CSIZE))
        return -EINVAL;
    if ((all || changed == TLineField::Parity) && !same(PARENB | PARODD))
        return -EINVAL;
    if ((all || changed == TLineField::StopBits) && !same(CSTOPB))
        return -EINVAL;

    if (all || changed == TLineField::Flow) {
        // DTR is raised in every mode (the DCB's "DTR enabled" or "DTR handshake"); RTS
        // rests low only in the half-duplex mode that raises it for a burst. A line without
        // modem lines (a pseudo-terminal) refuses these calls, which is not an error here.
        SetDtr(true);
        SetRts(config.flow != TLineFlow::HalfHigh);
    }
    return 0;
}

int TTermiosLine::PurgeOutput()
{
    return ::ioctl(m_fd, TCFLSH, TCOFLUSH) == 0 ? 0 : ErrnoResult();
}

int TTermiosLine::PurgeInput()
{
    return ::ioctl(m_fd, TCFLSH, TCIFLUSH) == 0 ? 0 : ErrnoResult();
}

int TTermiosLine::SetRts(bool on)
{
    int bits = TIOCM_RTS;
    return ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : ErrnoResult();
}

int TTermiosLine::SetDtr(bool on)
{
    int bits = TIOCM_DTR;
    return ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : ErrnoResult();
}

int TTermiosLine::InQueue()
{
    int count = 0;
    if (::ioctl(m_fd, FIONREAD, &count) != 0)
        return ErrnoResult();
    return count;
}

bool TTermiosLine::ReadCounts(Counts &counts) const
{
    struct serial_icounter_struct ic {
    };
    if (m_fd < 0 || ::ioctl(m_fd, TIOCGICOUNT, &ic) != 0)
        return false;
    counts = {ic.cts, ic.dsr, ic.rng, ic.dcd, ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    return true;
}

unsigned TTermiosLine::TakeErrors()
{
    std::lock_guard<std::mutex> lock(m_errorLock);
    Counts now;
    if (!m_hasCounts || !ReadCounts(now))
        return 0;
    unsigned bits = 0;
    if (now.overrun != m_errorCounts.overrun || now.bufOverrun != m_errorCounts.bufOverrun)
        bits |= CommCe::Overrun;
    if (now.parity != m_errorCounts.parity)
        bits |= CommCe::RxParity;
    if (now.frame != m_errorCounts.frame)
        bits |= CommCe::Frame;
    m_errorCounts = now;
    return bits;
}

long TTermiosLine::Read(char *buffer, long count)
{
    if (count <= 0)
        return 0;
    ssize_t n = ::read(m_fd, buffer, size_t(count));
    if (n > 0)
        return long(n);
    if (n == 0)
        return -EPIPE; // VMIN=1: end of file is a hang-up
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    return errno == EIO ? -EPIPE : ErrnoResult(); // a pseudo-terminal whose master closed
}

void TTermiosLine::WaitReadable(int ms)
{
    struct pollfd p = {m_fd, POLLIN, 0};
    ::poll(&p, 1, ms);
}

int TTermiosLine::ModemStatus()
{
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) != 0)
        return ErrnoResult();
    return ((lines & TIOCM_CTS) ? CommMs::Cts : 0) | ((lines & TIOCM_DSR) ? CommMs::Dsr : 0) |
           ((lines & TIOCM_RI) ? CommMs::Ring : 0) | ((lines & TIOCM_CD) ? CommMs::Rlsd : 0);
}

long TTermiosLine::WriteSome(const char *data, long count)
{
    ssize_t n = ::write(m_fd, data, size_t(count));
    if (n >= 0)
        return long(n);
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    return ErrnoResult();
}

void TTermiosLine::WaitWritable(int ms, int wakeFd)
{
    struct pollfd p[2] = {{m_fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
    ::poll(p, 2, ms);
}

unsigned TTermiosLine::WaitEvent(int wakeFd)
{
    if (m_hungUp) {
        // Nothing more will come from this port; do not spin on its hang-up state.
        struct pollfd p = {wakeFd, POLLIN, 0};
        ::poll(&p, 1, -1);
        return 0;
    }
    if (m_epollWake != wakeFd) {
        struct epoll_event ev {
        };
        ev.events = EPOLLIN;
        ev.data.fd = wakeFd;
        if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, wakeFd, &ev) != 0 && errno != EEXIST)
            return 0;
        m_epollWake = wakeFd;
    }
    const int timeout = (m_hasModemLines || m_hasCounts) ? 50 : -1;
    for (;;) {
        struct epoll_event evs[4];
        int n = ::epoll_wait(m_epoll, evs, 4, timeout);
        if (n < 0 && errno != EINTR)
            return 0;
        unsigned mask = 0;
        bool woken = false;
        for (int i = 0; i < n; ++i) {
            if (evs[i].data.fd == wakeFd) {
                woken = true;
                continue;
            }
            if (evs[i].events & EPOLLIN)
                mask |= CommEv::RxChar;
            if (evs[i].events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP))
                mask |= CommEv::HangUp;
        }
        if (m_hasModemLines) {
            int lines = 0;
            if (::ioctl(m_fd, TIOCMGET, &lines) == 0) {
                const int changed = lines ^ m_modemLines;
                if (changed & TIOCM_CTS)
                    mask |= CommEv::Cts;
                if (changed & TIOCM_DSR)
                    mask |= CommEv::Dsr;
                if (changed & TIOCM_CD)
                    mask |= CommEv::Rlsd;
                if (changed & TIOCM_RI)
                    mask |= CommEv::Ring;
                m_modemLines = lines;
            } else if (errno == EIO || errno == ENODEV) {
                mask |= CommEv::HangUp;
            }
        }
        Counts now;
        if (m_hasCounts && ReadCounts(now)) {
            // Pulses shorter than the sampling period still move the counters.
            if (now.cts != m_eventCounts.cts)
                mask |= CommEv::Cts;
            if (now.dsr != m_eventCounts.dsr)
                mask |= CommEv::Dsr;
            if (now.dcd != m_eventCounts.dcd)
                mask |= CommEv::Rlsd;
            if (now.rng != m_eventCounts.rng)
                mask |= CommEv::Ring;
            if (now.brk != m_eventCounts.brk)
                mask |= CommEv::Break;
            if (now.frame != m_eventCounts.frame || now.overrun != m_eventCounts.overrun ||
                now.parity != m_eventCounts.parity || now.bufOverrun != m_eventCounts.bufOverrun)
                mask |= CommEv::Err;
            m_eventCounts = now;
        }
        if (mask & CommEv::HangUp) {
            m_hungUp = true;
            ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, m_fd, nullptr);
            if (InQueue() <= 0)
                mask &= ~CommEv::RxChar;
        }
        if (mask)
            return mask;
        if (woken)
            return 0;
    }
}
