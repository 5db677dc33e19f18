#include "MidtpStatements.h"

QStringList MidtpRowsSql()
{
    return {QStringLiteral("select * from midtp")};
}

QStringList MidtpByBibSql()
{
    return {QStringLiteral("select * from midtp order by zek")};
}
