// The photocell intake of the window Fhand: every accepted frame made safe in the
// station's journal first, then stored as a passing (midtp2) and, in automatic mode,
// recorded as a mid time with its display row, in one transaction. A server that is away
// holds nothing up and loses nothing: frames wait in arrival order, the intake tries again
// about once a second, and stores each exactly once when the server answers. A passing
// the server refuses is set aside, listed, and tried again later; the others go on.
// Nothing here opens a box or touches a widget; the window shows Notice() in its red line.
#pragma once

#include "PassingJournal.h"
#include "PhotocellFrame.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

class QTimer;
class TDm1;

class TPhotocellIntake : public QObject
{
    Q_OBJECT
public:
    explicit TPhotocellIntake(TDm1 *dm, QObject *parent = nullptr);
    ~TPhotocellIntake() override;

    // What one recording wrote.
    struct TRecording {
        QString zek;           // four digits
        QString mid;           // the mid point digit written
        QString passtime;      // the passing time it was recorded from
        QStringList statement; // the mid-time update
        // The elapsed text of the display row when one was written (also the announcement's).
        std::optional<QString> shown;
        bool resultRow = true; // false: the bib has no result row in the event (nothing written)
    };

    // Automatic processing (CkBauto): frames of a kind it records are recorded as they are stored.
    bool Automatic = false;

    // The journal's folder: the log's folder unless set otherwise (before the first frame).
    void SetJournalFolder(const QString &folder);
    QString JournalFolder() const;

    // An accepted frame: into the journal, then stored now, or after the frames that wait.
    void Take(const Photocell::TFrame &frame);
    // When the window opens: the journal's frames that were never stored (the station
    // stopped before the server had them) are stored first, each once. Returns how many.
    int Resume();

    // The operator's recording of a bib at a passing time for mid point `mid`, in one
    // transaction. Database errors pass to the caller.
    TRecording Record(const QString &zek, const QString &passtime, const QString &mid, const QString &tcode);
    // The display row of a recorded passing, when it is displayed; its elapsed text.
    std::optional<QString> setdispinfo(const QString &zek, const QString &passtime, const QString &tcode);

    int WaitingCount() const { return int(m_queue.size() + m_setAside.size()); }
    // What the operator must know, one text ("" when all is well): the server away since
    // when and how many passings wait, a journal that cannot be written, passings set
    // aside, recordings that changed nothing.
    QString Notice() const;
    // The same, one entry per line, for the line's tooltip.
    QStringList NoticeEntries() const;

    // Tries again while passings wait: about once a second.
    QTimer *RetryTimer;

signals:
    // A passing committed in midtp2 (and, in automatic mode, its mid time).
    void frameStored(const Photocell::TFrame &frame);
    // An automatic recording committed.
    void recorded(const TPhotocellIntake::TRecording &recording);
    void noticeChanged(const QString &notice);

private:
    struct TPending {
        Photocell::TJournalFrame journal;
        Photocell::TFrame frame;
        bool journaled = false;
        // An attempt may have been committed before the link broke, or before a crash:
        // look in midtp2 before storing again.
        bool mayBeStored = false;
        QString refusal; // why the server refused it, when set aside
    };
    enum class TOutcome { Stored, Away, Refused };

    void retry();
    void drain();
    void retrySetAside();
    TOutcome store(TPending &p);
    bool alreadyStored(const TPending &p);
    void insertPassing(const TPending &p);
    TRecording recordIn(const QString &zek, const QString &passtime, const QString &mid, const QString &tcode);
    void finish(const TPending &p);
    void noteUnrecorded(const QString &zek, const QString &why);
    void markAway(const QString &why);
    void changed();

    TDm1 *m_dm;
    std::unique_ptr<Photocell::TPassingJournal> m_journal;
    QList<TPending> m_queue;    // arrival order
    QList<TPending> m_setAside; // refused, tried again every few seconds
    bool m_draining = false;
    bool m_resumed = false;
    int m_ticks = 0;
    QDateTime m_awaySince; // invalid while the server answers
    QString m_awayReason;
    QString m_journalProblem;
    QStringList m_unrecorded; // newest last, a few kept
    QString m_lastNotice;
};
