// The line backend: the few operations the serial component needs from a port, so that the
// component can run over a kernel tty (TTermiosLine) or over a scripted line in tests
// (TScriptedLine, tests/harness), which can carry what a pseudo-terminal cannot: modem lines, BREAK and
// line errors. Results are 0 or a negative errno; nothing here throws.
#pragma once

#include <QString>
#include <QtGlobal>

// Line-event mask bits (the EventMask of OnSignal) and line-error bits (ErrorState of OnError).
namespace CommEv
{
constexpr unsigned RxChar = 0x01;
constexpr unsigned Cts = 0x08;
constexpr unsigned Dsr = 0x10;
constexpr unsigned Rlsd = 0x20;
constexpr unsigned Break = 0x40;
constexpr unsigned Err = 0x80;
constexpr unsigned Ring = 0x100;
constexpr unsigned Mask = 0x1F9;       // what the component asks for
constexpr unsigned SignalBits = 0x178; // CTS, DSR, RLSD, BREAK, RING
constexpr unsigned HangUp = 0x10000;   // the backend's own bit: the peer or the device went away
} // namespace CommEv

namespace CommCe
{
constexpr unsigned Overrun = 0x02;
constexpr unsigned RxParity = 0x04;
constexpr unsigned Frame = 0x08;
constexpr unsigned Mask = 0x0E;
} // namespace CommCe

// Modem-line status bits (as the Windows MS_*_ON values).
namespace CommMs
{
constexpr int Cts = 0x10;
constexpr int Dsr = 0x20;
constexpr int Ring = 0x40;
constexpr int Rlsd = 0x80;
} // namespace CommMs

// The flow-control choice, by the ordinal of TCommFlowCtrls.
enum class TLineFlow { RtsCts = 0, DtrDsr = 1, XonXoff = 2, HalfHigh = 3, HalfLow = 4, None = 5 };

// The port's configuration record (the fields of the Windows DCB the component sets).
struct TLineConfig {
    int bitRate = 9600;
    int charSize = 8;
    int parity = 0;   // 0 none, 1 odd, 2 even
    int stopBits = 0; // 0 one, 1 one and a half, 2 two
    TLineFlow flow = TLineFlow::RtsCts;
    quint8 xonChar = 0x11;
    quint8 xoffChar = 0x13;
    quint8 errorChar = 0;
    quint16 xonLim = 0;
    quint16 xoffLim = 0;
    quint32 flags = 0; // the DCB flag word as the component computed it (kept for reference)
};

// Which field a setter changed, so a backend can check that the device took it.
enum class TLineField { All, BitRate, CharSize, Parity, StopBits, Flow };

class TCommLine
{
public:
    virtual ~TCommLine() = default;

    virtual int Open(const QString &devicePath) = 0; // exclusive; input is flushed
    virtual void Close() = 0;
    virtual int Descriptor() const = 0; // the port's descriptor (or a stand-in), -1 closed

    virtual int SetupBuffers(int inQueue, int outQueue) = 0;
    virtual int GetConfig(TLineConfig &config) = 0;
    virtual int SetConfig(const TLineConfig &config, TLineField changed) = 0;
    virtual int PurgeOutput() = 0;
    virtual int PurgeInput() = 0;
    virtual int SetRts(bool on) = 0;
    virtual int SetDtr(bool on) = 0;
    // The peer's modem lines (CommMs bits), or -errno for a line without them (a pty).
    virtual int ModemStatus() = 0;

    // Bytes received and not read yet, or -errno.
    virtual int InQueue() = 0;
    // The line-error bits (CommCe) seen since the last call, cleared by the call.
    virtual unsigned TakeErrors() = 0;

    // Never blocks: bytes read (> 0), 0 when nothing is waiting, -errno; -EPIPE for a hang-up.
    virtual long Read(char *buffer, long count) = 0;
    // Waits up to ms for input (or a hang-up).
    virtual void WaitReadable(int ms) = 0;

    // Never blocks: bytes written (>= 0; 0 when the line cannot take more now), or -errno.
    virtual long WriteSome(const char *data, long count) = 0;
    // Waits up to ms until the line can take output, or until wakeFd becomes readable
    // (wakeFd is not read here).
    virtual void WaitWritable(int ms, int wakeFd) = 0;

    // Waits for line events; returns the CommEv bits of this wake-up, or 0 when wakeFd
    // became readable (wakeFd is not read here). After CommEv::HangUp has been returned once,
    // only wakeFd ends a wait.
    virtual unsigned WaitEvent(int wakeFd) = 0;
};
