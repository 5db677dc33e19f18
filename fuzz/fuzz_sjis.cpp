// Fuzz target: Shift-JIS (CP932) text from the server and to it. Any bytes to Sjis::decode,
// as a server or a damaged row may send them; the input read as UTF-16 to Sjis::encode.
//
// Checks, besides the sanitizers: the decoded text is well-formed UTF-16 (no lone
// surrogate) with no more characters than there were bytes; a text that decoded without
// a replacement character decodes the same after encoding it again (CP932 has pairs of
// codes for one character, so the bytes may differ, the text may not); encoding gives at
// most two bytes a UTF-16 unit and never a lead byte left without its second byte.
#include "FuzzCheck.h"
#include "Sjis.h"

#include <cstdint>

namespace
{

bool wellFormed(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return false;
    }
    return true;
}

bool isLead(quint8 b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// No lead byte stands last: every character the encoder writes is whole.
bool wholeCharacters(const QByteArray &bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (isLead(quint8(bytes[i])) && ++i >= bytes.size())
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString text = Sjis::decode(bytes);
    FUZZ_CHECK(wellFormed(text), "decoded text is not well-formed UTF-16");
    FUZZ_CHECK(text.size() <= bytes.size(), "more characters than bytes");
    if (!text.contains(QChar(0xFFFD))) {
        const QByteArray again = Sjis::encode(text);
        FUZZ_CHECK(wholeCharacters(again), "encoding cut a character");
        FUZZ_CHECK(Sjis::decode(again) == text, "text changed on its way back to Shift-JIS");
    }

    const QString utf16 = QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2));
    const QByteArray encoded = Sjis::encode(utf16);
    FUZZ_CHECK(encoded.size() <= 2 * utf16.size(), "more than two bytes a character");
    FUZZ_CHECK(wholeCharacters(encoded), "encoding cut a character");
    return 0;
}
