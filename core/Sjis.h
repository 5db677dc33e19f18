// Text conversion between the station's strings and Shift-JIS bytes: the bytes that travel
// on the database connection after "set names sjis", and those of the files the station
// writes for Japanese Windows tools (the log, the check list's query file). CP932 is used
// because it decodes every byte sequence the server's sjis can send (it is a superset).
#pragma once

#include <QByteArray>
#include <QString>

namespace Sjis
{

// Characters without a Shift-JIS form become '?', as the server itself would store them.
QByteArray encode(const QString &text);

// Bytes that do not form a character become U+FFFD; nothing else is lost.
QString decode(const QByteArray &bytes);
QString decode(const char *data, size_t length);

} // namespace Sjis
