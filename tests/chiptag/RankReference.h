// The mid ranking as the station wrote it before one statement did: one update per ranked
// competitor, consecutive ranks in the server's order of the mid time text. Kept as the
// reference that the benchmark and the suites compare the station's ranking against.
#pragma once

#include "MidIntake.h"

#include <QList>
#include <QStringList>

class TDm1;

namespace RankReference
{

// Ranks mid point n of the event: one query, then one update per ranked competitor.
void setmidrank(TDm1 *dm, int n, const QString &tcode);

// An intake that ranks with the reference writer; everything else is the station's.
class TReferenceIntake : public TMidIntake
{
public:
    explicit TReferenceIntake(TDm1 *dm) : TMidIntake(dm), m_dm(dm) {}
    void setmidrank(int n) override;

private:
    TDm1 *m_dm = nullptr;
};

// A stored ranking: rows of zek, then midtime, middiff and midjun of each mid point
// (1 .. 5), as the suites' client reads them ("<NULL>" for NULL).
using TStoredRows = QList<QStringList>;
QString StoredRowsSql(const QString &tcode);

// What the station's ranking must store when the reference stored `reference`: the same
// mid times and differences; a rank shared by equal mid time texts, the best of the
// consecutive ranks the reference gave them (1, 2, 2, 4 where it gave 1, 2, 3, 4).
TStoredRows UnderTheTieRule(const TStoredRows &reference);

// The first differing row of two stored rankings, or "" when they are equal.
QString FirstDifference(const TStoredRows &expected, const TStoredRows &got);

} // namespace RankReference
