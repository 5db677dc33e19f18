// A device end of a pseudo-terminal: the station opens the other end like a serial port.
// Bytes are written at the pace of the device's line rate, so a frame can arrive split
// over several reads as it does from a real device.
#pragma once

#include <QString>

class TPtyDevice
{
public:
    // Opens a new pseudo-terminal (device empty) or the given device. Raises
    // std::runtime_error when it cannot.
    TPtyDevice(const QString &device, int bitsPerSecond);
    ~TPtyDevice();

    // The path the station opens (the pty's slave side, or the given device).
    QString path() const { return m_path; }

    // Writes bytes one at a time at the line rate (10 bits a byte).
    void write(const QByteArray &bytes);

private:
    int m_fd = -1;
    int m_keepOpen = -1; // the slave side, held so a station that closes the port does not hang it up
    QString m_path;
    int m_bitsPerSecond;
};
