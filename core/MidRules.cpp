// The lap rule, the announcement text, the ranking and the statements of the intake.
#include "MidRules.h"

#include "SqlEscape.h"
#include "TimeText.h"
#include "TextFields.h"

#include <QHash>

namespace MidLogic
{

TMidDecision DecidePassing(bool hasCourse, int passingsPerLap, const QString &startTime, const TTagPassing &passing)
{
    TMidDecision d;
    // Without a course row the passings per lap read as 0: nothing to divide by, so the
    // record waits untaken until a course row is there.
    if (!hasCourse || passingsPerLap <= 0) {
        d.outcome = TMidDecision::NoCourse;
        return d;
    }
    if (passing.cont == 0 || passing.cont % passingsPerLap != 0) {
        d.outcome = TMidDecision::NotLapEnd;
        return d;
    }
    d.point = passing.cont / passingsPerLap;
    if (startTime.trimmed().isEmpty()) {
        d.outcome = TMidDecision::NoStartTime;
        return d;
    }
    // A chip-tag passing read before its start (on the start line, or a start time typed
    // late) waits untaken: the chip-tag rule does not take it for the next day.
    if (TimeTextToMsec(passing.time) <= TimeTextToMsec(startTime)) {
        d.outcome = TMidDecision::NotPositive;
        return d;
    }
    d.msec = ElapsedMsec(startTime, passing.time);
    d.text = MsecToMidText(d.msec);
    if (d.point > MaxMidPoint)
        d.outcome = TMidDecision::PointTooHigh;
    else
        d.outcome = TMidDecision::Take;
    return d;
}

QString WaitingReason(TMidDecision::Outcome outcome)
{
    switch (outcome) {
    case TMidDecision::NoCourse:
        return QStringLiteral("コース設定（クラスの1周の通過回数）か成績の行がありません");
    case TMidDecision::NoStartTime:
        return QStringLiteral("スタート時刻がありません");
    case TMidDecision::NotPositive:
        return QStringLiteral("スタート時刻が通過時刻より後です");
    case TMidDecision::PointTooHigh:
        return QStringLiteral("中間６以上になります（通過回数を確かめてください）");
    case TMidDecision::Take:
    case TMidDecision::NotLapEnd:
        break;
    }
    return QString();
}

QString RefusedReason(const QString &serverMessage)
{
    return QStringLiteral("データベースが書込みを拒否しました（%1）").arg(OneLine(serverMessage));
}

QString UnreadableReason()
{
    return QStringLiteral("ゼッケンかアンテナに Shift-JIS でない文字があります");
}

QString WaitingSummary(const QList<TWaitingPassing> &waiting)
{
    if (waiting.isEmpty())
        return QString();
    QStringList entries;
    for (const TWaitingPassing &w : waiting)
        entries << w.zek + QLatin1Char(' ') + w.reason;
    return QStringLiteral("取込待ちの通過 %1件: ").arg(waiting.size()) + entries.join(QStringLiteral("、"));
}

QString AnnouncementText(const QString &zek, const QString &t)
{
    return zek + QStringLiteral("ﾊﾞﾝ,") + SpokenTimeText(t);
}

// Equal to the server's ordering when the texts differ at most in trailing blanks: the
// race tables' collation pads with blanks (as every server's Shift-JIS collation does),
// and mid times hold only digits, blanks, colons and points, so letter case never
// matters.
static bool SameMidTime(const QString &a, const QString &b)
{
    auto withoutTrailingBlanks = [](const QString &t) {
        int n = t.size();
        while (n > 0 && t[n - 1] == QLatin1Char(' '))
            --n;
        return QStringView(t).left(n);
    };
    return withoutTrailingBlanks(a) == withoutTrailingBlanks(b);
}

QList<TRankEntry> ComputeMidRanking(const QList<TRankRow> &rowsInRankingOrder)
{
    QList<TRankEntry> entries;
    entries.reserve(rowsInRankingOrder.size());
    int leader = 0;
    int rank = 0;
    for (int i = 0; i < rowsInRankingOrder.size(); ++i) {
        const TRankRow &row = rowsInRankingOrder[i];
        if (i == 0)
            leader = TimeTextToMsec(row.time);
        if (i == 0 || !SameMidTime(row.time, rowsInRankingOrder[i - 1].time))
            rank = i + 1;
        entries << TRankEntry{row.zek, MsecToMidText(TimeTextToMsec(row.time) - leader), rank};
    }
    return entries;
}

QList<TRankEntry> ChangedRankEntries(const QList<TRankRow> &rows, const QList<TRankEntry> &entries)
{
    // The server's comparison of bibs, or a coarser one: a bib it might hold equal to
    // another is never left out.
    auto key = [](const QString &zek) {
        QString k = zek.toCaseFolded();
        while (k.endsWith(QLatin1Char(' ')))
            k.chop(1);
        return k;
    };
    QHash<QString, int> bibs;
    for (const TRankEntry &e : entries)
        ++bibs[key(e.zek)];
    QList<TRankEntry> changed;
    for (int i = 0; i < entries.size(); ++i) {
        const TRankEntry &e = entries[i];
        const bool holds = i < rows.size() && rows[i].storedDiff == e.diff &&
                           rows[i].storedRank == QString::number(e.rank) && bibs.value(key(e.zek)) == 1;
        if (!holds)
            changed << e;
    }
    return changed;
}

QStringList PollSql()
{
    return {QStringLiteral("select upd from execinfo where num=1")};
}

QStringList ExecInfoSql()
{
    return {QStringLiteral("select tcode,upd from execinfo where num=1")};
}

QStringList SnapshotSql(const QString &currentTcode)
{
    return {QStringLiteral("select zek,term,time,count as cont from tag_rec"),
            QStringLiteral("where tcode = '") + SqlEscape(currentTcode) +
                QStringLiteral("'and use_mid=0 and term = 'C1' order by time")};
}

QStringList CourseSql(const QString &evtcode, const QString &zek)
{
    return {QStringLiteral("select 1lapn,STARTEDTIME from env a,result b"),
            QStringLiteral("where a.tcode='") + SqlEscape(evtcode) + QStringLiteral("' and a.tcode = b.tcode"),
            QStringLiteral("and b.zek='") + SqlEscape(zek) + QStringLiteral("' and a.rank = '1'"),
            QStringLiteral("and a.class = b.class1")};
}

QStringList MidTimeUpdateSql(int point, const QString &midText, const QString &evtcode, const QString &zek)
{
    return {QStringLiteral("update result"),
            QStringLiteral("set midtime") + QString::number(point) + QStringLiteral(" = '") + SqlEscape(midText) +
                QStringLiteral("'"),
            QStringLiteral("where tcode='") + SqlEscape(evtcode) + QStringLiteral("'"),
            QStringLiteral("AND ZEK='") + SqlEscape(zek) + QStringLiteral("'")};
}

QStringList TakenMarkSql(const QString &evtcode, const QString &zek, const QString &term, int cont)
{
    // The count line matters: without it every record of the bib at the antenna is
    // marked, so a passing written by the chip-tag program while this pass runs (after the
    // snapshot) would be marked taken without ever being read: a lost mid time. Counts
    // run upward per tag and antenna, so "up to this count" still marks every earlier
    // record the lap rule skipped, and leaves the later ones for the next pass.
    return {QStringLiteral("update tag_rec set use_mid=1"),
            QStringLiteral("where tcode='") + SqlEscape(evtcode) + QStringLiteral("' and zek = '") + SqlEscape(zek) +
                QStringLiteral("'"),
            QStringLiteral("and term = '") + SqlEscape(term) + QStringLiteral("'"),
            QStringLiteral("and count <= ") + QString::number(cont)};
}

QStringList ClaimSql(const QString &evtcode, const QString &zek, const QString &term, int cont)
{
    // A locking read inside the passing's transaction: the passing is still there and
    // untaken (another station may have taken it since the snapshot), and it stays so
    // until this transaction ends.
    return {QStringLiteral("select use_mid from tag_rec"),
            QStringLiteral("where tcode='") + SqlEscape(evtcode) + QStringLiteral("' and zek = '") + SqlEscape(zek) +
                QStringLiteral("'"),
            QStringLiteral("and term = '") + SqlEscape(term) + QStringLiteral("' and count = ") +
                QString::number(cont) + QStringLiteral(" and use_mid=0"),
            QStringLiteral("for update")};
}

QStringList ChakuTopSql()
{
    // Only the first row is read: the whole table would travel for one number.
    return {QStringLiteral("SELECT NUM FROM CHAKU ORDER BY NUM DESC LIMIT 1")};
}

QStringList RankSelectSql(int point, const QString &currentTcode)
{
    const QString n = QString::number(point);
    return {QStringLiteral("SELECT ZEK,MIDTIME") + n + QStringLiteral(" AS TM,MIDDIFF") + n +
                QStringLiteral(" AS TD,MIDJUN") + n + QStringLiteral(" AS TJ"),
            QStringLiteral("FROM RESULT"),
            QStringLiteral("WHERE TCODE='") + SqlEscape(currentTcode) + QStringLiteral("'"),
            // CHAR_LENGTH, not <>'': a blank mid time equals '' to the server's
            // comparison, yet it is a time (it reads as 0) and is ranked.
            QStringLiteral("AND CHAR_LENGTH(MIDTIME") + n + QStringLiteral(")>0"),
            QStringLiteral("ORDER BY MIDTIME") + n + QStringLiteral(",ZEK")};
}

// One statement of the ranking's write: the entries of one chunk, by bib.
static QStringList RankChunkSql(const QString &n, const QList<TRankEntry> &chunk, const QString &currentTcode)
{
    QStringList sql;
    sql.reserve(2 * chunk.size() + 7);
    sql << QStringLiteral("UPDATE RESULT");
    // CASE takes the first WHEN that matches. Two entries whose bibs the server holds
    // equal (letter case, trailing blanks: a fault of the entry lists) address the same
    // rows; the slower one's WHEN comes first, so those rows get the slower values, as
    // one update per competitor in ranking order would leave them.
    sql << QStringLiteral("SET MIDDIFF") + n + QStringLiteral("=CASE ZEK");
    for (auto e = chunk.crbegin(); e != chunk.crend(); ++e)
        sql << QStringLiteral("WHEN '") + SqlEscape(e->zek) + QStringLiteral("' THEN '") + SqlEscape(e->diff) +
                   QStringLiteral("'");
    sql << QStringLiteral("END,MIDJUN") + n + QStringLiteral("=CASE ZEK");
    for (auto e = chunk.crbegin(); e != chunk.crend(); ++e)
        sql << QStringLiteral("WHEN '") + SqlEscape(e->zek) + QStringLiteral("' THEN ") + QString::number(e->rank);
    sql << QStringLiteral("END");
    sql << QStringLiteral("WHERE TCODE='") + SqlEscape(currentTcode) + QStringLiteral("'");
    QStringList bibs;
    bibs.reserve(chunk.size());
    for (const TRankEntry &e : chunk)
        bibs << QStringLiteral("'") + SqlEscape(e.zek) + QStringLiteral("'");
    sql << QStringLiteral("AND ZEK IN (") + bibs.join(QLatin1Char(',')) + QStringLiteral(")");
    return sql;
}

QList<QStringList> RankWriteSql(int point, const QList<TRankEntry> &entries, const QString &currentTcode)
{
    // The server tries a row's CASE branches one after the other: a statement per chunk
    // keeps that work linear in the field (one statement for 1000 entries spends most of
    // its time there). The chunks go in ranking order, so a later, slower entry still
    // overwrites a faster one of the same bib in an earlier chunk.
    const QString n = QString::number(point);
    QList<QStringList> statements;
    for (qsizetype first = 0; first < entries.size(); first += RankWriteChunk)
        statements << RankChunkSql(n, entries.mid(first, RankWriteChunk), currentTcode);
    return statements;
}

QStringList MidRankDisplaySql(int midno, const QString &currentTcode)
{
    const QString n = QString::number(midno);
    return {QStringLiteral("SELECT MIDJUN") + n + QStringLiteral(" AS MJ"), QStringLiteral(",ZEK"),
            QStringLiteral(",MIDTIME") + n + QStringLiteral(" AS MT"),
            QStringLiteral(",MIDDIFF") + n + QStringLiteral(" AS MD"), QStringLiteral(",NATION"),
            QStringLiteral("FROM result"),
            QStringLiteral("WHERE TCODE='") + SqlEscape(currentTcode) + QStringLiteral("'"),
            QStringLiteral("AND MIDTIME") + n + QStringLiteral("<>''"),
            // Competitors who share a rank are listed by bib.
            QStringLiteral("ORDER BY MIDJUN") + n + QStringLiteral(",ZEK")};
}

bool DrawsInBlue(const QString &nation)
{
    return nation == QLatin1String("JPN");
}

QString LogEntryOf(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

} // namespace MidLogic
