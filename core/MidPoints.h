// How many mid points a course has, and the result columns of each. Everything that
// counts mid points (the result columns, a timer frame's digit, the mid buttons, the
// check list's columns, the rankings of the live page) takes the count from here.
#pragma once

#include <QString>
#include <QStringList>

// Mid points are numbered 1 .. MidPointCount; result holds MIDTIMEk, MIDDIFFk and MIDJUNk
// for each of them.
constexpr int MidPointCount = 5;

inline bool IsMidPoint(int k)
{
    return k >= 1 && k <= MidPointCount;
}

// The mid-time column of point k as the statements write it: "midtime3".
inline QString MidTimeColumn(int k)
{
    return QStringLiteral("midtime") + QString::number(k);
}

// midtime1 .. midtime<MidPointCount>, in order: the columns the check list may write back.
inline QStringList MidTimeColumns()
{
    QStringList columns;
    for (int k = 1; k <= MidPointCount; ++k)
        columns << MidTimeColumn(k);
    return columns;
}
