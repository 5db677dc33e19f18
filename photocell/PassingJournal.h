// The station's own record of every photocell frame it accepts, kept on local disk like
// the timer's printer tape: a frame is written here, flushed to the disk, before anything
// is sent to the race server, and marked done once its passing is committed there. After
// a lost server or a crash of the station itself, what is not done is stored from here.
//
// One plain text file a day, "photocell-journal-YYYY-MM-DD.txt" beside the log, one line
// per event, readable by the crew:
//
//   2026-12-09 10:15:30.456 FRAME 17 event="R2026A" mode=auto line=" 0012 C1  10:15:30.123   1"
//   2026-12-09 10:15:30.470 DONE 17
//
// The number counts the frames of the file. In the quoted texts a byte that is not
// printable ASCII, a quote and a backslash are written \xHH, so the line holds exactly the
// bytes the timer sent. mode=auto: automatic processing was on and the frame is one it
// records, so storing it later records the mid time too; mode=manual: the passing alone.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace Photocell
{

struct TJournalFrame {
    QString file;      // the journal file it stands in
    int number = 0;    // its number in that file
    QDateTime arrived; // the station's clock when the frame arrived
    QString event;     // CurrentTcode then
    bool automatic = false;
    QByteArray line; // the frame as received, without its CR
};

class TPassingJournal
{
public:
    explicit TPassingJournal(const QString &folder);

    QString Folder() const { return m_folder; }
    QString FileOf(const QDate &day) const;

    // Writes the frame's line and waits until the disk has it; fills in file and number.
    // Raises EInOutError when it cannot be made durable (disk full, folder gone).
    void Append(TJournalFrame &frame);
    // Marks the frame done. Raises EInOutError when the line cannot be written (the frame
    // is then stored again after a restart, and recognised as stored: see the intake).
    void MarkDone(const TJournalFrame &frame);

    // The frames of today's and yesterday's files that are not done, oldest first.
    QList<TJournalFrame> Unfinished() const;

    // One line of the file, and back.
    static QString FrameLine(const TJournalFrame &frame);
    static QString DoneLine(const QDateTime &at, int number);
    static std::optional<TJournalFrame> ParseFrameLine(const QString &line);
    static QString Quoted(const QByteArray &bytes);
    static std::optional<QByteArray> Unquoted(const QString &text);

private:
    void appendLine(const QString &file, const QString &line);
    int nextNumber(const QString &file);
    QString m_folder;
    QString m_numberedFile; // the file m_lastNumber counts in
    int m_lastNumber = 0;
};

} // namespace Photocell
