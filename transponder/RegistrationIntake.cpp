// The registration pass over the queued decoder records, the next bib, the reset and the
// sort of the list, on the data module's Qtemp (lookups), Qedit (statements) and Qmidtp.
#include "RegistrationIntake.h"

#include "DataModule.h"
#include "TransponderReading.h"
#include "TransponderStatements.h"

#include <QTime>

using namespace TransponderStatements;

TRegistrationIntake::TRegistrationIntake(TDm1 *dm, QObject *parent) : QObject(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("RegistrationIntake"));
}

QList<TAmbLine> TRegistrationIntake::Take(const QByteArray &batch)
{
    const QList<TAmbLine> lines = m_decoder.Feed(batch);
    for (const TAmbLine &line : lines) {
        if (line.passing)
            Queue << line.record;
    }
    return lines;
}

QString TRegistrationIntake::ProposedNextBib()
{
    TQuery *q = m_dm->Qtemp;
    q->setSQL(HighestRegisteredBib());
    q->Open();
    const QString highest = q->FieldByName(QStringLiteral("max")).AsString();
    q->Close();
    int bib = 0;
    if (highest.isEmpty())
        return QStringLiteral("1");
    if (ReadTpInteger(highest, bib))
        return QString::number(bib + 1);
    return QString();
}

void TRegistrationIntake::RegisterQueued(TMode mode, const QString &nextBib)
{
    if (Queue.isEmpty())
        return;
    QString next = nextBib;
    QString lastZek;
    bool handled = false;
    while (!Queue.isEmpty()) {
        const QString entry = Queue.first();
        TTpReading reading;
        QString why;
        if (!ParseTpReading(entry, reading, &why)) {
            // A faulty record can never be registered: it is noted in the raw view and
            // dropped, so the records behind it are not held up. The next bib stays where
            // it is, and the red line says so: unnoticed, the next transponder would take
            // the bib meant for this one.
            Queue.removeFirst();
            emit recordDropped(QStringLiteral("登録しません（%1）: %2").arg(why, entry));
            noteNotRegistered(mode == TMode::Set
                                  ? QStringLiteral("読めない記録（%1）。ゼッケン %2 はまだ空いています。"
                                                   "そのトランスポンダーをもう一度読ませてください。")
                                        .arg(why, next)
                                  : QStringLiteral("読めない記録（%1）").arg(why));
            handled = true;
            continue;
        }
        if (!registerOne(mode, reading.transponder, reading.hits, reading.strength, next, lastZek))
            break;
        Queue.removeFirst();
        handled = true;
        emit recordHandled(reading.transponder);
    }
    if (handled)
        emit listReopened(reopenList(lastZek));
}

bool TRegistrationIntake::registerOne(TMode mode, const QString &transponder, int hits, int strength,
                                      QString &nextBib, QString &lastZek)
{
    TQuery *lookup = m_dm->Qtemp;
    lookup->setSQL(FindTransponder(transponder));
    lookup->Open();

    if (mode == TMode::Check) {
        // A transponder that is not registered changes nothing.
        if (lookup->RecordCount() > 0) {
            const QString zek = lookup->FieldByName(QStringLiteral("zek")).AsString();
            m_dm->Qedit->setSQL(RecordFigures(hits, strength, zek));
            m_dm->Qedit->ExecSQL();
            lastZek = zek;
        }
        return true;
    }
    if (lookup->RecordCount() > 0) {
        emit alreadyRegistered(lookup->FieldByName(QStringLiteral("zek")).AsString());
        return true;
    }
    int number = 0;
    if (!ReadTpInteger(nextBib, number)) {
        // The record waits until the operator puts a number in the next bib; that is said
        // once for each text that is not one.
        if (nextBib != m_reportedNextBib) {
            m_reportedNextBib = nextBib;
            emit nextBibNotANumber(nextBib);
        }
        return false;
    }
    m_reportedNextBib.clear();
    const QString bib = BibText(number);
    m_dm->Qedit->setSQL(RegisterTransponder(transponder, bib));
    if (m_dm->Qedit->ExecSQL() == 0) {
        // No row for that bib (beyond 0300, or the table never reset): nothing was
        // registered, and the next transponder must not move on past it.
        noteNotRegistered(QStringLiteral("ゼッケン %1 の行がありません。トランスポンダー %2 は登録されていません"
                                         "（ＴＰ Ｄａｔａ Ｃｌｅａｒ で 0001～0300 を作り直すか、ZEK を直してください）。")
                              .arg(bib, transponder));
        return true;
    }
    nextBib = QString::number(number + 1);
    emit nextBibChanged(nextBib);
    lastZek = bib;
    return true;
}

void TRegistrationIntake::noteNotRegistered(const QString &what)
{
    m_notRegistered << QTime::currentTime().toString(QStringLiteral("HH:mm:ss ")) + what;
    while (m_notRegistered.size() > 2)
        m_notRegistered.removeFirst();
    emit noticeChanged(Notice());
}

int TRegistrationIntake::reopenList(const QString &zek)
{
    TQuery *list = m_dm->Qmidtp;
    list->Close();
    list->Open();
    if (zek.isEmpty())
        return -1;
    for (int row = 0; row < list->RecordCount(); ++row) {
        if (list->valueOf(row, QStringLiteral("zek")) == zek) {
            list->MoveTo(row);
            return row;
        }
    }
    return -1;
}

void TRegistrationIntake::ResetTable()
{
    TQuery *q = m_dm->Qedit;
    q->setSQL(DeleteAllBibs());
    q->ExecSQL();
    for (int bib = 1; bib <= 300; ++bib) {
        q->setSQL(InsertEmptyBib(bib));
        q->ExecSQL();
    }
    reopenList(QString());
}

void TRegistrationIntake::SortList(int item)
{
    static const char *const columns[] = {"zek", "hit", "leng"};
    if (item < 0 || item > 2)
        return;
    m_dm->Qmidtp->setSQL(ListOrderedBy(QLatin1String(columns[item])));
    m_dm->Qmidtp->Open();
}
