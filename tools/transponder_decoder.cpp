// Plays a transponder decoder for a rehearsal of the registration: opens a pseudo-terminal
// (or a given device), prints the path the station should open, and sends one passing line
// per transponder read, with status lines between them, at 9600 bit/s. A passing line is
// TAB-separated: "@", two decoder fields, the transponder number, the time in seconds, the
// hit count and the signal strength, ended by CR LF; a status line starts with "#". Each
// line is preceded by one lead byte, as the decoder sends it.
#include "PtyDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <random>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("transponder_decoder"));
    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Sends transponder decoder lines on a pseudo-terminal (its path is printed as\n"
                       "\"pty: PATH\") or on a given device, at 9600 bit/s."));
    cli.addHelpOption();
    cli.addOptions({
        {QStringLiteral("device"), QStringLiteral("Write to this device instead of a new pseudo-terminal."),
         QStringLiteral("path")},
        {QStringLiteral("count"), QStringLiteral("Transponders read, one after the other (default 30)."),
         QStringLiteral("n"), QStringLiteral("30")},
        {QStringLiteral("first"), QStringLiteral("First transponder number (default 1000001)."), QStringLiteral("n"),
         QStringLiteral("1000001")},
        {QStringLiteral("interval"), QStringLiteral("Seconds between reads (default 2)."), QStringLiteral("s"),
         QStringLiteral("2")},
        {QStringLiteral("weak-every"), QStringLiteral("Every n-th read is weak: few hits, low strength (0: none)."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("status-every"),
         QStringLiteral("A \"#\" status line after every n-th read (default 5; 0: none)."), QStringLiteral("n"),
         QStringLiteral("5")},
        {QStringLiteral("lead"), QStringLiteral("Lead byte before each line, as a number (default 10, a line feed)."),
         QStringLiteral("n"), QStringLiteral("10")},
        {QStringLiteral("wait"), QStringLiteral("Seconds to wait before the first line (default 3)."),
         QStringLiteral("s"), QStringLiteral("3")},
        {QStringLiteral("seed"), QStringLiteral("Random seed (default 3)."), QStringLiteral("n"), QStringLiteral("3")},
        {QStringLiteral("stay"), QStringLiteral("Keep the pseudo-terminal open after the last line until killed.")},
    });
    cli.process(app);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        TPtyDevice port(cli.value(QStringLiteral("device")), 9600);
        std::printf("pty: %s\n", qPrintable(port.path()));
        std::fflush(stdout);
        std::mt19937 random(cli.value(QStringLiteral("seed")).toUInt());
        std::uniform_int_distribution<int> hits(20, 90), strength(70, 140), weakHits(1, 6), weakStrength(10, 40);
        const int count = cli.value(QStringLiteral("count")).toInt();
        const qint64 first = cli.value(QStringLiteral("first")).toLongLong();
        const int weakEvery = cli.value(QStringLiteral("weak-every")).toInt();
        const int statusEvery = cli.value(QStringLiteral("status-every")).toInt();
        const char lead = char(cli.value(QStringLiteral("lead")).toInt());
        const double interval = cli.value(QStringLiteral("interval")).toDouble();
        QThread::sleep(unsigned(cli.value(QStringLiteral("wait")).toInt()));
        double seconds = 36000.0;
        for (int i = 1; i <= count; ++i) {
            const bool weak = weakEvery > 0 && i % weakEvery == 0;
            seconds += interval;
            const QString line = QStringLiteral("@\t1\t%1\t%2\t%3\t%4\t%5")
                                     .arg(i)
                                     .arg(first + i - 1)
                                     .arg(seconds, 0, 'f', 3)
                                     .arg(weak ? weakHits(random) : hits(random))
                                     .arg(weak ? weakStrength(random) : strength(random));
            port.write(QByteArray(1, lead) + line.toLatin1() + "\r\n");
            if (statusEvery > 0 && i % statusEvery == 0) {
                QThread::msleep(200);
                port.write(QByteArray(1, lead) + QStringLiteral("#\t1\t%1\t0\t12.5").arg(i).toLatin1() + "\r\n");
            }
            QThread::msleep(qMax(1, int(interval * 1000)));
        }
        std::printf("transponder_decoder: %d reads sent\n", count);
        std::fflush(stdout);
        while (cli.isSet(QStringLiteral("stay")))
            QThread::sleep(1);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "transponder_decoder: %s\n", e.what());
        return 1;
    }
    return 0;
}
