// The timing device's USB adapter is pulled during timing and plugged back, on a fake
// machine whose sysfs and device folder the suite controls: the adapter (an FTDI chip)
// is ttyUSB0, a pseudo-terminal behind it, and comes back as ttyUSB1 (the kernel keeps the
// old name while a program still holds it) with a new pseudo-terminal. The window says so
// on its status line, never in a box, closes the dead port, opens the adapter again by
// itself and goes on taking frames. Also: a carrier change is no loss, and a port held by
// another program is named as such.
#include "CommX.h"
#include "FakeMachine.h"
#include "PtyPeer.h"
#include "ScriptedLine.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "RegistrationWindow.h"
#include "ProgramSettings.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QtTest>

#include <sys/resource.h>

using namespace TestSupport;

namespace
{

const TFakeAdapter Ftdi{"0403", "6001", "A601XYZ", "1-2", "00", "usb-FTDI_FT232R_USB_UART_A601XYZ-if00-port0"};

// CPU time of the whole process, all threads, in milliseconds.
double cpuMsec()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

} // namespace

class TstSerialGone : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void photocellAdapterPulledAndPluggedBack();
    void transponderAdapterPulledAndPluggedBack();
    void carrierChangeShowsNothing();
    void lineErrorMarksItsFrameDoubtful();
    void portHeldByAnotherProgramIsNamed();

private:
    int rows() { return m_db->value(QStringLiteral("select count(*) from midtp2")).toInt(); }
    // The working folder's settings: the fake machine's roots, and the photocell's port.
    void writeSettings(const QByteArray &more = QByteArray());

    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<TFakeMachine> m_fake;
    std::unique_ptr<DialogRecorder> m_dialogs;
    QMainWindow *m_main = nullptr;
    QTemporaryDir m_work;
};

void TstSerialGone::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_serialgone"));
    QDir::setCurrent(m_work.path());
    qputenv("XDG_DATA_HOME", m_work.filePath(QStringLiteral("share")).toLocal8Bit());
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
}

void TstSerialGone::init()
{
    m_fake = std::make_unique<TFakeMachine>();
    QFile::remove(SerialAssignmentsFile());
    writeSettings();
    m_db->exec(QStringLiteral("delete from midtp2"));
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    Dm1->PreparePhotocellQueries(QStringLiteral("R2026A"));
    m_dialogs = std::make_unique<DialogRecorder>();
    m_main = new QMainWindow;
    m_main->resize(1100, 700); // the timing windows open centred on it, on the screen
    m_main->show();
    Fcheck = new TFcheck(Dm1, m_main);
}

void TstSerialGone::cleanup()
{
    delete m_main; // and Fcheck with it
    m_main = nullptr;
    Fcheck = nullptr;
    m_dialogs.reset();
    m_fake.reset();
}

void TstSerialGone::writeSettings(const QByteArray &more)
{
    QFile ini(m_work.filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[SerialPorts]\r\nDevRoot=" + m_fake->DevRoot().toLocal8Bit() +
              "\r\nSysRoot=" + m_fake->SysRoot().toLocal8Bit() + "\r\n" + more);
}

