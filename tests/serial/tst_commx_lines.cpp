// The serial component over the scripted line: what a pseudo-terminal cannot carry
// (line errors, modem lines, BREAK, RTS around half-duplex bursts).
#include "CommX.h"
#include "ScriptedLine.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

class TestCommXLines : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<TScriptedPort> m_port;
    std::unique_ptr<TCommX> m_comm;
    QStringList m_events;

    void Record()
    {
        connect(m_comm.get(), &TCommX::OnError, this,
                [this](QObject *, int state) { m_events << QStringLiteral("error %1").arg(state, 0, 16); });
        connect(m_comm.get(), &TCommX::OnSignal, this,
                [this](QObject *, int mask) { m_events << QStringLiteral("signal %1").arg(mask, 0, 16); });
        connect(m_comm.get(), &TCommX::OnBreak, this, [this](QObject *) { m_events << QStringLiteral("break"); });
        connect(m_comm.get(), &TCommX::OnReceive, this, [this](QObject *, int size) {
            QByteArray bytes;
            for (int i = 0; i < size; ++i)
                bytes.append(char(m_comm->ReadByte()));
            m_events << QStringLiteral("receive %1 %2").arg(size).arg(QString::fromLatin1(bytes));
        });
    }

private slots:
    void init()
    {
        m_port = TScriptedPort::Create();
        m_comm = std::make_unique<TCommX>();
        m_comm->SetLineFactory(m_port->Factory());
        m_comm->SetPortNo(3);
        m_events.clear();
    }
    void cleanup()
    {
        m_comm.reset();
        QCOMPARE(m_port->OpenLines(), 0); // the line was closed
        m_port.reset();
    }

    void oneWakeUpReportsErrorSignalReceiveInOrder_data()
    {
        QTest::addColumn<unsigned>("mask");
        QTest::addColumn<unsigned>("errors");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("framing, cts, characters") << CommEv::Cts << CommCe::Frame << QByteArray("xyz")
                                                  << QStringList{"error 8", "signal 89", "receive 3 xyz"};
        QTest::newRow("overrun and parity, dsr and ring")
            << (CommEv::Dsr | CommEv::Ring) << (CommCe::Overrun | CommCe::RxParity) << QByteArray("q")
            << QStringList{"error 6", "signal 191", "receive 1 q"};
        QTest::newRow("carrier alone") << CommEv::Rlsd << 0u << QByteArray() << QStringList{"signal 20"};
        QTest::newRow("break alone") << CommEv::Break << 0u << QByteArray() << QStringList{"break"};
        QTest::newRow("break with cts") << (CommEv::Break | CommEv::Cts) << 0u << QByteArray()
                                        << QStringList{"signal 48", "break"};
        QTest::newRow("error bits outside the mask are not errors")
            << 0u << 0x10u << QByteArray("e") << QStringList{"receive 1 e"};
    }
    void oneWakeUpReportsErrorSignalReceiveInOrder()
    {
        QFETCH(unsigned, mask);
        QFETCH(unsigned, errors);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        Record();
        m_comm->Open();
        m_port->Wake(mask, errors, bytes);
        QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), expected.size(), 5000);
        // The end marker proves nothing else came in between.
        m_port->Wake(0, 0, "!");
        QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), expected.size() + 1, 5000);
        QCOMPARE(m_events.mid(0, expected.size()), expected);
        QCOMPARE(m_events.last(), QStringLiteral("receive 1 !"));
    }

    void halfDuplexFramesABurstWithRts_data()
    {
        QTest::addColumn<int>("flow");
        QTest::addColumn<QList<int>>("rts"); // levels set around the writes, in order
        QTest::newRow("half high") << int(cfcHalfHigh) << QList<int>{1, 0};
        QTest::newRow("half low") << int(cfcHalfLow) << QList<int>{0, 1};
        QTest::newRow("none") << int(cfcNone) << QList<int>{};
        QTest::newRow("rts/cts") << int(cfcRtsCts) << QList<int>{};
        QTest::newRow("xon/xoff") << int(cfcXonXoff) << QList<int>{};
    }
    void halfDuplexFramesABurstWithRts()
    {
        QFETCH(int, flow);
        QFETCH(QList<int>, rts);
        m_comm->SetFlowCtrl(TCommFlowCtrls(flow));
        m_comm->SetBufLenTrans(16);
        m_comm->Open();
        QSignalSpy done(m_comm.get(), &TCommX::OnTrans);
        const QByteArray data(48, 'h');
        m_port->Note(QStringLiteral("queued"));
        QVERIFY(m_comm->Write(data.constData(), int(data.size()))); // three blocks at once
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 3, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_port->Records(QStringLiteral("rts")).size(), rts.size(), 5000);
        QTest::qWait(rts.isEmpty() ? 200 : 50); // a late RTS change would show now
        QCOMPARE(m_port->Written(), data);
        const QList<TScriptedPort::Record> writes = m_port->Records(QStringLiteral("write"));
        const QList<TScriptedPort::Record> changes = m_port->Records(QStringLiteral("rts"));
        QCOMPARE(writes.size(), 3);
        QList<int> levels;
        for (const TScriptedPort::Record &r : changes)
            levels << r.value;
        QCOMPARE(levels, rts);
        if (!rts.isEmpty()) {
            // Turned once for the whole burst: 100 ms before the first block's RTS change,
            // 10 ms after it, 20 ms after the last block.
            const qint64 queued = m_port->Records(QStringLiteral("queued")).first().ms;
            QVERIFY(changes.at(0).ms >= queued + 100 - 1);
            QVERIFY(writes.first().ms >= changes.at(0).ms + 10 - 1);
            QVERIFY(changes.at(1).ms >= writes.last().ms + 20 - 1);
        }
    }

    void dtrDsrHoldsOutputWhileDsrIsLow()
    {
        m_comm->SetFlowCtrl(cfcDtrDsr);
        m_comm->SetTimeOutTrans(0);
        m_comm->Open();
        m_port->SetModemStatus(CommMs::Cts); // DSR low
        QSignalSpy trans(m_comm.get(), &TCommX::OnTrans);
        QVERIFY(m_comm->Write("held", 4));
        QTest::qWait(150);
        QCOMPARE(m_port->Written(), QByteArray());
        QCOMPARE(trans.count(), 0);
        m_port->SetModemStatus(CommMs::Cts | CommMs::Dsr);
        QTRY_COMPARE_WITH_TIMEOUT(m_port->Written(), QByteArray("held"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(trans.count(), 1, 5000);
        // Held past the write time-out: the block is dropped and still reported.
        m_comm->SetTimeOutTrans(100);
        m_port->SetModemStatus(0);
        QVERIFY(m_comm->Write("late", 4));
        QTRY_COMPARE_WITH_TIMEOUT(trans.count(), 2, 5000);
        m_port->SetModemStatus(CommMs::Dsr);
        QTest::qWait(100);
        QCOMPARE(m_port->Written(), QByteArray("held"));
    }

    void otherModesIgnoreDsr()
    {
        m_comm->SetFlowCtrl(cfcRtsCts);
        m_comm->Open();
        m_port->SetModemStatus(0);
        QVERIFY(m_comm->Write("free", 4));
        QTRY_COMPARE_WITH_TIMEOUT(m_port->Written(), QByteArray("free"), 5000);
    }

    void aStalledLineHoldsTheWriterAt32Blocks()
    {
        m_comm->SetBufLenTrans(4);
        m_comm->SetTimeOutTrans(0); // no write time-out: the line decides
        m_comm->Open();
        m_port->SetWritable(false);
        QSignalSpy trans(m_comm.get(), &TCommX::OnTrans);
        int seen = -1;
        QTimer::singleShot(100, this, [&] {
            seen = m_comm->PendingBlocks();
            m_port->SetWritable(true);
        });
        const QByteArray data(4 * 50, 's');
        QVERIFY(m_comm->Write(data.constData(), int(data.size())));
        QCOMPARE(seen, 32);
        QTRY_COMPARE_WITH_TIMEOUT(trans.count(), 50, 5000);
        QCOMPARE(m_port->Written(), data);
    }

    void aHangUpIsOneCarrierChange()
    {
        Record();
        m_comm->Open();
        m_port->Wake(0, 0, "last");
        m_port->HangUp();
        QTRY_COMPARE_WITH_TIMEOUT(m_events.size(), 2, 5000);
        QCOMPARE(m_events, (QStringList{"receive 4 last", "signal 20"}));
        m_port->Wake(CommEv::Cts); // nothing more is heard from a line that hung up
        QTest::qWait(100);
        QCOMPARE(m_events.size(), 2);
    }

    void aReportOnItsWayWhenThePortClosesRaisesNothing_data()
    {
        QTest::addColumn<bool>("reopen");
        QTest::newRow("closed") << false;
        QTest::newRow("closed and opened again") << true;
    }
    void aReportOnItsWayWhenThePortClosesRaisesNothing()
    {
        QFETCH(bool, reopen);
        Record();
        m_comm->Open();
        m_port->Wake(CommEv::Cts, CommCe::Frame, "z");
        QThread::msleep(100); // the receive thread hands the reports over; none is handled yet
        m_comm->Close();
        if (reopen)
            m_comm->Open();
        QTest::qWait(100);
        QCOMPARE(m_events, QStringList());
    }

    void closeDropsTheLinesAndStopsEvents()
    {
        Record();
        m_comm->Open();
        QCOMPARE(m_port->OpenedPath(), QStringLiteral("/dev/ttyS2")); // COM3 unmapped
        m_comm->Close();
        // DTR and RTS dropped, output and input purged, then the line closed.
        QStringList steps;
        for (const TScriptedPort::Record &r : m_port->Records()) {
            const QString step = QStringLiteral("%1 %2").arg(r.what).arg(r.value);
            if (steps.isEmpty() || steps.last() != step)
                steps << step;
        }
        QCOMPARE(steps.mid(steps.size() - 5), (QStringList{"dtr 0", "rts 0", "purge-out 0", "purge-in 0", "close 0"}));
        QCOMPARE(m_port->OpenLines(), 0);
        m_port->Wake(CommEv::Cts, CommCe::Frame, "z");
        QTest::qWait(100);
        QCOMPARE(m_events, QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCommXLines)
#include "tst_commx_lines.moc"
