// What the live page shows, as read from the race database, and the JSON documents that
// carry it to the browsers: a whole state for a new page, an update holding only what
// changed since the previous read. Plain data and functions; Qt Core only.
#pragma once

#include "Database.h"
#include "MidPoints.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <array>

// One CHAKU row: the passing display of the timing windows.
struct TLivePassing {
    int num = 0;
    QString bib;
    int mid = 0;  // LAPS: the mid point of the passing
    QString time; // TIME1: mid-time text
    bool operator==(const TLivePassing &o) const
    {
        return num == o.num && bib == o.bib && mid == o.mid && time == o.time;
    }
};

// One row of a mid point's ranking, as the station's rank display shows it.
struct TLiveRankRow {
    bool ranked = false; // MIDJUNn is not NULL
    int rank = 0;
    QString bib;
    QString name;
    QString nation;
    QString time; // first 10 characters of MIDTIMEn
    QString diff; // first 10 characters of MIDDIFFn
    bool operator==(const TLiveRankRow &o) const
    {
        return ranked == o.ranked && rank == o.rank && bib == o.bib && name == o.name && nation == o.nation &&
               time == o.time && diff == o.diff;
    }
};

struct TLiveCompetitor {
    QString name;
    QString nation;
};

constexpr int LivePassingsShown = 50;

struct TLiveState {
    bool online = false;
    QString code;                 // current event (EXECINFO)
    QString name;                 // its name (tiki), "" when tiki has none
    bool names = false;           // result has the competitors' names
    QList<TLivePassing> passings; // newest first, LivePassingsShown at most
    // The rows new since the previous read, newest first: more than the shown ones when
    // a burst outran the poll. Carried by the update, not compared.
    QList<TLivePassing> arrived;
    std::array<QList<TLiveRankRow>, MidPointCount> ranks;
    QHash<QString, TLiveCompetitor> competitors; // by bib, for the passings' names
    QString updated;                             // time of day the shown data last changed
};

// CHAKU rows of "SELECT NUM,ZEK,LAPS,TIME1 FROM CHAKU ...", in the order given.
QList<TLivePassing> PassingsFromRows(const TResultSet &rows);
// How many passings at the top of `passings` (newest first) are newer than number oldTop.
int CountNewer(const QList<TLivePassing> &passings, int oldTop);

// The rankings of mid points 1 to MidPointCount from the event's result rows (columns ZEK, NATION,
// the name column when nameColumn is not empty, MIDJUNn, MIDTIMEn, MIDDIFFn). As the
// station's display: only competitors whose mid time is not empty, by rank, unranked
// (NULL) first as the server sorts NULL.
std::array<QList<TLiveRankRow>, MidPointCount> RankingsFromRows(const TResultSet &rows, const QString &nameColumn);
QHash<QString, TLiveCompetitor> CompetitorsFromRows(const TResultSet &rows, const QString &nameColumn);

// The whole state, for a page that starts or fell too far behind.
QByteArray StateJson(const TLiveState &state);
// What changed from before to after; empty when nothing did. The passings travel as the
// new rows ("add", after.arrived) when the old list is still their tail, as the whole list ("all") when
// the table was cleared or rewritten.
QByteArray UpdateJson(const TLiveState &before, const TLiveState &after);
// One server-sent event: its id (the state's sequence number), type and JSON data line.
QByteArray SseMessage(qint64 seq, const char *event, const QByteArray &json);
// The page with the whole state put into its data element (<script type="application/json"
// id="first-state">), so that it shows the passings on first paint, before the stream
// answers. The JSON holds no '<' (StateJson escapes it), so it cannot end the element.
QByteArray EmbedState(const QByteArray &page, const QByteArray &stateJson);
// True when the data the page shows differs (not counting online and updated).
bool ShownDataDiffers(const TLiveState &a, const TLiveState &b);