void TstSerialGone::photocellAdapterPulledAndPluggedBack()
{
    auto timer = std::make_unique<TPtyPeer>();
    m_fake->Plug(QStringLiteral("ttyUSB0"), Ftdi, timer->SlavePath());
    QCOMPARE(SerialPortList(), QStringList{QStringLiteral("COM33")});
    ProgramSettings.Alge = 33;
    ProgramSettings.Automode = 1;
    auto w = std::make_unique<TFhand>(Dm1, m_main);
    w->show();
    QVERIFY(w->CommX1->IsOpen());
    QVERIFY(w->LbPortStatus->isHidden());
    timer->Write(" 0012 C1  10:15:30.123   1\r");
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 1, 10000);

    // Pulled in the middle of a frame.
    timer->Write(" 0099 C1  10:1");
    QTest::qWait(200);
    timer->HangUp();
    m_fake->Unplug(QStringLiteral("ttyUSB0"));
    QTRY_VERIFY_WITH_TIMEOUT(w->LbPortStatus->isVisible(), 10000);
    QVERIFY2(w->LbPortStatus->text().startsWith(QStringLiteral("COM33 との接続が切れました")),
             qPrintable(w->LbPortStatus->text()));
    QVERIFY(!w->CommX1->IsOpen()); // the dead descriptor is closed
    QCOMPARE(w->Cbxcomm1->currentText(), QStringLiteral("COM33"));
    QCOMPARE(ProgramSettings.Alge, 33);

    // Nothing spins while the port is away (a spinning thread would take about a core),
    // and the window stays usable: a stored passing is recorded by hand.
    const double before = cpuMsec();
    QTest::qWait(2000);
    const double spent = cpuMsec() - before;
    QVERIFY2(spent < 600, qPrintable(QStringLiteral("%1 ms of CPU time in 2 s").arg(spent)));
    w->Edit1->setText(QStringLiteral("10:15:30.123"));
    w->Edit2->setText(QStringLiteral("12"));
    QTest::keyClick(w->Edit2, Qt::Key_Return);
    QCOMPARE(m_db->value(QStringLiteral("select midtime1 from result where tcode='R2026A' and zek='0012'")),
             QStringLiteral("   10:00.1"));

    // Plugged back: the same adapter, now ttyUSB1. The window opens it by itself.
    timer = std::make_unique<TPtyPeer>();
    m_fake->Plug(QStringLiteral("ttyUSB1"), Ftdi, timer->SlavePath());
    QTRY_VERIFY_WITH_TIMEOUT(w->CommX1->IsOpen(), 10000);
    QCOMPARE(w->CommX1->DevicePath(), m_fake->DevRoot() + QStringLiteral("/ttyUSB1"));
    QVERIFY2(w->LbPortStatus->text().startsWith(QStringLiteral("COM33 につなぎ直し、取込を再開しました")),
             qPrintable(w->LbPortStatus->text()));
    QVERIFY(w->LbPortStatus->text().contains(QStringLiteral("秒間、接続が切れていました")));

    // A frame sent after the re-plug is stored whole (the half frame from before the loss
    // is not glued to it) and recorded.
    timer->Write(" 0013 C1  10:16:00.500   1\r");
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 2, 10000);
    QCOMPARE(w->Memo1->toPlainText().split(QLatin1Char('\n')).mid(1, 2),
             (QStringList{" 0099 C1  10:1", " 0013 C1  10:16:00.500   1"}));
    QCOMPARE(m_db->rows(QStringLiteral("select zek,time from midtp2 order by tpno1")),
             (QList<QStringList>{{"012", "10:15:30.123"}, {"013", "10:16:00.500"}}));
    QCOMPARE(m_db->value(QStringLiteral("select midtime1 from result where tcode='R2026A' and zek='0013'")),
             QStringLiteral("   10:00.5"));
    QCOMPARE(m_dialogs->shown.size(), 0); // never a box
    QCOMPARE(ProgramSettings.Alge, 33);
}

