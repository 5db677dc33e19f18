// Benchmark (not a test) of the chip-tag intake on the real server, the station's ranking
// side by side with the per-competitor reference writer (RankReference) in the same run:
//   - fields of 100, 300 and 1000 (ties, empty and NULL mid times): one pass for one new
//     passing, and one pass over a burst of 300 passings at the next mid points;
//   - a field of 1000 of whom 700 are ranked at mid point 1, and the other 300 passing it
//     at once: one pass over the 300.
// After every case the stored result tables of the writers are compared: identical apart
// from the ranks of equal mid times. A third writer, the whole ranking computed and
// written by the server in one statement (window functions), is measured beside them.
// Run with tests/chiptag/run_benchmark (starts and stops a private server).
#include "MidIntake.h"
#include "SqlEscape.h"
#include "RankReference.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "TimeText.h"
#include "ProgramSettings.h"
#include "MidTimeLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

using namespace TestSupport;

namespace
{

const QString Event = QStringLiteral("R2026A");
constexpr int Singles = 20;
constexpr int Burst = 300;

enum class Writer { Station, Reference, ServerOnly };

const char *nameOf(Writer w)
{
    return w == Writer::Station ? "station" : w == Writer::Reference ? "per competitor" : "server only";
}

// TimeTextToMsec of a mid time text, in SQL: exact for the station's own mid times and
// for blank fields, not for every odd text (a piece that is not a number, a sign).
QString msecSql(const QString &c)
{
    auto piece = [&c](int from, int length) {
        const QString p = QStringLiteral("TRIM(SUBSTRING(%1,%2,%3))").arg(c).arg(from).arg(length);
        return QStringLiteral("IF(%1 REGEXP '^[0-9]+$',CAST(%1 AS SIGNED),0)").arg(p);
    };
    return QStringLiteral("(((%1*60+%2)*60+%3)*1000+IF(SUBSTRING(%4,10,1) REGEXP '^[0-9]$',SUBSTRING(%4,10,1)*100,0))")
        .arg(piece(1, 2), piece(4, 2), piece(7, 2), c);
}

// MsecToTimeText cut to 10 characters, in SQL, for differences of 0 or more.
QString midTextSql(const QString &d)
{
    const QString s = QStringLiteral("(%1 DIV 1000)").arg(d);
    const QString tenth = QStringLiteral("((%1 MOD 1000) DIV 100)").arg(d);
    const QString ss = QStringLiteral("LPAD(%1 MOD 60,2,'0')").arg(s);
    return QStringLiteral(
               "CASE WHEN %1<10 THEN CONCAT('       ',%1,'.',%2)"
               " WHEN %1<60 THEN CONCAT('      ',%1,'.',%2)"
               " WHEN %1<600 THEN CONCAT('    ',%1 DIV 60,':',%3,'.',%2)"
               " WHEN %1<3600 THEN CONCAT('   ',%1 DIV 60,':',%3,'.',%2)"
               " WHEN %1<36000 THEN CONCAT(' ',%1 DIV 3600,':',LPAD(%1 DIV 60 MOD 60,2,'0'),':',%3,'.',%2)"
               " ELSE LEFT(CONCAT(LPAD(%1 DIV 3600,2,'0'),':',LPAD(%1 DIV 60 MOD 60,2,'0'),':',%3,'.',%2),10)"
               " END")
        .arg(s, tenth, ss);
}

// The whole ranking by the server: ranks and differences in one UPDATE ... JOIN over a
// window query. Measured beside the station's way, which computes the differences with
// the station's own helpers (exact for every text) and sends them in one statement.
class TServerOnlyIntake : public TMidIntake
{
public:
    explicit TServerOnlyIntake(TDm1 *dm) : TMidIntake(dm), m_dm(dm) {}
    void setmidrank(int n) override
    {
        const QString t = QStringLiteral("MIDTIME%1").arg(n);
        const QString tcode = QStringLiteral("'") + SqlEscape(ProgramSettings.CurrentTcode) + QStringLiteral("'");
        m_dm->Query2->setSQL({
            QStringLiteral("UPDATE RESULT R JOIN ("),
            QStringLiteral("SELECT ZEK,RANK() OVER (ORDER BY %1) AS J").arg(t),
            QStringLiteral(",MS-FIRST_VALUE(MS) OVER (ORDER BY %1,ZEK) AS DMS").arg(t),
            QStringLiteral("FROM (SELECT ZEK,%1,%2 AS MS FROM RESULT").arg(t, msecSql(t)),
            QStringLiteral("WHERE TCODE=%1 AND CHAR_LENGTH(%2)>0) T").arg(tcode, t),
            QStringLiteral(") V ON R.ZEK=V.ZEK"),
            QStringLiteral("SET R.MIDDIFF%1=%2,R.MIDJUN%1=V.J").arg(n).arg(midTextSql(QStringLiteral("V.DMS"))),
            QStringLiteral("WHERE R.TCODE=%1").arg(tcode),
        });
        m_dm->Query2->ExecSQL();
    }

private:
    TDm1 *m_dm;
};

QString clock(qint64 ms)
{
    return QString::asprintf("%02lld:%02lld:%02lld.%lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms / 100 % 10);
}

QString bib(int i)
{
    return QString::asprintf("%04d", i);
}

double percentile(QList<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[std::min<int>(int(v.size()) - 1, int(p * v.size()))];
}

struct Figures {
    QList<double> singles; // ms per pass, one new passing each
    double burst = 0;      // ms for one pass over the burst
    RankReference::TStoredRows stored;
};

// One case on a fresh field: `ranked` competitors with a mid time 1 already (every 37th
// of them an emptied one), then `singles` passings at mid point 1 one pass each, then a
// burst of `burst` passings in one pass: at mid point 1 for the competitors still
// without one, then at mid points 2 and up.
Figures run(SuiteDatabase &db, int field, int ranked, int singles, int burst, Writer writer, const QString &logs)
{
    db.reload();
    db.exec(QStringLiteral("USE ") + db.name());
    db.exec(QStringLiteral("DELETE FROM result"));
    QStringList values;
    for (int i = 1; i <= field; ++i)
        values << QStringLiteral("('%1','%2','T','%3','M1','%4')")
                      .arg(Event, bib(i), clock(36000000LL + (i - 1) * 10000LL),
                           i % 5 == 0 ? QStringLiteral("NOR") : QStringLiteral("JPN"));
    db.exec(QStringLiteral("INSERT INTO result (tcode,zek,status,STARTEDTIME,class1,NATION) VALUES ") +
            values.join(QLatin1Char(',')));

    TDm1 dm;
    Dm1 = &dm;
    ConnectDataModule(&dm);
    ProgramSettings.CurrentTcode = Event;
    std::unique_ptr<TMidIntake> intake;
    if (writer == Writer::Station)
        intake = std::make_unique<TMidIntake>(&dm);
    else if (writer == Writer::Reference)
        intake = std::make_unique<RankReference::TReferenceIntake>(&dm);
    else
        intake = std::make_unique<TServerOnlyIntake>(&dm);
    intake->midlog->Path = logs + QLatin1Char('/');
    intake->VoiceOn = [] { return true; };
    intake->ReadExecInfo();
    intake->dispmidrank();

    quint32 seed = 4711;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) & 0xffff);
    };
    // Mid times in a minute's range: with tenths, a field of hundreds has many ties.
    QStringList prefill;
    for (int i = 1; i <= ranked; ++i)
        prefill << QStringLiteral("WHEN '%1' THEN '%2'")
                       .arg(bib(i), i % 37 == 0 ? QString() : MsecToMidText(300000 + next() % 60000));
    if (!prefill.isEmpty())
        db.exec(QStringLiteral("UPDATE result SET midtime1=CASE zek %1 END WHERE zek<='%2'")
                    .arg(prefill.join(QLatin1Char(' ')), bib(ranked)));
    intake->setmidrank(1);

    auto tag = [&](int b, int lap) {
        const qint64 start = 36000000LL + (b - 1) * 10000LL;
        return QStringLiteral("('%1','%2','C1','%3',%4,0)")
            .arg(Event, bib(b), clock(start + lap * 300000LL + next() % 60000))
            .arg(lap);
    };
    Figures f;
    QElapsedTimer timer;
    for (int i = ranked + 1; i <= ranked + singles; ++i) {
        db.exec(QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ") + tag(i, 1));
        timer.start();
        intake->settagmid();
        f.singles << timer.nsecsElapsed() / 1e6;
    }
    QStringList tags;
    const int firstLeft = ranked + singles + 1;
    for (int k = 0; k < burst; ++k) {
        const int b = firstLeft + k;
        if (b <= field)
            tags << tag(b, 1);
        else
            tags << tag((b - firstLeft) % field + 1, 2 + (b - firstLeft) / field);
    }
    if (!tags.isEmpty()) {
        db.exec(QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ") + tags.join(','));
        timer.start();
        intake->settagmid();
        f.burst = timer.nsecsElapsed() / 1e6;
    }
    const int untaken = db.value(QStringLiteral("SELECT count(*) FROM tag_rec WHERE use_mid=0")).toInt();
    if (untaken != 0)
        qFatal("%d passings left untaken", untaken);
    f.stored = db.rows(RankReference::StoredRowsSql(Event));
    intake.reset();
    Dm1 = nullptr;
    return f;
}

bool compareWithReference(QTextStream &out, const Figures &reference, const Figures &f, Writer w)
{
    const QString diff = RankReference::FirstDifference(RankReference::UnderTheTieRule(reference.stored), f.stored);
    out << QStringLiteral("       stored results, %1 against the reference (ties sharing a rank): %2\n")
               .arg(QLatin1String(nameOf(w)), diff.isEmpty() ? QStringLiteral("identical") : diff);
    return diff.isEmpty();
}

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("all");
    SuiteDatabase db(QStringLiteral("b_midintake"));
    const QString durability = db.value(QStringLiteral("SELECT @@innodb_flush_log_at_trx_commit"));
    QTemporaryDir logs;
    QTextStream out(stdout);
    out << "Chip-tag intake: one pass (settagmid: snapshot, lookups, log, statements, ranking, CHAKU row, both "
           "grids reopened)\n";
    out << "server: innodb_flush_log_at_trx_commit=" << durability << "\n";
    bool identical = true;
    const QList<Writer> writers{Writer::Reference, Writer::Station, Writer::ServerOnly};
    if (what == QLatin1String("all") || what == QLatin1String("fields")) {
        out << QString::asprintf("%-6s %-15s %12s %12s %12s %14s\n", "field", "ranking", "1 pass med", "1 pass p95",
                                 "1 pass max", "burst 300");
        for (int field : {100, 300, 1000}) {
            QMap<Writer, Figures> f;
            for (Writer w : writers) {
                f[w] = run(db, field, field - Singles, Singles, Burst, w, logs.path());
                out << QString::asprintf("%-6d %-15s %9.1f ms %9.1f ms %9.1f ms %11.0f ms\n", field, nameOf(w),
                                         percentile(f[w].singles, 0.5), percentile(f[w].singles, 0.95),
                                         percentile(f[w].singles, 1.0), f[w].burst);
                out.flush();
            }
            const Figures &ref = f[Writer::Reference];
            for (Writer w : {Writer::Station, Writer::ServerOnly}) {
                out << QString::asprintf("       %s / per competitor: 1 pass median %.3f, burst %.3f\n", nameOf(w),
                                         ratio(percentile(f[w].singles, 0.5), percentile(ref.singles, 0.5)),
                                         ratio(f[w].burst, ref.burst));
                identical = compareWithReference(out, ref, f[w], w) && identical;
            }
            out.flush();
        }
    }
    if (what == QLatin1String("all") || what == QLatin1String("burst1000")) {
        out << "Burst: 1000 competitors, 700 ranked at mid point 1, the other 300 passing it in one pass\n";
        QMap<Writer, Figures> f;
        for (Writer w : writers) {
            f[w] = run(db, 1000, 700, 0, 300, w, logs.path());
            out << QString::asprintf("       %-15s %9.2f s\n", nameOf(w), f[w].burst / 1000);
            out.flush();
        }
        for (Writer w : {Writer::Station, Writer::ServerOnly}) {
            out << QString::asprintf("       %s / per competitor: %.4f\n", nameOf(w),
                                     ratio(f[w].burst, f[Writer::Reference].burst));
            identical = compareWithReference(out, f[Writer::Reference], f[w], w) && identical;
        }
    }
    return identical ? 0 : 1;
}
