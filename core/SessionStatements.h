// The statements on the connection itself rather than a table: its character set, its
// settings, the transaction of a passing and the named lock around it.
#pragma once

#include <QString>
#include <QStringList>

// The connection speaks Shift-JIS.
QString SetNamesSql();
// The settings a new connection gets after SetNamesSql, in order: the sql_mode, autocommit
// on, both lock waits; a read-only session last.
QStringList SessionSettingsSql(const QString &sqlMode, int lockWaitSeconds, bool readOnly);
QString StartTransactionSql();
QString CommitSql();
QString RollbackSql();
// The server-wide lock every station takes around a passing's transaction, waiting at most
// waitSeconds ("got": 1 taken, 0 the wait ran out); and its release.
QString PassingLockSql(int waitSeconds);
QString PassingUnlockSql();
// Whether the server tells table names apart by letter case (0: it does).
QString TableNameCaseSql();
// The account of the session ("A") and how many grants to write it has ("W").
QString WritingGrantsSql();