void TstSerialGone::transponderAdapterPulledAndPluggedBack()
{
    auto decoder = std::make_unique<TPtyPeer>();
    m_fake->Plug(QStringLiteral("ttyUSB0"), Ftdi, decoder->SlavePath());
    writeSettings("[Port]\r\nAmb=33\r\n");
    Dm1->Qmidtp->setSQL({QStringLiteral("select * from midtp order by zek")});
    Dm1->Qmidtp->Open();
    auto w = std::make_unique<TFtpnoset>(Dm1);
    w->Timer1->stop(); // the readings stay queued
    w->show();
    QVERIFY(w->CommX1->IsOpen());

    decoder->HangUp();
    m_fake->Unplug(QStringLiteral("ttyUSB0"));
    QTRY_VERIFY_WITH_TIMEOUT(w->LbPortStatus->isVisible(), 10000);
    QVERIFY(w->LbPortStatus->text().startsWith(QStringLiteral("COM33 との接続が切れました")));
    QVERIFY(!w->CommX1->IsOpen());

    decoder = std::make_unique<TPtyPeer>();
    m_fake->Plug(QStringLiteral("ttyUSB1"), Ftdi, decoder->SlavePath());
    QTRY_VERIFY_WITH_TIMEOUT(w->CommX1->IsOpen(), 10000);
    QVERIFY(w->LbPortStatus->text().startsWith(QStringLiteral("COM33 につなぎ直し")));
    decoder->Write("\n@\t17\t4\t0123456\t12.345\t5\t80\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(w->amblist, QStringList{QStringLiteral("0123456\t12.345\t5\t80")}, 10000);
    QCOMPARE(m_dialogs->shown.size(), 0);

    // Another adapter plugged in while the window is open is offered when the list opens.
    m_fake->Plug(QStringLiteral("ttyACM0"), TFakeAdapter{"2341", "0043", "9553", "1-7", "00", ""});
    QCOMPARE(w->Cbxcomm1->findText(QStringLiteral("COM65")), -1);
    w->Cbxcomm1->showPopup();
    w->Cbxcomm1->hidePopup();
    QVERIFY(w->Cbxcomm1->findText(QStringLiteral("COM65")) > 0);
    QCOMPARE(w->Cbxcomm1->currentText(), QStringLiteral("COM33"));
}

// On a real port every carrier change is reported; it is not the line going away.
void TstSerialGone::carrierChangeShowsNothing()
{
    std::shared_ptr<TScriptedPort> line = TScriptedPort::Create();
    auto w = std::make_unique<TFhand>(Dm1, m_main);
    w->CommX1->SetLineFactory(line->Factory());
    w->show();
    w->com1open(1);
    QVERIFY(w->CommX1->IsOpen());
    QSignalSpy signal(w->CommX1, &TCommX::OnSignal);
    line->SetModemStatus(CommMs::Cts | CommMs::Dsr);
    line->Wake(CommEv::Rlsd);
    QTRY_COMPARE_WITH_TIMEOUT(signal.count(), 1, 5000);
    line->Wake(0, 0, " 0014 C1  10:17:00.000   1\r");
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 1, 10000);
    QVERIFY(w->CommX1->IsOpen());
    QVERIFY(w->LbPortStatus->isHidden());
    QCOMPARE(m_dialogs->shown.size(), 0);
}

// A parity, framing or overrun error while a frame arrives: the frame is kept for the
// operator, not recorded as a time; the next frame is recorded as usual.
void TstSerialGone::lineErrorMarksItsFrameDoubtful()
{
    std::shared_ptr<TScriptedPort> line = TScriptedPort::Create();
    ProgramSettings.Automode = 1;
    auto w = std::make_unique<TFhand>(Dm1, m_main);
    w->CommX1->SetLineFactory(line->Factory());
    w->show();
    w->com1open(1);
    line->Wake(0, 0, " 0015 C1  10:1");
    line->Wake(CommEv::Err, CommCe::RxParity, "7:30.000   1\r");
    line->Wake(0, 0, " 0016 C1  10:18:00.000   1\r");
    QTRY_COMPARE_WITH_TIMEOUT(rows(), 2, 10000);
    QCOMPARE(m_db->rows(QStringLiteral("select zek,fl from midtp2 order by tpno1")),
             (QList<QStringList>{{"015", "B"}, {"016", "A"}}));
    QTRY_COMPARE(m_db->value(QStringLiteral("select count(*) from result where tcode='R2026A' and midtime1 is not null "
                                            "and zek in ('0015','0016')")),
                 QStringLiteral("1"));
    QCOMPARE(m_dialogs->shown.size(), 0);
}

void TstSerialGone::portHeldByAnotherProgramIsNamed()
{
    TPtyPeer timer;
    writeSettings("COM7=" + timer.SlavePath().toLocal8Bit() + "\r\n");
    TCommX other; // another program's hold on the port
    other.SetPortNo(7);
    other.Open();
    auto w = std::make_unique<TFhand>(Dm1, m_main);
    w->show();
    const int at = w->Cbxcomm1->findText(QStringLiteral("COM7"));
    QVERIFY(at > 0);
    w->Cbxcomm1->setCurrentIndex(at);
    w->Cbxcomm1Change();
    QCOMPARE(m_dialogs->texts(),
             QStringList{TFhand::PortMessage() + QLatin1Char('\n') +
                         QStringLiteral("COM7 は他のプログラムが使用中です。端末ソフトなど、このポートを使って"
                                        "いるプログラムを終了してから選び直してください。")});
    QVERIFY(!w->CommX1->IsOpen());
    QCOMPARE(ProgramSettings.Alge, 0);
}

QTEST_MAIN(TstSerialGone)
#include "tst_serialgone.moc"
