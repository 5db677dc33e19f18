#include "FakeMachine.h"

#include <QDir>
#include <QFile>

namespace
{

void WriteFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content + "\n");
}

void Link(const QString &target, const QString &link)
{
    QDir().mkpath(QFileInfo(link).path());
    QFile::remove(link);
    if (!QFile::link(target, link))
        qFatal("cannot link %s", qPrintable(link));
}

} // namespace

TFakeMachine::TFakeMachine()
{
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("dev"));
    root.mkpath(QStringLiteral("sys/class/tty"));
    root.mkpath(QStringLiteral("sys/devices"));
}

TSerialMachine TFakeMachine::Machine(const QString &settingsFile) const
{
    TSerialMachine m;
    m.devRoot = DevRoot();
    m.sysRoot = SysRoot();
    m.settingsFile = settingsFile.isEmpty() ? m_dir.filePath(QStringLiteral("VidadIva.ini")) : settingsFile;
    m.assignmentsFile = AssignmentsFile();
    return m;
}

void TFakeMachine::Node(const QString &tty, const QString &node)
{
    const QString path = DevRoot() + QLatin1Char('/') + tty;
    if (node.isEmpty())
        WriteFile(path, QByteArray());
    else
        Link(node, path);
}

// /sys/class/tty/ttyS0 -> ../../devices/platform/serial8250/tty/ttyS0, device -> ../../../serial8250
void TFakeMachine::AddBuiltIn(const QString &tty, const QByteArray &type)
{
    const QString dir = SysRoot() + QStringLiteral("/devices/platform/serial8250/tty/") + tty;
    QDir().mkpath(dir);
    WriteFile(dir + QStringLiteral("/type"), type);
    Link(QStringLiteral("../../../serial8250"), dir + QStringLiteral("/device"));
    Link(QStringLiteral("../../devices/platform/serial8250/tty/") + tty,
         SysRoot() + QStringLiteral("/class/tty/") + tty);
    Node(tty, QString());
}

void TFakeMachine::AddOther(const QString &tty)
{
    const QString dir = SysRoot() + QStringLiteral("/devices/platform/soc/fe201000.serial/tty/") + tty;
    QDir().mkpath(dir);
    Link(QStringLiteral("../../../fe201000.serial"), dir + QStringLiteral("/device"));
    Link(QStringLiteral("../../devices/platform/soc/fe201000.serial/tty/") + tty,
         SysRoot() + QStringLiteral("/class/tty/") + tty);
    Node(tty, QString());
}

void TFakeMachine::AddConsole(const QString &tty)
{
    QDir().mkpath(SysRoot() + QStringLiteral("/devices/virtual/tty/") + tty);
    Link(QStringLiteral("../../devices/virtual/tty/") + tty, SysRoot() + QStringLiteral("/class/tty/") + tty);
}

// A USB-serial chip:  .../usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0, device -> ../../../ttyUSB0
// A CDC-ACM modem:    .../usb1/1-2/1-2:1.0/tty/ttyACM0,         device -> ../../../1-2:1.0
void TFakeMachine::Plug(const QString &tty, const TFakeAdapter &a, const QString &node)
{
    const QString usb = SysRoot() + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/") + a.usbPath;
    WriteFile(usb + QStringLiteral("/idVendor"), a.vendor.toLatin1());
    WriteFile(usb + QStringLiteral("/idProduct"), a.product.toLatin1());
    if (!a.serial.isEmpty())
        WriteFile(usb + QStringLiteral("/serial"), a.serial.toLatin1());
    const QString iface =
        usb + QLatin1Char('/') + a.usbPath + QStringLiteral(":1.") + QString::number(a.interfaceNo.toInt());
    WriteFile(iface + QStringLiteral("/bInterfaceNumber"), a.interfaceNo.toLatin1());
    QString classDir;
    if (tty.startsWith(QLatin1String("ttyACM"))) {
        classDir = iface + QStringLiteral("/tty/") + tty;
        QDir().mkpath(classDir);
        Link(QStringLiteral("../../../") + QFileInfo(iface).fileName(), classDir + QStringLiteral("/device"));
    } else {
        const QString port = iface + QLatin1Char('/') + tty;
        WriteFile(port + QStringLiteral("/port_number"), "0");
        classDir = port + QStringLiteral("/tty/") + tty;
        QDir().mkpath(classDir);
        Link(QStringLiteral("../../../") + tty, classDir + QStringLiteral("/device"));
    }
    Link(QDir(SysRoot() + QStringLiteral("/class/tty")).relativeFilePath(classDir),
         SysRoot() + QStringLiteral("/class/tty/") + tty);
    Node(tty, node);
    if (!a.byId.isEmpty()) {
        const QString link = DevRoot() + QStringLiteral("/serial/by-id/") + a.byId;
        Link(QStringLiteral("../../") + tty, link);
        m_byId[tty] = link;
    }
    m_usbDirs[tty] = usb;
}

void TFakeMachine::Unplug(const QString &tty)
{
    QFile::remove(SysRoot() + QStringLiteral("/class/tty/") + tty);
    QDir(m_usbDirs.take(tty)).removeRecursively();
    QFile::remove(DevRoot() + QLatin1Char('/') + tty);
    if (m_byId.contains(tty))
        QFile::remove(m_byId.take(tty));
}
