#include "RehearsalField.h"

#include "Database.h"
#include "EventStatements.h"
#include "Query.h"
#include "ResultStatements.h"
#include "TimeText.h"

#include <QDateTime>
#include <QThread>
#include <algorithm>

void ConnectRehearsal(TDatabase &db, const QString &dsn)
{
    db.Params = {QStringLiteral("USER NAME=root"), QStringLiteral("ODBC DSN=") + dsn, QStringLiteral("PASSWORD=rufan")};
    db.Open(); // the connection speaks Shift-JIS from its first statement on
}

QString RunningEvent(TDatabase &db)
{
    TQuery q(&db, QStringLiteral("q"));
    q.setSQL(RunningEventSql());
    q.Open();
    return q.FieldByName(QStringLiteral("tcode")).AsString();
}

QList<TCompetitor> LoadField(TDatabase &db, const QString &tcode, int limit)
{
    TQuery q(&db, QStringLiteral("q"));
    q.setSQL(RehearsalFieldSql(tcode));
    q.Open();
    QList<TCompetitor> field;
    for (; !q.Eof() && (limit <= 0 || field.size() < limit); q.Next()) {
        TCompetitor c;
        c.zek = q.FieldByName(QStringLiteral("zek")).AsString();
        c.startMs = TimeTextToMsec(q.FieldByName(QStringLiteral("STARTEDTIME")).AsString());
        c.perLap = std::max(1, q.FieldByName(QStringLiteral("1lapn")).AsInteger());
        field << c;
    }
    return field;
}

QList<TPassing> PlanRace(const QList<TCompetitor> &field, int laps, int absentEvery, std::mt19937 &random)
{
    std::uniform_int_distribution<int> lapMs(240000, 420000);
    std::uniform_int_distribution<int> jitter(-1500, 1500);
    QList<TPassing> plan;
    for (int i = 0; i < field.size(); ++i) {
        if (absentEvery > 0 && (i + 1) % absentEvery == 0)
            continue;
        const TCompetitor &c = field[i];
        const int lap = lapMs(random);
        for (int n = 1; n <= laps * c.perLap; ++n) {
            TPassing p;
            p.zek = c.zek;
            p.count = n;
            p.midPoint = n % c.perLap == 0 ? n / c.perLap : 0;
            p.timeMs = c.startMs + int(qint64(lap) * n / c.perLap) + jitter(random);
            plan << p;
        }
    }
    std::stable_sort(plan.begin(), plan.end(),
                     [](const TPassing &a, const TPassing &b) { return a.timeMs < b.timeMs; });
    return plan;
}

QString ClockText(int ms)
{
    ms %= 86400000;
    if (ms < 0)
        ms += 86400000;
    return QString::asprintf("%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

TSimClock::TSimClock(int simStartMs, double speed)
    : m_wallStart(QDateTime::currentMSecsSinceEpoch()), m_simStart(simStartMs), m_speed(speed > 0 ? speed : 1)
{
}

int TSimClock::now() const
{
    return m_simStart + int((QDateTime::currentMSecsSinceEpoch() - m_wallStart) * m_speed);
}

void TSimClock::waitUntil(int timeMs) const
{
    for (;;) {
        const int ahead = timeMs - now();
        if (ahead <= 0)
            return;
        QThread::msleep(qBound(1, int(ahead / m_speed), 200));
    }
}
