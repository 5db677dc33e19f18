// The time texts.
#include "TimeText.h"
#include "TextFields.h"

// Characters are counted from 1, as the time text forms are described.
static QString piece(const QString &t, int from, int count)
{
    return t.mid(from - 1, count);
}

int TimeTextToMsec(const QString &t)
{
    const qint64 h = StrToIntDef(piece(t, 1, 2), 0);
    const qint64 m = StrToIntDef(piece(t, 4, 2), 0);
    const qint64 s = StrToIntDef(piece(t, 7, 2), 0);
    qint64 f = 0;
    if (t.size() <= 10) {
        if (t.size() >= 10 && t[9].isDigit() && t[9].unicode() < 128)
            f = (t[9].unicode() - '0') * 100;
    } else {
        f = StrToIntDef(piece(t, 10, 3), 0);
    }
    // Wraps like the 32-bit arithmetic it stands for; only garbage gets near it.
    return int(quint32(((h * 60 + m) * 60 + s) * 1000 + f));
}

QString MsecToTimeText(int n)
{
    const QString f = QString::asprintf("%.3d", n % 1000).left(3);
    const int s = n / 1000;
    if (s < 10)
        return QStringLiteral("       ") + QString::number(s) + QLatin1Char('.') + f;
    if (s < 60)
        return QStringLiteral("      ") + QString::number(s) + QLatin1Char('.') + f;
    const QString ss = QString::asprintf("%.2d", s % 60);
    const int m = s / 60;
    if (m < 10)
        return QStringLiteral("    ") + QString::number(m) + QLatin1Char(':') + ss + QLatin1Char('.') + f;
    if (m < 60)
        return QStringLiteral("   ") + QString::number(m) + QLatin1Char(':') + ss + QLatin1Char('.') + f;
    const QString mm = QString::asprintf("%.2d", m % 60);
    const int h = m / 60;
    const QString tail = QLatin1Char(':') + mm + QLatin1Char(':') + ss + QLatin1Char('.') + f;
    if (h < 10)
        return QLatin1Char(' ') + QString::number(h) + tail;
    return QString::asprintf("%.2d", h) + tail;
}

QString MsecToMidText(int n)
{
    return MsecToTimeText(n).left(10);
}

int ElapsedMsec(const QString &startText, const QString &passText)
{
    const int start = TimeTextToMsec(startText);
    int pass = TimeTextToMsec(passText);
    if (start > pass)
        pass += 86400000;
    return pass - start;
}

QString SpokenTimeText(const QString &t)
{
    const QString time = t.mid(1, 1) == QLatin1String(" ")
                             ? t.mid(3, 2) + QStringLiteral("分") + t.mid(6, 2) + QStringLiteral("秒") + t.mid(9, 1)
                             : t.mid(0, 2) + QStringLiteral("時間") + t.mid(3, 2) + QStringLiteral("分") + t.mid(6, 2) +
                                   QStringLiteral("秒") + t.mid(9, 1);
    int from = 0;
    int to = time.size();
    while (from < to && time[from] == QLatin1Char(' '))
        ++from;
    while (to > from && time[to - 1] == QLatin1Char(' '))
        --to;
    return time.mid(from, to - from);
}

