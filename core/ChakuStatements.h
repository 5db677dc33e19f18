// The statements on CHAKU, the display rows: one per displayed passing, numbered upward
// (NUM), with the bib, the mid-time text and the mid point (LAPS).
#pragma once

#include <QString>
#include <QStringList>

// "INSERT INTO CHAKU (num,zek,time1,laps) VALUES (" and the values, one line each: the
// display number, the bib, the first 10 characters of the mid-time text and the mid point.
QStringList ChakuInsertSql(int num, const QString &zek, const QString &midText, int point);
// The highest display number, one row at most (the chip-tag intake: only the first row
// is read, and the whole table would travel for one number).
QStringList ChakuTopSql();
// Every display number, highest first (the photocell intake reads the first).
QStringList ChakuNumbersSql();
// Every display row, newest first: the chip-tag window's passing list.
QStringList ChakuListSql();
// Every display row removed (タイムクリア).
QStringList ChakuClearSql();
// The live page: the newest `limit` rows, newest first; and those after display number
// `num`, newest first, at most `limit`.
QString ChakuNewestSql(int limit);
QString ChakuNewerSql(int num, int limit);
