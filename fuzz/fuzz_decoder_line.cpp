// Fuzz target: the transponder decoder's byte stream through the line splitter, the
// choice of passing records and the reading of a record's values.
//
// The first byte of the input sets the size of the receive batches (1 to 64 bytes), the
// rest is the stream. Checks, besides the sanitizers: no line taken holds a CR; every
// byte fed is either in a line, dropped by the line rules, or still in the buffer (the
// buffer never grows past what was fed); a reading that is accepted keeps the figures
// the table can hold.
#include "DecoderLine.h"
#include "FuzzCheck.h"
#include "TransponderReading.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int batch = data[0] % 64 + 1;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), int(size - 1));

    TAmbDecoder decoder;
    int taken = 0;
    for (int at = 0; at < stream.size(); at += batch) {
        const QList<TAmbLine> lines = decoder.Feed(stream.mid(at, batch));
        for (const TAmbLine &line : lines) {
            FUZZ_CHECK(!line.text.contains(QLatin1Char('\r')), "a line holds its CR");
            FUZZ_CHECK(!line.text.isEmpty(), "an empty line was taken");
            taken += int(line.text.size());
            QString record;
            const bool passing = TAmbDecoder::PassingRecord(line.text, &record);
            FUZZ_CHECK(passing == line.passing, "the choice of a line differs from its rule");
            if (!passing)
                continue;
            FUZZ_CHECK(record == line.record, "the record differs from its rule");
            TTpReading reading;
            QString why;
            if (ParseTpReading(record, reading, &why)) {
                FUZZ_CHECK(reading.transponder.size() <= 7 && !reading.transponder.isEmpty(),
                           "transponder number outside the table's width");
                FUZZ_CHECK(reading.hits <= TpFigureCap && reading.strength <= TpFigureCap, "figure over the cap");
            } else {
                FUZZ_CHECK(!why.isEmpty(), "a refused reading without a reason");
            }
        }
        FUZZ_CHECK(taken + decoder.Buffer().size() <= at + batch, "more text than bytes fed");
    }
    return 0;
}
