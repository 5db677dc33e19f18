// The photocell intake: journal, storing, recording, and the retries when the server is
// away or refuses a passing.
#include "PhotocellIntake.h"

#include "ChakuStatements.h"
#include "Errors.h"
#include "MidPoints.h"
#include "Midtp2Statements.h"
#include "ResultStatements.h"
#include "PassingTransaction.h"
#include "StationFolders.h"
#include "Database.h"
#include "DataModule.h"
#include "TimeText.h"
#include "TextFields.h"
#include "ProgramSettings.h"

#include <QTimer>

using namespace Photocell;

namespace
{
// Refused passings are tried again every this many retry ticks: they wait for somebody to
// put the data right, not for the server to come back.
constexpr int SetAsideEvery = 5;
constexpr int UnrecordedKept = 3;
} // namespace

TPhotocellIntake::TPhotocellIntake(TDm1 *dm, QObject *parent)
    : QObject(parent), m_dm(dm), m_journal(std::make_unique<TPassingJournal>(StationFolders::LogFolder()))
{
    setObjectName(QStringLiteral("PhotocellIntake"));
    RetryTimer = new QTimer(this);
    RetryTimer->setObjectName(QStringLiteral("RetryTimer"));
    RetryTimer->setInterval(1000);
    connect(RetryTimer, &QTimer::timeout, this, &TPhotocellIntake::retry);
}

TPhotocellIntake::~TPhotocellIntake() = default;

void TPhotocellIntake::SetJournalFolder(const QString &folder)
{
    m_journal = std::make_unique<TPassingJournal>(folder);
}

QString TPhotocellIntake::JournalFolder() const
{
    return m_journal->Folder();
}

void TPhotocellIntake::Take(const TFrame &frame)
{
    TPending p;
    p.frame = frame;
    p.journal.arrived = QDateTime::currentDateTime();
    p.journal.event = ProgramSettings.CurrentTcode;
    p.journal.automatic = Automatic && frame.recordedAutomatically();
    p.journal.line = frame.text.toLatin1();
    try {
        m_journal->Append(p.journal);
        p.journaled = true;
        m_journalProblem.clear();
    } catch (const EInOutError &e) {
        // The one case where a frame cannot be made safe: it is kept in memory and still
        // sent to the server, and the operator is told loudly.
        m_journalProblem = e.message() + QStringLiteral(" 通過はメモリだけに保持しています。");
    }
    m_queue << p;
    // While the server is away the retry timer does the trying: a new frame must not cost
    // a connect attempt of its own.
    if (!m_awaySince.isValid())
        drain();
    changed();
}

int TPhotocellIntake::Resume()
{
    // Once per intake: a second reading would queue again what waits already.
    if (m_resumed)
        return 0;
    m_resumed = true;
    const QList<TJournalFrame> unfinished = m_journal->Unfinished();
    for (const TJournalFrame &journal : unfinished) {
        TPending p;
        p.journal = journal;
        p.frame = ParseFrame(journal.line);
        p.journal.automatic = journal.automatic && p.frame.recordedAutomatically();
        p.journaled = true;
        p.mayBeStored = true;
        m_queue << p;
    }
    if (!unfinished.isEmpty())
        drain();
    changed();
    return int(unfinished.size());
}

void TPhotocellIntake::retry()
{
    ++m_ticks;
    drain();
    // While the server is away a set-aside passing is what finds it back, when no other
    // passing waits.
    if (m_queue.isEmpty() && (m_awaySince.isValid() || m_ticks % SetAsideEvery == 0))
        retrySetAside();
    changed();
}

void TPhotocellIntake::drain()
{
    // A passing being stored is not overtaken: a frame that arrives meanwhile (through a
    // nested event loop) waits behind it.
    if (m_draining)
        return;
    m_draining = true;
    while (!m_queue.isEmpty()) {
        const TOutcome outcome = store(m_queue.first());
        if (outcome == TOutcome::Away)
            break;
        TPending p = m_queue.takeFirst();
        if (outcome == TOutcome::Refused)
            m_setAside << p;
        else
            finish(p);
    }
    m_draining = false;
    changed();
}

