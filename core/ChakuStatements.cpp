#include "ChakuStatements.h"

#include "SqlEscape.h"

QStringList ChakuInsertSql(int num, const QString &zek, const QString &midText, int point)
{
    return {QStringLiteral("INSERT INTO CHAKU (num,zek,time1,laps) VALUES ("), QString::number(num) + QLatin1Char(','),
            QLatin1Char('\'') + SqlEscape(zek) + QStringLiteral("',"),
            QLatin1Char('\'') + SqlEscape(midText.left(10)) + QStringLiteral("',"),
            QString::number(point) + QLatin1Char(')')};
}

QStringList ChakuTopSql()
{
    return {QStringLiteral("SELECT NUM FROM CHAKU ORDER BY NUM DESC LIMIT 1")};
}

QStringList ChakuNumbersSql()
{
    return {QStringLiteral("SELECT NUM FROM CHAKU ORDER BY NUM DESC")};
}

QStringList ChakuListSql()
{
    return {QStringLiteral("SELECT * FROM CHAKU ORDER BY NUM DESC")};
}

QStringList ChakuClearSql()
{
    return {QStringLiteral("DELETE FROM CHAKU")};
}

// The live page's reads: the columns it shows, an optional condition (with its leading
// blank), newest first.
static QString chakuRowsSql(const QString &where, int limit)
{
    return QStringLiteral("SELECT NUM,ZEK,LAPS,TIME1 FROM CHAKU%1 ORDER BY NUM DESC LIMIT %2").arg(where).arg(limit);
}

QString ChakuNewestSql(int limit)
{
    return chakuRowsSql(QString(), limit);
}

QString ChakuNewerSql(int num, int limit)
{
    return chakuRowsSql(QStringLiteral(" WHERE NUM>%1").arg(num), limit);
}
