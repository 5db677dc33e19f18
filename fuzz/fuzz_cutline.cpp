// Fuzz target: CutLine and CutTabField on any buffer.
//
// Checks, besides the sanitizers: a cut line holds no CR and a cut field no TAB; what is
// cut plus its separator plus what remains is the buffer (CutLine also drops the one
// character after the CR); an empty result without a separator leaves the buffer alone;
// a loop that cuts until the empty text ends.
#include "FuzzCheck.h"
#include "TextFields.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = QString::fromLatin1(reinterpret_cast<const char *>(data), int(size));

    QString buffer = input;
    for (int guard = 0; guard <= input.size() + 1; ++guard) {
        const QString before = buffer;
        const QString line = CutLine(buffer);
        FUZZ_CHECK(!line.contains(QLatin1Char('\r')), "a line holds a CR");
        const int cr = before.indexOf(QLatin1Char('\r'));
        if (cr < 0) {
            FUZZ_CHECK(line.isEmpty() && buffer == before, "no CR, but something was cut");
            break;
        }
        FUZZ_CHECK(line == before.left(cr), "the line is not the text before the CR");
        FUZZ_CHECK(buffer == before.mid(cr + 2), "the buffer does not go on two after the CR");
        FUZZ_CHECK(guard < input.size(), "CutLine does not shorten the buffer");
    }

    buffer = input;
    for (int guard = 0; guard <= input.size() + 1; ++guard) {
        const QString before = buffer;
        const QString field = CutTabField(buffer);
        FUZZ_CHECK(!field.contains(QLatin1Char('\t')), "a field holds a TAB");
        const int tab = before.indexOf(QLatin1Char('\t'));
        if (tab < 0) {
            FUZZ_CHECK(field.isEmpty() && buffer == before, "no TAB, but something was cut");
            break;
        }
        FUZZ_CHECK(field + QLatin1Char('\t') + buffer == before, "field, TAB and rest are not the buffer");
        FUZZ_CHECK(guard < input.size(), "CutTabField does not shorten the buffer");
    }
    return 0;
}