void TPhotocellIntake::retrySetAside()
{
    QList<TPending> again;
    std::swap(again, m_setAside);
    for (int i = 0; i < again.size(); ++i) {
        const TOutcome outcome = store(again[i]);
        if (outcome == TOutcome::Stored) {
            finish(again[i]);
        } else {
            m_setAside << again[i];
            if (outcome == TOutcome::Away) {
                m_setAside << again.mid(i + 1);
                break;
            }
        }
    }
}

TPhotocellIntake::TOutcome TPhotocellIntake::store(TPending &p)
{
    std::optional<TRecording> recording;
    try {
        // A conflict with another station's transaction runs it again, from the look-up on.
        RunPassing(m_dm->DB, [&] {
            recording.reset();
            // Committed just before the link broke, or before the station died: it is there.
            if (p.mayBeStored && alreadyStored(p))
                return;
            insertPassing(p);
            if (p.journal.automatic)
                recording = recordIn(*BibText(p.frame.zek), p.frame.time, p.frame.mid, p.journal.event);
        });
    } catch (const EDatabaseError &e) {
        if (TDatabase::ServerAway(e)) {
            p.mayBeStored = true;
            markAway(e.message());
            return TOutcome::Away;
        }
        if (p.journal.automatic) {
            // The recording was refused: the passing itself is kept for the operator.
            noteUnrecorded(*BibText(p.frame.zek), e.message());
            p.journal.automatic = false;
            return store(p);
        }
        p.refusal = e.message();
        return TOutcome::Refused;
    } catch (const EStationError &e) {
        p.refusal = e.message();
        return TOutcome::Refused;
    }
    m_awaySince = QDateTime();
    p.refusal.clear();
    emit frameStored(p.frame);
    if (recording) {
        if (!recording->resultRow)
            noteUnrecorded(recording->zek, QStringLiteral("この大会の結果表にないゼッケンです"));
        emit recorded(*recording);
    }
    return TOutcome::Stored;
}

bool TPhotocellIntake::alreadyStored(const TPending &p)
{
    TQuery *q = m_dm->Qtemp;
    q->setSQL(PassingCountSql(p.frame.zek, p.frame.time, p.frame.fl()));
    q->Open();
    const bool there = q->FieldByName(QStringLiteral("n")).AsInteger() > 0;
    q->Close();
    return there;
}

void TPhotocellIntake::insertPassing(const TPending &p)
{
    m_dm->Qmax->Close();
    m_dm->Qmax->Open();
    QString maxn = m_dm->Qmax->FieldByName(QStringLiteral("maxn")).AsString();
    if (maxn.isEmpty())
        maxn = QStringLiteral("0");
    const QString tpno1 = QString::number(maxn.toLongLong() + 1);
    m_dm->Qedit->setSQL(PassingInsertSql(p.frame.zek, p.frame.time, p.frame.fl(), tpno1));
    m_dm->Qedit->ExecSQL();
}

TPhotocellIntake::TRecording TPhotocellIntake::Record(const QString &zek, const QString &passtime, const QString &mid,
                                                      const QString &tcode)
{
    TRecording r;
    RunPassing(m_dm->DB, [&] { r = recordIn(zek, passtime, mid, tcode); });
    return r;
}

TPhotocellIntake::TRecording TPhotocellIntake::recordIn(const QString &zek, const QString &passtime, const QString &mid,
                                                        const QString &tcode)
{
    TRecording r;
    r.zek = zek;
    r.mid = mid;
    r.passtime = passtime;
    TQuery *q = m_dm->Qtemp;
    q->setSQL(StartTimeSql(tcode, zek));
    q->Open();
    r.resultRow = q->RecordCount() > 0;
    const QString start = r.resultRow ? q->FieldByName(QStringLiteral("startedtime")).AsString() : QString();
    q->Close();

    const QString t = MsecToMidText(ElapsedMsec(start, passtime));
    r.statement = PhotocellMidTimeSql(mid, t, zek, tcode);
    q->setSQL(r.statement);
    q->ExecSQL();
    r.shown = setdispinfo(zek, passtime, tcode);
    return r;
}

