// The statements on the event being run: EXECINFO (its code and the change counter the
// chip-tag program bumps for every reading) and tiki (the event's name).
#pragma once

#include <QString>
#include <QStringList>

// The code of the event being run, the first row's TCODE (main window, live page).
QStringList EventTcodeSql();
// The name of an event: TIKIMEI of its tiki row.
QStringList EventNameSql(const QString &tcode);
// The whole tiki row of an event (the photocell window's event name).
QStringList EventRowSql(const QString &tcode);
// Every EXECINFO row: the data module's query as designed, before a handler sets its own.
QStringList ExecInfoRowsSql();
// Every EXECINFO row, the event-info query the main window and the database choice reopen.
// The blank at the end is part of the text the station has always sent.
QStringList EventInfoSql();
// Row 1: the change counter alone (the chip-tag poll), and the event with its counter
// (when the chip-tag window opens).
QStringList ChangeCountSql();
QStringList EventAndChangeCountSql();
// Row 1: the event's code, as the rehearsal devices read it.
QStringList RunningEventSql();
// Row 1: the counter bumped, as the chip-tag program does after each reading.
QStringList ChangeCountBumpSql();
