// The lap rule, the announcement text, the ranking and the statements of the intake.
#include "MidLogic.h"

#include "TQuery.h" // SqlEscape, the station's one quoting helper
#include "uComm.h"

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

QString RefusedReason(const QString &serverMessage)
{
    return QStringLiteral("データベースが書込みを拒否しました（%1）")
        .arg(QString(serverMessage).replace(QLatin1Char('\n'), QLatin1Char(' ')));
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

QList<TRankEntry> ComputeMidRanking(const QList<TRankRow> &rowsInRankingOrder)
{
    QList<TRankEntry> entries;
    entries.reserve(rowsInRankingOrder.size());
    int leader = 0;
    for (int i = 0; i < rowsInRankingOrder.size(); ++i) {
        const TRankRow &row = rowsInRankingOrder[i];
        if (i == 0)
            leader = TimeTextToMsec(row.time);
        if (row.lastOfBib)
            entries << TRankEntry{row.zek, MsecToMidText(TimeTextToMsec(row.time) - leader), row.rank};
    }
    return entries;
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
    return {
        QStringLiteral("SELECT ZEK,MIDTIME") + n + QStringLiteral(" AS TM"),
        QStringLiteral(",RANK() OVER (ORDER BY MIDTIME") + n + QStringLiteral(") AS TJ"),
        QStringLiteral(",ROW_NUMBER() OVER (PARTITION BY ZEK ORDER BY MIDTIME") + n + QStringLiteral(" DESC)=1 AS TL"),
        QStringLiteral("FROM RESULT"), QStringLiteral("WHERE TCODE='") + SqlEscape(currentTcode) + QStringLiteral("'"),
        // CHAR_LENGTH, not <>'': a blank mid time equals '' to the server's
        // comparison, yet it is a time (it reads as 0) and is ranked.
        QStringLiteral("AND CHAR_LENGTH(MIDTIME") + n + QStringLiteral(")>0"),
        QStringLiteral("ORDER BY MIDTIME") + n + QStringLiteral(",ZEK")};
}

QStringList RankWriteSql(int point, const QList<TRankEntry> &entries, const QString &currentTcode)
{
    if (entries.isEmpty())
        return {};
    const QString n = QString::number(point);
    // A row of the entry list; the first one names the columns.
    auto values = [](const TRankEntry &e, bool named) {
        return QStringLiteral("'") + SqlEscape(e.zek) + (named ? QStringLiteral("' AS ZEK,'") : QStringLiteral("','")) +
               SqlEscape(e.diff) + (named ? QStringLiteral("' AS D,") : QStringLiteral("',")) +
               QString::number(e.rank) + (named ? QStringLiteral(" AS J") : QString());
    };
    // The entries travel as a derived table: a SELECT that names the columns, then a
    // table value constructor with a row per further entry.
    QStringList sql;
    sql.reserve(entries.size() + 6);
    sql << QStringLiteral("UPDATE RESULT R JOIN (");
    sql << QStringLiteral("SELECT ") + values(entries.first(), true);
    if (entries.size() > 1)
        sql << QStringLiteral("UNION ALL VALUES");
    for (int i = 1; i < entries.size(); ++i)
        sql << (i > 1 ? QStringLiteral(",(") : QStringLiteral("(")) + values(entries[i], false) + QStringLiteral(")");
    sql << QStringLiteral(") V ON R.ZEK=V.ZEK");
    sql << QStringLiteral("SET R.MIDDIFF") + n + QStringLiteral("=V.D,R.MIDJUN") + n + QStringLiteral("=V.J");
    sql << QStringLiteral("WHERE R.TCODE='") + SqlEscape(currentTcode) + QStringLiteral("'");
    return sql;
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
