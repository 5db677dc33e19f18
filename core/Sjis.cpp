#include "Sjis.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace
{

// One converter per direction, opened once; the station converts on the GUI thread only,
// but the log writer may run elsewhere, so each call resets the state it uses.
class Converter
{
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(m_cd); }

    // Converts all of in; on a character that cannot be converted writes replacement and
    // skips skip bytes of input.
    QByteArray run(const char *in, size_t inLeft, const QByteArray &replacement, size_t skip)
    {
        QByteArray out;
        out.resize(int(inLeft * 2 + 16));
        char *src = const_cast<char *>(in);
        size_t outUsed = 0;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        while (inLeft > 0) {
            char *dst = out.data() + outUsed;
            size_t outLeft = size_t(out.size()) - outUsed;
            const size_t before = outLeft;
            const size_t rc = iconv(m_cd, &src, &inLeft, &dst, &outLeft);
            outUsed += before - outLeft;
            if (rc != size_t(-1))
                break;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // EILSEQ or EINVAL (truncated sequence at the end): replace and go on.
            if (size_t(out.size()) - outUsed < size_t(replacement.size()))
                out.resize(out.size() * 2);
            memcpy(out.data() + outUsed, replacement.constData(), size_t(replacement.size()));
            outUsed += size_t(replacement.size());
            const size_t step = std::min(skip, inLeft);
            src += step;
            inLeft -= step;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(int(outUsed));
        return out;
    }

    // Converts as much of in as it can; *stop receives the offset of the first byte
    // that could not be converted (inLeft when all of it was).
    QByteArray tryRun(const char *in, size_t inLeft, size_t *stop)
    {
        QByteArray out;
        out.resize(int(inLeft * 2 + 16));
        char *src = const_cast<char *>(in);
        char *dst = out.data();
        size_t outLeft = size_t(out.size());
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        iconv(m_cd, &src, &inLeft, &dst, &outLeft);
        iconv(m_cd, nullptr, nullptr, &dst, &outLeft); // flush shift state
        out.resize(int(dst - out.data()));
        *stop = size_t(src - in);
        return out;
    }

private:
    iconv_t m_cd;
};

// Length in bytes of the UTF-8 character that starts with lead.
size_t utf8Length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead >> 5) == 0x6)
        return 2;
    if ((lead >> 4) == 0xE)
        return 3;
    if ((lead >> 3) == 0x1E)
        return 4;
    return 1;
}

} // namespace

namespace Sjis
{

QByteArray encode(const QString &text)
{
    thread_local Converter toSjis("CP932", "UTF-8");
    const QByteArray utf8 = text.toUtf8();
    // On a character without a Shift-JIS form, '?' stands for its whole UTF-8 sequence;
    // its length comes from its lead byte.
    QByteArray result;
    size_t start = 0;
    const size_t size = size_t(utf8.size());
    while (start < size) {
        size_t converted = 0;
        // The converter stops at the first character it cannot convert.
        result += toSjis.tryRun(utf8.constData() + start, size - start, &converted);
        size_t end = start + converted;
        if (end < size) {
            const size_t len = std::min(utf8Length(static_cast<unsigned char>(utf8[int(end)])), size - end);
            result += '?';
            end += len;
        }
        start = end;
    }
    return result;
}

QString decode(const char *data, size_t length)
{
    thread_local Converter fromSjis("UTF-8", "CP932");
    return QString::fromUtf8(fromSjis.run(data, length, QByteArrayLiteral("\xEF\xBF\xBD"), 1));
}

QString decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), size_t(bytes.size()));
}

} // namespace Sjis
