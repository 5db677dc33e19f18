// The transponder registration without its window: the decoder's passing records queued,
// each one registered against the next bib ("Set") or its hit count and signal strength
// recorded ("Check") in table midtp, the next bib proposed, the table reset and the list
// sorted. The window TFtpnoset owns one and keeps its handler names as thin slots; this
// opens no box and touches no widget, it tells the window by signals what to show.
#pragma once

#include "DecoderLine.h"

#include <QList>
#include <QObject>
#include <QStringList>

class QByteArray;
class TDm1;

class TRegistrationIntake : public QObject
{
    Q_OBJECT
public:
    enum class TMode { Set, Check };
    Q_ENUM(TMode)

    explicit TRegistrationIntake(TDm1 *dm, QObject *parent = nullptr);

    // The passing records waiting to be registered, oldest first (the window's amblist):
    // each the fields of one "@" line from the transponder number on.
    QStringList Queue;

    // The bytes of one receive event: the lines they complete, in order, for the raw view;
    // their passing records are queued.
    QList<TAmbLine> Take(const QByteArray &batch);
    // Bytes received and not yet taken as a line (ambbuf).
    QString Buffer() const { return m_decoder.Buffer(); }
    // The port was reopened: the half line from before is dropped.
    void DropPartialLine() { m_decoder.Clear(); }

    // The bib to propose when the window is shown: one after the highest bib that has a
    // transponder, "1" when none has, "" when that bib is not a number (the operator
    // types the next one).
    QString ProposedNextBib();

    // Registers every queued record, oldest first. nextBib is the text of the next bib
    // (Edzek); each registration advances it (nextBibChanged). A next bib that is not a
    // number stops the pass with the record still queued. Database errors pass to the
    // caller, the record they hit still first in the queue.
    void RegisterQueued(TMode mode, const QString &nextBib);

    // Empties midtp and makes bibs 0001-0300 without transponders; reopens the list.
    void ResetTable();
    // The list in the order of item 0 "ZEK", 1 "HIT" or 2 "LENGTH"; nothing for others.
    void SortList(int item);

    // Registrations that did not happen, the last two with their times, newest last; one
    // per line, "" when there were none.
    QString Notice() const { return m_notRegistered.join(QLatin1Char('\n')); }

signals:
    // Set mode: the transponder is registered already, against this bib. Nothing written.
    void alreadyRegistered(const QString &zek);
    // A registration advanced the next bib.
    void nextBibChanged(const QString &nextBib);
    // The next bib is not a number; said once for each text that is not one.
    void nextBibNotANumber(const QString &text);
    // A record that can never be registered was dropped: its line for the raw view.
    void recordDropped(const QString &rawLine);
    // A record was handled (registered, refused as known, recorded or found unknown).
    void recordHandled(const QString &transponder);
    // Notice() changed.
    void noticeChanged(const QString &notice);
    // After a pass that handled records the list was reopened; row is the current row,
    // the bib last written, -1 when there was none.
    void listReopened(int row);

private:
    // The registration of one readable record; false when the pass must stop there.
    bool registerOne(TMode mode, const QString &transponder, int hits, int strength, QString &nextBib,
                     QString &lastZek);
    void noteNotRegistered(const QString &what);
    int reopenList(const QString &zek);

    TDm1 *m_dm;
    TAmbDecoder m_decoder;
    QString m_reportedNextBib; // the next bib that is not a number, already said
    QStringList m_notRegistered;
};
