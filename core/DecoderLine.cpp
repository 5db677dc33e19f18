// The decoder sends one line per reading, TAB-separated, ended by CR LF, for instance
//   "@\t12\t3\t0123456\t12.345\t5\t80\r\n"   a passing: type, two decoder fields,
//                                          transponder, seconds, hits, strength
//   "#\t12\t3\tSTATUS\r\n"                  any other record: shown only
// The byte after each CR (its LF) is dropped whatever it is, by CutLine.
//
// The LF that ends a line usually reaches the station in the receive event after the
// line's own, so the first line of every receive event may begin with it (or with one
// more stray byte): up to two bytes before the record type are trimmed. A line that
// already begins with its record type keeps it: dropping the "@" of a line that arrives
// alone after a batch ended by its own LF would lose that reading, and in "Set" mode
// every later transponder would get the bib meant for the one before. Lines after the
// first one of a batch are taken as they are.
#include "DecoderLine.h"

#include "TextFields.h"

namespace
{

bool startsWithRecordType(const QString &line)
{
    return line.startsWith(QLatin1Char('@')) || line.startsWith(QLatin1Char('#'));
}

} // namespace

QList<TAmbLine> TAmbDecoder::Feed(const QByteArray &batch)
{
    // Bytes are single-byte characters here; nothing the decoder sends is re-encoded.
    m_buffer += QString::fromLatin1(batch);

    QList<TAmbLine> lines;
    QString line = CutLine(m_buffer);
    for (int stray = 0; stray < 2 && !line.isEmpty() && !startsWithRecordType(line); ++stray)
        line.remove(0, 1);
    // An empty line ends the batch: complete lines behind it wait for the next event.
    while (!line.isEmpty()) {
        TAmbLine taken{line, false, QString()};
        taken.passing = PassingRecord(line, &taken.record);
        lines << taken;
        line = CutLine(m_buffer);
    }
    return lines;
}

bool TAmbDecoder::PassingRecord(const QString &line, QString *record)
{
    QString rest = line;
    QString type;
    if (!rest.isEmpty())
        type = CutTabField(rest);
    if (!rest.isEmpty())
        CutTabField(rest); // decoder data
    if (!rest.isEmpty())
        CutTabField(rest); // decoder data
    if (type != QLatin1String("@"))
        return false;
    if (record)
        *record = rest;
    return true;
}
