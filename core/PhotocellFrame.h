// The photocell timer's serial stream and what the photocell window makes of it: the
// frame reader, the mid point, the display row and the announcement.
// The timer sends one text line per beam break, ended by CR, at 2400 bit/s; a line may
// arrive in pieces, and a timer switched on or off or a loose plug puts bytes on the line
// that belong to no frame. Nothing here touches a widget or the database.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace Photocell
{

// One line of the timer, as the window takes it apart. A frame of the timer reads
//
//     " 0012 C1  10:15:30.123   1"
//
// status character (blank, "?" or "c") at 1, the number at 2-5 of which 3-5 are used, the
// channel "C1" at 7-8, the time of day at 11-22 and the mid point digit at 26 (positions
// from 1). Characters 2, 6, 9-10, 23-25 and anything after 26 are not looked at.
struct TFrame {
    enum Kind {
        NotAFrame, // any other line: shown in the raw view only
        Passing,   // " C1": a passing, listed in DBGrid1 (fl "A")
        Cleared,   // "cC1": listed under the unprocessed times (fl "B")
        Doubtful,  // "?C1": the timer doubts the impulse; kept with fl "B", never recorded by itself
    };
    Kind kind = NotAFrame;
    QString text;  // the line as received, without its CR (bytes as Latin-1 characters)
    QString token; // characters 1, 7 and 8
    QString zek;   // characters 3-5, as sent
    QString time;  // characters 11-22 after the two-decimal rule (StoredTime)
    QString mid;   // character 26, "" when the line is shorter
    // Why the station doubts a frame of an accepted kind ("" when every field is what the
    // timer sends): a noise byte in a field, a line cut short or run on, a line error of
    // the port while it arrived. A doubted frame is kept for the operator like a "?C1"
    // one: fl "B", never recorded by itself.
    QString doubt;

    bool accepted() const { return kind != NotAFrame; }
    // The fl column of the stored passing: "A" or "B".
    QString fl() const { return kind == Passing && doubt.isEmpty() ? QStringLiteral("A") : QStringLiteral("B"); }
    // Whether automatic processing records this frame at once.
    bool recordedAutomatically() const { return (kind == Passing || kind == Cleared) && doubt.isEmpty(); }
};

// Takes a line (without its CR) apart, and checks its fields: the number's digits 3-5,
// the time of day HH:MM:SS with one to three decimals, the mid point 1 to MidPointCount,
// nothing but blanks after character 26.
TFrame ParseFrame(const QByteArray &line);

// Marks an accepted frame doubtful for a reason found outside the line (a line error).
void Doubt(TFrame &frame, const QString &reason);

// The reason a frame is doubted when the port reported a line error (parity, framing,
// overrun) while it arrived.
QString LineErrorDoubt();

// The time column of a passing from the 12 characters of the frame's time field: a
// two-decimal time ("10:15:30.12 ", 11 characters once blanks and control characters are
// trimmed) gains a third decimal ("10:15:30.120"); anything else is kept as it stands.
QString StoredTime(const QString &field);

// Feeds the timer's bytes, one call per read, and hands back each line completed by a CR.
// It keeps the partial line between calls, so a frame split over two reads is completed
// by the second. Resync: a line is cut at the CR, so garbage costs at most the line it
// is on; a line that grows past MaxLineLength without a CR is dropped whole, and the
// reader skips to the next CR. An LF right after a CR (a timer that ends its lines with
// CR LF) is dropped, so it cannot become the first character of the next frame.
class TFrameReader
{
public:
    static constexpr int MaxLineLength = 256;

    struct TEvent {
        enum Kind { Line, Overlong };
        Kind kind = Line;
        QByteArray line; // Line: the bytes before the CR; Overlong: the first bytes dropped
    };

    // Returns the event this byte completes, if any.
    std::optional<TEvent> FeedByte(quint8 byte);
    QList<TEvent> Feed(const QByteArray &bytes);

    // The partial line waiting for its CR.
    QByteArray Pending() const { return m_line; }
    // Whether the last byte fed was an LF the reader dropped after a CR.
    bool DroppedLineFeed() const { return m_droppedLineFeed; }
    void Clear();

private:
    QByteArray m_line;
    bool m_skipping = false; // in an overlong line, waiting for its CR
    bool m_afterCR = false;
    bool m_droppedLineFeed = false;
};

// A memo that keeps at most maxLines lines, dropping the oldest, as the raw stream view
// and the accepted-frames view do. A line longer than maxLineLength is broken, so a line
// that never ends cannot grow without bound.
class TLineLog
{
public:
    explicit TLineLog(int maxLines, int maxLineLength = 1024);
    // A character of the stream; '\n' ends the line.
    void AppendChar(QChar c);
    // A whole line and its end.
    void AppendLine(const QString &line);
    // Lines as a memo counts them: a started last line counts, an empty last line does not.
    int LineCount() const;
    QStringList Lines() const;
    QString Text() const;
    void Clear();

private:
    void trim();
    int m_maxLines;
    int m_maxLineLength;
    QStringList m_lines{QString()}; // the last entry is the line being written
};

// How the raw stream view shows one byte: printable ASCII as it is, other control bytes
// as their control pictures (U+2400...), bytes from 0xA0 as Latin-1, 0x80-0x9F as U+FFFD.
QChar RawChar(quint8 byte);

// The bib of the bib box: a whole number written with at least four digits ("12" and
// "0012" give "0012", "12345" stays "12345"). nullopt when the text is not a number.
std::optional<QString> BibText(const QString &typed);

// The mid point of a frame's digit, 1 to MidPointCount; nullopt for anything else.
std::optional<int> MidPoint(const QString &mid);

// The first of the mid times (of points 1 to MidPointCount) that is empty; 0 when none is.
int FirstEmptyMid(const QStringList &midTimes);

// The spoken text for a bib and a 12-character elapsed text:
// "0012" and "   15:07.123" give "12ﾊﾞﾝ,15分07秒1".
QString AnnouncementText(const QString &zek, const QString &elapsedText);

} // namespace Photocell
