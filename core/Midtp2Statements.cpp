#include "Midtp2Statements.h"

#include "SqlEscape.h"

QStringList PassingInsertSql(const QString &zek, const QString &time, const QString &fl, const QString &tpno1)
{
    return {QStringLiteral("insert into midtp2 (zek,time,fl,tpno1) values ("),
            QLatin1Char('\'') + SqlEscape(zek) + QStringLiteral("','") + SqlEscape(time) + QStringLiteral("','") +
                SqlEscape(fl) + QStringLiteral("','") + SqlEscape(tpno1) + QStringLiteral("')")};
}

QStringList PassingCountSql(const QString &zek, const QString &time, const QString &fl)
{
    return {QStringLiteral("select count(*) as n from midtp2 where zek='") + SqlEscape(zek) +
            QStringLiteral("' and time='") + SqlEscape(time) + QStringLiteral("' and fl='") + SqlEscape(fl) +
            QLatin1Char('\'')};
}

QStringList PassingTopNumberSql()
{
    return {QStringLiteral("select max(tpno1) as maxn from midtp2")};
}

QStringList PassingsShownSql()
{
    return {QStringLiteral("select * from midtp2 where fl='A'")};
}

QStringList UnprocessedPassingsSql()
{
    return {QStringLiteral("select * from midtp2"), QStringLiteral("where fl='B'")};
}

QStringList PassingDeleteSql(const QString &time)
{
    return {QStringLiteral("delete from midtp2 where time = '") + SqlEscape(time) + QLatin1Char('\'')};
}

QStringList PassingsClearSql()
{
    return {QStringLiteral("delete from midtp2")};
}
