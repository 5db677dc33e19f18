#include "TransponderStatements.h"

#include "SqlEscape.h"

namespace TransponderStatements
{

QStringList MidtpRowsSql()
{
    return {QStringLiteral("select * from midtp")};
}

QStringList MidtpByBibSql()
{
    return {QStringLiteral("select * from midtp order by zek")};
}

QString BibText(int bib)
{
    return QString::asprintf("%.4d", bib);
}

QStringList HighestRegisteredBib()
{
    return {QStringLiteral("select max(zek) from midtp where tpno1<>'0'")};
}

QStringList FindTransponder(const QString &transponder)
{
    return {QStringLiteral("select * from midtp where "),
            QStringLiteral("tpno1='") + SqlEscape(transponder) + QLatin1Char('\'')};
}

QStringList RegisterTransponder(const QString &transponder, const QString &bib)
{
    return {QStringLiteral("update midtp set tpno1='") + SqlEscape(transponder) + QLatin1Char('\''),
            QStringLiteral("where zek='") + SqlEscape(bib) + QLatin1Char('\'')};
}

QStringList RecordFigures(int hits, int strength, const QString &zek)
{
    return {QStringLiteral("update midtp set hit=") + QString::number(hits) + QLatin1Char(','),
            QStringLiteral("leng=") + QString::number(strength) + QStringLiteral(" where zek='") + SqlEscape(zek) +
                QLatin1Char('\'')};
}

QStringList DeleteAllBibs()
{
    return {QStringLiteral("delete from midtp")};
}

QStringList InsertEmptyBib(int bib)
{
    return {QStringLiteral("insert into midtp (zek,tpno1,tpno2)values('") + BibText(bib) +
            QStringLiteral("','0','0')")};
}

QStringList ListOrderedBy(const QString &column)
{
    return {QStringLiteral("select * from midtp order by"), column};
}

} // namespace TransponderStatements
