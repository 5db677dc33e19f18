// The serial-port component (unit CommX): one port, opened by its COM number, with a
// transmit thread and a receive thread; every line event reaches the owning window on its
// own (GUI) thread as a signal, in the order error, signal, receive, and a receive report
// is delivered synchronously (the receive thread waits until the window's handler, with
// its reads, is done). The line itself is a TCommLine: the kernel tty by default, a
// scripted one in tests. See serial/README.md for the COM-number mapping and DTR/DSR.
#pragma once

#include "CommLine.h"
#include "Errors.h"

#include <QMutex>
#include <QObject>
#include <QThread>
#include <QtGlobal>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Configuration failures of the component, with its fixed Japanese messages. The system
// error behind it (an errno, 0 where there is none) is kept for logs; it is never shown.
class ECommError : public EStationError
{
public:
    explicit ECommError(const QString &message, int systemError = 0)
        : EStationError(message), m_systemError(systemError)
    {
    }
    int SystemError() const { return m_systemError; }

private:
    int m_systemError;
};

enum TCommParityBits : quint8 { cpbNone = 0, cpbOdd = 1, cpbEven = 2 };
enum TCommStopBits : quint8 { csb1 = 0, csb1p5 = 1, csb2 = 2 };
enum TCommFlowCtrls : quint8 {
    cfcRtsCts = 0,
    cfcDtrDsr = 1,
    cfcXonXoff = 2,
    cfcHalfHigh = 3,
    cfcHalfLow = 4,
    cfcNone = 5
};

// The component's messages (the numbers of the Windows original, kept as names of the
// reports the threads hand to the GUI thread).
constexpr int WM_COMM_TRANS = 0x500;
constexpr int WM_COMM_RECEIVE = 0x501;
constexpr int WM_COMM_SIGNAL = 0x502;
constexpr int WM_COMM_ERROR = 0x503;
// Not a message of the original: the device went away (adapter pulled, peer closed).
constexpr int WM_COMM_HANGUP = 0x504;

constexpr quint32 CommNoPort = 0xFFFFFFFFu;

class TCustomCommX;

// The synchronous hand-over of the receive thread (the "sent" message): the thread waits
// until the GUI thread has handled the report, or until Close releases it. Shared with the
// queued call, so it outlives a thread that has already gone.
struct TCommSendGate {
    std::mutex lock;
    std::condition_variable done;
    quint64 handled = 0;
    bool released = false;
};

class TCommReceiveThread : public QThread
{
    Q_OBJECT
public:
    TCommReceiveThread(TCommLine *line, TCustomCommX *owner, quint64 session);
    ~TCommReceiveThread() override;
    // Marks the thread terminated, wakes its wait and releases a hand-over in progress.
    void Terminate();
    int WaitEventFd() const { return m_waitEvent; } // FWaitEvent

protected:
    void run() override;

private:
    void Send(int message, unsigned lParam);

    TCommLine *m_line;
    TCustomCommX *m_owner;
    quint64 m_session;
    int m_waitEvent = -1;
    std::atomic<bool> m_terminated{false};
    std::shared_ptr<TCommSendGate> m_gate;
    quint64 m_sent = 0;
};

class TCommTransThread : public QThread
{
    Q_OBJECT
public:
    TCommTransThread(TCustomCommX *owner, TCommLine *line, quint64 session);
    ~TCommTransThread() override; // frees blocks never taken
    void Terminate();
    // Hands a block over (the thread message 0x500); never blocks.
    void Post(QByteArray block);
    void Wake(); // FWakeEvent
    std::atomic<bool> FDiscard{false};

protected:
    void run() override;

private:
    bool WriteBlock(const QByteArray &block);
    bool DsrHolds();
    void Burst(bool begin);

    TCustomCommX *m_owner;
    TCommLine *m_line;
    quint64 m_session;
    int m_wakeEvent = -1;
    std::atomic<bool> m_terminated{false};
    std::mutex m_queueLock;
    std::deque<QByteArray> m_queue;
};

class TCustomCommX : public QObject
{
    Q_OBJECT
public:
    explicit TCustomCommX(QObject *owner = nullptr);
    ~TCustomCommX() override;

    void Open();
    void Close();
    virtual bool Write(const void *data, int count);
    virtual int Read(void *buffer, int count);
    int ReadByte();
    void PurgeTrans();
    void PurgeReceive();
    int InQueueCount();
    void SetRts(bool on);
    void SetDtr(bool on);

    int PortNo() const { return FPortNo; }
    int BitRate() const { return FBitRate; }
    int CharSize() const { return FCharSize; }
    TCommParityBits ParityBit() const { return FParityBit; }
    TCommStopBits StopBit() const { return FStopBit; }
    TCommFlowCtrls FlowCtrl() const { return FFlowCtrl; }
    int TimeOutTrans() const { return FTimeOutTrans; }
    int TimeOutReceive() const { return FTimeOutReceive; }
    int BufLenTrans() const { return FBufLenTrans; }
    int BufLenReceive() const { return FBufLenReceive; }
    quint32 Handle() const { return FHandle; }
    bool IsOpen() const { return FHandle != CommNoPort; }

