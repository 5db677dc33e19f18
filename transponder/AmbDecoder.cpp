// The decoder sends one line per reading, TAB-separated, ended by CR LF, for instance
//   "@\t12\t3\t0123456\t12.345\t5\t80\r\n"   a passing: type, two decoder fields,
//                                          transponder, seconds, hits, strength
//   "#\t12\t3\tSTATUS\r\n"                  any other record: shown only
// The byte after each CR (its LF) is dropped whatever it is, by CutLine.
//
// The LF that ends a line usually reaches the station in the receive event after the
// line's own, so the first line of every receive event is trimmed: its first byte goes,
// and one more when the record type still does not follow. A line that arrives alone
// right after a batch that ended with its own LF therefore loses its "@" and is shown
// only; lines after the first one of a batch are taken as they are.
#include "AmbDecoder.h"

#include "uComm.h"

QList<TAmbLine> TAmbDecoder::Feed(const QByteArray &batch)
{
    // Bytes are single-byte characters here; nothing the decoder sends is re-encoded.
    m_buffer += QString::fromLatin1(batch);

    QList<TAmbLine> lines;
    QString line = CutLine(m_buffer);
    if (!line.isEmpty()) {
        line.remove(0, 1);
        if (!line.isEmpty() && line.at(0) != QLatin1Char('#') && line.at(0) != QLatin1Char('@'))
            line.remove(0, 1);
    }
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
