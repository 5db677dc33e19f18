// Fuzz target: the live page's documents from database text. The input is two reads of
// the race database (CHAKU rows and result rows, every field Shift-JIS bytes as the server
// sends them, NULL or not); from them the whole state, the update between the two reads,
// their server-sent events and the page with the state put in.
//
// Checks, besides the sanitizers: every document is a JSON object, holds no '<', '>' or
// '&' (nothing a browser could take for markup) and no line break (an event's data is one
// line); an event is exactly "id", "event" and one "data" line; the page keeps its own
// elements and its state element reads back as the state.
#include "FuzzCheck.h"
#include "LiveState.h"
#include "Sjis.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstdint>

namespace
{

// Cuts the input into fields at 0x1F; a field starting with 0x00 is NULL.
class Fields
{
public:
    Fields(const uint8_t *data, size_t size) : m_bytes(reinterpret_cast<const char *>(data), int(size)) {}
    bool atEnd() const { return m_pos >= m_bytes.size(); }
    QByteArray next()
    {
        const qsizetype end = m_bytes.indexOf('\x1f', m_pos);
        const QByteArray field = m_bytes.mid(m_pos, end < 0 ? -1 : end - m_pos);
        m_pos = end < 0 ? m_bytes.size() : end + 1;
        return field;
    }

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};

TResultSet rowsOf(Fields &in, const QStringList &names, int maxRows)
{
    TResultSet rows;
    rows.names = names;
    rows.hasRows = true;
    for (int r = 0; r < maxRows && !in.atEnd(); ++r) {
        QVector<QString> values;
        QVector<bool> nulls;
        for (int c = 0; c < names.size(); ++c) {
            const QByteArray field = in.next();
            nulls.append(field.startsWith('\0'));
            values.append(Sjis::decode(field));
        }
        rows.values.append(values);
        rows.nulls.append(nulls);
    }
    return rows;
}

TLiveState stateOf(Fields &in)
{
    static const QStringList chaku{QStringLiteral("NUM"), QStringLiteral("ZEK"), QStringLiteral("LAPS"),
                                   QStringLiteral("TIME1")};
    QStringList result{QStringLiteral("ZEK"), QStringLiteral("NATION"), QStringLiteral("name")};
    for (int n = 1; n <= MidPointCount; ++n)
        result << QStringLiteral("MIDJUN%1").arg(n) << QStringLiteral("MIDTIME%1").arg(n)
               << QStringLiteral("MIDDIFF%1").arg(n);
    TLiveState s;
    s.online = in.next().size() % 2 == 1;
    s.code = Sjis::decode(in.next());
    s.name = Sjis::decode(in.next());
    s.names = true;
    s.passings = PassingsFromRows(rowsOf(in, chaku, LivePassingsShown));
    s.arrived = s.passings;
    const TResultSet competitors = rowsOf(in, result, 8);
    s.ranks = RankingsFromRows(competitors, QStringLiteral("name"));
    s.competitors = CompetitorsFromRows(competitors, QStringLiteral("name"));
    s.updated = Sjis::decode(in.next());
    return s;
}

void checkDocument(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError && doc.isObject(), "document is not a JSON object");
    for (const char c : {'<', '>', '&', '\n', '\r'})
        FUZZ_CHECK(!json.contains(c), "document holds markup or a line break");
}

void checkEvent(const QByteArray &json)
{
    const QByteArray event = SseMessage(42, "update", json);
    FUZZ_CHECK(event.endsWith("\n\n"), "event does not end with an empty line");
    const QList<QByteArray> lines = event.chopped(2).split('\n');
    FUZZ_CHECK(lines.size() == 3 && lines[0] == "id: 42" && lines[1] == "event: update" && lines[2] == "data: " + json,
               "event is not id, event and one data line");
}

void checkPage(const QByteArray &json)
{
    static const QByteArray page = "<html><script src=\"live.js\" defer></script>\n<script type=\"application/json\" "
                                   "id=\"first-state\">{}</script><body><p>x</p></body></html>";
    const QByteArray filled = EmbedState(page, json);
    FUZZ_CHECK(filled.count("</script>") == page.count("</script>") && filled.endsWith("<body><p>x</p></body></html>"),
               "the state changed the page's elements");
    const qsizetype start = filled.indexOf("id=\"first-state\">") + 17;
    FUZZ_CHECK(filled.mid(start, filled.indexOf("</script>", start) - start) == json,
               "the page's state element is not the state");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fields in(data, size);
    const TLiveState before = stateOf(in);
    const TLiveState after = stateOf(in);
    const QByteArray whole = StateJson(after);
    checkDocument(whole);
    checkEvent(whole);
    checkPage(whole);
    const QByteArray update = UpdateJson(before, after);
    if (!update.isEmpty()) {
        checkDocument(update);
        checkEvent(update);
    }
    return 0;
}
