// Latency from a byte written by the peer of a pseudo-terminal to the start of the
// component's OnReceive on the GUI thread: 1000 single bytes, one at a time, median and
// p99. A measurement, not a test: run it by hand (build/serial/bench_commx [count]).
#include "CommX.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <pty.h>
#include <semaphore.h>
#include <unistd.h>
#include <vector>

namespace
{
qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? atoi(argv[1]) : 1000;

    int master = -1, slave = -1;
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        perror("openpty");
        return 1;
    }
    ::close(slave);
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("VidadIva.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write(QByteArray("[SerialPorts]\r\nCOM7=") + name + "\r\n");
    ini.close();
    QDir::setCurrent(dir.path());

    TCommX comm;
    comm.SetPortNo(7);
    comm.Open();

    std::vector<qint64> latency;
    latency.reserve(size_t(count));
    std::atomic<qint64> sentAt{0};
    sem_t handled;
    sem_init(&handled, 0, 0);
    QObject::connect(&comm, &TCommX::OnReceive, [&](QObject *, int size) {
        const qint64 now = NowNs();
        latency.push_back(now - sentAt.load());
        for (int i = 0; i < size; ++i)
            comm.ReadByte();
        sem_post(&handled);
    });

    QThread *peer = QThread::create([&] {
        for (int i = 0; i < count; ++i) {
            usleep(2000);
            sentAt = NowNs();
            const char byte = char('0' + i % 10);
            if (::write(master, &byte, 1) != 1)
                break;
            sem_wait(&handled);
        }
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    peer->start();
    app.exec();
    peer->wait();
    delete peer;
    comm.Close();
    ::close(master);

    std::sort(latency.begin(), latency.end());
    if (latency.empty())
        return 1;
    auto at = [&](double q) {
        return latency[std::min(latency.size() - 1, size_t(q * double(latency.size())))] / 1000.0;
    };
    std::printf("bytes %zu  median %.1f us  p99 %.1f us  max %.1f us\n", latency.size(), at(0.5), at(0.99),
                latency.back() / 1000.0);
    return 0;
}
