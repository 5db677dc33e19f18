// A machine of serial devices for the port-list suites: a device folder (ttys, serial/by-id
// links) and a sysfs tree laid out as the kernel lays it out, so that USB adapters can be
// plugged, pulled and plugged back under another ttyUSB name. A tty's node is a link to a
// real device (a pseudo-terminal's slave) or a plain file.
#pragma once

#include "SerialPorts.h"

#include <QMap>
#include <QString>
#include <QTemporaryDir>

struct TFakeAdapter {
    QString vendor;  // "0403"
    QString product; // "6001"
    QString serial;  // "" for an adapter without a serial number
    QString usbPath; // the USB port path, "1-2" or "1-1.4"
    QString interfaceNo = QStringLiteral("00");
    QString byId; // the udev by-id name ("" for none)
};

class TFakeMachine
{
public:
    TFakeMachine();
    QString DevRoot() const { return m_dir.filePath(QStringLiteral("dev")); }
    QString SysRoot() const { return m_dir.filePath(QStringLiteral("sys")); }
    QString AssignmentsFile() const { return m_dir.filePath(QStringLiteral("share/midstation/serial-ports.ini")); }
    // The machine, with the settings file given (default: one that does not exist).
    TSerialMachine Machine(const QString &settingsFile = QString()) const;

    // A port of the 8250 driver (type "0" for one without a UART behind it).
    void AddBuiltIn(const QString &tty, const QByteArray &type = "4");
    // A tty of another driver, not on USB (ttyAMA0).
    void AddOther(const QString &tty);
    // A virtual console or the like: no device link.
    void AddConsole(const QString &tty);
    // Plugs an adapter in as tty (ttyUSB<k> for a USB-serial chip, ttyACM<k> for CDC-ACM);
    // its node is a link to node ("" for a plain file).
    void Plug(const QString &tty, const TFakeAdapter &adapter, const QString &node = QString());
    // Pulls the adapter that is tty: its sysfs entries, node and by-id link go.
    void Unplug(const QString &tty);

private:
    void Node(const QString &tty, const QString &node);
    QTemporaryDir m_dir;
    QMap<QString, QString> m_usbDirs; // tty -> the adapter's USB device folder
    QMap<QString, QString> m_byId;    // tty -> its by-id link
};
