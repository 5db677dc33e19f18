// The chip-tag intake of the mid window: the poll of
// execinfo.upd, the pass that turns new tag_rec passings into mid times, the ranking
// of a mid point and the ranking display query. The window TFmid (form Fmid) owns one
// and keeps its handler names as thin slots; everything here runs without widgets.
#pragma once

#include "MidRules.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class QTimer;
class TDm1;
class TLog;

class TMidIntake : public QObject
{
    Q_OBJECT
public:
    explicit TMidIntake(TDm1 *dm, QObject *parent = nullptr);
    ~TMidIntake() override;

    // State of the window that the intake uses.
    int lastupd = 0;              // execinfo.upd seen last
    QString evtcode;              // event of the course lookup and the updates
    int tagauto = 1;              // 1: the ranking display follows the latest passing
    int midno = 1;                // mid point shown in the ranking grid
    QStringList talklist;         // announcements waiting, oldest first
    std::unique_ptr<TLog> midlog; // FileName "VidadIva.log" from creation on
    // After each completed pass: the passings it left untaken for want of data (no course
    // row, no start time ...), in snapshot order. They are read again at every pass.
    QList<MidLogic::TWaitingPassing> waiting;

    // The voice switch RGoto: true when it is on item 1 ("有り"). The window points it at
    // its radio group; its design value is on.
    std::function<bool()> VoiceOn = [] { return true; };

    // Poll timer: 250 ms, off at creation; the window enables it when shown and
    // disables it when closed.
    QTimer *Timer1;

    // When the window is shown: evtcode and lastupd from execinfo row num=1 (unchanged
    // without it).
    void ReadExecInfo();

    // One intake pass. Database and log errors pass to the caller; what was
    // executed before stays done.
    void settagmid();
    // Recomputes and stores the ranking of mid point n for CurrentTcode: one query, one
    // update, whatever the size of the field. Equal mid times share a rank.
    // (Virtual for the benchmark, which compares it with the per-competitor writer.)
    virtual void setmidrank(int n);
    // Rebuilds qMidRank for midno and opens it.
    void dispmidrank();
    // Added below the error of a failed tick: the intake has stopped; close and reopen
    // the window once the database runs again, and the passings not taken yet follow.
    // Only for an error that is not a server away: a server away is waited for.
    static QString PollStoppedMessage();

    // What the operator must know besides the waiting passings, one entry each: the server
    // away since when, a log that cannot be written. Empty when all is well.
    QStringList Notices() const;
    // Poll intervals: the usual one, and the one while the server is away.
    static constexpr int PollInterval = 250;
    static constexpr int AwayInterval = 1000;

public slots:
    // The tick of Timer1: one pass when execinfo.upd changed. An error stops the tick,
    // is shown to the operator, and leaves Timer1 off until the window is shown again.
    void Timer1Timer();

signals:
    // After every completed pass, the grids refreshed.
    void passFinished();
    // Notices() changed.
    void noticeChanged();
    // The poll stopped on an error that is not a server away: what the operator is told.
    void pollStopped(const QString &message);

private:
    // True when the passing was taken (a mid time written).
    bool takePassing(const MidLogic::TTagPassing &passing);
    // One poll, and a pass when the counter changed or the server has just come back.
    void poll();
    // Writes the log entry, and first those that could not be written before. A log that
    // cannot be written does not stop timing: the entries wait in memory and the operator
    // is told.
    void writeLog(const QString &entry);
    void setAway(const QString &why);
    QDateTime m_awaySince; // invalid while the server answers
    QString m_awayReason;
    QStringList m_logPending;
    QString m_logProblem;
    TDm1 *m_dm;
    // Per bib and antenna, the highest count this pass has marked taken itself: a second
    // record of the same count in the snapshot (a repeated reading) is still this pass's
    // to take, although its claim finds it marked.
    QHash<QString, int> m_markedThisPass;
    QList<MidLogic::TWaitingPassing> m_waitingNow; // collected during the running pass
};
