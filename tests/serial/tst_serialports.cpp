// The port list of the photocell and transponder windows and the device behind a COM
// number, on a fake machine: built-in ports by their fixed numbers, USB adapters by the
// numbers they got when first seen, [SerialPorts] over both; and the port choice's entries.
#include "FakeMachine.h"
#include "PortChoice.h"
#include "PtyPeer.h"
#include "SerialPorts.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace
{

// The adapters the scripts plug in, by letter.
const QMap<QString, TFakeAdapter> Adapters{
    {"A", {"0403", "6001", "A601XYZ", "1-2", "00", "usb-FTDI_FT232R_USB_UART_A601XYZ-if00-port0"}},
    {"B", {"0403", "6001", "B7QQ31", "1-3", "00", "usb-FTDI_FT232R_USB_UART_B7QQ31-if00-port0"}},
    {"N", {"1a86", "7523", "", "1-4", "00", "usb-1a86_USB_Serial-if00-port0"}}, // CH340: no serial number
    {"P", {"1a86", "7523", "", "1-1.3", "00", ""}},                             // the same kind in another port
    {"C1", {"10c4", "ea60", "0001", "1-5", "00", ""}},                          // clones sharing a serial number
    {"C2", {"10c4", "ea60", "0001", "1-6", "00", ""}},
    {"M", {"2341", "0043", "95530343", "1-7", "00", "usb-Arduino_95530343-if00"}}, // CDC-ACM
};

QString Render(const TSerialPortEntry &e)
{
    if (e.mapped)
        return e.name + QStringLiteral(" mapped");
    return e.name + QLatin1Char(' ') + (e.present ? QFileInfo(e.device).fileName() : QStringLiteral("away"));
}

} // namespace

