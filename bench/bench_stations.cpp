// Benchmark (not a test): stations on one race database, each a process of its own (the
// real chip-tag window and its 250 ms poll, tests/harness/station_peer), taking one
// burst of 300 passings of a 300-competitor field together: one station alone, then two.
// It times the burst from the chip-tag program's insert to the last passing taken, and
// proves each passing was taken once: one display row per passing, distinct display
// numbers, no reading left untaken, one log entry per passing over all stations' logs.
//
//   bench_stations STATION_PEER
//
// Run through bench/run, which starts the server and sets the environment.
#include "TestSupport.h"
#include "TimeText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>

using namespace TestSupport;

namespace
{

const int Field = 300;
const QString Event = QStringLiteral("R2026A");

QString clock(qint64 ms)
{
    return QString::asprintf("%02lld:%02lld:%02lld.%lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms / 100 % 10);
}

qint64 startOf(int bib)
{
    return 36000000LL + (bib - 1) * 10000LL;
}

// A field of Field competitors in class M1 (1 passing per lap), starting every 10 s, all
// past mid point 1 already.
void fillField(SuiteDatabase &db)
{
    db.reload();
    db.exec(QStringLiteral("USE ") + db.name());
    db.exec(QStringLiteral("DELETE FROM result"));
    QStringList values;
    for (int i = 1; i <= Field; ++i)
        values << QStringLiteral("('%1','%2','T','%3','M1','JPN','%4')")
                      .arg(Event, QString::asprintf("%04d", i), clock(startOf(i)),
                           MsecToMidText(300000 + (i * 7919) % 60000));
    db.exec(QStringLiteral("INSERT INTO result (tcode,zek,status,STARTEDTIME,class1,NATION,midtime1) VALUES ") +
            values.join(QLatin1Char(',')));
}

struct TStation {
    QProcess process;
    QTemporaryDir work;
    int logEntries() const
    {
        QFile f(work.filePath(QStringLiteral("VidadIva.log")));
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("update result\r\n")) : 0;
    }
};

bool run(SuiteDatabase &db, const QString &peer, int stations)
{
    fillField(db);
    std::vector<std::unique_ptr<TStation>> running;
    for (int s = 0; s < stations; ++s) {
        auto station = std::make_unique<TStation>();
        station->process.setWorkingDirectory(station->work.path());
        station->process.start(peer, {QStringLiteral("chiptag"), Event});
        QByteArray said;
        while (!said.contains("ready\n") && station->process.waitForReadyRead(30000))
            said += station->process.readAllStandardOutput();
        if (!said.contains("ready\n"))
            qFatal("station %d did not start: %s", s + 1, station->process.readAllStandardError().constData());
        running.push_back(std::move(station));
    }

    // The burst: mid point 2 of every competitor, written at once, then the counter.
    QStringList tags;
    quint32 seed = 4711;
    for (int bib = 1; bib <= Field; ++bib) {
        seed = seed * 1103515245u + 12345u;
        tags << QStringLiteral("('%1','%2','C1','%3',2,0)")
                    .arg(Event, QString::asprintf("%04d", bib), clock(startOf(bib) + 600000 + (seed >> 8) % 60000));
    }
    QElapsedTimer burst;
    burst.start();
    db.exec(QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ") + tags.join(','));
    db.exec(QStringLiteral("UPDATE EXECINFO SET upd=upd+1 WHERE num=1"));
    while (db.value(QStringLiteral("SELECT count(*) FROM CHAKU")).toInt() < Field && burst.elapsed() < 300000)
        QThread::msleep(20);
    const double seconds = burst.nsecsElapsed() / 1e9;

    QThread::msleep(500); // a passing taken twice would add its second row now
    const int rows = db.value(QStringLiteral("SELECT count(*) FROM CHAKU")).toInt();
    const int numbers = db.value(QStringLiteral("SELECT count(DISTINCT num) FROM CHAKU")).toInt();
    const int passings = db.value(QStringLiteral("SELECT count(DISTINCT zek,laps) FROM CHAKU")).toInt();
    const int untaken = db.value(QStringLiteral("SELECT count(*) FROM tag_rec WHERE use_mid=0")).toInt();
    const int ranked = db.value(QStringLiteral("SELECT count(*) FROM result WHERE midjun2 IS NOT NULL")).toInt();
    QStringList perStation;
    int logged = 0;
    for (auto &station : running) {
        station->process.closeWriteChannel();
        station->process.waitForFinished(20000);
        logged += station->logEntries();
        perStation << QString::number(station->logEntries());
        const QByteArray boxes = station->process.readAllStandardError();
        if (!boxes.isEmpty())
            std::printf("  station said: %s\n", boxes.constData());
    }
    const bool once =
        rows == Field && numbers == Field && passings == Field && untaken == 0 && ranked == Field && logged == Field;
    std::printf("%-9d %8.2f s   %-16s %6d %9d %9d %8d %7d %8d   %s\n", stations, seconds,
                qPrintable(perStation.join(QStringLiteral(" + "))), rows, numbers, passings, untaken, ranked, logged,
                once ? "each passing taken once" : "NOT TAKEN ONCE");
    std::fflush(stdout);
    return once;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_stations STATION_PEER\n");
        return 2;
    }
    const QString peer = QString::fromLocal8Bit(argv[1]);
    SuiteDatabase db(QStringLiteral("b_stations"));
    std::printf("Stations on one server (real chip-tag windows, one process each), burst of %d passings at mid "
                "point 2, %d competitors\n",
                Field, Field);
    std::printf("%-9s %10s   %-16s %6s %9s %9s %8s %7s %8s\n", "stations", "burst", "taken by each", "CHAKU",
                "distinct", "passings", "untaken", "ranked", "logged");
    bool ok = true;
    for (int stations : {1, 2})
        ok = run(db, peer, stations) && ok;
    return ok ? 0 : 1;
}
