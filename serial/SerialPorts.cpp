// The port list and the COM-number mapping. Kernel names get fixed numbers so that a saved
// port number keeps meaning the same device; the settings file can point any number at
// any device (a USB adapter by its /dev/serial/by-id name, a pseudo-terminal of a
// rehearsal), and such an entry overrides the number's own device.
#include "SerialPorts.h"

#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

namespace {

const QString SettingsFileName = QStringLiteral("VidadIva.ini");
const QString Section = QStringLiteral("SerialPorts");
constexpr int FirstOtherNumber = 97;  // ttys of other drivers, in name order

QString DefaultSysClassTty() { return QStringLiteral("/sys/class/tty"); }
QString DefaultSettingsFile() { return QDir::current().filePath(SettingsFileName); }

struct Mapping {
    QMap<int, QString> paths;  // an empty path takes the number away
};

Mapping ReadMapping(const QString &settingsFile)
{
    Mapping m;
    static const QRegularExpression key(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    for (const QString &k : ProfileFile::ReadKeys(settingsFile, Section)) {
        const QRegularExpressionMatch match = key.match(k.trimmed());
        if (!match.hasMatch())
            continue;
        const int n = match.captured(1).toInt();
        if (n < 1)
            continue;
        QString path = ProfileFile::ReadString(settingsFile, Section, k);
        if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
            path = QStringLiteral("/dev/") + path;
        m.paths[n] = path;
    }
    return m;
}

TSerialPortEntry Entry(int n, const QString &device, bool mapped)
{
    TSerialPortEntry e;
    e.portNo = n;
    e.name = QStringLiteral("COM%1").arg(n);
    e.device = device;
    e.mapped = mapped;
    e.present = QFileInfo::exists(device);
    return e;
}

QMap<int, TSerialPortEntry> MachinePorts(const QString &sysClassTty)
{
    QMap<int, TSerialPortEntry> ports;
    QStringList others;
    const QDir dir(sysClassTty);
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &name : names) {
        if (!QFileInfo::exists(dir.filePath(name + QStringLiteral("/device"))))
            continue;  // virtual consoles, ptys
        // The 8250 driver registers ports with no UART behind them; their type is 0.
        QFile type(dir.filePath(name + QStringLiteral("/type")));
        if (type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0")
            continue;
        const int n = ComNumberOfTty(name);
        if (n == 0) {
            others << name;
            continue;
        }
        ports[n] = Entry(n, QStringLiteral("/dev/") + name, false);
    }
    int next = FirstOtherNumber;
    for (const QString &name : others) {
        while (ports.contains(next))
            ++next;
        ports[next] = Entry(next, QStringLiteral("/dev/") + name, false);
    }
    return ports;
}

}  // namespace

int ComNumberOfTty(const QString &ttyName)
{
    static const QRegularExpression re(QStringLiteral("^tty(S|USB|ACM)([0-9]+)$"));
    const QRegularExpressionMatch m = re.match(ttyName);
    if (!m.hasMatch())
        return 0;
    const int k = m.captured(2).toInt();
    if (k > 31)
        return 0;
    const QString kind = m.captured(1);
    return kind == QLatin1String("S") ? k + 1 : kind == QLatin1String("USB") ? k + 33 : k + 65;
}

QList<TSerialPortEntry> SerialPortEntries(const QString &sysClassTty, const QString &settingsFile)
{
    QMap<int, TSerialPortEntry> ports = MachinePorts(sysClassTty);
    const Mapping mapping = ReadMapping(settingsFile);
    for (auto it = mapping.paths.cbegin(); it != mapping.paths.cend(); ++it) {
        if (it.value().isEmpty())
            ports.remove(it.key());
        else
            ports[it.key()] = Entry(it.key(), it.value(), true);
    }
    return ports.values();
}

QString SerialDevicePath(int portNo, const QString &sysClassTty, const QString &settingsFile)
{
    if (portNo < 1)
        return QString();
    const Mapping mapping = ReadMapping(settingsFile);
    if (mapping.paths.contains(portNo))
        return mapping.paths.value(portNo);
    const QMap<int, TSerialPortEntry> ports = MachinePorts(sysClassTty);
    if (ports.contains(portNo))
        return ports.value(portNo).device;
    if (portNo <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(portNo - 1);
    if (portNo <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(portNo - 33);
    if (portNo <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(portNo - 65);
    return QString();
}

QList<TSerialPortEntry> SerialPortEntries() { return SerialPortEntries(DefaultSysClassTty(), DefaultSettingsFile()); }

QStringList SerialPortList()
{
    QStringList names;
    for (const TSerialPortEntry &e : SerialPortEntries())
        names << e.name;
    return names;
}

QString SerialDevicePath(int portNo) { return SerialDevicePath(portNo, DefaultSysClassTty(), DefaultSettingsFile()); }
