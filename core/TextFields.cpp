// Pieces of the texts the station reads.
#include "TextFields.h"

int StrToIntDef(const QString &text, int fallback)
{
    int i = 0;
    const int n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i >= n)
        return fallback;
    qint64 value = 0;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return fallback;
        value = value * 10 + (c.unicode() - '0');
        if (value > 2147483648LL)
            return fallback;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL || value < -2147483648LL)
        return fallback;
    return int(value);
}

QString TrimControls(const QString &text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// Cuts the text before the first end character off the buffer, together with the
// dropped characters from the end character on; "" and the buffer untouched without one.
static QString cutBefore(QString &buffer, QChar end, int dropped)
{
    const int p = buffer.indexOf(end);
    if (p < 0)
        return QString();
    const QString piece = buffer.left(p);
    buffer = buffer.mid(p + dropped);
    return piece;
}

QString CutLine(QString &buffer)
{
    return cutBefore(buffer, QLatin1Char('\r'), 2); // the CR and whatever follows it
}

QString CutTabField(QString &buffer)
{
    return cutBefore(buffer, QLatin1Char('\t'), 1);
}

QString OneLine(const QString &text)
{
    return QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

QString FullWidthNumber(int n)
{
    QString text = QString::number(n);
    for (QChar &c : text)
        if (c.isDigit())
            c = QChar(0xFF10 + (c.unicode() - '0'));
    return text;
}
