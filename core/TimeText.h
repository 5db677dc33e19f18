// The time texts every window uses: clock, elapsed and mid-time text, and the spoken time.
#pragma once

#include <QString>

// Clock text (HH:MM:SS.d or HH:MM:SS.ddd), elapsed text (12 characters) and mid-time
// text (10 characters) all keep hours, minutes, seconds and fraction at the same
// character positions, so this one parser reads every form. It reads by position:
// "9:05:31.4" (no leading zero) gives 0.
int TimeTextToMsec(const QString &t);

// Elapsed text, right-aligned in 12 characters for 0 .. 359999999 ms. Callers that
// store mid times take the first 10 characters (tenths, cut, not rounded).
QString MsecToTimeText(int n);

// The first 10 characters of MsecToTimeText: the mid-time text stored in result.
QString MsecToMidText(int n);

// The elapsed time of a passing: milliseconds from the competitor's start to the passing,
// both time-of-day texts. A start after the passing means the passing is on the next day
// (a start before midnight, a passing after it). An empty start counts as midnight. The
// one mid time of both intakes: the stored mid time (MsecToMidText), the display row
// (MsecToTimeText) and the announcement all come from it.
int ElapsedMsec(const QString &startText, const QString &passText);

// The spoken time of an announcement, from the 10-character mid text (chip-tag window) or
// the 12-character elapsed text (photocell window): both hold hours, minutes, seconds and
// tenths at the same positions and only the tenths digit is said, so both give the same
// words. Under an hour minutes "分" seconds "秒" tenth ("5分35秒1", "12分05秒1"), else
// hours "時間" first; minutes and seconds keep the text's leading zero, and the blanks at
// both ends go (an inner blank stays: "分 5秒1").
QString SpokenTimeText(const QString &t);

