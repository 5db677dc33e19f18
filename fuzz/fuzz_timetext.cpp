// Fuzz target: TimeTextToMsec on any text, and the pair TimeTextToMsec/MsecToTimeText.
//
// Checks, besides the sanitizers: the input read as Latin-1 and as UTF-8 parses without
// a fault; for a count of milliseconds from the input in 0 .. 359999999 the elapsed text
// is 12 characters and reads back as the same count, and the mid-time text is its first
// 10 characters and reads back as the count cut to tenths.
#include "FuzzCheck.h"
#include "TimeText.h"
#include "TextFields.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *text = reinterpret_cast<const char *>(data);
    (void)TimeTextToMsec(QString::fromLatin1(text, int(size)));
    (void)TimeTextToMsec(QString::fromUtf8(text, int(size)));
    (void)StrToIntDef(QString::fromLatin1(text, int(size)), -1);

    if (size >= 4) {
        qint32 raw;
        std::memcpy(&raw, data, 4);
        (void)MsecToTimeText(raw); // any value, negatives and the extremes included
        const int n = int(quint32(raw) % 360000000u);
        const QString elapsed = MsecToTimeText(n);
        FUZZ_CHECK(elapsed.size() == 12, "elapsed text not 12 characters");
        FUZZ_CHECK(TimeTextToMsec(elapsed) == n, "elapsed text does not read back");
        const QString mid = MsecToMidText(n);
        FUZZ_CHECK(mid == elapsed.left(10), "mid-time text is not the elapsed text cut");
        FUZZ_CHECK(TimeTextToMsec(mid) == n - n % 100, "mid-time text does not read back as tenths");
    }
    return 0;
}
