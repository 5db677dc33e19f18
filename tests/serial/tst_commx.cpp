// The serial component over pseudo-terminals: opening by COM number, configuration,
// reception on the GUI thread, transmission with back-pressure and purge, closing, hang-up.
#include "CommX.h"
#include "PortChoice.h"
#include "PtyPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <asm/termbits.h>
#include <cerrno>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const QString AlreadyOpen = QStringLiteral("ポートは、すでにオープンされています");
const QString CannotOpen = QStringLiteral("ポートをオープンできませんでした");

QString RaisedBy(const std::function<void()> &f)
{
    try {
        f();
    } catch (const ECommError &e) {
        return e.message();
    }
    return QString();
}

constexpr uid_t Nobody = 65534;

// Runs a program, as the user nobody when asked and the suite runs as root (the kernel
// lets root through both TIOCEXCL and the device's permissions); its output and exit code.
QPair<QString, int> Run(const QString &program, const QStringList &args, bool asNobody)
{
    QProcess p;
    if (asNobody && geteuid() == 0)
        p.start(QStringLiteral("setpriv"),
                QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args);
    else
        p.start(program, args);
    if (!p.waitForFinished(30000))
        return {QStringLiteral("did not end"), -1};
    return {QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).trimmed(), p.exitCode()};
}

QString Reason(int error)
{
    return TSerialPortChoice::OpenFailureReason(ECommError(QString(), error), 7);
}

qint64 CpuMs()
{
    struct rusage ru {
    };
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000;
}

} // namespace

class TestCommX : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TPtyPeer> m_peer, m_peer2;
    std::unique_ptr<TWorkFolder> m_folder;
    std::unique_ptr<TCommX> m_comm;
    QTemporaryDir m_files;

    // Port 7 is the first peer, 8 the second, 9 a device that does not exist, 10 a file.
    void MakePorts()
    {
        m_peer = std::make_unique<TPtyPeer>();
        m_peer2 = std::make_unique<TPtyPeer>();
        QFile plain(m_files.filePath(QStringLiteral("plain")));
        plain.open(QIODevice::WriteOnly);
        m_folder.reset();
        m_folder = std::make_unique<TWorkFolder>(QMap<int, QString>{{7, m_peer->SlavePath()},
                                                                    {8, m_peer2->SlavePath()},
                                                                    {9, QStringLiteral("/dev/no-such-serial")},
                                                                    {10, plain.fileName()}});
    }

    // Opens with XON/XOFF, blocks of 16 bytes and no practical write time-out; the peer
    // stops the output with XOFF, and "X" coming in after it shows the stop was taken.
    void OpenWithOutputStopped()
    {
        m_comm->SetFlowCtrl(cfcXonXoff);
        m_comm->SetBufLenTrans(16);
        m_comm->SetTimeOutTrans(60000);
        m_comm->Open();
        QByteArray in;
        auto c = connect(m_comm.get(), &TCommX::OnReceive, this, [&](QObject *, int size) {
            for (int i = 0; i < size; ++i)
                in.append(char(m_comm->ReadByte()));
        });
        m_peer->Write("\x13X");
        QTRY_COMPARE_WITH_TIMEOUT(in, QByteArray("X"), 5000);
        disconnect(c);
    }

