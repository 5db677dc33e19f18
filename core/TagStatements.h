// The statements on tag_rec, the chip-tag program's readings: one row per passing of a
// tag at an antenna, with the running count of the tag's passings there and use_mid set
// once the station has taken it.
#pragma once

#include <QString>
#include <QStringList>

// The untaken passings of the event at antenna C1, oldest first (the intake's snapshot).
QStringList TagSnapshotSql(const QString &tcode);
// The claim of a passing inside its transaction: a row when it is still untaken.
QStringList TagClaimSql(const QString &tcode, const QString &zek, const QString &term, int count);
// The passing and every earlier one of the tag at the antenna marked taken.
QStringList TagTakenMarkSql(const QString &tcode, const QString &zek, const QString &term, int count);
// A reading as the chip-tag program writes it (antenna C1, untaken): the rehearsal writer.
QStringList TagReadingInsertSql(const QString &tcode, const QString &zek, const QString &time, int count);
