// The per-competitor ranking writer and the comparison of stored rankings.
#include "RankReference.h"

#include "SqlEscape.h"
#include "Database.h"
#include "Query.h"
#include "DataModule.h"
#include "TimeText.h"
#include "ProgramSettings.h"

#include <QHash>

namespace RankReference
{

void setmidrank(TDm1 *dm, int n, const QString &tcode)
{
    const QString p = QString::number(n);
    TQuery *q = dm->Query2;
    q->setSQL({QStringLiteral("SELECT ZEK,MIDTIME") + p + QStringLiteral(" AS TM"), QStringLiteral("FROM RESULT"),
               QStringLiteral("WHERE TCODE='") + SqlEscape(tcode) + QStringLiteral("'"),
               QStringLiteral("ORDER BY MIDTIME") + p});
    q->Open();
    QStringList times, bibs;
    for (q->First(); !q->Eof(); q->Next()) {
        const QString tm = q->FieldByName(QStringLiteral("TM")).AsString();
        if (tm.isEmpty())
            continue;
        times << tm;
        bibs << q->FieldByName(QStringLiteral("ZEK")).AsString();
    }
    q->Close();
    if (times.isEmpty())
        return;
    const int leader = TimeTextToMsec(times.first());
    // The writer as the station had it: every update committed by itself. Inside the
    // passing's transaction each update is committed and the transaction begun again, so
    // the reference costs one commit per competitor, as it did on a race server.
    TDatabase *db = dm->DB;
    const bool eachCommits = db->InTransaction();
    for (int i = 0; i < times.size(); ++i) {
        q->setSQL({QStringLiteral("UPDATE RESULT"),
                   QStringLiteral("SET MIDDIFF") + p + QStringLiteral("='") +
                       SqlEscape(MsecToMidText(TimeTextToMsec(times[i]) - leader)) + QStringLiteral("'"),
                   QStringLiteral(",MIDJUN") + p + QStringLiteral("=") + QString::number(i + 1),
                   QStringLiteral("WHERE TCODE='") + SqlEscape(tcode) + QStringLiteral("'"),
                   QStringLiteral("AND ZEK='") + SqlEscape(bibs[i]) + QStringLiteral("'")});
        q->ExecSQL();
        if (eachCommits) {
            db->Commit();
            db->StartTransaction();
        }
    }
}

void TReferenceIntake::setmidrank(int n)
{
    RankReference::setmidrank(m_dm, n, ProgramSettings.CurrentTcode);
}

QString StoredRowsSql(const QString &tcode)
{
    QString columns;
    for (int n = 1; n <= 5; ++n)
        columns += QStringLiteral(",midtime%1,middiff%1,midjun%1").arg(n);
    return QStringLiteral("SELECT zek%1 FROM result WHERE tcode='%2' ORDER BY zek,midtime1,midtime2")
        .arg(columns, tcode);
}

TStoredRows UnderTheTieRule(const TStoredRows &reference)
{
    TStoredRows out = reference;
    for (int n = 0; n < 5; ++n) {
        const int time = 1 + 3 * n, rank = time + 2;
        // The best reference rank of each ranked mid time text.
        QHash<QString, int> best;
        auto ranked = [&](const QStringList &row) {
            return row[rank] != QLatin1String("<NULL>") && !row[time].isEmpty() && row[time] != QLatin1String("<NULL>");
        };
        for (const QStringList &row : reference) {
            if (!ranked(row))
                continue;
            const int r = row[rank].toInt();
            const auto it = best.find(row[time]);
            if (it == best.end())
                best.insert(row[time], r);
            else
                *it = qMin(*it, r);
        }
        for (QStringList &row : out)
            if (ranked(row))
                row[rank] = QString::number(best.value(row[time]));
    }
    return out;
}

QString FirstDifference(const TStoredRows &expected, const TStoredRows &got)
{
    for (int i = 0; i < qMax(expected.size(), got.size()); ++i) {
        const QString e = i < expected.size() ? expected[i].join(QLatin1Char('|')) : QStringLiteral("<none>");
        const QString g = i < got.size() ? got[i].join(QLatin1Char('|')) : QStringLiteral("<none>");
        if (e != g)
            return QStringLiteral("row %1: expected %2, got %3").arg(i).arg(e, g);
    }
    return QString();
}

} // namespace RankReference
