// Resident memory of a process, read from /proc: what the benchmarks report beside their
// figures.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QPair>
#include <QString>

// Now and the peak, in kB (VmRSS, VmHWM) of the process `pid` ("self": this one).
inline QPair<long, long> residentKb(const QString &pid = QStringLiteral("self"))
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    f.open(QIODevice::ReadOnly);
    long rss = 0, hwm = 0;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            rss = line.mid(6).trimmed().split(' ').first().toLong();
        if (line.startsWith("VmHWM:"))
            hwm = line.mid(6).trimmed().split(' ').first().toLong();
    }
    return {rss, hwm};
}
