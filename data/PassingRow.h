// The display row both intakes write for a passing: the statement that adds it to CHAKU.
#pragma once

#include <QString>
#include <QStringList>

// "INSERT INTO CHAKU (num,zek,time1,laps) VALUES (" and the values, one line each: the
// display number, the bib, the first 10 characters of the mid-time text and the mid point.
QStringList ChakuInsertSQL(int num, const QString &zek, const QString &midText, int point);
