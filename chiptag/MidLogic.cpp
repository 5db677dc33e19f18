// The lap rule, the announcement text, the ranking and the statements of the intake.
#include "MidLogic.h"

#include "TQuery.h" // SqlEscape, the station's one quoting helper
#include "uComm.h"

#include <QHash>
#include <QSet>

namespace MidLogic
{

namespace
{

QString q(const QString &value)
{
    return SqlEscape(value);
}

} // namespace

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
    d.msec = TimeTextToMsec(passing.time) - TimeTextToMsec(startTime);
    d.text = MsecToMidText(d.msec);
    if (d.msec <= 0)
        d.outcome = TMidDecision::NotPositive;
    else if (d.point > MaxMidPoint)
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

QList<TRankEntry> ComputeMidRanking(const QList<TRankRow> &rowsInServerOrder)
{
    QList<TRankEntry> entries;
    int leader = 0;
    for (const TRankRow &row : rowsInServerOrder) {
        if (row.time.isEmpty())
            continue;
        const int msec = TimeTextToMsec(row.time);
        if (entries.isEmpty())
            leader = msec;
        TRankEntry e;
        e.zek = row.zek;
        e.diff = MsecToMidText(msec - leader);
        e.rank = int(entries.size()) + 1;
        entries << e;
    }
    return entries;
}

namespace
{

// How the server's sjis_japanese_ci compares bibs in "ZEK='...'": letter case and
// trailing blanks do not count.
QString bibKey(const QString &zek)
{
    int end = zek.size();
    while (end > 0 && zek[end - 1] == QLatin1Char(' '))
        --end;
    // Only ASCII letters: what else the collation folds is not guessed at here.
    QString key = zek.left(end);
    for (QChar &c : key)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return key;
}

} // namespace

QList<TRankEntry> ChangedRankEntries(const QList<TRankEntry> &computed, const QList<TStoredRank> &stored)
{
    // The last entry of a bib is what its rows end up holding.
    QHash<QString, int> finalEntry;
    for (int i = 0; i < computed.size(); ++i)
        finalEntry.insert(bibKey(computed[i].zek), i);
    QSet<QString> changed;
    for (const TStoredRank &row : stored) {
        const QString key = bibKey(row.zek);
        const auto it = finalEntry.constFind(key);
        if (it == finalEntry.constEnd())
            continue;
        const TRankEntry &e = computed[*it];
        if (row.diffNull || row.rankNull || row.diff != e.diff || row.rank != e.rank)
            changed.insert(key);
    }
    QList<TRankEntry> out;
    for (int i = 0; i < computed.size(); ++i) {
        const QString key = bibKey(computed[i].zek);
        if (finalEntry.value(key) == i && changed.contains(key))
            out << computed[i];
    }
    return out;
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
            QStringLiteral("where tcode = '") + q(currentTcode) +
                QStringLiteral("'and use_mid=0 and term = 'C1' order by time")};
}

QStringList CourseSql(const QString &evtcode, const QString &zek)
{
    return {QStringLiteral("select 1lapn,STARTEDTIME from env a,result b"),
            QStringLiteral("where a.tcode='") + q(evtcode) + QStringLiteral("' and a.tcode = b.tcode"),
            QStringLiteral("and b.zek='") + q(zek) + QStringLiteral("' and a.rank = '1'"),
            QStringLiteral("and a.class = b.class1")};
}

QStringList MidTimeUpdateSql(int point, const QString &midText, const QString &evtcode, const QString &zek)
{
    return {QStringLiteral("update result"),
            QStringLiteral("set midtime") + QString::number(point) + QStringLiteral(" = '") + q(midText) +
                QStringLiteral("'"),
            QStringLiteral("where tcode='") + q(evtcode) + QStringLiteral("'"),
            QStringLiteral("AND ZEK='") + q(zek) + QStringLiteral("'")};
}

