#include "LiveState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <climits>

namespace
{

int column(const TResultSet &rows, const QString &name)
{
    for (int c = 0; c < rows.names.size(); ++c)
        if (rows.names[c].compare(name, Qt::CaseInsensitive) == 0)
            return c;
    return -1;
}

QString text(const TResultSet &rows, int row, int c)
{
    return c < 0 ? QString() : rows.values[row][c];
}

bool isNull(const TResultSet &rows, int row, int c)
{
    return c < 0 || rows.nulls[row][c];
}

int integer(const TResultSet &rows, int row, int c)
{
    return isNull(rows, row, c) ? 0 : rows.values[row][c].trimmed().toInt();
}

// Mid-time texts are right-aligned in 10 characters; the page aligns them itself.
QString shown(const QString &midTimeText)
{
    return midTimeText.left(10).trimmed();
}

QJsonObject passingJson(const TLivePassing &p, const QHash<QString, TLiveCompetitor> &competitors)
{
    const TLiveCompetitor who = competitors.value(p.bib);
    return {{QStringLiteral("num"), p.num},     {QStringLiteral("bib"), p.bib},
            {QStringLiteral("mid"), p.mid},     {QStringLiteral("time"), shown(p.time)},
            {QStringLiteral("name"), who.name}, {QStringLiteral("nation"), who.nation}};
}

QJsonArray passingsJson(const QList<TLivePassing> &passings, const QHash<QString, TLiveCompetitor> &competitors)
{
    QJsonArray list;
    for (const TLivePassing &p : passings)
        list.append(passingJson(p, competitors));
    return list;
}

QJsonArray rankJson(const QList<TLiveRankRow> &rows)
{
    QJsonArray list;
    for (const TLiveRankRow &r : rows)
        list.append(QJsonObject{{QStringLiteral("rank"), r.ranked ? QJsonValue(r.rank) : QJsonValue()},
                                {QStringLiteral("bib"), r.bib},
                                {QStringLiteral("name"), r.name},
                                {QStringLiteral("nation"), r.nation},
                                {QStringLiteral("time"), r.time},
                                {QStringLiteral("diff"), r.diff}});
    return list;
}

QJsonObject eventJson(const TLiveState &s)
{
    return {{QStringLiteral("code"), s.code}, {QStringLiteral("name"), s.name}, {QStringLiteral("names"), s.names}};
}

// Compact JSON with <, > and & written as escapes: the bytes stay valid JSON and hold
// nothing a browser could take for markup, wherever a page or a tool puts them.
QByteArray pageSafe(const QJsonObject &object)
{
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    json.replace('<', "\\u003c").replace('>', "\\u003e").replace('&', "\\u0026");
    return json;
}

void addStatus(QJsonObject &o, const TLiveState &s)
{
    o.insert(QStringLiteral("online"), s.online);
    o.insert(QStringLiteral("updated"), s.updated);
}

} // namespace

int CountNewer(const QList<TLivePassing> &passings, int oldTop)
{
    int fresh = 0;
    while (fresh < passings.size() && passings[fresh].num > oldTop)
        ++fresh;
    return fresh;
}

QList<TLivePassing> PassingsFromRows(const TResultSet &rows)
{
    const int num = column(rows, QStringLiteral("NUM"));
    const int zek = column(rows, QStringLiteral("ZEK"));
    const int laps = column(rows, QStringLiteral("LAPS"));
    const int time = column(rows, QStringLiteral("TIME1"));
    QList<TLivePassing> list;
    for (int r = 0; r < rows.values.size(); ++r)
        list.append({integer(rows, r, num), text(rows, r, zek), integer(rows, r, laps), text(rows, r, time)});
    return list;
}

QHash<QString, TLiveCompetitor> CompetitorsFromRows(const TResultSet &rows, const QString &nameColumn)
{
    const int zek = column(rows, QStringLiteral("ZEK"));
    const int nation = column(rows, QStringLiteral("NATION"));
    const int name = nameColumn.isEmpty() ? -1 : column(rows, nameColumn);
    QHash<QString, TLiveCompetitor> competitors;
    for (int r = 0; r < rows.values.size(); ++r)
        competitors.insert(text(rows, r, zek), {text(rows, r, name), text(rows, r, nation)});
    return competitors;
}

