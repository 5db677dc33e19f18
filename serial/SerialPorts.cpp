// The port list and the COM-number mapping. Built-in ttys keep fixed numbers. USB adapters
// are numbered as Windows numbers them: the kernel hands out ttyUSB names in plug order
// (an adapter plugged back while its old node is still held open comes back as ttyUSB1),
// so the number follows the adapter itself, read from sysfs, and is written down the first
// time the adapter is seen. The settings file can point any number at any device (a
// pseudo-terminal of a rehearsal) and overrides everything else.
#include "SerialPorts.h"

#include "ProfileFile.h"
#include "StationFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace
{

const QString MappingSection = QStringLiteral("SerialPorts");
const QString AdapterSection = QStringLiteral("Adapters");
constexpr int FirstOtherNumber = 97;     // ttys of other drivers, in name order
constexpr int FirstOverflowNumber = 100; // adapters once their range is full

const QRegularExpression &ComKey()
{
    static const QRegularExpression key(QStringLiteral("^COM([0-9]+)$"), QRegularExpression::CaseInsensitiveOption);
    return key;
}

// [SerialPorts] COMn=path: an empty path takes the number away.
QMap<int, QString> ReadMapping(const TSerialMachine &m)
{
    QMap<int, QString> paths;
    for (const QString &k : ProfileFile::ReadKeys(m.settingsFile, MappingSection)) {
        const QRegularExpressionMatch match = ComKey().match(k.trimmed());
        if (!match.hasMatch())
            continue;
        const int n = match.captured(1).toInt();
        if (n < 1)
            continue;
        QString path = ProfileFile::ReadString(m.settingsFile, MappingSection, k);
        if (!path.isEmpty() && !path.startsWith(QLatin1Char('/')))
            path = m.devRoot + QLatin1Char('/') + path;
        paths[n] = path;
    }
    return paths;
}

// [Adapters] COMn=identity of the assignments file.
QMap<int, QString> ReadAssignments(const QString &file)
{
    QMap<int, QString> numbers;
    for (const QString &k : ProfileFile::ReadKeys(file, AdapterSection)) {
        const QRegularExpressionMatch match = ComKey().match(k.trimmed());
        const QString identity = ProfileFile::ReadString(file, AdapterSection, k);
        if (match.hasMatch() && match.captured(1).toInt() > 0 && !identity.isEmpty())
            numbers[match.captured(1).toInt()] = identity;
    }
    return numbers;
}

void WriteAssignment(const QString &file, int n, const QString &identity)
{
    // A file that cannot be written leaves the number valid for this run only.
    QDir().mkpath(QFileInfo(file).absolutePath());
    if (!QFileInfo::exists(file)) {
        QFile f(file);
        if (f.open(QIODevice::WriteOnly))
            f.write("; COM numbers of the USB serial adapters the mid station has seen (see serial/README.md).\r\n"
                    "; Delete a line, or the file, to give a number free; the station must not be running.\r\n");
    }
    ProfileFile::WriteString(file, AdapterSection, PortName(n), identity);
}

QString ReadSysValue(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(f.read(256)).trimmed();
}

// Serial numbers are the maker's text: keep it one printable ASCII word.
QString Word(const QString &text)
{
    QString out;
    for (const QChar c : text)
        out += (c.unicode() > 0x20 && c.unicode() < 0x7F && c != QLatin1Char(';')) ? c : QLatin1Char('_');
    return out;
}

struct TTty {
    QString name;
    QString identity; // "" for a port that is not an adapter
    QString serialIdentity, pathIdentity;
};

// What identifies the adapter behind a tty, from sysfs: the tty's device sits below a USB
// interface (bInterfaceNumber), which sits below the USB device (idVendor, idProduct,
// serial, and a folder named after its port path such as "1-2.3"). A real tree:
//   /sys/class/tty/ttyUSB0 -> ../../devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0
//   /sys/class/tty/ttyUSB0/device -> ../../../ttyUSB0   (port_number 0 for a one-port chip)
TTty Identify(const TSerialMachine &m, const QString &name, const QMap<QString, QString> &byId)
{
    TTty t;
    t.name = name;
    const QString sysTop = QFileInfo(m.sysRoot).canonicalFilePath();
    const QString deviceLink = m.sysRoot + QStringLiteral("/class/tty/") + name + QStringLiteral("/device");
    QString dir = QFileInfo(deviceLink).canonicalFilePath();
    const QString portNumber = ReadSysValue(dir + QStringLiteral("/port_number"));
    QString interfaceNo;
    while (!dir.isEmpty() && dir.startsWith(sysTop) && dir.size() > sysTop.size()) {
        if (interfaceNo.isEmpty() && QFileInfo::exists(dir + QStringLiteral("/bInterfaceNumber")))
            interfaceNo = ReadSysValue(dir + QStringLiteral("/bInterfaceNumber"));
        if (QFileInfo::exists(dir + QStringLiteral("/idVendor"))) {
            const QString ids = ReadSysValue(dir + QStringLiteral("/idVendor")) + QLatin1Char(':') +
                                ReadSysValue(dir + QStringLiteral("/idProduct"));
            QString tail = QStringLiteral(" if ") + (interfaceNo.isEmpty() ? QStringLiteral("00") : interfaceNo);
            if (!portNumber.isEmpty() && portNumber != QLatin1String("0"))
                tail += QStringLiteral(" port ") + portNumber;
            const QString serial = Word(ReadSysValue(dir + QStringLiteral("/serial")));
            t.pathIdentity = QStringLiteral("usb ") + ids + QStringLiteral(" path ") + QFileInfo(dir).fileName() + tail;
            t.serialIdentity = serial.isEmpty()
                                   ? QString()
                                   : QStringLiteral("usb ") + ids + QStringLiteral(" serial ") + serial + tail;
            t.identity = t.serialIdentity.isEmpty() ? t.pathIdentity : t.serialIdentity;
            return t;
        }
        dir = QFileInfo(dir).path();
    }
    // No USB device in sysfs above it, but udev named it by id.
    if (byId.contains(name))
        t.identity = QStringLiteral("by-id ") + byId.value(name);
    return t;
}

// tty name -> its /dev/serial/by-id name.
QMap<QString, QString> ByIdNames(const TSerialMachine &m)
{
    QMap<QString, QString> names;
    const QDir dir(m.devRoot + QStringLiteral("/serial/by-id"));
    for (const QFileInfo &link :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        const QString target = link.symLinkTarget();
        if (!target.isEmpty())
            names.insert(QFileInfo(target).fileName(), Word(link.fileName()));
    }
    return names;
}

// The machine's serial ttys: every /sys/class/tty entry with a device link, except ports
// of the 8250 driver with no UART behind them (their type reads 0).
QList<TTty> MachineTtys(const TSerialMachine &m)
{
    const QMap<QString, QString> byId = ByIdNames(m);
    QList<TTty> ttys;
    const QDir dir(m.sysRoot + QStringLiteral("/class/tty"));
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        if (!QFileInfo::exists(dir.filePath(name + QStringLiteral("/device"))))
            continue; // virtual consoles, ptys
        if (ReadSysValue(dir.filePath(name + QStringLiteral("/type"))) == QLatin1String("0"))
            continue;
        ttys << Identify(m, name, byId);
    }
    // Two adapters with the same serial number (cheap clones share one) cannot be told
    // apart by it: they are keyed on their USB port paths.
    QMap<QString, int> seen;
    for (const TTty &t : ttys)
        if (!t.serialIdentity.isEmpty())
            seen[t.serialIdentity]++;
    for (TTty &t : ttys)
        if (!t.serialIdentity.isEmpty() && seen.value(t.serialIdentity) > 1)
            t.identity = t.pathIdentity;
    return ttys;
}

