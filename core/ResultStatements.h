// The statements on result, one row per competitor of an event: the start time, the mid
// times of every mid point with their differences to the leader and ranks, the finish.
// The course of a class (env) is read together with the competitor's row.
#pragma once

#include "MidRules.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// --- The queries of the data module as designed, before a handler sets its own ---------
QStringList ResultRowsSql();     // every row
QStringList MidRankDesignSql();  // the mid-1 ranking columns, as qMidRank is designed
QStringList CheckListDesignSql(); // the check list's columns, as Qcheck is designed

// The event's rows by bib: the photocell window's mid times.
QStringList EventResultsSql(const QString &tcode);
// No row, only the columns: whether result has a column of the competitor's name.
QString ResultColumnsSql();

// --- The chip-tag intake --------------------------------------------------------------
// The course row of the competitor's class and the start time.
QStringList CourseSql(const QString &tcode, const QString &zek);
// The mid time of point `point` written.
QStringList ChipTagMidTimeSql(int point, const QString &midText, const QString &tcode, const QString &zek);
// The mid times of point n, fastest first, by bib within a tie; NULL and empty mid times
// are left out (a blank one is a time that reads as 0).
QStringList RankSelectSql(int point, const QString &tcode);
// Entries per statement of the ranking's write.
constexpr int RankWriteChunk = 100;
// The differences and ranks of all entries, in statements of up to RankWriteChunk
// entries each (UPDATE ... SET c=CASE ZEK WHEN ... END WHERE ZEK IN (...)), to run in
// this order. None for no entries.
QList<QStringList> RankWriteSql(int point, const QList<MidLogic::TRankEntry> &entries, const QString &tcode);
// The ranking of point `point` as the chip-tag window shows it (dispmidrank).
QStringList MidRankDisplaySql(int point, const QString &tcode);

// --- The photocell intake -------------------------------------------------------------
// The competitor's start time.
QStringList StartTimeSql(const QString &tcode, const QString &zek);
// The mid time of the point whose digit is `mid` written.
QStringList PhotocellMidTimeSql(const QString &mid, const QString &midText, const QString &zek, const QString &tcode);
// The status, start time and every mid time of a competitor: whether a display row is due.
QStringList DisplayInfoSql(const QString &tcode, const QString &zek);

// --- The check list -------------------------------------------------------------------
// The first line of the list's query as the photocell window and the chip-tag window open it.
QString PhotocellCheckFirstLine();
QString ChipTagCheckFirstLine();
// The list's query for an event: the opener's first line, the event condition, the bib order.
QStringList CheckListSql(const QString &firstLine, const QString &tcode);
// The changed mid times of one competitor of one event written back:
// "update result set midtime2='...'" (several columns separated by commas), then
// "where tcode='...' and zek='...'". Every value is escaped; a column that is not one of
// MidTimeColumns() raises EStationError.
QStringList CheckListUpdateSql(const QString &tcode, const QString &zek,
                               const QList<QPair<QString, QString>> &changes);

// --- The live page --------------------------------------------------------------------
// Bib, nation, the name column when not empty, and the rank, mid time and difference of
// every mid point of the event's rows.
QString LiveRankingsSql(const QString &nameColumn, const QString &tcode);

// --- The rehearsal devices ------------------------------------------------------------
// The started competitors of the event with their start time and passings per lap.
QStringList RehearsalFieldSql(const QString &tcode);
