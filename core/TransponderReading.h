// A queued passing record of the transponder decoder read into its values, and the
// decision whether it can be registered at all.
#pragma once

#include <QString>

// The highest hit count and strength the table keeps.
constexpr int TpFigureCap = 32767;

struct TTpReading {
    QString transponder; // at most 7 characters, as the table keeps it
    int timeMs = 0;      // passing time, checked but not kept
    int hits = 0;        // capped at TpFigureCap; negative values stay as sent
    int strength = 0;    // likewise
};

// Reads a record as the decoder queue holds it: "transponder TAB seconds TAB hits TAB
// strength", possibly followed by more fields. False, with the reason in Japanese, when
// the transponder number is missing (or "0", which the table reserves for "none"), or
// the time, the hits or the strength is missing or not a number. The seconds may carry
// up to three decimals.
bool ParseTpReading(const QString &record, TTpReading &reading, QString *why = nullptr);

// A whole number as the station types and sends them: blanks around it, an optional
// sign, decimal digits, within 32 bits. False for anything else.
bool ReadTpInteger(const QString &text, int &value);