// The number a new adapter gets: the one its kernel name asks for, else the first free
// one of its kind's range, else the first free one from 100 on.
int NewNumber(const QString &name, const QSet<int> &taken)
{
    const int asked = ComNumberOfTty(name);
    if (asked > 32 && !taken.contains(asked))
        return asked;
    const int first = name.startsWith(QLatin1String("ttyACM")) ? 65 : 33;
    for (int n = first; n < first + 32; ++n)
        if (!taken.contains(n))
            return n;
    int n = FirstOverflowNumber;
    while (taken.contains(n))
        ++n;
    return n;
}

TSerialPortEntry Entry(int n, const QString &device, bool mapped)
{
    TSerialPortEntry e;
    e.portNo = n;
    e.name = PortName(n);
    e.device = device;
    e.mapped = mapped;
    e.present = !device.isEmpty() && QFileInfo::exists(device);
    return e;
}

} // namespace

TSerialMachine TSerialMachine::Current()
{
    TSerialMachine m;
    m.settingsFile = StationFolders::SettingsFile();
    m.devRoot =
        ProfileFile::ReadString(m.settingsFile, MappingSection, QStringLiteral("DevRoot"), QStringLiteral("/dev"));
    m.sysRoot =
        ProfileFile::ReadString(m.settingsFile, MappingSection, QStringLiteral("SysRoot"), QStringLiteral("/sys"));
    m.assignmentsFile = SerialAssignmentsFile();
    return m;
}

