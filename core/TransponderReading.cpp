#include "TransponderReading.h"

#include "TextFields.h"

#include <QRegularExpression>
#include <limits>

bool ReadTpInteger(const QString &text, int &value)
{
    static const QRegularExpression whole(QStringLiteral("^\\s*[+-]?[0-9]{1,10}\\s*$"));
    if (!whole.match(text).hasMatch())
        return false;
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (!ok || n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return false;
    value = int(n);
    return true;
}

// Seconds with up to three decimals into milliseconds, exactly (no binary fractions).
static bool readSeconds(const QString &text, int &ms)
{
    static const QRegularExpression seconds(QStringLiteral("^\\s*([+-]?)([0-9]{0,9})(?:\\.([0-9]{0,3}))?\\s*$"));
    const QRegularExpressionMatch m = seconds.match(text);
    if (!m.hasMatch() || (m.captured(2).isEmpty() && m.captured(3).isEmpty()))
        return false;
    const qint64 whole = m.captured(2).isEmpty() ? 0 : m.captured(2).toLongLong();
    const qint64 fraction = m.captured(3).leftJustified(3, QLatin1Char('0')).toLongLong();
    qint64 n = whole * 1000 + fraction;
    if (m.captured(1) == QLatin1String("-"))
        n = -n;
    if (n < std::numeric_limits<int>::min() || n > std::numeric_limits<int>::max())
        return false;
    ms = int(n);
    return true;
}

bool ParseTpReading(const QString &record, TTpReading &reading, QString *why)
{
    auto fail = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    QString rest = record;
    auto field = [&rest] { return rest.isEmpty() ? QString() : CutTabField(rest); };
    const QString transponder = field();
    const QString time = field();
    const QString hits = field();
    // The strength is often the last field of the line: then no TAB follows it and it is
    // what remains of the record.
    const QString strength = rest.contains(QLatin1Char('\t')) ? CutTabField(rest) : rest;

    if (transponder.isEmpty() || transponder == QLatin1String("0"))
        return fail(QStringLiteral("トランスポンダーＮｏがありません"));
    TTpReading r;
    r.transponder = transponder.left(7);
    if (!readSeconds(time, r.timeMs))
        return fail(QStringLiteral("時間が数値ではありません"));
    if (!ReadTpInteger(hits, r.hits))
        return fail(QStringLiteral("ヒット数が数値ではありません"));
    if (!ReadTpInteger(strength, r.strength))
        return fail(QStringLiteral("信号強度が数値ではありません"));
    r.hits = qMin(r.hits, TpFigureCap);
    r.strength = qMin(r.strength, TpFigureCap);
    reading = r;
    return true;
}
