// The machine's serial ports as "COMn" names, and the device behind a COM number.
// Built-in ports (ttyS) have fixed numbers; a USB adapter keeps the number it got the
// first time it was seen, keyed on what identifies it (USB vendor, product, serial number
// and interface, or the USB port path when it has no serial number), whatever ttyUSB name
// the kernel gives it. The assignments are kept per user in "serial-ports.ini"; the
// [SerialPorts] section of "VidadIva.ini" in the working folder maps a number to any device
// and overrides all of that. See serial/README.md.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct TSerialPortEntry {
    int portNo = 0;       // n of "COMn"
    QString name;         // "COMn"
    QString device;       // the device path opening uses ("" for an adapter that is away)
    QString adapter;      // what identifies a USB adapter ("" for other ports)
    bool mapped = false;  // from [SerialPorts]
    bool present = false; // the device exists now
};

// Where the port list looks. Tests and rehearsals build a machine of their own: a device
// folder with ttys and serial/by-id links, and a sysfs tree.
struct TSerialMachine {
    QString devRoot;         // "/dev"
    QString sysRoot;         // "/sys"
    QString settingsFile;    // "VidadIva.ini" of the working folder ([SerialPorts])
    QString assignmentsFile; // the adapters' COM numbers, see SerialAssignmentsFile()

    // The machine the station runs on: the roots are "/dev" and "/sys" unless the
    // settings file's [SerialPorts] names others (DevRoot=, SysRoot=).
    static TSerialMachine Current();
};

// "COMn", the name the station shows and keeps for port n.
QString PortName(int portNo);

// "~/.local/share/midstation/serial-ports.ini" (under $XDG_DATA_HOME when set).
QString SerialAssignmentsFile();

// "COMn" names of the ports present now and of every mapped port, by number.
QStringList SerialPortList();
// Their numbers, in the same order.
QList<int> SerialPortNumbers();
// Every port with its device, mapping and presence, adapters that are away included.
// A USB adapter seen for the first time gets its number here, and it is written down.
QList<TSerialPortEntry> SerialPortEntries();
// The device that opening port n uses: the mapped path; else the machine's device with
// that number (the adapter's current tty); "" when there is none (n < 1, an adapter that
// is away, a number nothing has). A ttyS number names its ttyS even when unlisted.
QString SerialDevicePath(int portNo);

// The number a kernel tty name stands for: ttyS<k> is COM<k+1> (fixed); an adapter first
// seen as ttyUSB<k> or ttyACM<k> asks for COM<k+33> or COM<k+65>; 0 for other names.
int ComNumberOfTty(const QString &ttyName);

// The workers, on a given machine.
QList<TSerialPortEntry> SerialPortEntries(const TSerialMachine &machine);
QString SerialDevicePath(int portNo, const TSerialMachine &machine);
