// The port list of the photocell and transponder windows and the device behind a COM
// number: kernel ttys by their fixed numbers, overridden or added by [SerialPorts].
#include "PtyPeer.h"
#include "SerialPorts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSerialPorts : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_sys;
    QTemporaryDir m_dev;

    // A fake /sys/class/tty: name -> the content of its "type" file ("" for none); a
    // name starting with "-" has no device link.
    void MakeTty(const QString &name, const QByteArray &type = QByteArray())
    {
        QDir root(m_sys.path());
        if (name.startsWith(QLatin1Char('-'))) {
            root.mkpath(name.mid(1));
            return;
        }
        root.mkpath(name + QStringLiteral("/device"));
        if (!type.isEmpty()) {
            QFile f(root.filePath(name + QStringLiteral("/type")));
            f.open(QIODevice::WriteOnly);
            f.write(type + "\n");
        }
    }
    QString WriteIni(const QByteArray &section)
    {
        const QString path = m_dev.filePath(QStringLiteral("VidadIva.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write("[Talk]\r\nSpeaker=3\r\n" + section);
        return path;
    }

private slots:
    void initTestCase()
    {
        MakeTty(QStringLiteral("ttyS0"), "4");
        MakeTty(QStringLiteral("ttyS1"), "0");  // a reserved 8250 port with no UART
        MakeTty(QStringLiteral("ttyS3"), "4");
        MakeTty(QStringLiteral("ttyUSB0"));
        MakeTty(QStringLiteral("ttyACM1"));
        MakeTty(QStringLiteral("ttyAMA0"));
        MakeTty(QStringLiteral("-tty1"));  // a console
        MakeTty(QStringLiteral("-ptmx"));
    }

    void numbersOfKernelNames_data()
    {
        QTest::addColumn<QString>("tty");
        QTest::addColumn<int>("number");
        QTest::newRow("ttyS0") << "ttyS0" << 1;
        QTest::newRow("ttyS31") << "ttyS31" << 32;
        QTest::newRow("ttyUSB0") << "ttyUSB0" << 33;
        QTest::newRow("ttyACM2") << "ttyACM2" << 67;
        QTest::newRow("ttyS32 has none") << "ttyS32" << 0;
        QTest::newRow("ttyAMA0 has none") << "ttyAMA0" << 0;
        QTest::newRow("tty1 has none") << "tty1" << 0;
    }
    void numbersOfKernelNames()
    {
        QFETCH(QString, tty);
        QFETCH(int, number);
        QCOMPARE(ComNumberOfTty(tty), number);
    }

    void listAndDevices_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QStringList>("list");  // "COMn device present/absent mapped?"
        QTest::newRow("machine only") << QByteArray()
                                      << QStringList{"COM1 /dev/ttyS0", "COM4 /dev/ttyS3", "COM33 /dev/ttyUSB0",
                                                     "COM66 /dev/ttyACM1", "COM97 /dev/ttyAMA0"};
        QTest::newRow("mapped, overriding, absent, hidden")
            << QByteArray("[SerialPorts]\r\ncom7=@PTY@\r\nCOM1=/dev/no-such-serial\r\nCOM33=\r\n"
                          "COM12=ttyAMA0\r\nCOMX=/dev/null\r\nCOM0=/dev/null\r\n")
            << QStringList{"COM1 /dev/no-such-serial mapped", "COM4 /dev/ttyS3", "COM7 @PTY@ mapped",
                           "COM12 /dev/ttyAMA0 mapped", "COM66 /dev/ttyACM1", "COM97 /dev/ttyAMA0"};
    }
    void listAndDevices()
    {
        QFETCH(QByteArray, section);
        QFETCH(QStringList, list);
        TPtyPeer pty;
        section.replace("@PTY@", pty.SlavePath().toLocal8Bit());
        const QString ini = WriteIni(section);
        QStringList got;
        for (const TSerialPortEntry &e : SerialPortEntries(m_sys.path(), ini)) {
            QCOMPARE(e.name, QStringLiteral("COM%1").arg(e.portNo));
            QCOMPARE(e.present, QFileInfo::exists(e.device));
            QCOMPARE(SerialDevicePath(e.portNo, m_sys.path(), ini), e.device);
            QString row = QStringLiteral("%1 %2").arg(e.name, e.device) + (e.mapped ? QStringLiteral(" mapped") : QString());
            got << row.replace(pty.SlavePath(), QStringLiteral("@PTY@"));
        }
        QCOMPARE(got, list);
    }

    void devicesOfNumbersNotListed_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::newRow("0") << 0 << QString();
        QTest::newRow("-3") << -3 << QString();
        QTest::newRow("COM2: its ttyS even when not listed") << 2 << "/dev/ttyS1";
        QTest::newRow("COM40") << 40 << "/dev/ttyUSB7";
        QTest::newRow("COM70") << 70 << "/dev/ttyACM5";
        QTest::newRow("COM98: nothing") << 98 << QString();
        QTest::newRow("COM33 taken away by an empty mapping") << 33 << QString();
    }
    void devicesOfNumbersNotListed()
    {
        QFETCH(int, port);
        QFETCH(QString, device);
        const QString ini = WriteIni("[SerialPorts]\r\nCOM33=\r\n");
        QCOMPARE(SerialDevicePath(port, m_sys.path(), ini), device);
    }

    void theStationReadsItsWorkingFolder()
    {
        TPtyPeer pty;
        TWorkFolder folder({{7, pty.SlavePath()}, {8, QStringLiteral("/dev/no-such-serial")}});
        const QStringList list = SerialPortList();
        QVERIFY(list.contains(QStringLiteral("COM7")));
        QVERIFY(list.contains(QStringLiteral("COM8")));  // absent, still listed
        QCOMPARE(SerialDevicePath(7), pty.SlavePath());
    }
};

QTEST_GUILESS_MAIN(TestSerialPorts)
#include "tst_serialports.moc"