std::optional<QString> TPhotocellIntake::setdispinfo(const QString &zek, const QString &passtime, const QString &tcode)
{
    TQuery *q = m_dm->Qtemp;
    q->setSQL(DisplayInfoSql(tcode, zek));
    q->Open();
    QString status;
    QString start;
    int k = 0;
    if (q->RecordCount() > 0) {
        status = q->FieldByName(QStringLiteral("status")).AsString();
        start = q->FieldByName(QStringLiteral("startedtime")).AsString();
        QStringList mids;
        for (int i = 1; i <= MidPointCount; ++i)
            mids << q->FieldByName(MidTimeColumn(i)).AsString();
        k = FirstEmptyMid(mids);
    }
    q->Close();
    if (status != QLatin1String("T") || k <= 0)
        return std::nullopt;

    // The same elapsed time as the stored mid time: a passing after midnight with a start
    // before it is displayed and announced as it is recorded.
    const int elapsed = ElapsedMsec(start, passtime);
    if (elapsed <= 0)
        return std::nullopt;
    const QString t = MsecToTimeText(elapsed);

    q->setSQL(ChakuNumbersSql());
    q->Open();
    const int num = q->RecordCount() > 0 ? q->FieldByName(QStringLiteral("NUM")).AsInteger() : 0;
    q->Close();
    q->setSQL(ChakuInsertSql(num + 1, zek, t, k));
    q->ExecSQL();
    return t;
}

void TPhotocellIntake::finish(const TPending &p)
{
    if (!p.journaled)
        return;
    try {
        m_journal->MarkDone(p.journal);
    } catch (const EInOutError &e) {
        // Stored all the same; after a restart it is found in midtp2 and not stored twice.
        m_journalProblem = e.message();
    }
}

void TPhotocellIntake::noteUnrecorded(const QString &zek, const QString &why)
{
    m_unrecorded << QStringLiteral("%1 自動記録できません: %2").arg(zek, OneLine(why));
    while (m_unrecorded.size() > UnrecordedKept)
        m_unrecorded.removeFirst();
}

void TPhotocellIntake::markAway(const QString &why)
{
    if (!m_awaySince.isValid())
        m_awaySince = QDateTime::currentDateTime();
    m_awayReason = OneLine(why);
}

QStringList TPhotocellIntake::NoticeEntries() const
{
    QStringList entries;
    if (!m_journalProblem.isEmpty())
        entries << m_journalProblem;
    if (m_awaySince.isValid())
        entries << QStringLiteral(
                       "データベースに接続できません（%1 から）。保存待ちの通過 %2 件は、つながり次第保存します。")
                       .arg(m_awaySince.toString(QStringLiteral("HH:mm:ss")))
                       .arg(m_queue.size());
    else if (!m_queue.isEmpty())
        entries << QStringLiteral("保存待ちの通過 %1 件").arg(m_queue.size());
    for (const TPending &p : m_setAside)
        entries << QStringLiteral("保存できない通過 %1 %2: %3").arg(p.frame.zek, p.frame.time, OneLine(p.refusal));
    entries << m_unrecorded;
    if (m_awaySince.isValid() && !m_awayReason.isEmpty())
        entries << m_awayReason;
    return entries;
}

QString TPhotocellIntake::Notice() const
{
    return NoticeEntries().join(QStringLiteral("　／　"));
}

void TPhotocellIntake::changed()
{
    if (WaitingCount() > 0 && !RetryTimer->isActive())
        RetryTimer->start();
    else if (WaitingCount() == 0)
        RetryTimer->stop();
    const QString notice = Notice();
    if (notice != m_lastNotice) {
        m_lastNotice = notice;
        emit noticeChanged(notice);
    }
}