    // The configuration record as last written (XonLim, XoffLim and the flag word of the
    // flow-control setting live here).
    const TLineConfig &Dcb() const { return FDcb; }
    // Output handed to the transmit thread and not written yet.
    int PendingBytes();
    int PendingBlocks();
    // The device the last Open tried ("" before any).
    QString DevicePath() const { return m_devicePath; }
    // The line backend: the kernel tty unless a test or a rehearsal puts in its own. Takes
    // effect at the next Open.
    void SetLineFactory(std::function<std::unique_ptr<TCommLine>()> factory);

signals:
    void OnTrans(QObject *Sender, int TransSize);
    void OnReceive(QObject *Sender, int ReceiveSize);
    void OnSignal(QObject *Sender, int EventMask);
    void OnBreak(QObject *Sender);
    void OnError(QObject *Sender, int ErrorState);
    // The device went away: raised once, posted after the reports of that wake-up were
    // handled (never inside the synchronous hand-over). The port stays open, dead, until
    // Close; nothing more comes from it.
    void OnHangUp(QObject *Sender);
    // Internal: a block was finished or the port closed (ends a Write waiting for room).
    void TransProgress();

protected:
    void SetPortNo(int value);
    void SetBitRate(int value);
    void SetCharSize(int value);
    void SetParityBit(TCommParityBits value);
    void SetStopBit(TCommStopBits value);
    void SetFlowCtrl(TCommFlowCtrls value);
    void SetTimeOutTrans(int value);
    void SetTimeOutReceive(int value);
    void SetBufLenTrans(int value);
    void SetBufLenReceive(int value);

private:
    friend class TCommReceiveThread;
    friend class TCommTransThread;

    void WaitForRoom();
    void StartThreads();
    void ApplyTimeouts();
    void SetupBuffers();
    void WriteDcb(TLineField field);
    // The hidden window's procedure: runs on the GUI thread for every report.
    void WndProc(quint64 session, int message, unsigned lParam);
    // Posts a report to the GUI thread (the threads' PostMessage).
    void PostReport(quint64 session, int message, unsigned lParam);

    std::unique_ptr<TCommReceiveThread> FReceiveThread;
    std::unique_ptr<TCommTransThread> FTransThread;
    QMutex FWriteLock;
    QMutex FCountLock;
    quint32 FHandle = CommNoPort;
    int FPortNo = 1;
    int FBitRate = 9600;
    int FCharSize = 8;
    TCommParityBits FParityBit = cpbNone;
    TCommStopBits FStopBit = csb1;
    TCommFlowCtrls FFlowCtrl = cfcRtsCts;
    int FTimeOutTrans = 3000;
    int FTimeOutReceive = 3000;
    int FBufLenTrans = 2048;
    int FBufLenReceive = 2048;
    TLineConfig FDcb;
    int FPendingBytes = 0;
    int FPendingBlocks = 0;

    std::function<std::unique_ptr<TCommLine>()> m_lineFactory;
    std::unique_ptr<TCommLine> m_line;
    quint64 m_session = 0;                // counts Opens; a report of an earlier session is dropped
    std::atomic<int> m_txFlow{cfcRtsCts}; // FlowCtrl and TimeOutTrans as the transmit thread reads them
    std::atomic<int> m_txTimeout{3000};
    QString m_devicePath;
};

class TCommX : public TCustomCommX
{
    Q_OBJECT
    Q_PROPERTY(int PortNo READ PortNo WRITE SetPortNo)
    Q_PROPERTY(int BitRate READ BitRate WRITE SetBitRate)
    Q_PROPERTY(int CharSize READ CharSize WRITE SetCharSize)
    Q_PROPERTY(int TimeOutTrans READ TimeOutTrans WRITE SetTimeOutTrans)
    Q_PROPERTY(int TimeOutReceive READ TimeOutReceive WRITE SetTimeOutReceive)
    Q_PROPERTY(int BufLenTrans READ BufLenTrans WRITE SetBufLenTrans)
    Q_PROPERTY(int BufLenReceive READ BufLenReceive WRITE SetBufLenReceive)
    Q_PROPERTY(quint32 Handle READ Handle)
public:
    explicit TCommX(QObject *owner = nullptr) : TCustomCommX(owner) {}
    using TCustomCommX::SetBitRate;
    using TCustomCommX::SetBufLenReceive;
    using TCustomCommX::SetBufLenTrans;
    using TCustomCommX::SetCharSize;
    using TCustomCommX::SetFlowCtrl;
    using TCustomCommX::SetParityBit;
    using TCustomCommX::SetPortNo;
    using TCustomCommX::SetStopBit;
    using TCustomCommX::SetTimeOutReceive;
    using TCustomCommX::SetTimeOutTrans;
};