class TestSerialPorts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        static QTemporaryDir data; // the station's own assignments file, for the last case
        qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    }

    void builtInPortsKeepFixedNumbers()
    {
        TFakeMachine fake;
        fake.AddBuiltIn(QStringLiteral("ttyS0"));
        fake.AddBuiltIn(QStringLiteral("ttyS1"), "0"); // a reserved 8250 port with no UART
        fake.AddBuiltIn(QStringLiteral("ttyS3"));
        fake.AddOther(QStringLiteral("ttyAMA0"));
        fake.AddConsole(QStringLiteral("tty1"));
        fake.Plug(QStringLiteral("ttyUSB0"), Adapters["A"]);
        QStringList got;
        for (const TSerialPortEntry &e : SerialPortEntries(fake.Machine()))
            got << Render(e);
        QCOMPARE(got, (QStringList{"COM1 ttyS0", "COM4 ttyS3", "COM33 ttyUSB0", "COM97 ttyAMA0"}));
        QCOMPARE(SerialDevicePath(2, fake.Machine()), fake.DevRoot() + QStringLiteral("/ttyS1")); // fixed, unlisted
        QCOMPARE(SerialDevicePath(40, fake.Machine()), QString());                                // no adapter has it
        QCOMPARE(SerialDevicePath(0, fake.Machine()), QString());
    }

    // Each script runs on a fresh machine. An adapter is seen when the ports are listed.
    // Steps: "plug X ttyUSBk", "unplug ttyUSBk",
    // "reset" (the assignments file deleted), "map COMn", and "list ..." with what
    // SerialPortEntries must give then ("away" for an adapter that is not plugged).
    void adaptersKeepTheirNumbers_data()
    {
        QTest::addColumn<QStringList>("script");
        QTest::newRow("first seen: the number the kernel name asks for")
            << QStringList{"plug A ttyUSB0", "plug M ttyACM0", "list COM33 ttyUSB0|COM65 ttyACM0"};
        QTest::newRow("plugged back while the old node is held: ttyUSB1, still COM33")
            << QStringList{"plug A ttyUSB0",  "list COM33 ttyUSB0", "unplug ttyUSB0",
                           "list COM33 away", "plug A ttyUSB1",     "list COM33 ttyUSB1"};
        QTest::newRow("restart with the two adapters enumerated the other way") << QStringList{
            "plug A ttyUSB0", "plug B ttyUSB1", "list COM33 ttyUSB0|COM34 ttyUSB1", "unplug ttyUSB0", "unplug ttyUSB1",
            "plug B ttyUSB0", "plug A ttyUSB1", "list COM33 ttyUSB1|COM34 ttyUSB0"};
        QTest::newRow("a new adapter does not take the number of one that is away")
            << QStringList{"plug A ttyUSB0", "list COM33 ttyUSB0", "unplug ttyUSB0", "plug B ttyUSB0",
                           "list COM33 away|COM34 ttyUSB0"};
        QTest::newRow("no serial number: the USB port keeps the number")
            << QStringList{"plug N ttyUSB0", "list COM33 ttyUSB0", "unplug ttyUSB0",
                           "plug A ttyUSB0", "plug N ttyUSB1",     "list COM33 ttyUSB1|COM34 ttyUSB0",
                           "unplug ttyUSB1", "plug P ttyUSB1",     "list COM33 away|COM34 ttyUSB0|COM35 ttyUSB1"};
        QTest::newRow("clones sharing a serial number are told apart by port")
            << QStringList{"plug C1 ttyUSB0",
                           "plug C2 ttyUSB1",
                           "list COM33 ttyUSB0|COM34 ttyUSB1",
                           "unplug ttyUSB0",
                           "unplug ttyUSB1",
                           "plug C2 ttyUSB0",
                           "plug C1 ttyUSB1",
                           "list COM33 ttyUSB1|COM34 ttyUSB0"};
        QTest::newRow("a mapped number is not given to an adapter")
            << QStringList{"map COM33", "plug A ttyUSB0", "list COM33 mapped|COM34 ttyUSB0"};
        QTest::newRow("reset: numbers are given afresh") << QStringList{
            "plug A ttyUSB0", "list COM33 ttyUSB0", "unplug ttyUSB0", "plug B ttyUSB0", "list COM33 away|COM34 ttyUSB0",
            "reset",          "list COM33 ttyUSB0"};
    }
    void adaptersKeepTheirNumbers()
    {
        QFETCH(QStringList, script);
        TFakeMachine fake;
        QTemporaryDir work;
        const QString ini = work.filePath(QStringLiteral("VidadIva.ini"));
        std::vector<std::unique_ptr<TPtyPeer>> ptys;
        for (const QString &step : script) {
            const QStringList w = step.split(QLatin1Char(' '));
            if (w[0] == QLatin1String("plug")) {
                ptys.push_back(std::make_unique<TPtyPeer>());
                fake.Plug(w[2], Adapters[w[1]], ptys.back()->SlavePath());
            } else if (w[0] == QLatin1String("unplug")) {
                fake.Unplug(w[1]);
            } else if (w[0] == QLatin1String("reset")) {
                QVERIFY(QFile::remove(fake.AssignmentsFile()));
            } else if (w[0] == QLatin1String("map")) {
                QFile f(ini);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("[SerialPorts]\r\n" + w[1].toLatin1() + "=/dev/null\r\n");
            } else {
                QStringList got;
                for (const TSerialPortEntry &e : SerialPortEntries(fake.Machine(ini))) {
                    got << Render(e);
                    QCOMPARE(SerialDevicePath(e.portNo, fake.Machine(ini)), e.device);
                }
                QVERIFY2(got == step.mid(5).split(QLatin1Char('|')), qPrintable(step + " got: " + got.join('|')));
            }
        }
    }

    void theAssignmentsNameTheAdapter()
    {
        TFakeMachine fake;
        fake.Plug(QStringLiteral("ttyUSB0"), Adapters["A"]);
        fake.Plug(QStringLiteral("ttyUSB1"), Adapters["N"]);
        fake.Plug(QStringLiteral("ttyACM0"), Adapters["M"]);
        SerialPortEntries(fake.Machine());
        QFile f(fake.AssignmentsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        for (const QByteArray &line :
             {QByteArray("COM33=usb 0403:6001 serial A601XYZ if 00"), QByteArray("COM34=usb 1a86:7523 path 1-4 if 00"),
              QByteArray("COM65=usb 2341:0043 serial 95530343 if 00")})
            QVERIFY2(text.contains(line), text.constData());
    }

    void mappingOverridesAndAbsentMappedPortsAreListed()
    {
        TFakeMachine fake;
        fake.AddBuiltIn(QStringLiteral("ttyS0"));
        fake.AddOther(QStringLiteral("ttyAMA0"));
        TPtyPeer pty;
        QTemporaryDir work;
        const QString ini = work.filePath(QStringLiteral("VidadIva.ini"));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Talk]\r\nSpeaker=3\r\n[SerialPorts]\r\ncom7=" + pty.SlavePath().toLocal8Bit() +
                "\r\nCOM1=/dev/no-such-serial\r\nCOM97=\r\nCOM12=ttyAMA0\r\nCOMX=/dev/null\r\nCOM0=/dev/null\r\n");
        f.close();
        QStringList got;
        for (const TSerialPortEntry &e : SerialPortEntries(fake.Machine(ini)))
            got << e.name + QLatin1Char(' ') + QString(e.device).replace(fake.DevRoot(), QStringLiteral("DEV")) +
                       (e.present ? "" : " absent");
        QCOMPARE(got, (QStringList{"COM1 /dev/no-such-serial absent", "COM7 " + pty.SlavePath(), "COM12 DEV/ttyAMA0",
                                   "COM98 DEV/ttyAMA0"}));
        QCOMPARE(SerialDevicePath(97, fake.Machine(ini)), QString()); // taken away
    }

    void portOfEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("port"); // -1: names no port
        QTest::newRow("COM3") << "COM3" << 3;
        QTest::newRow("COM12") << "COM12" << 12;
        QTest::newRow("COM100 is not COM10") << "COM100" << 100;
        QTest::newRow("blank") << "" << 0;
        QTest::newRow("no number") << "COMX" << -1;
        QTest::newRow("another name") << "ttyUSB0" << -1;
    }
    void portOfEntry()
    {
        QFETCH(QString, entry);
        QFETCH(int, port);
        QCOMPARE(TSerialPortChoice::PortOfEntry(entry).value_or(-1), port);
    }

    // The station's own machine: the working folder's settings file may name the roots,
    // and the port choice shows a chosen port that is away.
    void theStationReadsItsWorkingFolder()
    {
        TFakeMachine fake;
        TPtyPeer pty;
        fake.Plug(QStringLiteral("ttyUSB3"), Adapters["A"], pty.SlavePath());
        TWorkFolder folder({{7, QStringLiteral("/dev/no-such-serial")}});
        QVERIFY(ProfileWrite(folder.Path(), "DevRoot", fake.DevRoot()));
        QVERIFY(ProfileWrite(folder.Path(), "SysRoot", fake.SysRoot()));
        QCOMPARE(SerialPortList(), (QStringList{"COM7", "COM36"}));
        QCOMPARE(SerialDevicePath(36), fake.DevRoot() + QStringLiteral("/ttyUSB3"));
        QVERIFY(QFile::exists(SerialAssignmentsFile()));
        QCOMPARE(TSerialPortChoice::Entries(0), (QStringList{"", "COM7", "COM36"}));
        fake.Unplug(QStringLiteral("ttyUSB3"));
        QCOMPARE(TSerialPortChoice::Entries(36), (QStringList{"", "COM7", "COM36"}));
        QCOMPARE(TSerialPortChoice::Entries(0), (QStringList{"", "COM7"}));
        QCOMPARE(TSerialPortChoice::Entries(140), (QStringList{"", "COM7", "COM140"}));
    }

private:
    static bool ProfileWrite(const QString &folder, const char *key, const QString &value)
    {
        QFile f(QDir(folder).filePath(QStringLiteral("VidadIva.ini")));
        if (!f.open(QIODevice::Append))
            return false;
        f.write(QByteArray(key) + "=" + value.toLocal8Bit() + "\r\n");
        return true;
    }
};

QTEST_GUILESS_MAIN(TestSerialPorts)
#include "tst_serialports.moc"
