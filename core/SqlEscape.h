// The station's one quoting helper for values pasted into statements.
#pragma once

#include <QString>

// Escapes a value pasted between single quotes of a statement: ' and \ are doubled by
// their escapes, so a quote in a frame, a decoder line or a typed cell stays data. Works
// on the text before it is encoded, so the second byte of ソ or 表 is never touched; the
// yen sign ¥, which Shift-JIS encodes as the backslash byte 0x5C, is escaped too.
QString SqlEscape(const QString &value);
