// TLog: one file, opened, appended to and closed per line, so that the log is complete
// on disk after every entry even if the station dies right after it.
#include "uLog.h"

#include "Errors.h"
#include "StationFolders.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace
{

// Blanks and control characters, trimmed off the folder at both ends.
bool isTrimmed(QChar c)
{
    return c.unicode() <= 0x20;
}

// common cannot use data/'s codec, so the log converts with iconv itself. The log is
// written on the GUI thread only; the converter is opened per call, which costs a few
// microseconds against the file open and close around it.
class Cp932Encoder
{
public:
    Cp932Encoder() : m_cd(iconv_open("CP932", "UTF-8")) {}
    ~Cp932Encoder()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts one character's UTF-8 bytes; false when CP932 has no form for it.
    bool convert(const QByteArray &in, QByteArray &out)
    {
        char buffer[16];
        char *src = const_cast<char *>(in.constData());
        size_t inLeft = size_t(in.size());
        char *dst = buffer;
        size_t outLeft = sizeof buffer;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(m_cd, &src, &inLeft, &dst, &outLeft) == size_t(-1) || inLeft != 0)
            return false;
        out.append(buffer, int(dst - buffer));
        return true;
    }

private:
    iconv_t m_cd;
};

} // namespace

TLog::TLog() : Path(FolderOf(StationFolders::LogFolder())), FileName(QStringLiteral("Default.log")) {}

QString TLog::FolderOf(const QString &programFolder)
{
    int from = 0;
    int to = programFolder.size();
    while (from < to && isTrimmed(programFolder[from]))
        ++from;
    while (to > from && isTrimmed(programFolder[to - 1]))
        --to;
    QString folder = programFolder.mid(from, to - from);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QByteArray TLog::ToCp932(const QString &text)
{
    Cp932Encoder encoder;
    if (!encoder.valid())
        throw EInOutError(QStringLiteral("CP932 への変換が使えません。"));
    QByteArray out;
    out.reserve(text.size() * 2);
    // Character by character, so one character without a CP932 form costs only itself.
    for (int i = 0; i < text.size();) {
        const int length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString character = text.mid(i, length);
        if (character[0].unicode() < 0x80)
            out.append(char(character[0].unicode()));
        else if (!encoder.convert(character.toUtf8(), out))
            out.append('?');
        i += length;
    }
    return out;
}

void TLog::WriteLine(const QString &text)
{
    const QString name = Path + FileName;
    QFile file(name);
    // Append creates the file when it is missing.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw EInOutError(QStringLiteral("ログファイル %1 を開けません。\n%2").arg(name, file.errorString()));
    const QByteArray bytes = ToCp932(text) + QByteArrayLiteral("\r\n");
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw EInOutError(QStringLiteral("ログファイル %1 に書き込めません。\n%2").arg(name, file.errorString()));
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw EInOutError(QStringLiteral("ログファイル %1 を閉じられません。\n%2").arg(name, file.errorString()));
}
