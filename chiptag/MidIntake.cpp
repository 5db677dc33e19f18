// The poll and the pass of the chip-tag intake, the ranking and its display query.
#include "MidIntake.h"

#include "Dialogs.h"
#include "Errors.h"
#include "PassingTransaction.h"
#include "Udm1.h"
#include "uComm.h"
#include "uLog.h"

#include <QHash>
#include <QTimer>

using namespace MidLogic;

TMidIntake::TMidIntake(TDm1 *dm, QObject *parent) : QObject(parent), midlog(std::make_unique<TLog>()), Dm(dm)
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
    TQuery *q = Dm->Query1;
    q->setSQL(ExecInfoSql());
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
    // a full interval after this one ends. An error leaves it off until the window
    // starts it again.
    Timer1->stop();
    bool completed = false;
    RunHandler([&] {
        try {
            TQuery *q = Dm->Query1;
            q->setSQL(PollSql());
            q->Open();
            const bool hasRow = q->RecordCount() > 0;
            const int upd = hasRow ? q->FieldByName(QStringLiteral("upd")).AsInteger() : 0;
            q->Close();
            if (hasRow && upd != lastupd) {
                settagmid();
                lastupd = upd;
            }
        } catch (const std::exception &e) {
            // The box tells the operator that the intake has stopped and how to start it
            // again, below the error itself.
            const auto *station = dynamic_cast<const EStationError *>(&e);
            const QString what = station ? station->message() : QString::fromLocal8Bit(e.what());
            throw EStationError(what + QStringLiteral("\n\n") + PollStoppedMessage());
        }
        completed = true;
    });
    if (completed)
        Timer1->start();
}

void TMidIntake::settagmid()
{
    // The snapshot is read whole and closed first: records written while the pass runs
    // wait for the next pass.
    QList<TTagPassing> snapshot;
    TQuery *q = Dm->Query1;
    q->setSQL(SnapshotSql(ProgramSettings.CurrentTcode));
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
    for (const TTagPassing &passing : snapshot)
        takePassing(passing);
    waiting = m_waitingNow;

    Dm->qChaku->Close();
    Dm->qChaku->Open();
    Dm->qMidRank->Close();
    Dm->qMidRank->Open();
    emit passFinished();
}

void TMidIntake::takePassing(const TTagPassing &passing)
{
    TQuery *course = Dm->Query2;
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
        return;
    }

    // Mid time, taken mark, ranking and display row take effect together or not at all;
    // an error rolls them back and the passing stays untaken for the next pass.
    TPassingTransaction whole(Dm->DB);
    TQuery *q = Dm->Query1;
    q->setSQL(ClaimSql(evtcode, passing.zek, passing.term, passing.cont));
    q->Open();
    const QString marked = passing.zek + QLatin1Char('\n') + passing.term;
    const bool claimed = q->RecordCount() > 0 || m_markedThisPass.value(marked, -1) >= passing.cont;
    q->Close();
    if (!claimed)
        return; // another station took it since the snapshot

    const QStringList update = MidTimeUpdateSql(d.point, d.text, evtcode, passing.zek);
    // Logged before it runs: a log that cannot be written stops the pass here.
    midlog->WriteLine(LogEntryOf(update));
    q->setSQL(update);
    q->ExecSQL();

    q->setSQL(TakenMarkSql(evtcode, passing.zek, passing.term, passing.cont));
    q->ExecSQL();

    setmidrank(d.point);

    q->setSQL(ChakuTopSql());
    q->Open();
    const int num = q->FieldByName(QStringLiteral("NUM")).AsInteger() + 1;
    q->Close();
    q->setSQL(ChakuInsertSql(num, passing.zek, d.text, d.point));
    q->ExecSQL();
    whole.Commit();
    m_markedThisPass[marked] = qMax(m_markedThisPass.value(marked, -1), passing.cont);

    if (VoiceOn && VoiceOn())
        talklist << AnnouncementText(passing.zek, d.text);

    if (tagauto == 1) {
        midno = d.point;
        dispmidrank();
    }
}

void TMidIntake::setmidrank(int n)
{
    // The ranking is computed the same way for both ways of writing it; only the read
    // differs: the faster way also reads what is stored, to write only what changes.
    TQuery *q = Dm->Query2;
    const QString tcode = ProgramSettings.CurrentTcode;
    const bool perCompetitor = rankWrite == RankWrite::PerCompetitor;
    q->setSQL(perCompetitor ? RankSelectSql(n, tcode) : RankSelectStoredSql(n, tcode));
    q->Open();
    QList<TRankRow> rows;
    QList<TStoredRank> stored;
    for (q->First(); !q->Eof(); q->Next()) {
        const TRankRow row{q->FieldByName(QStringLiteral("ZEK")).AsString(),
                           q->FieldByName(QStringLiteral("TM")).AsString()};
        rows << row;
        if (!perCompetitor) {
            const TField diff = q->FieldByName(QStringLiteral("TD"));
            const TField rank = q->FieldByName(QStringLiteral("TJ"));
            stored << TStoredRank{row.zek, diff.AsString(), diff.IsNull(), rank.AsInteger(), rank.IsNull()};
        }
    }
    q->Close();
    const QList<TRankEntry> entries = ComputeMidRanking(rows);
    writeRanking(n, perCompetitor ? entries : ChangedRankEntries(entries, stored));
}

void TMidIntake::writeRanking(int n, const QList<TRankEntry> &entries)
{
    TQuery *q = Dm->Query2;
    for (const TRankEntry &e : entries) {
        q->setSQL(RankUpdateSql(n, e, ProgramSettings.CurrentTcode));
        q->ExecSQL();
    }
}

void TMidIntake::dispmidrank()
{
    Dm->qMidRank->Close();
    Dm->qMidRank->setSQL(MidRankDisplaySql(midno, ProgramSettings.CurrentTcode));
    Dm->qMidRank->Open();
}
