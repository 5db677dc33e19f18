// The line backend over a kernel tty: termios2 (any bit rate), epoll and eventfd. The only
// file of the serial component that talks to the kernel's serial interface.
#pragma once

#include "CommLine.h"

#include <mutex>

class TTermiosLine : public TCommLine
{
public:
    TTermiosLine() = default;
    ~TTermiosLine() override;

    int Open(const QString &devicePath) override;
    void Close() override;
    int Descriptor() const override { return m_fd; }

    int SetupBuffers(int inQueue, int outQueue) override;
    int GetConfig(TLineConfig &config) override;
    int SetConfig(const TLineConfig &config, TLineField changed) override;
    int PurgeOutput() override;
    int PurgeInput() override;
    int SetRts(bool on) override;
    int SetDtr(bool on) override;
    int ModemStatus() override;
    int InQueue() override;
    unsigned TakeErrors() override;
    long Read(char *buffer, long count) override;
    void WaitReadable(int ms) override;
    long WriteSome(const char *data, long count) override;
    void WaitWritable(int ms, int wakeFd) override;
    unsigned WaitEvent(int wakeFd) override;

private:
    struct Counts {
        int cts = 0, dsr = 0, rng = 0, dcd = 0, frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };
    bool ReadCounts(Counts &counts) const;

    int m_fd = -1;
    int m_epoll = -1;
    int m_epollWake = -1; // the wake descriptor registered with m_epoll
    bool m_hungUp = false;
    bool m_hasModemLines = false; // TIOCMGET works (not on a pseudo-terminal)
    bool m_hasCounts = false;     // TIOCGICOUNT works (most UART and USB serial drivers)
    int m_modemLines = 0;         // last TIOCMGET, for change detection
    Counts m_eventCounts;         // last counts seen by WaitEvent (signals, break)
    std::mutex m_errorLock;       // TakeErrors runs on all three threads
    Counts m_errorCounts;         // last counts seen by TakeErrors (line errors)
};
