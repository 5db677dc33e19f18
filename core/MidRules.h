// The rules of the chip-tag intake and the mid ranking as plain
// functions: the lap rule, the announcement text and the ranking computation. Qt Core
// only, no database; the statements are in TagStatements, ResultStatements and
// ChakuStatements.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace MidLogic
{

// One record of the snapshot of tag_rec.
struct TTagPassing {
    QString zek;  // bib as read
    QString term; // antenna, always "C1" here
    QString time; // clock text of the passing
    int cont = 0; // running count of the tag's passings at the antenna
};

// What the lap rule makes of one passing.
struct TMidDecision {
    enum Outcome {
        Take,         // a mid time for mid point `point`
        NoCourse,     // no course row, or passings per lap not positive: nothing to divide by
        NoStartTime,  // the competitor has no start time (see TakesPassing)
        NotLapEnd,    // count 0 or not a whole multiple of the passings per lap
        NotPositive,  // start at or after the passing
        PointTooHigh, // a mid point above MidPointCount
    };
    Outcome outcome = NotLapEnd;
    int point = 0; // mid point (count / passings per lap), also when skipped for its height
    int msec = 0;  // mid time in milliseconds
    QString text;  // mid-time text: MsecToTimeText cut to 10 characters (tenths, cut)
    bool taken() const { return outcome == Take; }
};

// The lap rule. hasCourse is false when the course lookup
// returned no row. A start time that is empty or blank means the competitor has not
// started (or the start was not recorded): the passing is skipped and waits untaken,
// instead of counting from midnight, which would store the time of day as a
// mid time.
TMidDecision DecidePassing(bool hasCourse, int passingsPerLap, const QString &startTime, const TTagPassing &passing);

// A passing left untaken for want of data, with what is missing in words for the
// operator. Records that only wait for the end of their lap are not among them.
struct TWaitingPassing {
    QString zek;
    QString reason;
};

// Why a skipped passing waits; empty when it does not wait for data (taken, or not the
// end of a lap).
QString WaitingReason(TMidDecision::Outcome outcome);

// Why a passing the server refused waits: its message on one line.
QString RefusedReason(const QString &serverMessage);
// Why a passing whose bib or antenna is not Shift-JIS text waits.
QString UnreadableReason();

// One line for the window: how many passings wait, and the first of them with their
// reasons ("取込待ちの通過 2件: 0012 スタート時刻がありません、0045 ..."); empty for none.
QString WaitingSummary(const QList<TWaitingPassing> &waiting);

// The spoken text: bib + "ﾊﾞﾝ," + e.g. "5分35秒1" or "1時間23分31秒4". t is the
// 10-character mid-time text; under a minute the time part begins with "分".
QString AnnouncementText(const QString &zek, const QString &t);

// --- Ranking ---------------------------------------------------------------------------

// One row of the ranking query, in its order: mid time text, then bib.
struct TRankRow {
    QString zek;
    QString time; // never empty: the query leaves out NULL and empty mid times
    // What the row holds now (the last ranking's), to leave unchanged rows alone.
    QString storedDiff;
    QString storedRank; // empty for NULL
};

// The stored outcome for one ranked competitor.
struct TRankEntry {
    QString zek;
    QString diff; // difference to the leader, a 10-character mid-time text
    int rank = 0; // 1 upward; equal mid time texts share a rank (1, 2, 2, 4)
    bool operator==(const TRankEntry &o) const { return zek == o.zek && diff == o.diff && rank == o.rank; }
};

// The entries to write for the rows of the ranking query, one per row. The first row is
// the leader; every difference is its time minus the leader's, read with TimeTextToMsec
// and written with MsecToTimeText cut to tenths, exactly as a mid time is. Mid times
// the server orders as equal (texts that differ only in trailing blanks) share a rank,
// and the next rank skips (1, 2, 2, 4).
QList<TRankEntry> ComputeMidRanking(const QList<TRankRow> &rowsInRankingOrder);

// The entries (of ComputeMidRanking for `rows`, in the same order) whose row does not
// hold them yet: the rest need no write. An entry whose bib another entry shares in any
// letter case or with trailing blanks is always kept, since the write gives all rows of
// such a bib the values of its slowest entry.
QList<TRankEntry> ChangedRankEntries(const QList<TRankRow> &rows, const QList<TRankEntry> &entries);

// DBG3DrawColumnCell: a ranking row is drawn in blue when its NATION is exactly "JPN".
bool DrawsInBlue(const QString &nation);

// The log entry of a mid-time update: its lines, each ended by CR LF.
QString LogEntryOf(const QStringList &lines);

} // namespace MidLogic
