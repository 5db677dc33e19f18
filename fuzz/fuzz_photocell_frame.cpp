// Fuzz target: the photocell timer's byte stream through the frame reader, the frame
// parser, the raw views and the statements and texts a passing becomes.
//
// Checks, besides the sanitizers: the lines do not depend on how the stream was cut into
// reads (whole, byte by byte, in pieces of 7); no line is longer than the reader allows;
// the raw views keep their line limits; every statement built from a frame has exactly
// its own literals after Shift-JIS encoding, each holding the value as it was encoded.
#include "ChakuStatements.h"
#include "FuzzCheck.h"
#include "Midtp2Statements.h"
#include "PhotocellFrame.h"
#include "ResultStatements.h"
#include "Sjis.h"
#include "TimeText.h"

#include <cstdint>

using namespace Photocell;

namespace
{

QList<QByteArray> lines(const QList<TFrameReader::TEvent> &events)
{
    QList<QByteArray> out;
    for (const auto &e : events)
        out << (e.kind == TFrameReader::TEvent::Line ? QByteArray("L:") : QByteArray("O:")) + e.line;
    return out;
}

QList<QByteArray> encodedValues(const QStringList &values)
{
    QList<QByteArray> out;
    for (const QString &v : values)
        out << Sjis::encode(v);
    return out;
}

void checkStatement(const QStringList &sql, const QStringList &values)
{
    const QByteArray bytes = Sjis::encode(sql.join(QStringLiteral("\r\n")));
    QList<QByteArray> literals;
    if (CountLiterals(bytes, &literals) != values.size() || literals != encodedValues(values))
        std::fprintf(stderr, "statement: %s\n", bytes.toHex(' ').constData());
    literals.clear();
    FUZZ_CHECK(CountLiterals(bytes, &literals) == values.size(), "a value changed the statement's literals");
    for (int i = 0; i < values.size(); ++i)
        FUZZ_CHECK(literals.at(i) == Sjis::encode(values.at(i)), "a literal does not hold its value");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), int(size));

    TFrameReader whole;
    const QList<TFrameReader::TEvent> events = whole.Feed(stream);
    TFrameReader bytewise;
    QList<TFrameReader::TEvent> byByte;
    for (const char c : stream)
        if (auto e = bytewise.FeedByte(quint8(c)))
            byByte << *e;
    TFrameReader pieces;
    QList<TFrameReader::TEvent> byPiece;
    for (int at = 0; at < stream.size(); at += 7)
        byPiece << pieces.Feed(stream.mid(at, 7));
    FUZZ_CHECK(lines(events) == lines(byByte), "lines depend on the reads (byte by byte)");
    FUZZ_CHECK(lines(events) == lines(byPiece), "lines depend on the reads (pieces)");
    FUZZ_CHECK(whole.Pending() == bytewise.Pending(), "pending line depends on the reads");
    FUZZ_CHECK(whole.Pending().size() <= TFrameReader::MaxLineLength, "pending line over the limit");

    TLineLog raw(30);
    TLineLog accepted(10);
    for (const char c : stream)
        raw.AppendChar(c == '\r' ? QChar(QLatin1Char('\n')) : RawChar(quint8(c)));
    FUZZ_CHECK(raw.LineCount() <= 30, "raw view over 30 lines");

    for (const auto &e : events) {
        FUZZ_CHECK(!e.line.contains('\r'), "a line holds its CR");
        if (e.kind != TFrameReader::TEvent::Line) {
            FUZZ_CHECK(e.line.size() == TFrameReader::MaxLineLength + 1, "an overlong line not cut at the limit");
            continue;
        }
        FUZZ_CHECK(e.line.size() <= TFrameReader::MaxLineLength, "line over the limit");
        const TFrame frame = ParseFrame(e.line);
        if (!frame.accepted())
            continue;
        FUZZ_CHECK(frame.zek.size() <= 3 && frame.mid.size() <= 1, "field wider than its columns");
        FUZZ_CHECK(frame.time.size() <= 12, "time wider than its columns");
        accepted.AppendLine(frame.text);
        FUZZ_CHECK(accepted.LineCount() <= 10, "accepted view over 10 lines");

        const QStringList insert = PassingInsertSql(frame.zek, frame.time, frame.fl(), QStringLiteral("7"));
        checkStatement(insert, {frame.zek, frame.time, frame.fl(), QStringLiteral("7")});

        // The window records the frame as the typed bib and the time box would, and only
        // for a mid point 1 to MidPointCount (the digit is pasted into the column name).
        const std::optional<QString> bib = BibText(frame.zek);
        const int elapsed = ElapsedMsec(QStringLiteral("10:00:00.000"), frame.time);
        const QString text = MsecToTimeText(elapsed);
        const QString mid = MsecToMidText(elapsed);
        if (bib && MidPoint(frame.mid)) {
            FUZZ_CHECK(bib->size() >= 4, "bib shorter than four digits");
            checkStatement(PhotocellMidTimeSql(frame.mid, mid, *bib, QStringLiteral("R'\\1")),
                           {mid, *bib, QStringLiteral("R'\\1")});
            checkStatement(ChakuInsertSql(3, *bib, mid, MidPoint(frame.mid).value_or(0)), {*bib, mid});
            (void)AnnouncementText(*bib, text);
        }
        (void)AnnouncementText(frame.zek, text);
    }
    return 0;
}