private slots:
    void init()
    {
        MakePorts();
        m_comm = std::make_unique<TCommX>();
        m_comm->SetPortNo(7);
    }
    void cleanup()
    {
        m_comm.reset();
        m_folder.reset();
        m_peer.reset();
        m_peer2.reset();
    }

    void openConfiguresThePortOfItsNumber_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("flow");
        QTest::addColumn<unsigned>("cflagSet");
        QTest::addColumn<unsigned>("iflagSet");
        QTest::newRow("photocell 2400") << 2400 << int(csb1) << int(cfcRtsCts) << unsigned(CS8 | CRTSCTS) << 0u;
        QTest::newRow("decoder 9600 xon/xoff")
            << 9600 << int(csb1) << int(cfcXonXoff) << unsigned(CS8) << unsigned(IXON | IXOFF);
        QTest::newRow("odd rate, two stop bits") << 250000 << int(csb2) << int(cfcNone) << unsigned(CS8 | CSTOPB) << 0u;
    }
    void openConfiguresThePortOfItsNumber()
    {
        QFETCH(int, rate);
        QFETCH(int, stop);
        QFETCH(int, flow);
        QFETCH(unsigned, cflagSet);
        QFETCH(unsigned, iflagSet);
        m_comm->SetBitRate(rate);
        m_comm->SetStopBit(TCommStopBits(stop));
        m_comm->SetFlowCtrl(TCommFlowCtrls(flow));
        m_comm->Open();
        QVERIFY(m_comm->IsOpen());
        QVERIFY(m_comm->Handle() != CommNoPort);
        QCOMPARE(m_comm->DevicePath(), m_peer->SlavePath());
        QCOMPARE(m_peer->OutputSpeed(), unsigned(rate));
        QCOMPARE(m_peer->CFlag() & (CSIZE | CSTOPB | CRTSCTS | PARENB), cflagSet);
        QCOMPARE(m_peer->IFlag() & (IXON | IXOFF | ICRNL | INLCR), iflagSet); // raw: no CR translation
    }

    void openFailsWithTheComponentsMessages_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("message");
        QTest::newRow("port 0") << 0 << CannotOpen;
        QTest::newRow("mapped device missing") << 9 << CannotOpen;
        QTest::newRow("mapped file, not a tty") << 10 << CannotOpen;
        QTest::newRow("unmapped number without a device") << 31 << CannotOpen;
    }
    void openFailsWithTheComponentsMessages()
    {
        QFETCH(int, port);
        QFETCH(QString, message);
        m_comm->SetPortNo(port);
        QCOMPARE(RaisedBy([&] { m_comm->Open(); }), message);
        QVERIFY(!m_comm->IsOpen());
        QCOMPARE(m_comm->Handle(), CommNoPort);
    }

    void secondOpenAndSecondOwnerAreRefused()
    {
        m_comm->Open();
        QCOMPARE(RaisedBy([&] { m_comm->Open(); }), AlreadyOpen);
        QVERIFY(m_comm->IsOpen());
        TCommX other;
        other.SetPortNo(7);
        QCOMPARE(RaisedBy([&] { other.Open(); }), CannotOpen); // the port is not shared
        m_comm->Close();
        other.Open(); // and free again once closed
        QVERIFY(other.IsOpen());
    }

    // A second program opening a port: the component's open error, and the reason a
    // window gives the operator (port in use; not in the dialout group).
    void aSecondProgramIsToldWhyItCannotOpen_data()
    {
        QTest::addColumn<bool>("held");     // this station has the port open
        QTest::addColumn<bool>("asNobody"); // the second program runs as another user
        QTest::addColumn<int>("mode");      // of the device node, 0 to leave it
        QTest::addColumn<QString>("reason");
        QTest::newRow("another station, same user") << true << false << 0 << Reason(EBUSY);
        QTest::newRow("another user's program") << true << true << 0666 << Reason(EBUSY);
        QTest::newRow("a user not in dialout") << false << true << 0660 << Reason(EACCES);
    }
    void aSecondProgramIsToldWhyItCannotOpen()
    {
        QFETCH(bool, held);
        QFETCH(bool, asNobody);
        QFETCH(int, mode);
        QFETCH(QString, reason);
        const QByteArray slave = m_peer->SlavePath().toLocal8Bit();
        if (mode && geteuid() == 0) {
            QCOMPARE(::chown(slave.constData(), 0, 20), 0); // root:dialout, as udev leaves a ttyUSB
            QCOMPARE(::chmod(slave.constData(), mode_t(mode)), 0);
        } else if (mode == 0660) {
            QCOMPARE(::chmod(slave.constData(), 0), 0); // a user's own pty: shut it to its owner
        }
        QCOMPARE(::chmod(m_folder->Path().toLocal8Bit().constData(), 0755), 0);
        if (held)
            m_comm->Open();
        const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/commx_open");
        const auto [output, code] = Run(probe, {QStringLiteral("7")}, asNobody);
        QCOMPARE(code, 1);
        QCOMPARE(output, CannotOpen + QLatin1Char('\n') + reason);
        QVERIFY(reason.contains(QStringLiteral("使用中")) || reason.contains(QStringLiteral("dialout")));
    }

    // A terminal program pays no heed to locks; the kernel keeps it off the port.
    void aTerminalProgramCannotTakeTheStationsPort()
    {
        const QByteArray slave = m_peer->SlavePath().toLocal8Bit();
        if (geteuid() == 0)
            QCOMPARE(::chown(slave.constData(), Nobody, Nobody), 0);
        const QStringList openIt{QStringLiteral("-c"),
                                 QStringLiteral("exec 3<>") + m_peer->SlavePath() + " && echo opened"};
        QCOMPARE(Run(QStringLiteral("/bin/sh"), openIt, true).first, QStringLiteral("opened")); // free: it may
        m_comm->Open();
        const auto [output, code] = Run(QStringLiteral("/bin/sh"), openIt, true);
        QVERIFY2(code != 0 && output.contains(QStringLiteral("busy")), qPrintable(output));
        m_comm->Close();
        QCOMPARE(Run(QStringLiteral("/bin/sh"), openIt, true).first, QStringLiteral("opened"));
    }

    void refusedSettingKeepsThePortAsItWas()
    {
        // A pseudo-terminal has no parity and only 8 data bits: the component says so.
        m_comm->Open();
        QCOMPARE(RaisedBy([&] { m_comm->SetCharSize(7); }), QStringLiteral("通信ビット数の設定でエラーが発生しました"));
        QCOMPARE(RaisedBy([&] { m_comm->SetParityBit(cpbEven); }),
                 QStringLiteral("通信パリティチェックの設定でエラーが発生しました"));
        QCOMPARE(RaisedBy([&] { m_comm->SetBitRate(0); }), QStringLiteral("通信速度の設定でエラーが発生しました"));
        QCOMPARE(RaisedBy([&] { m_comm->SetStopBit(csb1p5); }),
                 QStringLiteral("通信ストップビット数の設定でエラーが発生しました"));
        QCOMPARE(RaisedBy([&] { m_comm->SetBufLenTrans(0); }),
                 QStringLiteral("通信用ポートのバッファを準備できませんでした"));
        QCOMPARE(RaisedBy([&] { m_comm->SetTimeOutReceive(-1); }),
                 QStringLiteral("通信タイムアウト時間の設定で失敗しました"));
        QVERIFY(m_comm->IsOpen());
        QCOMPARE(m_peer->OutputSpeed(), 9600u);
        QCOMPARE(m_comm->Dcb().charSize, 8);
        // And a failed Open leaves nothing open behind it.
        TCommX bad;
        bad.SetPortNo(8);
        bad.SetCharSize(6);
        QCOMPARE(RaisedBy([&] { bad.Open(); }), QStringLiteral("通信ビット数の設定でエラーが発生しました"));
        QVERIFY(!bad.IsOpen());
        TCommX good;
        good.SetPortNo(8);
        good.Open();
    }

    void settersOnAClosedComponentTouchNoDevice()
    {
        TCommX holder; // sets the pty to 4800 and closes it again
        holder.SetPortNo(7);
        holder.SetBitRate(4800);
        holder.Open();
        holder.Close();
        const unsigned cflag = m_peer->CFlag();
        m_comm->SetBitRate(1200);
        m_comm->SetStopBit(csb2);
        m_comm->SetFlowCtrl(cfcXonXoff);
        m_comm->SetBufLenReceive(8192);
        m_comm->SetBufLenTrans(16);
        m_comm->SetTimeOutReceive(10);
        m_comm->SetCharSize(7); // would be refused by an open pty
        m_comm->SetPortNo(9);   // a missing device: nothing is opened, nothing raised
        QCOMPARE(m_peer->OutputSpeed(), 4800u);
        QCOMPARE(m_peer->CFlag(), cflag);
        QCOMPARE(m_comm->Handle(), CommNoPort);
        QCOMPARE(m_comm->DevicePath(), QString());
    }

    void portNoOnAnOpenComponentReopensTheNewPort()
    {
        QSignalSpy received(m_comm.get(), &TCommX::OnReceive);
        m_comm->Open();
        m_comm->SetPortNo(8);
        QVERIFY(m_comm->IsOpen());
        QCOMPARE(m_comm->DevicePath(), m_peer2->SlavePath());
        TCommX other; // port 7 was let go
        other.SetPortNo(7);
        other.Open();
        connect(m_comm.get(), &TCommX::OnReceive, this, [&](QObject *, int size) {
            for (int i = 0; i < size; ++i)
                m_comm->ReadByte();
        });
        m_peer2->Write("8");
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, 5000);
        QCOMPARE(received.at(0).at(1).toInt(), 1);
        // A failed reopen leaves the component closed.
        QCOMPARE(RaisedBy([&] { m_comm->SetPortNo(9); }), CannotOpen);
        QVERIFY(!m_comm->IsOpen());
    }

    void receivedBytesReachTheHandlerInOrder_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::newRow("one frame") << QList<QByteArray>{"A 0012 10:15:42.123\r"};
        QTest::newRow("frame split over reads") << QList<QByteArray>{"A 00", "12 10:1", "5:42.123\r", "B\r"};
        QTest::newRow("binary and high bytes") << QList<QByteArray>{QByteArray("\x00\x11\x13\xff\r\n", 6), "\x80"};
    }
    void receivedBytesReachTheHandlerInOrder()
    {
        QFETCH(QList<QByteArray>, chunks);
        QByteArray got;
        QList<int> sizes;
        bool onGuiThread = true;
        connect(m_comm.get(), &TCommX::OnReceive, this, [&](QObject *sender, int size) {
            onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread() && sender == m_comm.get();
            sizes << size;
            for (int i = 0; i < size; ++i) {
                const int b = m_comm->ReadByte();
                QVERIFY(b >= 0);
                got.append(char(b));
            }
        });
        m_comm->SetFlowCtrl(cfcNone); // 0x11 and 0x13 are data here
        m_comm->Open();
        QByteArray all;
        for (const QByteArray &chunk : chunks) {
            m_peer->Write(chunk);
            all += chunk;
            QTRY_COMPARE_WITH_TIMEOUT(got.size(), all.size(), 5000); // one chunk at a time
        }
        QCOMPARE(got, all);
        QVERIFY(onGuiThread);
        QVERIFY(sizes.size() >= chunks.size());
    }

    void aReportFoundEmptyRaisesNothing()
    {
        // The window reads "B" itself while the report of its arrival waits for the GUI
        // thread; that report then finds the queue empty and must raise nothing before "C".
        QList<QByteArray> events;
        connect(m_comm.get(), &TCommX::OnReceive, this, [&](QObject *, int size) {
            QByteArray bytes;
            for (int i = 0; i < size; ++i)
                bytes.append(char(m_comm->ReadByte()));
            events << bytes;
        });
        m_comm->Open();
        m_peer->Write("B");
        QElapsedTimer t;
        t.start();
        while (m_comm->InQueueCount() == 0 && t.elapsed() < 5000)
            QThread::msleep(1);
        QThread::msleep(100); // the receive thread reports it meanwhile (no events are handled)
        QCOMPARE(m_comm->ReadByte(), int('B'));
        QTest::qWait(100); // the report is handled now
        m_peer->Write("C");
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), 1, 5000);
        QCOMPARE(events.at(0), QByteArray("C"));
    }

    void readByteWaitsTheReceiveTimeOut()
    {
        QCOMPARE(m_comm->ReadByte(), -1); // closed
        m_comm->SetTimeOutReceive(300);
        m_comm->Open();
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(20);
        QElapsedTimer t;
        t.start();
        QCOMPARE(m_comm->ReadByte(), -1);
        QVERIFY2(t.elapsed() >= 280 && t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(ticks > 0); // the window kept handling its events meanwhile
        // A byte that comes during the wait is returned at once.
        QTimer::singleShot(50, this, [&] { m_peer->Write("Z"); });
        QCOMPARE(m_comm->ReadByte(), int('Z'));
    }

    void writeQueuesBlocksOfBufLenTrans()
    {
        QVERIFY(!m_comm->Write("x", 1)); // closed
        m_comm->Open();
        QVERIFY(m_comm->Write("", 0));
        QSignalSpy trans(m_comm.get(), &TCommX::OnTrans);
        QByteArray data(5000, 0);
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 7 + i / 256);
        QVERIFY(m_comm->Write(data.constData(), int(data.size())));
        QCOMPARE(m_peer->Read(int(data.size()), 5000), data);
        QTRY_COMPARE_WITH_TIMEOUT(trans.count(), 3, 5000);
        QCOMPARE(trans.at(0).at(1).toInt(), 2048);
        QCOMPARE(trans.at(1).at(1).toInt(), 2048);
        QCOMPARE(trans.at(2).at(1).toInt(), 904);
        QCOMPARE(m_comm->PendingBytes(), 0);
        QCOMPARE(m_comm->PendingBlocks(), 0);
    }

    void writeWaitsAt32PendingBlocksWhileTheWindowRuns()
    {
        OpenWithOutputStopped();
        if (QTest::currentTestFailed())
            return;
        QByteArray data(40 * 16, 'w');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char('a' + i % 26);
        bool writing = false;
        bool ranWhileWaiting = false;
        int pendingSeen = 0;
        QTimer::singleShot(150, this, [&] {
            ranWhileWaiting = writing;
            pendingSeen = m_comm->PendingBlocks();
            m_peer->Write("\x11"); // XON: output goes on
        });
        writing = true;
        QVERIFY(m_comm->Write(data.constData(), int(data.size())));
        writing = false;
        QVERIFY(ranWhileWaiting);
        QCOMPARE(pendingSeen, 32);
        QCOMPARE(m_peer->Read(int(data.size()), 5000), data);
        QTRY_COMPARE_WITH_TIMEOUT(m_comm->PendingBlocks(), 0, 5000);
    }

    void purgeTransDropsQueuedBlocksButReportsThem()
    {
        OpenWithOutputStopped();
        if (QTest::currentTestFailed())
            return;
        QSignalSpy trans(m_comm.get(), &TCommX::OnTrans);
        QVERIFY(m_comm->Write(QByteArray(48, 'p').constData(), 48));
        QTRY_VERIFY_WITH_TIMEOUT(m_comm->PendingBlocks() == 3, 5000);
        m_comm->PurgeTrans();
        QCOMPARE(m_comm->PendingBytes(), 0);
        QCOMPARE(m_comm->PendingBlocks(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(trans.count(), 3, 5000);
        for (const QList<QVariant> &t : trans)
            QCOMPARE(t.at(1).toInt(), 16);
        m_peer->Write("\x11");
        QCOMPARE(m_peer->Read(1, 300), QByteArray()); // nothing of it was written
        // The port still writes afterwards.
        QVERIFY(m_comm->Write("ok", 2));
        QCOMPARE(m_peer->Read(2, 5000), QByteArray("ok"));
    }

    void xonXoffLimitsFollowTheReceiveQueue_data()
    {
        QTest::addColumn<int>("flow");
        QTest::addColumn<unsigned>("flags");
        QTest::newRow("rts/cts") << int(cfcRtsCts) << 0x2017u;
        QTest::newRow("dtr/dsr") << int(cfcDtrDsr) << 0x102Bu;
        QTest::newRow("xon/xoff") << int(cfcXonXoff) << 0x1313u;
        QTest::newRow("half high") << int(cfcHalfHigh) << 0x0013u;
        QTest::newRow("half low") << int(cfcHalfLow) << 0x1013u;
        QTest::newRow("none") << int(cfcNone) << 0x1013u;
    }
    void xonXoffLimitsFollowTheReceiveQueue()
    {
        QFETCH(int, flow);
        QFETCH(unsigned, flags);
        m_comm->SetFlowCtrl(TCommFlowCtrls(flow));
        m_comm->Open();
        QCOMPARE(m_comm->Dcb().xonLim, quint16(512));
        m_comm->SetBufLenReceive(8192);
        QCOMPARE(m_comm->Dcb().xonLim, quint16(2048));
        QCOMPARE(m_comm->Dcb().xoffLim, quint16(6144));
        QCOMPARE(m_comm->Dcb().flags, flags);
        QCOMPARE(m_comm->Dcb().xonChar, quint8(0x11));
        QCOMPARE(m_comm->Dcb().xoffChar, quint8(0x13));
    }

    void closeEndsThreadsPromptlyEvenWithAWriteStuck()
    {
        OpenWithOutputStopped();
        if (QTest::currentTestFailed())
            return;
        QSignalSpy trans(m_comm.get(), &TCommX::OnTrans);
        QSignalSpy received(m_comm.get(), &TCommX::OnReceive);
        QVERIFY(m_comm->Write(QByteArray(64, 'c').constData(), 64));
        // A report of these bytes is on its way (its thread waits for the GUI thread)
        // when the port closes.
        m_peer->Write("late");
        QThread::msleep(50);
        QElapsedTimer t;
        t.start();
        m_comm->Close();
        QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!m_comm->IsOpen());
        QTest::qWait(200);
        QCOMPARE(received.count(), 0);
        QCOMPARE(trans.count(), 0); // no event after Close
        m_comm->Close();            // a second Close does nothing
    }

    void closeFromTheReceiveHandler()
    {
        int calls = 0;
        connect(m_comm.get(), &TCommX::OnReceive, this, [&](QObject *, int) {
            ++calls;
            m_comm->Close();
        });
        m_comm->Open();
        m_peer->Write("1");
        QTRY_VERIFY_WITH_TIMEOUT(!m_comm->IsOpen(), 5000);
        m_comm->Open(); // opens again, and hears again
        m_peer->Write("2");
        QTRY_COMPARE_WITH_TIMEOUT(calls, 2, 5000);
    }

    void aPeerThatHangsUpIsReportedOnceWithoutSpinning()
    {
        QSignalSpy signal(m_comm.get(), &TCommX::OnSignal);
        QSignalSpy received(m_comm.get(), &TCommX::OnReceive);
        QSignalSpy trans(m_comm.get(), &TCommX::OnTrans);
        m_comm->Open();
        m_peer->HangUp();
        QTRY_COMPARE_WITH_TIMEOUT(signal.count(), 1, 5000);
        QCOMPARE(signal.at(0).at(1).toInt() & CommEv::Rlsd, int(CommEv::Rlsd));
        const qint64 cpu = CpuMs();
        QTest::qWait(500);
        QVERIFY2(CpuMs() - cpu < 150, qPrintable(QString::number(CpuMs() - cpu)));
        QCOMPARE(signal.count(), 1);
        QCOMPARE(received.count(), 0);
        QCOMPARE(m_comm->ReadByte(), -1);
        QVERIFY(m_comm->Write("gone", 4)); // dropped, still reported; the thread goes on
        QTRY_COMPARE_WITH_TIMEOUT(trans.count(), 1, 5000);
        QCOMPARE(trans.at(0).at(1).toInt(), 4);
        QElapsedTimer t;
        t.start();
        m_comm->Close();
        QVERIFY(t.elapsed() < 1500);
    }
};

QTEST_GUILESS_MAIN(TestCommX)
#include "tst_commx.moc"
