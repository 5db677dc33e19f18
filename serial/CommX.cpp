// The serial-port component and its two threads. The threads never touch the window: the
// transmit thread posts its reports, the receive thread hands each report over and waits
// until the GUI thread has handled it (so the window's receive handler reads while the
// receive thread waits). Close stops and joins both threads before the line is closed, and
// every report carries the session (the count of Opens) it belongs to, so nothing of a
// closed port reaches the window.
#include "CommX.h"

#include "SerialPorts.h"
#include "TermiosLine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaMethod>
#include <QTimer>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace
{

constexpr int MaxPendingBlocks = 32;

enum class TCommStep {
    AlreadyOpen,
    Open,
    TransThread,
    ReceiveThread,
    BitRate,
    CharSize,
    Parity,
    StopBits,
    Flow,
    Timeouts,
    Buffers
};

// The one place where a failure (and the errno behind it) becomes the component's error.
[[noreturn]] void RaiseCommError(TCommStep step, int result = 0)
{
    QString text;
    switch (step) {
    case TCommStep::AlreadyOpen:
        text = QStringLiteral("ポートは、すでにオープンされています");
        break;
    case TCommStep::Open:
        text = QStringLiteral("ポートをオープンできませんでした");
        break;
    case TCommStep::TransThread:
        text = QStringLiteral("送信用スレッドを生成できませんでした");
        break;
    case TCommStep::ReceiveThread:
        text = QStringLiteral("受信用スレッドを生成できませんでした");
        break;
    case TCommStep::BitRate:
        text = QStringLiteral("通信速度の設定でエラーが発生しました");
        break;
    case TCommStep::CharSize:
        text = QStringLiteral("通信ビット数の設定でエラーが発生しました");
        break;
    case TCommStep::Parity:
        text = QStringLiteral("通信パリティチェックの設定でエラーが発生しました");
        break;
    case TCommStep::StopBits:
        text = QStringLiteral("通信ストップビット数の設定でエラーが発生しました");
        break;
    case TCommStep::Flow:
        text = QStringLiteral("通信フロー制御の設定で失敗しました");
        break;
    case TCommStep::Timeouts:
        text = QStringLiteral("通信タイムアウト時間の設定で失敗しました");
        break;
    case TCommStep::Buffers:
        text = QStringLiteral("通信用ポートのバッファを準備できませんでした");
        break;
    }
    throw ECommError(text, result < 0 ? -result : result);
}

// The flag bits of the configuration record for each flow-control mode (fBinary and
// fParity come on top).
constexpr quint32 FlowFlags[] = {0x2014, 0x1028, 0x1310, 0x0010, 0x1010, 0x1010};

void DrainEventFd(int fd)
{
    eventfd_t value;
    while (eventfd_read(fd, &value) == 0) {
    }
}

} // namespace

// ---- receive thread -----------------------------------------------------------------

