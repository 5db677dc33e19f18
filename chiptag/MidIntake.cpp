// The poll and the pass of the chip-tag intake, the ranking and its display query.
#include "MidIntake.h"

#include "ChakuStatements.h"
#include "Errors.h"
#include "EventStatements.h"
#include "ResultStatements.h"
#include "TagStatements.h"
#include "PassingTransaction.h"
#include "Database.h"
#include "DataModule.h"
#include "TextFields.h"
#include "ProgramSettings.h"
#include "MidTimeLog.h"

#include <QTimer>

using namespace MidLogic;

TMidIntake::TMidIntake(TDm1 *dm, QObject *parent) : QObject(parent), midlog(std::make_unique<TLog>()), m_dm(dm)
{
    setObjectName(QStringLiteral("MidIntake"));
    midlog->FileName = QStringLiteral("VidadIva.log");
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(250);
    connect(Timer1, &QTimer::timeout, this, &TMidIntake::Timer1Timer);
}

TMidIntake::~TMidIntake() = default;

void TMidIntake::ReadExecInfo()
{
    TQuery *q = m_dm->Query1;
    q->setSQL(EventAndChangeCountSql());
    q->Open();
    if (q->RecordCount() > 0) {
        evtcode = q->FieldByName(QStringLiteral("tcode")).AsString();
        lastupd = q->FieldByName(QStringLiteral("upd")).AsInteger();
    }
    q->Close();
}

QString TMidIntake::PollStoppedMessage()
{
    return QStringLiteral("チップタグの取込を止めました。データベースが動いていることを確かめてから、この画面を閉じて"
                          "開き直してください。まだ取込んでいない通過データは残っていて、開き直した後に取込まれます。");
}

void TMidIntake::Timer1Timer()
{
    // Ticks never overlap: the timer is off while the tick runs, and the next tick comes
    // a full interval after this one ends. A server away is waited for, tick after tick;
    // any other error leaves the timer off until the window starts it again, and the
    // window shows why (pollStopped).
    Timer1->stop();
    try {
        poll();
    } catch (const EDatabaseError &e) {
        if (!TDatabase::ServerAway(e)) {
            emit pollStopped(e.message() + QStringLiteral("\n\n") + PollStoppedMessage());
            return;
        }
        setAway(e.message());
    } catch (const std::exception &e) {
        // The operator learns that the intake has stopped and how to start it again,
        // below the error itself.
        const auto *station = dynamic_cast<const EStationError *>(&e);
        const QString what = station ? station->message() : QString::fromLocal8Bit(e.what());
        emit pollStopped(what + QStringLiteral("\n\n") + PollStoppedMessage());
        return;
    }
    Timer1->setInterval(m_awaySince.isValid() ? AwayInterval : PollInterval);
    Timer1->start();
}

void TMidIntake::poll()
{
    TQuery *q = m_dm->Query1;
    q->setSQL(ChangeCountSql());
    q->Open();
    const bool hasRow = q->RecordCount() > 0;
    const int upd = hasRow ? q->FieldByName(QStringLiteral("upd")).AsInteger() : 0;
    q->Close();
    // Back after an outage: a pass whatever the counter says, since a pass may have been
    // cut short by the outage after the counter was read.
    const bool back = m_awaySince.isValid();
    if (back) {
        m_awaySince = QDateTime();
        emit noticeChanged();
    }
    if (hasRow && (upd != lastupd || back)) {
        settagmid();
        lastupd = upd;
    }
}

void TMidIntake::setAway(const QString &why)
{
    if (!m_awaySince.isValid())
        m_awaySince = QDateTime::currentDateTime();
    m_awayReason = OneLine(why);
    emit noticeChanged();
}

QStringList TMidIntake::Notices() const
{
    QStringList notices;
    if (m_awaySince.isValid())
        notices << QStringLiteral("データベースに接続できません（%1 から）。つながり次第、待っている通過を取込みます。")
                           .arg(m_awaySince.toString(QStringLiteral("HH:mm:ss"))) +
                       QLatin1Char(' ') + m_awayReason;
    if (!m_logProblem.isEmpty())
        notices << m_logProblem +
                       QStringLiteral(" 取込は続けています（未書込みのログ %1 件は書込めるようになり次第書込みます）。")
                           .arg(m_logPending.size());
    return notices;
}

void TMidIntake::writeLog(const QString &entry)
{
    m_logPending << entry;
    const bool hadProblem = !m_logProblem.isEmpty();
    try {
        while (!m_logPending.isEmpty()) {
            midlog->WriteLine(m_logPending.first());
            m_logPending.removeFirst();
        }
        m_logProblem.clear();
    } catch (const EInOutError &e) {
        m_logProblem = OneLine(e.message());
    }
    if (hadProblem || !m_logProblem.isEmpty())
        emit noticeChanged();
}

