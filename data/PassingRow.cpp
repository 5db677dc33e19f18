#include "PassingRow.h"

#include "SqlEscape.h"
#include "Query.h"

QStringList ChakuInsertSQL(int num, const QString &zek, const QString &midText, int point)
{
    return {QStringLiteral("INSERT INTO CHAKU (num,zek,time1,laps) VALUES ("), QString::number(num) + QLatin1Char(','),
            QLatin1Char('\'') + SqlEscape(zek) + QStringLiteral("',"),
            QLatin1Char('\'') + SqlEscape(midText.left(10)) + QStringLiteral("',"),
            QString::number(point) + QLatin1Char(')')};
}
