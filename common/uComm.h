// Program-wide settings record and the time text helpers every window uses.
#pragma once

#include <QString>

// The one settings record of the station. Lives on the GUI thread only.
struct TProgramSettings {
    int ID = 233;
    int VerUpNo = 0;
    int Speaker = 3;
    int Voicetype = 5;
    int Voiceint = 5;
    int Voicew = 6;
    int Voicem = 6;
    int Speed = 6;
    int Vol = 5;
    int Onsei = 0;
    int Alge = 0;
    int Automode = 0;
    QString CurrentTcode; // event the working windows use; never saved
};

extern TProgramSettings ProgramSettings;

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

// The spoken time of an announcement, from the 10-character mid text (chip-tag window) or
// the 12-character elapsed text (photocell window): both hold hours, minutes, seconds and
// tenths at the same positions and only the tenths digit is said, so both give the same
// words. Under an hour minutes "分" seconds "秒" tenth ("5分35秒1", "12分05秒1"), else
// hours "時間" first; minutes and seconds keep the text's leading zero, and the blanks at
// both ends go (an inner blank stays: "分 5秒1").
QString SpokenTimeText(const QString &t);

// Cuts the first CR-terminated line off the buffer. Without a CR it returns "" and
// leaves the buffer alone, so a partial line waits for the rest of it. The character
// after the CR (LF in a well-formed stream) is dropped whatever it is.
QString CutLine(QString &buffer);

// Cuts the first TAB-separated field off the buffer. Without a TAB it returns "" and
// leaves the buffer alone: the last field is what remains in the buffer.
QString CutTabField(QString &buffer);

// Reads a short decimal piece the way the station's integer conversion does: leading
// blanks skipped, an optional sign, then digits only. Anything else gives fallback.
int StrToIntDef(const QString &text, int fallback);

// The text without the blanks and control characters (U+0000 to U+0020) at both ends.
QString TrimControls(const QString &text);

// A message on one line, for a red notice line: line breaks become blanks.
QString OneLine(const QString &text);
