// The field of a rehearsal: the competitors of the running event with their start times
// and passings per lap, read from the race database, and the passings a plausible race
// would give them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <random>

struct TCompetitor {
    QString zek;     // bib as result holds it
    int startMs = 0; // start time of day
    int perLap = 1;  // chip-tag passings per lap (env.1lapn)
};

struct TPassing {
    QString zek;
    int count = 0;    // running number of this bib's passings (chip-tag count)
    int midPoint = 0; // lap number: the mid point this passing completes (0 for inner ones)
    int timeMs = 0;   // time of day
};

// Connects through the data source name as the station does (ODBC configuration from
// the environment), then "set names sjis". Raises EDatabaseError.
class TDatabase;
void ConnectRehearsal(TDatabase &db, const QString &dsn);

// The running event (EXECINFO row 1) and its competitors with status "T", by bib.
QString RunningEvent(TDatabase &db);
QList<TCompetitor> LoadField(TDatabase &db, const QString &tcode, int limit);

// Passings for laps laps: each competitor skis at a steady pace of its own (lap of 4 to 7
// minutes), one passing per 1/perLap of a lap. absentEvery: every n-th competitor never
// passes (0: all pass). Sorted by time.
QList<TPassing> PlanRace(const QList<TCompetitor> &field, int laps, int absentEvery, std::mt19937 &random);

// Clock text HH:MM:SS.fff of a time of day (wraps at midnight).
QString ClockText(int ms);

// Waits until the simulated clock reaches timeMs: the simulation starts at simStart when
// the program starts and runs speed times faster than real time.
class TSimClock
{
public:
    TSimClock(int simStartMs, double speed);
    void waitUntil(int timeMs) const;
    int now() const;

private:
    qint64 m_wallStart;
    int m_simStart;
    double m_speed;
};
