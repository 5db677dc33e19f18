// Plays the chip-tag reading program for a rehearsal: inserts tag_rec rows at the mid
// antenna "C1" for the running event's field, with the running count per bib, at times
// that follow each competitor's start and pace, and changes EXECINFO.upd after every write
// as the real program does. A few readings come twice; a few competitors never pass.
#include "RehearsalField.h"
#include "Database.h"
#include "Errors.h"
#include "EventStatements.h"
#include "PassingTransaction.h"
#include "Query.h"
#include "TagStatements.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <cstdio>

// The station marks the readings it takes in a transaction of its own; a write that
// meets it may be refused as a conflict, which the reading program writes again.
static void ExecOverConflicts(TQuery &query)
{
    for (int attempt = 1;; ++attempt) {
        try {
            query.ExecSQL();
            return;
        } catch (const EDatabaseError &e) {
            if (attempt >= 5 || !IsConflict(e))
                throw;
            std::fprintf(stderr, "chiptag_writer: written again after %s\n", qPrintable(e.message()));
        }
    }
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("chiptag_writer"));
    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Writes chip-tag readings at the mid antenna C1 into tag_rec for the running event and\n"
                       "changes EXECINFO.upd after each write. The database is reached by data source name\n"
                       "(unixODBC configuration from ODBCSYSINI/ODBCINI)."));
    cli.addHelpOption();
    cli.addOptions({
        {QStringLiteral("dsn"), QStringLiteral("Data source name (default PlovoLocal)."), QStringLiteral("name"),
         QStringLiteral("PlovoLocal")},
        {QStringLiteral("competitors"), QStringLiteral("Only the first n competitors by bib (0: all)."),
         QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("laps"), QStringLiteral("Laps each competitor skis (default 2)."), QStringLiteral("n"),
         QStringLiteral("2")},
        {QStringLiteral("speed"),
         QStringLiteral("Simulated seconds per real second (default 10; 1 is real time; 0 writes everything at once)."),
         QStringLiteral("x"), QStringLiteral("10")},
        {QStringLiteral("absent-every"),
         QStringLiteral("Every n-th competitor never passes (default 13; 0: all pass)."), QStringLiteral("n"),
         QStringLiteral("13")},
        {QStringLiteral("duplicate-every"), QStringLiteral("Every n-th reading comes twice (default 17; 0: none)."),
         QStringLiteral("n"), QStringLiteral("17")},
        {QStringLiteral("seed"), QStringLiteral("Random seed (default 1)."), QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("record"), QStringLiteral("Append every reading written to this file (bib, count, time)."),
         QStringLiteral("file")},
    });
    cli.process(app);

    try {
        TDatabase db;
        ConnectRehearsal(db, cli.value(QStringLiteral("dsn")));
        const QString tcode = RunningEvent(db);
        if (tcode.isEmpty()) {
            std::fprintf(stderr, "chiptag_writer: no event is running (EXECINFO row 1 has no tcode)\n");
            return 1;
        }
        std::mt19937 random(cli.value(QStringLiteral("seed")).toUInt());
        const QList<TCompetitor> field = LoadField(db, tcode, cli.value(QStringLiteral("competitors")).toInt());
        const QList<TPassing> plan = PlanRace(field, cli.value(QStringLiteral("laps")).toInt(),
                                              cli.value(QStringLiteral("absent-every")).toInt(), random);
        const double speed = cli.value(QStringLiteral("speed")).toDouble();
        const int duplicateEvery = cli.value(QStringLiteral("duplicate-every")).toInt();
        std::printf("chiptag_writer: event %s, %d competitors, %d readings\n", qPrintable(tcode), int(field.size()),
                    int(plan.size()));
        std::fflush(stdout);

        QFile record(cli.value(QStringLiteral("record")));
        if (!record.fileName().isEmpty() && !record.open(QIODevice::Append | QIODevice::Text)) {
            std::fprintf(stderr, "chiptag_writer: cannot write %s\n", qPrintable(record.fileName()));
            return 1;
        }
        QTextStream log(&record);

        const TSimClock clock(plan.isEmpty() ? 0 : plan.first().timeMs - 2000, speed);
        TQuery insert(&db, QStringLiteral("insert"));
        TQuery bump(&db, QStringLiteral("bump"));
        bump.setSQL(ChangeCountBumpSql());
        int written = 0;
        for (const TPassing &p : plan) {
            if (speed > 0)
                clock.waitUntil(p.timeMs);
            const int copies = duplicateEvery > 0 && ++written % duplicateEvery == 0 ? 2 : 1;
            for (int copy = 0; copy < copies; ++copy) {
                const QString time = ClockText(p.timeMs + copy * 300);
                insert.setSQL(TagReadingInsertSql(tcode, p.zek, time, p.count));
                ExecOverConflicts(insert);
                ExecOverConflicts(bump);
                if (record.isOpen()) {
                    log << p.zek << '\t' << p.count << '\t' << time << '\n';
                    log.flush();
                }
            }
        }
        std::printf("chiptag_writer: done\n");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "chiptag_writer: %s\n", e.what());
        return 1;
    }
    return 0;
}
