// The statements on midtp2, the photocell passings: one row per accepted timer frame,
// with its bib, time of day, fl ("A" a passing, "B" cleared or doubtful) and a running
// number (tpno1).
#pragma once

#include <QString>
#include <QStringList>

// A passing stored: "insert into midtp2 (zek,time,fl,tpno1) values (" and the values.
QStringList PassingInsertSql(const QString &zek, const QString &time, const QString &fl, const QString &tpno1);
// How many passings with this bib, time and fl are stored: a frame stored before the link
// broke is not stored twice.
QStringList PassingCountSql(const QString &zek, const QString &time, const QString &fl);
// The highest running number, as maxn.
QStringList PassingTopNumberSql();
// The passings (fl "A"): DBGrid1 of the photocell window.
QStringList PassingsShownSql();
// The unprocessed times (fl "B"): DBGrid3 of the photocell window.
QStringList UnprocessedPassingsSql();
// The passings at one time of day removed.
QStringList PassingDeleteSql(const QString &time);
// Every passing removed.
QStringList PassingsClearSql();
