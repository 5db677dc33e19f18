#include "ResultStatements.h"

#include "Errors.h"
#include "MidPoints.h"
#include "SqlEscape.h"

using MidLogic::TRankEntry;

namespace
{
// "midtime1,midtime2,...": every mid-time column, in a select list.
QString midTimeList()
{
    return MidTimeColumns().join(QLatin1Char(','));
}
} // namespace

QStringList ResultRowsSql()
{
    return {QStringLiteral("select * from result")};
}

QStringList MidRankDesignSql()
{
    return {QStringLiteral("SELECT MIDJUN1 AS MJ,"), QStringLiteral("ZEK,"), QStringLiteral("MIDTIME1 AS MT,"),
            QStringLiteral("MIDDIFF1 AS MD,"), QStringLiteral("NATION"), QStringLiteral("FROM RESULT")};
}

QStringList CheckListDesignSql()
{
    return {QStringLiteral("SELECT zek,") + midTimeList() + QStringLiteral(",finishtime"),
            QStringLiteral("from result")};
}

QStringList EventResultsSql(const QString &tcode)
{
    return {QStringLiteral("select * from result where tcode='") + SqlEscape(tcode) + QStringLiteral("' order by zek")};
}

QString ResultColumnsSql()
{
    return QStringLiteral("SELECT * FROM result WHERE 1=0");
}

QStringList CourseSql(const QString &tcode, const QString &zek)
{
    return {QStringLiteral("select 1lapn,STARTEDTIME from env a,result b"),
            QStringLiteral("where a.tcode='") + SqlEscape(tcode) + QStringLiteral("' and a.tcode = b.tcode"),
            QStringLiteral("and b.zek='") + SqlEscape(zek) + QStringLiteral("' and a.rank = '1'"),
            QStringLiteral("and a.class = b.class1")};
}

QStringList ChipTagMidTimeSql(int point, const QString &midText, const QString &tcode, const QString &zek)
{
    return {QStringLiteral("update result"),
            QStringLiteral("set midtime") + QString::number(point) + QStringLiteral(" = '") + SqlEscape(midText) +
                QStringLiteral("'"),
            QStringLiteral("where tcode='") + SqlEscape(tcode) + QStringLiteral("'"),
            QStringLiteral("AND ZEK='") + SqlEscape(zek) + QStringLiteral("'")};
}

QStringList RankSelectSql(int point, const QString &tcode)
{
    const QString n = QString::number(point);
    return {QStringLiteral("SELECT ZEK,MIDTIME") + n + QStringLiteral(" AS TM,MIDDIFF") + n +
                QStringLiteral(" AS TD,MIDJUN") + n + QStringLiteral(" AS TJ"),
            QStringLiteral("FROM RESULT"),
            QStringLiteral("WHERE TCODE='") + SqlEscape(tcode) + QStringLiteral("'"),
            // CHAR_LENGTH, not <>'': a blank mid time equals '' to the server's
            // comparison, yet it is a time (it reads as 0) and is ranked.
            QStringLiteral("AND CHAR_LENGTH(MIDTIME") + n + QStringLiteral(")>0"),
            QStringLiteral("ORDER BY MIDTIME") + n + QStringLiteral(",ZEK")};
}

// One statement of the ranking's write: the entries of one chunk, by bib.
static QStringList rankChunkSql(const QString &n, const QList<TRankEntry> &chunk, const QString &tcode)
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
    sql << QStringLiteral("WHERE TCODE='") + SqlEscape(tcode) + QStringLiteral("'");
    QStringList bibs;
    bibs.reserve(chunk.size());
    for (const TRankEntry &e : chunk)
        bibs << QStringLiteral("'") + SqlEscape(e.zek) + QStringLiteral("'");
    sql << QStringLiteral("AND ZEK IN (") + bibs.join(QLatin1Char(',')) + QStringLiteral(")");
    return sql;
}

QList<QStringList> RankWriteSql(int point, const QList<TRankEntry> &entries, const QString &tcode)
{
    // The server tries a row's CASE branches one after the other: a statement per chunk
    // keeps that work linear in the field (one statement for 1000 entries spends most of
    // its time there). The chunks go in ranking order, so a later, slower entry still
    // overwrites a faster one of the same bib in an earlier chunk.
    const QString n = QString::number(point);
    QList<QStringList> statements;
    for (qsizetype first = 0; first < entries.size(); first += RankWriteChunk)
        statements << rankChunkSql(n, entries.mid(first, RankWriteChunk), tcode);
    return statements;
}

