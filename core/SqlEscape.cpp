#include "SqlEscape.h"

QString SqlEscape(const QString &value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar c : value) {
        // The yen sign is encoded as 0x5C, the byte the server reads as a backslash: it
        // is escaped like one (it arrives as U+00A5 from a Latin-1 device byte 0xA5 or
        // from the yen key of a Japanese keyboard).
        if (c == QLatin1Char('\'') || c == QLatin1Char('\\') || c == QChar(0x00A5))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return escaped;
}
