// The machine's serial ports as "COMn" names, and the device behind a COM number.
// Devices come from /sys/class/tty/*/device; the [SerialPorts] section of the settings file
// "VidadIva.ini" in the current working folder maps a number to any device path
// ("COM7=/dev/pts/3") and overrides the number's own device. See serial/README.md.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct TSerialPortEntry {
    int portNo = 0;    // n of "COMn"
    QString name;      // "COMn"
    QString device;    // the device path opening uses
    bool mapped = false;   // from [SerialPorts]
    bool present = false;  // the device exists now
};

// "COMn" names of the machine's ports and of every mapped port, present or not, by number.
QStringList SerialPortList();
// The same with the device, mapping and presence of each.
QList<TSerialPortEntry> SerialPortEntries();
// The device that opening port n uses: the mapped path; else the machine's device with that
// number; "" for n < 1 (nothing can be opened).
QString SerialDevicePath(int portNo);

// The fixed number of a kernel tty name: ttyS<k> is COM<k+1>, ttyUSB<k> COM<k+33>,
// ttyACM<k> COM<k+65>; 0 for other names.
int ComNumberOfTty(const QString &ttyName);

// The workers, with the sysfs folder and settings file given (for tests).
QList<TSerialPortEntry> SerialPortEntries(const QString &sysClassTty, const QString &settingsFile);
QString SerialDevicePath(int portNo, const QString &sysClassTty, const QString &settingsFile);
