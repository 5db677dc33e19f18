// The photocell timer's frames and the texts the photocell window builds from them.
#include "PhotocellFrame.h"

#include "MidPoints.h"
#include "TimeText.h"
#include "TextFields.h"

#include <QRegularExpression>
#include <algorithm>

namespace Photocell
{

namespace
{

// Characters i..j (from 1) of a text, shorter or empty where the text ends.
QString chars(const QString &text, int from, int to)
{
    return text.mid(from - 1, to - from + 1);
}

// What the timer sends in the time field, once the two-decimal rule has been applied:
// "10:15:30.123", "10:15:30.120" from "10:15:30.12 ", "10:15:30.1  ".
bool isTimerTime(const QString &stored)
{
    static const QRegularExpression time(QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\\.[0-9]{1,3} *$"));
    return stored.size() == 12 && time.match(stored).hasMatch();
}

bool allDigits(const QString &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A noise byte in a field would otherwise become a wrong time (a letter in the minutes
// reads as 0) or a wrong bib, recorded and announced. "" for a frame as the timer sends it.
QString FieldDoubt(const TFrame &frame)
{
    if (!allDigits(frame.zek) || frame.zek.size() != 3)
        return QStringLiteral("番号が数字ではありません");
    if (!isTimerTime(frame.time))
        return QStringLiteral("時刻が HH:MM:SS.fff ではありません");
    if (!MidPoint(frame.mid))
        return QStringLiteral("中間ポイントが1～%1ではありません").arg(MidPointCount);
    if (!frame.text.mid(26).trimmed().isEmpty())
        return QStringLiteral("フレームの後ろに余分な文字があります");
    return QString();
}

} // namespace

TFrame ParseFrame(const QByteArray &line)
{
    TFrame frame;
    frame.text = QString::fromLatin1(line);
    frame.token = chars(frame.text, 1, 1) + chars(frame.text, 7, 8);
    if (frame.token == QLatin1String(" C1"))
        frame.kind = TFrame::Passing;
    else if (frame.token == QLatin1String("cC1"))
        frame.kind = TFrame::Cleared;
    else if (frame.token == QLatin1String("?C1"))
        frame.kind = TFrame::Doubtful;
    else
        return frame;
    // Only the first 26 characters are interpreted.
    const QString head = frame.text.left(26);
    frame.zek = chars(head, 3, 5);
    frame.time = StoredTime(chars(head, 11, 22));
    frame.mid = chars(head, 26, 26);
    frame.doubt = FieldDoubt(frame);
    return frame;
}

void Doubt(TFrame &frame, const QString &reason)
{
    if (frame.accepted() && frame.doubt.isEmpty())
        frame.doubt = reason;
}

QString LineErrorDoubt()
{
    return QStringLiteral("受信中に回線エラー（パリティ・フレーミング・オーバーラン）がありました");
}

QString StoredTime(const QString &field)
{
    const QString trimmed = TrimControls(field);
    if (trimmed.size() == 11)
        return trimmed + QLatin1Char('0');
    return field;
}

std::optional<TFrameReader::TEvent> TFrameReader::FeedByte(quint8 byte)
{
    const bool afterCR = m_afterCR;
    m_afterCR = false;
    m_droppedLineFeed = false;
    if (byte == '\r') {
        m_afterCR = true;
        if (m_skipping) {
            m_skipping = false; // the overlong line ends here; the next line is read again
            return std::nullopt;
        }
        TEvent event;
        event.line = m_line;
        m_line.clear();
        return event;
    }
    if (byte == '\n' && afterCR) {
        m_droppedLineFeed = true;
        return std::nullopt;
    }
    if (m_skipping)
        return std::nullopt;
    m_line.append(char(byte));
    if (m_line.size() > MaxLineLength) {
        TEvent event;
        event.kind = TEvent::Overlong;
        event.line = m_line;
        m_line.clear();
        m_skipping = true;
        return event;
    }
    return std::nullopt;
}

QList<TFrameReader::TEvent> TFrameReader::Feed(const QByteArray &bytes)
{
    QList<TEvent> events;
    for (const char c : bytes) {
        if (auto event = FeedByte(quint8(c)))
            events << *event;
    }
    return events;
}

void TFrameReader::Clear()
{
    m_line.clear();
    m_skipping = false;
    m_afterCR = false;
    m_droppedLineFeed = false;
}

TLineLog::TLineLog(int maxLines, int maxLineLength) : m_maxLines(maxLines), m_maxLineLength(maxLineLength) {}

void TLineLog::AppendChar(QChar c)
{
    if (c == QLatin1Char('\n')) {
        m_lines << QString();
    } else {
        if (m_maxLineLength > 0 && m_lines.last().size() >= m_maxLineLength)
            m_lines << QString();
        m_lines.last() += c;
    }
    trim();
}

void TLineLog::AppendLine(const QString &line)
{
    if (!m_lines.last().isEmpty())
        m_lines << QString();
    m_lines.last() = line.left(m_maxLineLength > 0 ? m_maxLineLength : line.size());
    m_lines << QString();
    trim();
}

int TLineLog::LineCount() const
{
    return m_lines.last().isEmpty() ? m_lines.size() - 1 : m_lines.size();
}

QStringList TLineLog::Lines() const
{
    return m_lines.mid(0, LineCount());
}

QString TLineLog::Text() const
{
    return m_lines.join(QLatin1Char('\n'));
}

void TLineLog::Clear()
{
    m_lines = QStringList{QString()};
}

void TLineLog::trim()
{
    while (LineCount() > m_maxLines)
        m_lines.removeFirst();
}

QChar RawChar(quint8 byte)
{
    if (byte == '\t' || (byte >= 0x20 && byte < 0x7F) || byte >= 0xA0)
        return QChar(byte);
    if (byte < 0x20)
        return QChar(0x2400 + byte);
    if (byte == 0x7F)
        return QChar(0x2421);
    return QChar(0xFFFD);
}

std::optional<QString> BibText(const QString &typed)
{
    bool ok = false;
    const int bib = typed.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return QString::asprintf("%.4d", bib);
}

std::optional<int> MidPoint(const QString &mid)
{
    // One digit: the timer sends the point as a single character.
    if (mid.size() != 1 || mid.at(0) < QLatin1Char('0') || mid.at(0) > QLatin1Char('9'))
        return std::nullopt;
    const int point = mid.at(0).unicode() - '0';
    if (!IsMidPoint(point))
        return std::nullopt;
    return point;
}

int FirstEmptyMid(const QStringList &midTimes)
{
    for (int i = 0; i < MidPointCount && i < midTimes.size(); ++i) {
        if (midTimes.at(i).isEmpty())
            return i + 1;
    }
    return 0;
}

QString AnnouncementText(const QString &zek, const QString &elapsedText)
{
    return QString::number(zek.trimmed().toInt()) + QStringLiteral("ﾊﾞﾝ,") + SpokenTimeText(elapsedText);
}

} // namespace Photocell
