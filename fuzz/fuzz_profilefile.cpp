// Fuzz target: the settings file reader (ProfileFile) on any file, as an operator's editor
// or a damaged disk may leave it: the input is the file, sections and keys in any case,
// values with blanks, quotes and hexadecimal numbers.
//
// Checks, besides the sanitizers: every value read is at most 2047 characters and ends
// with its line (a CR alone is no line end, as the file is read); a key written is read back as written, a number
// written as "0x..." (upper or lower case) or in decimal reads back as the number, and
// the other keys of the section keep their values.
#include "FuzzCheck.h"
#include "ProfileFile.h"

#include <QFile>
#include <QHash>
#include <cstdint>
#include <unistd.h>

namespace
{

const QString Section = QStringLiteral("Live");

QString scratchFile()
{
    static const QString path = QStringLiteral("/tmp/fuzz_profilefile-%1.ini").arg(::getpid());
    return path;
}

void checkValue(const QString &value)
{
    FUZZ_CHECK(value.size() <= 2047, "value longer than 2047 characters");
    FUZZ_CHECK(!value.contains(QLatin1Char('\n')), "value runs over a line end");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = scratchFile();
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QHash<QString, QString> before;
    const QStringList keys = ProfileFile::ReadKeys(path, Section);
    for (const QString &key : keys) {
        const QString value = ProfileFile::ReadString(path, Section, key);
        checkValue(value);
        (void)ProfileFile::ReadInteger(path, Section, key, -1);
        before.insert(key.toLower(), value);
    }

    // A number from the input, written three ways and read back.
    quint32 n = 0;
    for (size_t i = 0; i < size && i < 4; ++i)
        n = (n << 8) | data[i];
    const QString written = QStringLiteral("FuzzWritten");
    const QList<QString> forms{QStringLiteral("0x") + QString::number(n, 16),
                               QStringLiteral("0X") + QString::number(n, 16).toUpper(), QString::number(qint32(n))};
    for (const QString &form : forms) {
        if (!ProfileFile::WriteString(path, Section, written, form))
            return 0;
        FUZZ_CHECK(ProfileFile::ReadString(path, Section, written) == form, "written value does not read back");
        FUZZ_CHECK(ProfileFile::ReadInteger(path, Section, written, 7) == int(n), "written number does not read back");
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            if (it.key() != written.toLower())
                FUZZ_CHECK(ProfileFile::ReadString(path, Section, it.key()) == it.value(),
                           "a write changed another key");
    }
    return 0;
}
