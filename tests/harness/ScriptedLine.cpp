// The scripted line: a queue of wake-ups fed by the test, an input buffer the component
// reads, and a record of everything done to the line.
#include "ScriptedLine.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

class TScriptedLine : public TCommLine
{
public:
    explicit TScriptedLine(std::shared_ptr<TScriptedPort> port) : m_port(std::move(port)) {}
    ~TScriptedLine() override { Close(); }

    int Open(const QString &devicePath) override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        if (m_port->m_openError)
            return m_port->m_openError;
        m_port->m_path = devicePath;
        m_port->m_input.clear();
        m_port->m_errors = 0;
        m_port->m_open++;
        m_open = true;
        m_port->m_records.append({m_port->m_clock.elapsed(), QStringLiteral("open"), 0});
        return 0;
    }
    void Close() override
    {
        if (!m_open)
            return;
        m_open = false;
        m_port->Add(QStringLiteral("close"), 0);
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        m_port->m_open--;
    }
    int Descriptor() const override { return m_open ? m_port->m_eventFd : -1; }
    int SetupBuffers(int inQueue, int outQueue) override { return inQueue > 0 && outQueue > 0 ? 0 : -EINVAL; }
    int GetConfig(TLineConfig &config) override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        config = m_port->m_config;
        return 0;
    }
    int SetConfig(const TLineConfig &config, TLineField) override
    {
        if (config.bitRate <= 0 || config.charSize < 5 || config.charSize > 8)
            return -EINVAL;
        {
            std::lock_guard<std::mutex> lock(m_port->m_lock);
            m_port->m_config = config;
        }
        m_port->Add(QStringLiteral("config"), int(config.flow));
        return 0;
    }
    int PurgeOutput() override
    {
        m_port->Add(QStringLiteral("purge-out"), 0);
        return 0;
    }
    int PurgeInput() override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        m_port->m_input.clear();
        m_port->m_records.append({m_port->m_clock.elapsed(), QStringLiteral("purge-in"), 0});
        return 0;
    }
    int SetRts(bool on) override
    {
        m_port->Add(QStringLiteral("rts"), on);
        return 0;
    }
    int SetDtr(bool on) override
    {
        m_port->Add(QStringLiteral("dtr"), on);
        return 0;
    }
    int ModemStatus() override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        return m_port->m_modemStatus;
    }
    int InQueue() override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        return int(m_port->m_input.size());
    }
    unsigned TakeErrors() override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        unsigned errors = m_port->m_errors;
        m_port->m_errors = 0;
        return errors;
    }
    long Read(char *buffer, long count) override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        if (m_port->m_input.isEmpty())
            return m_hungUp ? -EPIPE : 0;
        long n = qMin<long>(count, m_port->m_input.size());
        memcpy(buffer, m_port->m_input.constData(), size_t(n));
        m_port->m_input.remove(0, int(n));
        return n;
    }
    void WaitReadable(int ms) override { ::usleep(useconds_t(qMin(ms, 1)) * 1000); }
    long WriteSome(const char *data, long count) override
    {
        std::lock_guard<std::mutex> lock(m_port->m_lock);
        if (!m_port->m_writable)
            return 0;
        m_port->m_written.append(data, int(count));
        m_port->m_records.append({m_port->m_clock.elapsed(), QStringLiteral("write"), int(count)});
        return count;
    }
    void WaitWritable(int ms, int wakeFd) override
    {
        struct pollfd p = {wakeFd, POLLIN, 0};
        ::poll(&p, 1, qMin(ms, 5));
    }
    unsigned WaitEvent(int wakeFd) override
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_port->m_lock);
                if (!m_hungUp && !m_port->m_wakeUps.empty()) {
                    TScriptedPort::WakeUp w = m_port->m_wakeUps.front();
                    m_port->m_wakeUps.pop_front();
                    if (m_port->m_wakeUps.empty()) {
                        eventfd_t value;
                        eventfd_read(m_port->m_eventFd, &value);
                    }
                    m_port->m_errors |= w.errors;
                    m_port->m_input.append(w.bytes);
                    if (w.mask & CommEv::HangUp)
                        m_hungUp = true;
                    return w.mask;
                }
            }
            struct pollfd p[2] = {{wakeFd, POLLIN, 0}, {m_port->m_eventFd, POLLIN, 0}};
            ::poll(p, m_hungUp ? 1 : 2, -1);
            if (p[0].revents & POLLIN)
                return 0;
        }
    }

private:
    std::shared_ptr<TScriptedPort> m_port;
    bool m_open = false;
    bool m_hungUp = false;
};

std::shared_ptr<TScriptedPort> TScriptedPort::Create()
{
    return std::shared_ptr<TScriptedPort>(new TScriptedPort);
}

TScriptedPort::TScriptedPort()
{
    m_eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_clock.start();
}

TScriptedPort::~TScriptedPort()
{
    if (m_eventFd >= 0)
        ::close(m_eventFd);
}

std::function<std::unique_ptr<TCommLine>()> TScriptedPort::Factory()
{
    std::shared_ptr<TScriptedPort> self = shared_from_this();
    return [self]() -> std::unique_ptr<TCommLine> { return std::make_unique<TScriptedLine>(self); };
}

void TScriptedPort::Wake(unsigned eventMask, unsigned errors, const QByteArray &received)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!received.isEmpty())
        eventMask |= CommEv::RxChar;
    if (errors)
        eventMask |= CommEv::Err;
    m_wakeUps.push_back({eventMask, errors, received});
    eventfd_write(m_eventFd, 1);
}

void TScriptedPort::HangUp()
{
    Wake(CommEv::HangUp);
}

void TScriptedPort::SetWritable(bool writable)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_writable = writable;
}

void TScriptedPort::SetOpenError(int negativeErrno)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_openError = negativeErrno;
}

void TScriptedPort::SetModemStatus(int status)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_modemStatus = status;
}

void TScriptedPort::Add(const QString &what, int value)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_records.append({m_clock.elapsed(), what, value});
}

QByteArray TScriptedPort::Written() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_written;
}

QList<TScriptedPort::Record> TScriptedPort::Records() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_records;
}

QList<TScriptedPort::Record> TScriptedPort::Records(const QString &what) const
{
    QList<Record> out;
    for (const Record &r : Records())
        if (r.what == what)
            out.append(r);
    return out;
}

TLineConfig TScriptedPort::Config() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_config;
}

QString TScriptedPort::OpenedPath() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_path;
}

int TScriptedPort::OpenLines() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_open;
}
