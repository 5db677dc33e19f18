// The rules of the chip-tag intake and the mid ranking as plain
// functions: the lap rule, the announcement text, the ranking computation and every
// statement, line by line. Qt Core only, no database.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace MidLogic
{

// Highest mid point the result table has (midtime1 .. midtime5).
constexpr int MaxMidPoint = 5;

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
        PointTooHigh, // mid point 6 or more
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

// --- Statements, one item per line, values through SqlEscape --------------------------
// Each takes its values as plain text and pastes them escaped: for every value without
// ' or \ the statement is exactly the plain concatenation.

QStringList PollSql();                                // Timer1Timer: execinfo's upd
QStringList ExecInfoSql();                            // FormShow: the event and its upd
QStringList SnapshotSql(const QString &currentTcode); // settagmid: the untaken passings
// takePassing, in this order: the course row, the claim, the mid time, the taken mark,
// then (after the ranking) the highest display number and the display row.
QStringList CourseSql(const QString &evtcode, const QString &zek);
// The claim of a passing inside its transaction: a row when it is still untaken.
QStringList ClaimSql(const QString &evtcode, const QString &zek, const QString &term, int cont);
QStringList MidTimeUpdateSql(int point, const QString &midText, const QString &evtcode, const QString &zek);
QStringList TakenMarkSql(const QString &evtcode, const QString &zek, const QString &term, int cont);
QStringList ChakuTopSql();
// setmidrank: the mid times of point n, fastest first, by bib within a tie; NULL and
// empty mid times are left out (a blank one is a time that reads as 0).
QStringList RankSelectSql(int point, const QString &currentTcode);
// Entries per statement of the ranking's write.
constexpr int RankWriteChunk = 100;
// setmidrank: the differences and ranks of all entries, in statements of up to
// RankWriteChunk entries each (UPDATE ... SET c=CASE ZEK WHEN ... END WHERE ZEK IN (...)),
// to run in this order. None for no entries.
QList<QStringList> RankWriteSql(int point, const QList<TRankEntry> &entries, const QString &currentTcode);
QStringList MidRankDisplaySql(int midno, const QString &currentTcode); // dispmidrank

// The log entry of a mid-time update: its lines, each ended by CR LF.
QString LogEntryOf(const QStringList &lines);

} // namespace MidLogic
