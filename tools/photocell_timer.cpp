// Plays a photocell timer at the mid point for a rehearsal: opens a pseudo-terminal (or a
// given device), prints the path the station should open, and sends one frame per passing
// at 2400 bit/s pacing, for the running event's field. A frame looks like
//   " 0012 C1  10:15:30.123   1" + CR
// status (blank, "c" or "?"), the bib in four digits, channel C1, the time of day, the mid
// point digit in column 26.
#include "PtyDevice.h"
#include "RehearsalField.h"
#include "Database.h"
#include "MidPoints.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <random>

static QByteArray frame(char status, const QString &zek, int timeMs, int mid)
{
    const QString text = QString(QLatin1Char(status)) + QString::asprintf("%04d", zek.toInt()) +
                         QStringLiteral(" C1  ") + ClockText(timeMs) + QStringLiteral("   ") + QString::number(mid) +
                         QLatin1Char('\r');
    return text.toLatin1();
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("photocell_timer"));
    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Sends photocell timer frames for the running event's field on a pseudo-terminal\n"
                       "(its path is printed as \"pty: PATH\") or on a given device, at 2400 bit/s."));
    cli.addHelpOption();
    cli.addOptions({
        {QStringLiteral("device"), QStringLiteral("Write to this device instead of a new pseudo-terminal."),
         QStringLiteral("path")},
        {QStringLiteral("dsn"), QStringLiteral("Data source name for the field (default PlovoLocal)."),
         QStringLiteral("name"), QStringLiteral("PlovoLocal")},
        {QStringLiteral("mid"), QStringLiteral("Mid point digit sent in the frames, 1 to %1 (default 1).").arg(MidPointCount),
         QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("competitors"), QStringLiteral("Only the first n competitors by bib (0: all)."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("speed"), QStringLiteral("Simulated seconds per real second (default 10)."),
         QStringLiteral("x"), QStringLiteral("10")},
        {QStringLiteral("status"), QStringLiteral("Frame kind: \"blank\" (default), \"c\" or \"?\"."),
         QStringLiteral("kind"), QStringLiteral("blank")},
        {QStringLiteral("c-every"), QStringLiteral("Every n-th frame is a \"c\" frame (0: none)."), QStringLiteral("n"),
         QStringLiteral("0")},
        {QStringLiteral("noise"), QStringLiteral("Send a line of line noise after every n-th frame (0: none)."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("bounce"),
         QStringLiteral("Every n-th impulse bounces: the frame comes again 20 ms later (0: none)."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("wait"),
         QStringLiteral("Seconds to wait before the first frame (default 3), so the station can open the port."),
         QStringLiteral("s"), QStringLiteral("3")},
        {QStringLiteral("seed"), QStringLiteral("Random seed (default 2)."), QStringLiteral("n"), QStringLiteral("2")},
        {QStringLiteral("record"), QStringLiteral("Append every frame sent to this file."), QStringLiteral("file")},
        {QStringLiteral("stay"), QStringLiteral("Keep the pseudo-terminal open after the last frame until killed.")},
    });
    cli.process(app);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        TPtyDevice port(cli.value(QStringLiteral("device")), 2400);
        std::printf("pty: %s\n", qPrintable(port.path()));
        std::fflush(stdout);

        TDatabase db;
        ConnectRehearsal(db, cli.value(QStringLiteral("dsn")));
        std::mt19937 random(cli.value(QStringLiteral("seed")).toUInt());
        const QList<TCompetitor> field =
            LoadField(db, RunningEvent(db), cli.value(QStringLiteral("competitors")).toInt());
        const int mid = qBound(1, cli.value(QStringLiteral("mid")).toInt(), MidPointCount);
        QList<TPassing> plan;
        for (const TPassing &p : PlanRace(field, mid, 0, random))
            if (p.midPoint == mid)
                plan << p;

        const QString kind = cli.value(QStringLiteral("status"));
        const char status = kind == QLatin1String("c") ? 'c' : kind == QLatin1String("?") ? '?' : ' ';
        const int cEvery = cli.value(QStringLiteral("c-every")).toInt();
        const int noise = cli.value(QStringLiteral("noise")).toInt();
        const int bounce = cli.value(QStringLiteral("bounce")).toInt();

        QFile record(cli.value(QStringLiteral("record")));
        if (!record.fileName().isEmpty())
            record.open(QIODevice::Append | QIODevice::Text);
        QTextStream log(&record);

        QThread::sleep(unsigned(cli.value(QStringLiteral("wait")).toInt()));
        const TSimClock clock(plan.isEmpty() ? 0 : plan.first().timeMs - 1000,
                              cli.value(QStringLiteral("speed")).toDouble());
        std::uniform_int_distribution<int> byte(0, 255);
        int n = 0;
        for (const TPassing &p : plan) {
            clock.waitUntil(p.timeMs);
            ++n;
            const char s = cEvery > 0 && n % cEvery == 0 ? 'c' : status;
            const QByteArray f = frame(s, p.zek, p.timeMs, mid);
            port.write(f);
            if (record.isOpen()) {
                log << QString::fromLatin1(f.left(f.size() - 1)) << '\n';
                log.flush();
            }
            if (bounce > 0 && n % bounce == 0) {
                QThread::msleep(20);
                port.write(frame(s, p.zek, p.timeMs + 20, mid));
            }
            if (noise > 0 && n % noise == 0) {
                QByteArray junk;
                for (int i = 0; i < 12; ++i)
                    junk += char(byte(random));
                port.write(junk.replace('\r', 'x') + '\r');
            }
        }
        std::printf("photocell_timer: %d frames sent\n", n);
        std::fflush(stdout);
        while (cli.isSet(QStringLiteral("stay")))
            QThread::sleep(1);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "photocell_timer: %s\n", e.what());
        return 1;
    }
    return 0;
}
