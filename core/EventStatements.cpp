#include "EventStatements.h"

#include "SqlEscape.h"

QStringList EventTcodeSql()
{
    return {QStringLiteral("SELECT TCODE FROM EXECINFO")};
}

QStringList EventNameSql(const QString &tcode)
{
    return {QStringLiteral("SELECT TIKIMEI "), QStringLiteral("FROM tiki "),
            QStringLiteral("WHERE TCODE='") + SqlEscape(tcode) + QLatin1Char('\'')};
}

QStringList EventRowSql(const QString &tcode)
{
    return {QStringLiteral("select * from tiki where tcode='") + SqlEscape(tcode) + QLatin1Char('\'')};
}

QStringList ExecInfoRowsSql()
{
    return {QStringLiteral("select * from execinfo")};
}

QStringList EventInfoSql()
{
    return {QStringLiteral("select * from execinfo ")};
}

QStringList ChangeCountSql()
{
    return {QStringLiteral("select upd from execinfo where num=1")};
}

QStringList EventAndChangeCountSql()
{
    return {QStringLiteral("select tcode,upd from execinfo where num=1")};
}

QStringList RunningEventSql()
{
    return {QStringLiteral("select tcode from EXECINFO where num=1")};
}

QStringList ChangeCountBumpSql()
{
    return {QStringLiteral("update EXECINFO set upd=upd+1 where num=1")};
}
