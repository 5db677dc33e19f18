// Benchmark (not a test) of the chip-tag intake on the real server: the time of one pass
// for one new passing with a ranked field of 100, 300 and 1000 competitors, and of one
// pass over a burst of 300 passings, for both ways of writing the ranking. The stored
// results of the two ways are compared at the end of every field size.
// Run with tests/chiptag/run_benchmark (starts and stops a private server).
#include "MidIntake.h"
#include "TestSupport.h"
#include "Udm1.h"
#include "uComm.h"
#include "uLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

using namespace TestSupport;
using RankWrite = TMidIntake::RankWrite;

namespace
{

const QString Event = QStringLiteral("R2026A");
constexpr int Singles = 30;
constexpr int Burst = 300;

QString clock(qint64 ms)
{
    return QString::asprintf("%02lld:%02lld:%02lld.%lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms / 100 % 10);
}

struct Figures {
    QList<double> singles; // ms per pass, one new passing each
    double burst = 0;      // ms for one pass over Burst passings
    QList<QStringList> stored;
};

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

double percentile(QList<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[std::min<int>(int(v.size()) - 1, int(p * v.size()))];
}

Figures run(SuiteDatabase &db, int field, RankWrite mode, const QString &logFolder)
{
    db.reload();
    db.exec(QStringLiteral("USE ") + db.name());
    // A field of `field` competitors in class M1 (1 passing per lap), starting every 10 s.
    db.exec(QStringLiteral("DELETE FROM result"));
    QStringList values;
    for (int i = 1; i <= field; ++i)
        values << QStringLiteral("('%1','%2','T','%3','M1','%4')")
                      .arg(Event, QString::asprintf("%04d", i), clock(36000000LL + (i - 1) * 10000LL),
                           i % 5 == 0 ? QStringLiteral("NOR") : QStringLiteral("JPN"));
    db.exec(QStringLiteral("INSERT INTO result (tcode,zek,status,STARTEDTIME,class1,NATION) VALUES ") +
            values.join(QLatin1Char(',')));

    TDm1 dm;
    Dm1 = &dm;
    dm.DB->Params = TDm1::ConnectionParams();
    dm.DB->Open();
    dm.Query1->setSQL({QStringLiteral("set names sjis")});
    dm.Query1->ExecSQL();
    ProgramSettings.CurrentTcode = Event;
    TMidIntake intake(&dm);
    intake.midlog->Path = logFolder + QLatin1Char('/');
    intake.VoiceOn = [] { return true; };
    intake.rankWrite = mode;
    intake.ReadExecInfo();
    intake.dispmidrank();

    quint32 seed = 4711;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) & 0xffff);
    };
    // Mid point 1 of all but the last `Singles` competitors, as earlier passes stored it.
    const int prefilled = field - Singles;
    for (int i = 1; i <= prefilled; ++i)
        db.exec(QStringLiteral("UPDATE result SET midtime1='%1' WHERE zek='%2'")
                    .arg(MsecToMidText(300000 + next() % 60000), QString::asprintf("%04d", i)));
    intake.setmidrank(1);

    Figures f;
    QElapsedTimer timer;
    for (int i = prefilled + 1; i <= field; ++i) {
        const qint64 start = 36000000LL + (i - 1) * 10000LL;
        db.exec(
            QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ('%1','%2','C1','%3',1,0)")
                .arg(Event, QString::asprintf("%04d", i), clock(start + 300000 + next() % 60000)));
        timer.start();
        intake.settagmid();
        f.singles << timer.nsecsElapsed() / 1e6;
    }

    // A burst: Burst passings in one pass, at the mid points after 1, spread over the field.
    QStringList tags;
    for (int k = 0; k < Burst; ++k) {
        const int bib = k % field + 1;
        const int lap = 2 + k / field; // count = mid point with 1 passing per lap
        const qint64 start = 36000000LL + (bib - 1) * 10000LL;
        tags << QStringLiteral("('%1','%2','C1','%3',%4,0)")
                    .arg(Event, QString::asprintf("%04d", bib), clock(start + lap * 300000LL + next() % 60000))
                    .arg(lap);
    }
    db.exec(QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ") + tags.join(','));
    timer.start();
    intake.settagmid();
    f.burst = timer.nsecsElapsed() / 1e6;
    const int untaken = db.value(QStringLiteral("SELECT count(*) FROM tag_rec WHERE use_mid=0")).toInt();
    if (untaken != 0)
        qFatal("%d passings left untaken", untaken);
    f.stored = db.rows(QStringLiteral("SELECT zek,midtime1,middiff1,midjun1,midtime2,middiff2,midjun2,midtime3,"
                                      "middiff3,midjun3,midtime4,middiff4,midjun4 FROM result ORDER BY zek"));
    Dm1 = nullptr;
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SuiteDatabase db(QStringLiteral("b_midintake"));
    QTemporaryDir logs;
    QTextStream out(stdout);
    out << "Chip-tag intake benchmark: one pass (settagmid, grids refreshed) on the private server\n";
    out << QString::asprintf("%-6s %-16s %13s %13s %13s %16s\n", "field", "ranking write", "1 passing med",
                             "1 passing p95", "1 passing max", "burst 300 (ms)");
    bool identical = true;
    for (int field : {100, 300, 1000}) {
        Figures per = run(db, field, RankWrite::PerCompetitor, logs.path());
        Figures changed = run(db, field, RankWrite::ChangedOnly, logs.path());
        for (const auto &[name, f] : {std::pair<const char *, Figures *>{"per competitor", &per},
                                      std::pair<const char *, Figures *>{"changed only", &changed}})
            out << QString::asprintf("%-6d %-16s %10.1f ms %10.1f ms %10.1f ms %16.0f\n", field, name,
                                     median(f->singles), percentile(f->singles, 0.95),
                                     *std::max_element(f->singles.begin(), f->singles.end()), f->burst);
        const bool same = per.stored == changed.stored;
        identical = identical && same;
        out << QString::asprintf("       stored results of both ways: %s\n", same ? "identical" : "DIFFERENT");
        out.flush();
    }
    return identical ? 0 : 1;
}
