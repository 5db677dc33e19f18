#include "SessionStatements.h"

// Named locks are server-wide; the database's name in the lock's name keeps two race
// databases on one server apart. The server refuses names over 64 characters.
static const char LockName[] = "left(concat('midstation passing ', database()), 64)";

QString SetNamesSql()
{
    return QStringLiteral("set names sjis");
}

QStringList SessionSettingsSql(const QString &sqlMode, int lockWaitSeconds, bool readOnly)
{
    const QString wait = QString::number(lockWaitSeconds);
    QStringList sql{QStringLiteral("set session sql_mode='") + sqlMode + QStringLiteral("'"),
                    QStringLiteral("set autocommit=1"), QStringLiteral("set session lock_wait_timeout=") + wait,
                    QStringLiteral("set session innodb_lock_wait_timeout=") + wait};
    if (readOnly)
        sql << QStringLiteral("SET SESSION TRANSACTION READ ONLY");
    return sql;
}

QString StartTransactionSql()
{
    return QStringLiteral("start transaction");
}

QString CommitSql()
{
    return QStringLiteral("commit");
}

QString RollbackSql()
{
    return QStringLiteral("rollback");
}

QString PassingLockSql(int waitSeconds)
{
    return QStringLiteral("select get_lock(%1, %2) as got").arg(QLatin1String(LockName)).arg(waitSeconds);
}

QString PassingUnlockSql()
{
    return QStringLiteral("select release_lock(%1) as released").arg(QLatin1String(LockName));
}

QString TableNameCaseSql()
{
    return QStringLiteral("select @@lower_case_table_names");
}

QString WritingGrantsSql()
{
    // information_schema lists a plain account's own grants (and everybody's to an
    // account that may read the grant tables: hence the grantee), the same way on MySQL
    // 5.7, 8.0 and MariaDB.
    return QStringLiteral("SELECT CURRENT_USER() AS A,COUNT(*) AS W FROM ("
                          "SELECT GRANTEE,PRIVILEGE_TYPE FROM information_schema.USER_PRIVILEGES "
                          "UNION ALL SELECT GRANTEE,PRIVILEGE_TYPE FROM information_schema.SCHEMA_PRIVILEGES "
                          "WHERE DATABASE() LIKE TABLE_SCHEMA "
                          "UNION ALL SELECT GRANTEE,PRIVILEGE_TYPE FROM information_schema.TABLE_PRIVILEGES "
                          "WHERE TABLE_SCHEMA=DATABASE()) P "
                          "WHERE PRIVILEGE_TYPE IN ('INSERT','UPDATE','DELETE') "
                          "AND GRANTEE=CONCAT('''',REPLACE(CURRENT_USER(),'@','''@'''),'''')");
}
