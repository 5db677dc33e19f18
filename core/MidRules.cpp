// The lap rule, the announcement text and the ranking of the chip-tag intake.
#include "MidRules.h"

#include "MidPoints.h"
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
    if (d.point > MidPointCount)
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
        return QStringLiteral("中間%1以上になります（通過回数を確かめてください）").arg(FullWidthNumber(MidPointCount + 1));
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
