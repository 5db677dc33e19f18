// The photocell journal: appended line by line, each line on the disk before the call
// returns.
#include "PassingJournal.h"

#include "Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Photocell
{

namespace
{

const char TimeFormat[] = "yyyy-MM-dd HH:mm:ss.zzz";

QString cannotWrite(const QString &file, const QString &why)
{
    return QStringLiteral("光電管の受信記録 %1 に書込めません。%2").arg(file, why);
}

// A file just created exists for good only once its folder entry is on the disk too.
void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

TPassingJournal::TPassingJournal(const QString &folder) : m_folder(folder) {}

QString TPassingJournal::FileOf(const QDate &day) const
{
    return QDir(m_folder).filePath(QStringLiteral("photocell-journal-%1.txt").arg(day.toString(Qt::ISODate)));
}

QString TPassingJournal::Quoted(const QByteArray &bytes)
{
    QString out(QLatin1Char('"'));
    for (const char c : bytes) {
        const quint8 b = quint8(c);
        if (b < 0x20 || b >= 0x7F || c == '"' || c == '\\')
            out += QString::asprintf("\\x%02X", b);
        else
            out += QLatin1Char(c);
    }
    return out + QLatin1Char('"');
}

std::optional<QByteArray> TPassingJournal::Unquoted(const QString &text)
{
    if (text.size() < 2 || !text.startsWith(QLatin1Char('"')) || !text.endsWith(QLatin1Char('"')))
        return std::nullopt;
    const QString inner = text.mid(1, text.size() - 2);
    QByteArray out;
    for (int i = 0; i < inner.size(); ++i) {
        const QChar c = inner.at(i);
        if (c == QLatin1Char('"') || c.unicode() >= 0x7F)
            return std::nullopt;
        if (c != QLatin1Char('\\')) {
            out += char(c.unicode());
            continue;
        }
        bool ok = false;
        const int value = inner.mid(i + 2, 2).toInt(&ok, 16);
        if (inner.mid(i + 1, 1) != QLatin1String("x") || inner.mid(i + 2, 2).size() != 2 || !ok)
            return std::nullopt;
        out += char(value);
        i += 3;
    }
    return out;
}

QString TPassingJournal::FrameLine(const TJournalFrame &frame)
{
    return QStringLiteral("%1 FRAME %2 event=%3 mode=%4 line=%5")
        .arg(frame.arrived.toString(QLatin1String(TimeFormat)))
        .arg(frame.number)
        .arg(Quoted(frame.event.toUtf8()), frame.automatic ? QStringLiteral("auto") : QStringLiteral("manual"),
             Quoted(frame.line));
}

QString TPassingJournal::DoneLine(const QDateTime &at, int number)
{
    return QStringLiteral("%1 DONE %2").arg(at.toString(QLatin1String(TimeFormat))).arg(number);
}

std::optional<TJournalFrame> TPassingJournal::ParseFrameLine(const QString &line)
{
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}) FRAME (\\d+) event=(\"[^\"]*\") mode=(auto|manual) "
        "line=(\"[^\"]*\")$"));
    const QRegularExpressionMatch m = form.match(line);
    if (!m.hasMatch())
        return std::nullopt;
    const std::optional<QByteArray> event = Unquoted(m.captured(3));
    const std::optional<QByteArray> bytes = Unquoted(m.captured(5));
    if (!event || !bytes)
        return std::nullopt;
    TJournalFrame frame;
    frame.arrived = QDateTime::fromString(m.captured(1), QLatin1String(TimeFormat));
    frame.number = m.captured(2).toInt();
    frame.event = QString::fromUtf8(*event);
    frame.automatic = m.captured(4) == QLatin1String("auto");
    frame.line = *bytes;
    return frame;
}

void TPassingJournal::appendLine(const QString &file, const QString &line)
{
    if (!QDir().mkpath(m_folder))
        throw EInOutError(cannotWrite(file, QStringLiteral("フォルダを作成できません。")));
    const bool created = !QFileInfo::exists(file);
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        throw EInOutError(cannotWrite(file, f.errorString()));
    const QByteArray bytes = line.toUtf8() + '\n';
    if (f.write(bytes) != bytes.size() || !f.flush())
        throw EInOutError(cannotWrite(file, f.errorString()));
    if (::fsync(f.handle()) != 0)
        throw EInOutError(cannotWrite(file, QString::fromLocal8Bit(strerror(errno))));
    f.close();
    if (created)
        syncFolder(m_folder);
}

int TPassingJournal::nextNumber(const QString &file)
{
    if (file != m_numberedFile) {
        // A station started again goes on after the highest number the file holds.
        m_numberedFile = file;
        m_lastNumber = 0;
        QFile f(file);
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : f.readAll().split('\n')) {
                if (const std::optional<TJournalFrame> frame = ParseFrameLine(QString::fromUtf8(line)))
                    m_lastNumber = qMax(m_lastNumber, frame->number);
            }
        }
    }
    return ++m_lastNumber;
}

void TPassingJournal::Append(TJournalFrame &frame)
{
    frame.file = FileOf(frame.arrived.date());
    frame.number = nextNumber(frame.file);
    appendLine(frame.file, FrameLine(frame));
}

void TPassingJournal::MarkDone(const TJournalFrame &frame)
{
    appendLine(frame.file, DoneLine(QDateTime::currentDateTime(), frame.number));
}

QList<TJournalFrame> TPassingJournal::Unfinished() const
{
    static const QRegularExpression done(QStringLiteral("^\\S+ \\S+ DONE (\\d+)$"));
    QList<TJournalFrame> waiting;
    const QDate today = QDate::currentDate();
    for (const QDate &day : {today.addDays(-1), today}) {
        QFile f(FileOf(day));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        QList<TJournalFrame> frames;
        QSet<int> finished;
        for (const QByteArray &bytes : f.readAll().split('\n')) {
            const QString line = QString::fromUtf8(bytes);
            if (std::optional<TJournalFrame> frame = ParseFrameLine(line)) {
                frame->file = f.fileName();
                frames << *frame;
            } else if (const QRegularExpressionMatch m = done.match(line); m.hasMatch()) {
                finished.insert(m.captured(1).toInt());
            }
        }
        for (const TJournalFrame &frame : frames)
            if (!finished.contains(frame.number))
                waiting << frame;
    }
    return waiting;
}

} // namespace Photocell
