// Pieces of the texts the station reads: lines of a device, TAB-separated fields,
// short numbers, and the one-line form of a message.
#pragma once

#include <QString>

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

// A whole number in full-width digits ("６", "１２"), as the operator's texts write them.
QString FullWidthNumber(int n);