std::array<QList<TLiveRankRow>, MidPointCount> RankingsFromRows(const TResultSet &rows, const QString &nameColumn)
{
    const int zek = column(rows, QStringLiteral("ZEK"));
    const int nation = column(rows, QStringLiteral("NATION"));
    const int name = nameColumn.isEmpty() ? -1 : column(rows, nameColumn);
    std::array<QList<TLiveRankRow>, MidPointCount> ranks;
    for (int n = 1; n <= MidPointCount; ++n) {
        const int jun = column(rows, QStringLiteral("MIDJUN%1").arg(n));
        const int time = column(rows, QStringLiteral("MIDTIME%1").arg(n));
        const int diff = column(rows, QStringLiteral("MIDDIFF%1").arg(n));
        QList<TLiveRankRow> &list = ranks[size_t(n - 1)];
        for (int r = 0; r < rows.values.size(); ++r) {
            // The station lists "MIDTIMEn<>''": NULL and blank-only texts are not passed.
            if (text(rows, r, time).trimmed().isEmpty())
                continue;
            list.append({!isNull(rows, r, jun), integer(rows, r, jun), text(rows, r, zek), text(rows, r, name),
                         text(rows, r, nation), shown(text(rows, r, time)), shown(text(rows, r, diff))});
        }
        // Ties keep an order that does not flicker between reads: by time text, then bib.
        std::stable_sort(list.begin(), list.end(), [](const TLiveRankRow &a, const TLiveRankRow &b) {
            if (a.ranked != b.ranked)
                return !a.ranked;
            if (a.rank != b.rank)
                return a.rank < b.rank;
            if (a.time.size() != b.time.size())
                return a.time.size() < b.time.size();
            if (a.time != b.time)
                return a.time < b.time;
            return a.bib < b.bib;
        });
    }
    return ranks;
}

QByteArray StateJson(const TLiveState &state)
{
    QJsonObject o;
    addStatus(o, state);
    o.insert(QStringLiteral("event"), eventJson(state));
    o.insert(QStringLiteral("passings"),
             QJsonObject{{QStringLiteral("all"), passingsJson(state.passings, state.competitors)}});
    QJsonObject ranks;
    for (int n = 1; n <= MidPointCount; ++n)
        ranks.insert(QString::number(n), rankJson(state.ranks[size_t(n - 1)]));
    o.insert(QStringLiteral("ranks"), ranks);
    return pageSafe(o);
}

bool ShownDataDiffers(const TLiveState &a, const TLiveState &b)
{
    return a.code != b.code || a.name != b.name || a.names != b.names || a.passings != b.passings || a.ranks != b.ranks;
}

QByteArray UpdateJson(const TLiveState &before, const TLiveState &after)
{
    if (before.online == after.online && before.updated == after.updated && !ShownDataDiffers(before, after))
        return QByteArray();
    QJsonObject o;
    addStatus(o, after);
    if (before.code != after.code || before.name != after.name || before.names != after.names)
        o.insert(QStringLiteral("event"), eventJson(after));
    if (before.passings != after.passings) {
        // New rows on top of an unchanged list travel alone.
        const int oldTop = before.passings.isEmpty() ? INT_MIN : before.passings.first().num;
        const int fresh = CountNewer(after.passings, oldTop);
        const QList<TLivePassing> kept = after.passings.mid(fresh);
        const bool tailKept = fresh > 0 && kept == before.passings.mid(0, kept.size());
        const QList<TLivePassing> added = after.arrived.size() > fresh ? after.arrived : after.passings.mid(0, fresh);
        if (tailKept)
            o.insert(QStringLiteral("passings"),
                     QJsonObject{{QStringLiteral("add"), passingsJson(added, after.competitors)}});
        else
            o.insert(QStringLiteral("passings"),
                     QJsonObject{{QStringLiteral("all"), passingsJson(after.passings, after.competitors)}});
    }
    QJsonObject ranks;
    for (int n = 1; n <= MidPointCount; ++n)
        if (before.ranks[size_t(n - 1)] != after.ranks[size_t(n - 1)])
            ranks.insert(QString::number(n), rankJson(after.ranks[size_t(n - 1)]));
    if (!ranks.isEmpty())
        o.insert(QStringLiteral("ranks"), ranks);
    return pageSafe(o);
}

QByteArray SseMessage(qint64 seq, const char *event, const QByteArray &json)
{
    return QByteArray("id: ") + QByteArray::number(seq) + "\nevent: " + event + "\ndata: " + json + "\n\n";
}

QByteArray EmbedState(const QByteArray &page, const QByteArray &stateJson)
{
    static const QByteArray element = "<script type=\"application/json\" id=\"first-state\">";
    const qsizetype open = page.indexOf(element);
    const qsizetype close = open < 0 ? -1 : page.indexOf("</script>", open + element.size());
    if (close < 0)
        return page;
    const qsizetype start = open + element.size();
    return page.left(start) + stateJson + page.mid(close);
}