TCommReceiveThread::TCommReceiveThread(TCommLine *line, TCustomCommX *owner, quint64 session)
    : m_line(line), m_owner(owner), m_session(session), m_gate(std::make_shared<TCommSendGate>())
{
    m_waitEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TCommReceiveThread::~TCommReceiveThread()
{
    if (m_waitEvent >= 0)
        ::close(m_waitEvent);
}

void TCommReceiveThread::Terminate()
{
    m_terminated = true;
    eventfd_write(m_waitEvent, 1);
    {
        std::lock_guard<std::mutex> lock(m_gate->lock);
        m_gate->released = true;
    }
    m_gate->done.notify_all();
}

void TCommReceiveThread::Send(int message, unsigned lParam)
{
    const quint64 seq = ++m_sent;
    std::shared_ptr<TCommSendGate> gate = m_gate;
    TCustomCommX *owner = m_owner;
    const quint64 session = m_session;
    QMetaObject::invokeMethod(
        owner,
        [owner, gate, seq, session, message, lParam] {
            // Marks the report handled even when a handler throws (the application's
            // error box catches it further up).
            struct Handled {
                TCommSendGate *gate;
                quint64 seq;
                ~Handled()
                {
                    {
                        std::lock_guard<std::mutex> lock(gate->lock);
                        gate->handled = seq;
                    }
                    gate->done.notify_all();
                }
            } handled{gate.get(), seq};
            owner->WndProc(session, message, lParam);
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(gate->lock);
    gate->done.wait(lock, [&] { return gate->handled >= seq || gate->released; });
}

void TCommReceiveThread::run()
{
    while (!m_terminated) {
        unsigned mask = m_line->WaitEvent(m_waitEvent);
        if (m_terminated)
            break;
        if (mask == 0) { // woken without a line event
            DrainEventFd(m_waitEvent);
            continue;
        }
        // A hang-up is the carrier going away: it is reported as an RLSD change, once,
        // and then as a hang-up of its own, posted, so that a window can tell it from a
        // carrier change of a real modem line; the line then waits only for Close.
        const bool hungUp = mask & CommEv::HangUp;
        if (hungUp)
            mask = (mask & ~CommEv::HangUp) | CommEv::Rlsd;
        const unsigned errors = m_line->TakeErrors() & CommCe::Mask;
        if (errors)
            Send(WM_COMM_ERROR, errors);
        if ((mask & CommEv::SignalBits) && !m_terminated)
            Send(WM_COMM_SIGNAL, mask & CommEv::Mask);
        if ((mask & CommEv::RxChar) && !m_terminated)
            Send(WM_COMM_RECEIVE, 0);
        if (hungUp && !m_terminated)
            m_owner->PostReport(m_session, WM_COMM_HANGUP, 0);
    }
}

// ---- transmit thread ----------------------------------------------------------------

TCommTransThread::TCommTransThread(TCustomCommX *owner, TCommLine *line, quint64 session)
    : m_owner(owner), m_line(line), m_session(session)
{
    m_wakeEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TCommTransThread::~TCommTransThread()
{
    if (m_wakeEvent >= 0)
        ::close(m_wakeEvent);
}

void TCommTransThread::Terminate()
{
    m_terminated = true;
    Wake();
}

void TCommTransThread::Wake()
{
    eventfd_write(m_wakeEvent, 1);
}

void TCommTransThread::Post(QByteArray block)
{
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_queue.push_back(std::move(block));
    }
    Wake();
}

void TCommTransThread::Burst(bool begin)
{
    const int flow = m_owner->m_txFlow.load();
    if (flow != cfcHalfHigh && flow != cfcHalfLow)
        return;
    // A half-duplex line: give the other side time to stop talking before RTS turns the
    // line around, and time for the last character to leave before it is turned back.
    if (begin) {
        QThread::msleep(100);
        m_line->SetRts(flow == cfcHalfHigh);
        QThread::msleep(10);
    } else {
        QThread::msleep(20);
        m_line->SetRts(flow == cfcHalfLow);
    }
}

bool TCommTransThread::DsrHolds()
{
    // DTR/DSR flow control, which the Linux serial core lacks: output waits while the peer
    // holds DSR low. A line without modem lines (a pseudo-terminal) never holds it.
    if (m_owner->m_txFlow.load() != cfcDtrDsr)
        return false;
    const int status = m_line->ModemStatus();
    return status >= 0 && !(status & CommMs::Dsr);
}

bool TCommTransThread::WriteBlock(const QByteArray &block)
{
    const int timeout = m_owner->m_txTimeout.load();
    QElapsedTimer clock;
    clock.start();
    const char *p = block.constData();
    long left = block.size();
    while (left > 0) {
        if (FDiscard || m_terminated)
            return false; // aborted by PurgeTrans or Close
        const bool held = DsrHolds();
        long n = 0;
        if (!held) {
            QMutexLocker lock(&m_owner->FWriteLock);
            n = m_line->WriteSome(p, left);
        }
        if (n < 0)
            return false;
        p += n;
        left -= n;
        if (left == 0)
            break;
        // The write time-out cuts the block short without a report, as the original does.
        const qint64 remaining = timeout > 0 ? timeout - clock.elapsed() : 100;
        if (remaining <= 0)
            return true;
        if (held) { // DSR is looked at every 10 ms
            struct pollfd w = {m_wakeEvent, POLLIN, 0};
            ::poll(&w, 1, int(qMin<qint64>(remaining, 10)));
        } else {
            m_line->WaitWritable(int(qMin<qint64>(remaining, 100)), m_wakeEvent);
        }
        DrainEventFd(m_wakeEvent); // the outer loop looks at the queue after this block anyway
    }
    return true;
}

void TCommTransThread::run()
{
    while (!m_terminated) {
        struct pollfd p = {m_wakeEvent, POLLIN, 0};
        ::poll(&p, 1, 100); // a time-out counts as a wake-up
        DrainEventFd(m_wakeEvent);
        bool burst = false;
        for (;;) {
            QByteArray block;
            {
                std::lock_guard<std::mutex> lock(m_queueLock);
                if (m_queue.empty())
                    break;
                block = std::move(m_queue.front());
                m_queue.pop_front();
            }
            if (!FDiscard && !m_terminated) {
                if (!burst) {
                    burst = true;
                    Burst(true);
                }
                if (!WriteBlock(block)) {
                    const unsigned errors = m_line->TakeErrors() & CommCe::Mask;
                    if (errors)
                        m_owner->PostReport(m_session, WM_COMM_ERROR, errors);
                }
            }
            // Written, failed, discarded or terminated: the block is done and reported.
            const int size = int(block.size());
            block = QByteArray();
            {
                QMutexLocker lock(&m_owner->FCountLock);
                m_owner->FPendingBytes = qMax(0, m_owner->FPendingBytes - size);
                if (m_owner->FPendingBlocks > 0)
                    m_owner->FPendingBlocks--;
            }
            m_owner->PostReport(m_session, WM_COMM_TRANS, unsigned(size));
        }
        if (burst)
            Burst(false);
    }
}

// ---- component ------------------------------------------------------------------------

TCustomCommX::TCustomCommX(QObject *owner) : QObject(owner) {}

TCustomCommX::~TCustomCommX()
{
    Close();
}

void TCustomCommX::SetLineFactory(std::function<std::unique_ptr<TCommLine>()> factory)
{
    m_lineFactory = std::move(factory);
}

void TCustomCommX::Open()
{
    if (IsOpen())
        RaiseCommError(TCommStep::AlreadyOpen);
    m_devicePath = SerialDevicePath(FPortNo);
    std::unique_ptr<TCommLine> line = m_lineFactory ? m_lineFactory() : std::make_unique<TTermiosLine>();
    const int result = line->Open(m_devicePath);
    if (result != 0)
        RaiseCommError(TCommStep::Open, result);
    m_line = std::move(line);
    FHandle = quint32(m_line->Descriptor());
    ++m_session;
    FReceiveThread.reset();
    FTransThread.reset();
    {
        QMutexLocker lock(&FCountLock);
        FPendingBytes = 0;
        FPendingBlocks = 0;
    }
    try {
        SetupBuffers();
        PurgeTrans();
        PurgeReceive();
        const int got = m_line->GetConfig(FDcb);
        if (got != 0)
            RaiseCommError(TCommStep::Open, got);
        FDcb.xonChar = 0x11;
        FDcb.xoffChar = 0x13;
        FDcb.errorChar = 0;
        SetBitRate(FBitRate);
        SetCharSize(FCharSize);
        SetParityBit(FParityBit);
        SetStopBit(FStopBit);
        SetFlowCtrl(FFlowCtrl);
        ApplyTimeouts();
        StartThreads();
    } catch (...) {
        Close();
        throw;
    }
}

void TCustomCommX::StartThreads()
{
    m_txFlow = FFlowCtrl;
    m_txTimeout = FTimeOutTrans;
    FTransThread = std::make_unique<TCommTransThread>(this, m_line.get(), m_session);
    FTransThread->start();
    if (!FTransThread->isRunning() && !FTransThread->isFinished()) {
        FTransThread.reset();
        RaiseCommError(TCommStep::TransThread, -EAGAIN);
    }
    FReceiveThread = std::make_unique<TCommReceiveThread>(m_line.get(), this, m_session);
    if (FReceiveThread->WaitEventFd() < 0) {
        FReceiveThread.reset();
        RaiseCommError(TCommStep::ReceiveThread, -errno);
    }
    FReceiveThread->start();
    if (!FReceiveThread->isRunning() && !FReceiveThread->isFinished()) {
        FReceiveThread.reset();
        RaiseCommError(TCommStep::ReceiveThread, -EAGAIN);
    }
}

void TCustomCommX::Close()
{
    if (!IsOpen())
        return;
    SetDtr(false);
    SetRts(false);
    PurgeTrans();
    PurgeReceive();
    if (FTransThread)
        FTransThread->Terminate();
    if (FReceiveThread)
        FReceiveThread->Terminate();
    // Neither thread waits for the GUI thread once terminated (the receive thread's
    // hand-over is released), so joining here cannot lock the two together.
    if (FTransThread)
        FTransThread->wait();
    if (FReceiveThread)
        FReceiveThread->wait();
    FTransThread.reset();
    FReceiveThread.reset();
    m_line->Close();
    m_line.reset();
    FHandle = CommNoPort;
    emit TransProgress(); // a Write waiting for room gives up
}

bool TCustomCommX::Write(const void *data, int count)
{
    if (count == 0)
        return true;
    if (count < 0 || !data)
        return false;
    const char *p = static_cast<const char *>(data);
    int left = count;
    while (left > 0) {
        if (!IsOpen() || !FTransThread)
            return false; // what was queued stays queued
        if (PendingBlocks() >= MaxPendingBlocks) {
            WaitForRoom();
            continue;
        }
        const int size = qMin(qMax(1, FBufLenTrans), left);
        QByteArray block(p, size);
        {
            QMutexLocker lock(&FCountLock);
            FPendingBytes += size;
            FPendingBlocks += 1;
        }
        FTransThread->Post(std::move(block));
        p += size;
        left -= size;
    }
    return true;
}

void TCustomCommX::WaitForRoom()
{
    // Back-pressure: wait for the transmit thread to finish a block while the window goes
    // on handling its events (its handlers may run meanwhile). A finished block and Close
    // both emit TransProgress; the timer is a safety net.
    QEventLoop loop;
    QTimer safety;
    connect(this, &TCustomCommX::TransProgress, &loop, &QEventLoop::quit);
    connect(&safety, &QTimer::timeout, &loop, &QEventLoop::quit);
    safety.start(100);
    if (PendingBlocks() >= MaxPendingBlocks) // a block finished before the loop was set up
        loop.exec();
}

int TCustomCommX::Read(void *buffer, int count)
{
    if (!IsOpen() || !FReceiveThread || !buffer)
        return -1;
    if (count <= 0)
        return 0;
    const quint64 session = m_session;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const long n = m_line->Read(static_cast<char *>(buffer), count);
        if (n > 0)
            return int(n);
        if (n < 0) {
            const unsigned errors = m_line->TakeErrors() & CommCe::Mask;
            if (errors)
                PostReport(m_session, WM_COMM_ERROR, errors);
            return -1;
        }
        // Nothing waiting: wait for the first byte up to the receive time-out, keeping the
        // window responsive meanwhile.
        const qint64 remaining = FTimeOutReceive - clock.elapsed();
        if (remaining <= 0)
            return 0;
        QCoreApplication::processEvents();
        if (!IsOpen() || session != m_session || !FReceiveThread)
            return -1;
        m_line->WaitReadable(int(qMin<qint64>(remaining, 1)));
    }
}

int TCustomCommX::ReadByte()
{
    unsigned char byte = 0;
    return Read(&byte, 1) == 1 ? int(byte) : -1;
}

void TCustomCommX::PurgeTrans()
{
    if (!IsOpen())
        return;
    if (!FTransThread) {
        QMutexLocker lock(&FWriteLock);
        m_line->PurgeOutput();
        return;
    }
    FTransThread->FDiscard = true;
    for (;;) {
        {
            QMutexLocker lock(&FWriteLock);
            m_line->PurgeOutput();
        }
        FTransThread->Wake();
        QThread::msleep(1);
        QMutexLocker lock(&FCountLock);
        if (FPendingBytes == 0)
            break;
    }
    FTransThread->FDiscard = false;
}

void TCustomCommX::PurgeReceive()
{
    if (IsOpen())
        m_line->PurgeInput();
}

int TCustomCommX::InQueueCount()
{
    if (!IsOpen())
        return 0;
    m_line->TakeErrors(); // as ClearCommError, the count also clears the error state
    return qMax(0, m_line->InQueue());
}

void TCustomCommX::SetRts(bool on)
{
    if (IsOpen())
        m_line->SetRts(on);
}

void TCustomCommX::SetDtr(bool on)
{
    if (IsOpen())
        m_line->SetDtr(on);
}

int TCustomCommX::PendingBytes()
{
    QMutexLocker lock(&FCountLock);
    return FPendingBytes;
}

int TCustomCommX::PendingBlocks()
{
    QMutexLocker lock(&FCountLock);
    return FPendingBlocks;
}

void TCustomCommX::PostReport(quint64 session, int message, unsigned lParam)
{
    QMetaObject::invokeMethod(
        this, [this, session, message, lParam] { WndProc(session, message, lParam); }, Qt::QueuedConnection);
}

void TCustomCommX::WndProc(quint64 session, int message, unsigned lParam)
{
    if (message == WM_COMM_TRANS)
        emit TransProgress();
    if (!IsOpen() || session != m_session)
        return; // a report of a port that has been closed since
    switch (message) {
    case WM_COMM_TRANS:
        if (FTransThread && isSignalConnected(QMetaMethod::fromSignal(&TCustomCommX::OnTrans)))
            emit OnTrans(this, int(lParam));
        break;
    case WM_COMM_RECEIVE:
        if (isSignalConnected(QMetaMethod::fromSignal(&TCustomCommX::OnReceive))) {
            // Sampled now: one call may cover several wake-ups, and a report whose bytes
            // were read by an earlier handler raises nothing.
            const int waiting = InQueueCount();
            if (waiting != 0)
                emit OnReceive(this, waiting);
        }
        break;
    case WM_COMM_SIGNAL:
        if (lParam & (CommEv::Cts | CommEv::Dsr | CommEv::Rlsd | CommEv::Ring))
            emit OnSignal(this, int(lParam));
        if (IsOpen() && session == m_session && (lParam & CommEv::Break))
            emit OnBreak(this);
        break;
    case WM_COMM_ERROR:
        emit OnError(this, int(lParam));
        break;
    case WM_COMM_HANGUP:
        emit OnHangUp(this);
        break;
    default:
        break;
    }
}

// ---- configuration --------------------------------------------------------------------

void TCustomCommX::WriteDcb(TLineField field)
{
    const int result = m_line->SetConfig(FDcb, field);
    if (result == 0)
        return;
    TCommStep step = TCommStep::Flow;
    switch (field) {
    case TLineField::BitRate:
        step = TCommStep::BitRate;
        break;
    case TLineField::CharSize:
        step = TCommStep::CharSize;
        break;
    case TLineField::Parity:
        step = TCommStep::Parity;
        break;
    case TLineField::StopBits:
        step = TCommStep::StopBits;
        break;
    default:
        break;
    }
    RaiseCommError(step, result);
}

void TCustomCommX::SetPortNo(int value)
{
    FPortNo = value;
    if (IsOpen()) {
        Close();
        Open();
    }
}

void TCustomCommX::SetBitRate(int value)
{
    FBitRate = value;
    if (!IsOpen())
        return;
    const TLineConfig before = FDcb;
    FDcb.bitRate = value;
    try {
        WriteDcb(TLineField::BitRate);
    } catch (...) {
        FDcb = before; // the port keeps what it had; the record says so too
        throw;
    }
}

void TCustomCommX::SetCharSize(int value)
{
    FCharSize = value;
    if (!IsOpen())
        return;
    const TLineConfig before = FDcb;
    FDcb.charSize = value & 0xFF;
    try {
        WriteDcb(TLineField::CharSize);
    } catch (...) {
        FDcb = before;
        throw;
    }
}

void TCustomCommX::SetParityBit(TCommParityBits value)
{
    FParityBit = value;
    if (!IsOpen())
        return;
    const TLineConfig before = FDcb;
    FDcb.parity = int(value);
    try {
        WriteDcb(TLineField::Parity);
    } catch (...) {
        FDcb = before;
        throw;
    }
}

void TCustomCommX::SetStopBit(TCommStopBits value)
{
    FStopBit = value;
    if (!IsOpen())
        return;
    const TLineConfig before = FDcb;
    FDcb.stopBits = int(value);
    try {
        WriteDcb(TLineField::StopBits);
    } catch (...) {
        FDcb = before;
        throw;
    }
}

void TCustomCommX::SetFlowCtrl(TCommFlowCtrls value)
{
    FFlowCtrl = value;
    m_txFlow = value;
    if (!IsOpen())
        return;
    const TLineConfig before = FDcb;
    FDcb.xonLim = quint16(FBufLenReceive / 4);
    FDcb.xoffLim = quint16((FBufLenReceive / 4) * 3);
    FDcb.flow = TLineFlow(value);
    FDcb.flags = 0x01 | 0x02 | (value <= cfcNone ? FlowFlags[value] : 0);
    try {
        if (value > cfcNone)
            RaiseCommError(TCommStep::Flow, -EINVAL);
        WriteDcb(TLineField::Flow);
    } catch (...) {
        FDcb = before;
        throw;
    }
}

void TCustomCommX::SetTimeOutTrans(int value)
{
    FTimeOutTrans = value;
    if (IsOpen())
        ApplyTimeouts();
}

void TCustomCommX::SetTimeOutReceive(int value)
{
    FTimeOutReceive = value;
    if (IsOpen())
        ApplyTimeouts();
}

void TCustomCommX::SetBufLenTrans(int value)
{
    FBufLenTrans = value;
    if (IsOpen())
        SetupBuffers();
}

void TCustomCommX::SetBufLenReceive(int value)
{
    FBufLenReceive = value;
    if (IsOpen()) {
        SetupBuffers();
        SetFlowCtrl(FFlowCtrl);
    }
}

void TCustomCommX::ApplyTimeouts()
{
    // The kernel has no per-port time-outs: Read waits TimeOutReceive for a first byte
    // (the Windows "interval MAXDWORD, constant" rule) and the transmit thread gives a
    // block TimeOutTrans to leave. A negative time-out is refused as Windows refuses it.
    if (!IsOpen())
        return;
    if (FTimeOutTrans < 0 || FTimeOutReceive < 0)
        RaiseCommError(TCommStep::Timeouts, -EINVAL);
    m_txTimeout = FTimeOutTrans;
}

void TCustomCommX::SetupBuffers()
{
    if (!IsOpen())
        return;
    const int result = m_line->SetupBuffers(FBufLenReceive, FBufLenTrans);
    if (result != 0)
        RaiseCommError(TCommStep::Buffers, result);
}