void TMidIntake::settagmid()
{
    // The snapshot is read whole and closed first: records written while the pass runs
    // wait for the next pass.
    QList<TTagPassing> snapshot;
    TQuery *q = m_dm->Query1;
    q->setSQL(TagSnapshotSql(ProgramSettings.CurrentTcode));
    q->Open();
    for (q->First(); !q->Eof(); q->Next()) {
        TTagPassing p;
        p.zek = q->FieldByName(QStringLiteral("zek")).AsString();
        p.term = q->FieldByName(QStringLiteral("term")).AsString();
        p.time = q->FieldByName(QStringLiteral("time")).AsString();
        p.cont = q->FieldByName(QStringLiteral("cont")).AsInteger();
        snapshot << p;
    }
    q->Close();

    m_markedThisPass.clear();
    m_waitingNow.clear();
    bool taken = false;
    for (const TTagPassing &passing : snapshot) {
        try {
            taken = takePassing(passing) || taken;
        } catch (const EDatabaseError &e) {
            // A server away ends the pass (the poll waits for it); a passing the server
            // refuses is rolled back and set aside, and the pass goes on with the next.
            // It is read again at every pass, so once its data is put right it is taken.
            if (TDatabase::ServerAway(e))
                throw;
            m_waitingNow << TWaitingPassing{passing.zek, RefusedReason(e.message())};
        }
    }
    waiting = m_waitingNow;

    m_dm->qChaku->Close();
    m_dm->qChaku->Open();
    // In automatic mode the ranking shown follows the last passing taken. It is opened
    // once, here, not after every passing: with a large field each opening reads every
    // ranked row, and the window shows only the state at the end of the pass.
    if (tagauto == 1 && taken) {
        dispmidrank();
    } else {
        m_dm->qMidRank->Close();
        m_dm->qMidRank->Open();
    }
    emit passFinished();
}

bool TMidIntake::takePassing(const TTagPassing &passing)
{
    // A bib or antenna of bytes that form no Shift-JIS character (another program wrote
    // them) cannot be named in any statement: its lookups and its claim would never match,
    // and it would be passed over at every pass without a word.
    if (passing.zek.contains(QChar::ReplacementCharacter) || passing.term.contains(QChar::ReplacementCharacter)) {
        m_waitingNow << TWaitingPassing{passing.zek, UnreadableReason()};
        return false;
    }
    TQuery *course = m_dm->Query2;
    course->setSQL(CourseSql(evtcode, passing.zek));
    course->Open();
    const bool hasCourse = course->RecordCount() > 0;
    const int perLap = course->FieldByName(QStringLiteral("1lapn")).AsInteger();
    const QString startTime = course->FieldByName(QStringLiteral("STARTEDTIME")).AsString();
    course->Close();

    const TMidDecision d = DecidePassing(hasCourse, perLap, startTime, passing);
    if (!d.taken()) {
        const QString reason = WaitingReason(d.outcome);
        if (!reason.isEmpty())
            m_waitingNow << TWaitingPassing{passing.zek, reason};
        return false;
    }

    // Mid time, taken mark, ranking and display row take effect together or not at all;
    // an error rolls them back and the passing stays untaken for the next pass. A
    // conflict with another station's transaction runs them again (RunPassing).
    const QString marked = passing.zek + QLatin1Char('\n') + passing.term;
    bool claimed = false;
    RunPassing(m_dm->DB, [&] {
        TQuery *q = m_dm->Query1;
        q->setSQL(TagClaimSql(evtcode, passing.zek, passing.term, passing.cont));
        q->Open();
        claimed = q->RecordCount() > 0 || m_markedThisPass.value(marked, -1) >= passing.cont;
        q->Close();
        if (!claimed)
            return; // another station took it since the snapshot

        const QStringList update = ChipTagMidTimeSql(d.point, d.text, evtcode, passing.zek);
        // Logged before it runs (or kept for the log while it cannot be written).
        writeLog(LogEntryOf(update));
        q->setSQL(update);
        q->ExecSQL();

        q->setSQL(TagTakenMarkSql(evtcode, passing.zek, passing.term, passing.cont));
        q->ExecSQL();

        setmidrank(d.point);

        q->setSQL(ChakuTopSql());
        q->Open();
        const int num = q->FieldByName(QStringLiteral("NUM")).AsInteger() + 1;
        q->Close();
        q->setSQL(ChakuInsertSql(num, passing.zek, d.text, d.point));
        q->ExecSQL();
    });
    if (!claimed)
        return false;
    m_markedThisPass[marked] = qMax(m_markedThisPass.value(marked, -1), passing.cont);

    if (VoiceOn && VoiceOn())
        talklist << AnnouncementText(passing.zek, d.text);

    if (tagauto == 1)
        midno = d.point;
    return true;
}

void TMidIntake::setmidrank(int n)
{
    // The server orders the mid times; ranks and differences are worked out here with
    // the station's own time text helpers, so they read and look exactly as mid times
    // do whatever a mid time holds, on every server. All of it goes back in a few
    // statements inside the passing's transaction: one commit for the field instead of
    // one per competitor.
    TQuery *q = m_dm->Query2;
    q->setSQL(RankSelectSql(n, ProgramSettings.CurrentTcode));
    q->Open();
    const int zek = q->FieldIndex(QStringLiteral("ZEK"));
    const int tm = q->FieldIndex(QStringLiteral("TM"));
    const int td = q->FieldIndex(QStringLiteral("TD"));
    const int tj = q->FieldIndex(QStringLiteral("TJ"));
    QList<TRankRow> rows;
    rows.reserve(q->RecordCount());
    for (const QVector<QString> &row : q->rows().values)
        rows << TRankRow{row[zek], row[tm], row[td], row[tj]};
    q->Close();
    // Only the rows whose rank or difference changes are written: a passing moves the
    // ranks of those behind it, seldom the whole field.
    const QList<TRankEntry> changed = ChangedRankEntries(rows, ComputeMidRanking(rows));
    for (const QStringList &write : RankWriteSql(n, changed, ProgramSettings.CurrentTcode)) {
        q->setSQL(write);
        q->ExecSQL();
    }
}

void TMidIntake::dispmidrank()
{
    m_dm->qMidRank->Close();
    m_dm->qMidRank->setSQL(MidRankDisplaySql(midno, ProgramSettings.CurrentTcode));
    m_dm->qMidRank->Open();
}