QString PortName(int portNo)
{
    return QStringLiteral("COM%1").arg(portNo);
}

QString SerialAssignmentsFile()
{
    return StationFolders::UserWorkingFolder() + QStringLiteral("/serial-ports.ini");
}

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

QList<TSerialPortEntry> SerialPortEntries(const TSerialMachine &m)
{
    const QMap<int, QString> mapping = ReadMapping(m);
    QMap<int, QString> assigned = ReadAssignments(m.assignmentsFile);
    QSet<int> taken;
    for (auto it = assigned.cbegin(); it != assigned.cend(); ++it)
        taken.insert(it.key());
    for (auto it = mapping.cbegin(); it != mapping.cend(); ++it)
        taken.insert(it.key());

    QList<TTty> ttys = MachineTtys(m);
    // New adapters are numbered in the order of the numbers their names ask for, so that
    // on a fresh machine ttyUSB0 is COM33 as it always was.
    std::stable_sort(ttys.begin(), ttys.end(), [](const TTty &a, const TTty &b) {
        const int na = ComNumberOfTty(a.name), nb = ComNumberOfTty(b.name);
        return (na ? na : 1000) < (nb ? nb : 1000);
    });
    QMap<int, TSerialPortEntry> ports;
    QStringList others;
    for (const TTty &t : ttys) {
        const QString device = m.devRoot + QLatin1Char('/') + t.name;
        if (t.identity.isEmpty()) {
            const int fixed = ComNumberOfTty(t.name);
            if (fixed >= 1 && fixed <= 32)
                ports[fixed] = Entry(fixed, device, false);
            else
                others << t.name;
            continue;
        }
        int n = assigned.key(t.identity, 0);
        if (n == 0 && t.identity != t.pathIdentity) // a clone first seen beside its twin
            n = assigned.key(t.pathIdentity, 0);
        if (n == 0) {
            n = NewNumber(t.name, taken);
            assigned[n] = t.identity;
            taken.insert(n);
            WriteAssignment(m.assignmentsFile, n, t.identity);
        }
        ports[n] = Entry(n, device, false);
        ports[n].adapter = t.identity;
    }
    // Adapters that are away keep their numbers and are listed as absent.
    for (auto it = assigned.cbegin(); it != assigned.cend(); ++it) {
        if (!ports.contains(it.key())) {
            ports[it.key()] = Entry(it.key(), QString(), false);
            ports[it.key()].adapter = it.value();
        }
    }
    std::sort(others.begin(), others.end());
    int next = FirstOtherNumber;
    for (const QString &name : others) {
        while (ports.contains(next) || taken.contains(next))
            ++next;
        ports[next] = Entry(next, m.devRoot + QLatin1Char('/') + name, false);
    }
    for (auto it = mapping.cbegin(); it != mapping.cend(); ++it) {
        if (it.value().isEmpty())
            ports.remove(it.key());
        else
            ports[it.key()] = Entry(it.key(), it.value(), true);
    }
    return ports.values();
}

QString SerialDevicePath(int portNo, const TSerialMachine &m)
{
    if (portNo < 1)
        return QString();
    for (const TSerialPortEntry &e : SerialPortEntries(m))
        if (e.portNo == portNo)
            return e.device;
    if (portNo <= 32 && !ReadMapping(m).contains(portNo))
        return m.devRoot + QStringLiteral("/ttyS%1").arg(portNo - 1);
    return QString();
}

QList<TSerialPortEntry> SerialPortEntries()
{
    return SerialPortEntries(TSerialMachine::Current());
}

QList<int> SerialPortNumbers()
{
    QList<int> numbers;
    for (const TSerialPortEntry &e : SerialPortEntries())
        if (e.present || e.mapped)
            numbers << e.portNo;
    return numbers;
}

QStringList SerialPortList()
{
    QStringList names;
    for (int n : SerialPortNumbers())
        names << PortName(n);
    return names;
}

QString SerialDevicePath(int portNo)
{
    return SerialDevicePath(portNo, TSerialMachine::Current());
}