QStringList TakenMarkSql(const QString &evtcode, const QString &zek, const QString &term, int cont)
{
    // The count line matters: without it every record of the bib at the antenna is
    // marked, so a passing written by the chip-tag program while this pass runs (after the
    // snapshot) would be marked taken without ever being read: a lost mid time. Counts
    // run upward per tag and antenna, so "up to this count" still marks every earlier
    // record the lap rule skipped, and leaves the later ones for the next pass.
    return {QStringLiteral("update tag_rec set use_mid=1"),
            QStringLiteral("where tcode='") + q(evtcode) + QStringLiteral("' and zek = '") + q(zek) +
                QStringLiteral("'"),
            QStringLiteral("and term = '") + q(term) + QStringLiteral("'"),
            QStringLiteral("and count <= ") + QString::number(cont)};
}

QStringList ClaimSql(const QString &evtcode, const QString &zek, const QString &term, int cont)
{
    // A locking read inside the passing's transaction: the passing is still there and
    // untaken (another station may have taken it since the snapshot), and it stays so
    // until this transaction ends.
    return {QStringLiteral("select use_mid from tag_rec"),
            QStringLiteral("where tcode='") + q(evtcode) + QStringLiteral("' and zek = '") + q(zek) +
                QStringLiteral("'"),
            QStringLiteral("and term = '") + q(term) + QStringLiteral("' and count = ") + QString::number(cont) +
                QStringLiteral(" and use_mid=0"),
            QStringLiteral("for update")};
}

QStringList ChakuTopSql()
{
    return {QStringLiteral("SELECT NUM FROM CHAKU ORDER BY NUM DESC")};
}

QStringList ChakuInsertSql(int num, const QString &zek, const QString &midText, int point)
{
    return {QStringLiteral("INSERT INTO CHAKU (num,zek,time1,laps) VALUES ("),
            QString::number(num) + QStringLiteral(","), QStringLiteral("'") + q(zek) + QStringLiteral("',"),
            QStringLiteral("'") + q(midText.left(10)) + QStringLiteral("',"),
            QString::number(point) + QStringLiteral(")")};
}

QStringList RankSelectSql(int point, const QString &currentTcode)
{
    const QString n = QString::number(point);
    return {QStringLiteral("SELECT ZEK,MIDTIME") + n + QStringLiteral(" AS TM"), QStringLiteral("FROM RESULT"),
            QStringLiteral("WHERE TCODE='") + q(currentTcode) + QStringLiteral("'"),
            QStringLiteral("ORDER BY MIDTIME") + n};
}

QStringList RankSelectStoredSql(int point, const QString &currentTcode)
{
    const QString n = QString::number(point);
    return {QStringLiteral("SELECT ZEK,MIDTIME") + n + QStringLiteral(" AS TM,MIDDIFF") + n +
                QStringLiteral(" AS TD,MIDJUN") + n + QStringLiteral(" AS TJ"),
            QStringLiteral("FROM RESULT"), QStringLiteral("WHERE TCODE='") + q(currentTcode) + QStringLiteral("'"),
            QStringLiteral("ORDER BY MIDTIME") + n};
}

QStringList RankUpdateSql(int point, const TRankEntry &entry, const QString &currentTcode)
{
    const QString n = QString::number(point);
    return {QStringLiteral("UPDATE RESULT"),
            QStringLiteral("SET MIDDIFF") + n + QStringLiteral("='") + q(entry.diff) + QStringLiteral("'"),
            QStringLiteral(",MIDJUN") + n + QStringLiteral("=") + QString::number(entry.rank),
            QStringLiteral("WHERE TCODE='") + q(currentTcode) + QStringLiteral("'"),
            QStringLiteral("AND ZEK='") + q(entry.zek) + QStringLiteral("'")};
}

QStringList MidRankDisplaySql(int midno, const QString &currentTcode)
{
    const QString n = QString::number(midno);
    return {QStringLiteral("SELECT MIDJUN") + n + QStringLiteral(" AS MJ"),
            QStringLiteral(",ZEK"),
            QStringLiteral(",MIDTIME") + n + QStringLiteral(" AS MT"),
            QStringLiteral(",MIDDIFF") + n + QStringLiteral(" AS MD"),
            QStringLiteral(",NATION"),
            QStringLiteral("FROM result"),
            QStringLiteral("WHERE TCODE='") + q(currentTcode) + QStringLiteral("'"),
            QStringLiteral("AND MIDTIME") + n + QStringLiteral("<>''"),
            QStringLiteral("ORDER BY MIDJUN") + n};
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