QStringList MidRankDisplaySql(int point, const QString &tcode)
{
    const QString n = QString::number(point);
    return {QStringLiteral("SELECT MIDJUN") + n + QStringLiteral(" AS MJ"), QStringLiteral(",ZEK"),
            QStringLiteral(",MIDTIME") + n + QStringLiteral(" AS MT"),
            QStringLiteral(",MIDDIFF") + n + QStringLiteral(" AS MD"), QStringLiteral(",NATION"),
            QStringLiteral("FROM result"),
            QStringLiteral("WHERE TCODE='") + SqlEscape(tcode) + QStringLiteral("'"),
            QStringLiteral("AND MIDTIME") + n + QStringLiteral("<>''"),
            // Competitors who share a rank are listed by bib.
            QStringLiteral("ORDER BY MIDJUN") + n + QStringLiteral(",ZEK")};
}

QStringList StartTimeSql(const QString &tcode, const QString &zek)
{
    return {QStringLiteral("select startedtime,zek,class1 from result where tcode='") + SqlEscape(tcode) +
                QLatin1Char('\''),
            QStringLiteral("and zek='") + SqlEscape(zek) + QLatin1Char('\'')};
}

QStringList PhotocellMidTimeSql(const QString &mid, const QString &midText, const QString &zek, const QString &tcode)
{
    return {QStringLiteral("update result set midtime") + mid + QStringLiteral("=") + QLatin1Char('\'') +
                SqlEscape(midText) + QLatin1Char('\''),
            QStringLiteral("where zek ='") + SqlEscape(zek) + QStringLiteral("' and tcode='") + SqlEscape(tcode) +
                QLatin1Char('\'')};
}

QStringList DisplayInfoSql(const QString &tcode, const QString &zek)
{
    return {QStringLiteral("select status,startedtime,") + midTimeList(),
            QStringLiteral("from result where tcode='") + SqlEscape(tcode) + QStringLiteral("' and zek='") +
                SqlEscape(zek) + QLatin1Char('\'')};
}

QString PhotocellCheckFirstLine()
{
    return QStringLiteral("select zek,startedtime,") + midTimeList() + QStringLiteral(",finishtime,runtime");
}

QString ChipTagCheckFirstLine()
{
    return QStringLiteral("select zek,") + midTimeList() + QStringLiteral(",finishtime");
}

QStringList CheckListSql(const QString &firstLine, const QString &tcode)
{
    return {firstLine, QStringLiteral("from result where tcode='") + SqlEscape(tcode) + QLatin1Char('\''),
            QStringLiteral("order by zek")};
}

QStringList CheckListUpdateSql(const QString &tcode, const QString &zek, const QList<QPair<QString, QString>> &changes)
{
    // Column names are pasted as they are: only the mid-time columns pass.
    const QStringList allowed = MidTimeColumns();
    QStringList sets;
    for (const auto &change : changes) {
        const int i = allowed.indexOf(change.first.toLower());
        if (i < 0)
            throw EStationError(QStringLiteral("'%1' は書き戻せない項目です。").arg(change.first));
        sets << allowed[i] + QStringLiteral("='") + SqlEscape(change.second) + QLatin1Char('\'');
    }
    return {QStringLiteral("update result set ") + sets.join(QLatin1Char(',')),
            QStringLiteral("where tcode='") + SqlEscape(tcode) + QStringLiteral("' and zek='") + SqlEscape(zek) +
                QLatin1Char('\'')};
}

QString LiveRankingsSql(const QString &nameColumn, const QString &tcode)
{
    QString sql = QStringLiteral("SELECT ZEK,NATION");
    if (!nameColumn.isEmpty())
        sql += QLatin1Char(',') + nameColumn;
    for (const char *prefix : {"MIDJUN", "MIDTIME", "MIDDIFF"})
        for (int n = 1; n <= MidPointCount; ++n)
            sql += QStringLiteral(",%1%2").arg(QLatin1String(prefix)).arg(n);
    sql += QStringLiteral("\r\nFROM result\r\nWHERE TCODE='") + SqlEscape(tcode) + QLatin1Char('\'');
    return sql;
}

QStringList RehearsalFieldSql(const QString &tcode)
{
    return {QStringLiteral("select b.zek, b.STARTEDTIME, a.1lapn from env a, result b"),
            QStringLiteral("where a.tcode='") + SqlEscape(tcode) + QStringLiteral("' and a.tcode=b.tcode"),
            QStringLiteral("and a.rank='1' and a.class=b.class1 and b.status='T'"), QStringLiteral("order by b.zek")};
}
