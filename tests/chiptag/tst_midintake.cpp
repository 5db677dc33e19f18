// The chip-tag intake and the mid ranking on the real server: the poll, the lap rule,
// mid times, taken marks, CHAKU rows, announcements, automatic mode, the ranking and its
// display, the log, and what errors leave behind.
// Demo race R2026A: bibs 0001..0060 start from 10:00:00.0 every 30 s; M1 and L1
// (0001-0015, 0031-0045) have 1 passing per lap, M2 and L2 have 2.
#include "MidIntake.h"
#include "MidRankDelegate.h"
#include "RankReference.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "ChipTagWindow.h"
#include "TimeText.h"
#include "ProgramSettings.h"
#include "MidTimeLog.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <mysql.h>
#include <thread>

using namespace TestSupport;

namespace
{
const QString Event = QStringLiteral("R2026A");

QString quoted(QString v)
{
    v.replace(QLatin1String("\\"), QLatin1String("\\\\")).replace(QLatin1String("'"), QLatin1String("''"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

QByteArray readAll(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TstMidIntake : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_midintake")); }
    void init();
    void cleanup();
    void pollRunsOnePassWithinOneTick_data();
    void pollRunsOnePassWithinOneTick();
    void pollWithoutRowNumOneDoesNothing();
    void pass_data();
    void pass();
    void passingWrittenDuringThePassWaits();
    void waitingPassingsAreListedUntilTaken();
    void displayFollowsTheMode_data();
    void displayFollowsTheMode();
    void ranking_data();
    void ranking();
    void rankingMatchesTheReference_data();
    void rankingMatchesTheReference();
    void displayAndBlueRows();
    void logHoldsEveryUpdateAndGrowsAcrossRuns();
    void unwritableLogDoesNotStopTiming();
    void refusedPassingIsSetAside();
    void heldTableLockDelaysThePassing();
    void windowOwnsTheIntake();

private:
    // Tags as "zek|time|count", separated by ';'.
    void addTags(const QString &tags);
    void bumpUpd(int delta = 1)
    {
        m_db->exec(QStringLiteral("UPDATE execinfo SET upd=upd+(%1) WHERE num=1").arg(delta));
    }
    QString midtime(const QString &zek, int n = 1)
    {
        return m_db->value(QStringLiteral("SELECT midtime%1 FROM result WHERE zek=%2").arg(n).arg(quoted(zek)));
    }
    QStringList column(const QString &sql);
    std::unique_ptr<TMidIntake> newIntake();

    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<TDm1> m_dm;
    std::unique_ptr<TMidIntake> m_intake;
    std::unique_ptr<QTemporaryDir> m_logDir;
    std::unique_ptr<DialogRecorder> m_dialogs;
};

void TstMidIntake::init()
{
    m_intake.reset();
    m_dm.reset();
    m_db->reload();
    m_db->exec(QStringLiteral("USE t_midintake")); // the reload dropped the admin's database
    m_dm = std::make_unique<TDm1>();
    Dm1 = m_dm.get();
    // The station's connection: PlovoLocal, root and its password, then Shift-JIS.
    ConnectDataModule(m_dm.get());
    ProgramSettings.CurrentTcode = Event;
    m_logDir = std::make_unique<QTemporaryDir>();
    m_dialogs = std::make_unique<DialogRecorder>();
    m_intake = newIntake();
}

void TstMidIntake::cleanup()
{
    m_intake.reset();
    Dm1 = nullptr;
    m_dm.reset();
    m_dialogs.reset();
}

std::unique_ptr<TMidIntake> TstMidIntake::newIntake()
{
    auto intake = std::make_unique<TMidIntake>(m_dm.get());
    intake->midlog->Path = m_logDir->path() + QLatin1Char('/');
    intake->ReadExecInfo();
    intake->dispmidrank();
    return intake;
}

void TstMidIntake::addTags(const QString &tags)
{
    for (const QString &tag : tags.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = tag.split(QLatin1Char('|'));
        m_db->exec(
            QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ('%1',%2,'C1','%3',%4,0)")
                .arg(Event, quoted(f[0]), f[1], f[2]));
    }
}

QStringList TstMidIntake::column(const QString &sql)
{
    QStringList out;
    for (const QStringList &row : m_db->rows(sql))
        out << row.join(QLatin1Char('|'));
    return out;
}

void TstMidIntake::pollRunsOnePassWithinOneTick_data()
{
    QTest::addColumn<int>("delta");
    QTest::newRow("up") << 1;
    QTest::newRow("down") << -1;
}

void TstMidIntake::pollRunsOnePassWithinOneTick()
{
    QFETCH(int, delta);
    QCOMPARE(m_intake->Timer1->interval(), 250);
    int ticks = 0;
    connect(m_intake->Timer1, &QTimer::timeout, this, [&ticks] { ++ticks; });
    QSignalSpy passes(m_intake.get(), &TMidIntake::passFinished);
    m_intake->Timer1->start();
    QTRY_VERIFY(ticks >= 2);
    QCOMPARE(passes.count(), 0);

    addTags(QStringLiteral("0001|10:05:35.1|1"));
    bumpUpd(delta); // between two ticks: the poll runs on this thread
    const int ticksAtChange = ticks;
    QTRY_COMPARE(passes.count(), 1);
    QCOMPARE(ticks, ticksAtChange + 1);
    QCOMPARE(m_intake->lastupd, delta);
    QCOMPARE(midtime(QStringLiteral("0001")), QStringLiteral("    5:35.1"));
    QTRY_VERIFY(ticks >= ticksAtChange + 4);
    QCOMPARE(passes.count(), 1);
}

void TstMidIntake::pollWithoutRowNumOneDoesNothing()
{
    m_db->exec(QStringLiteral("UPDATE execinfo SET num=2, upd=5"));
    addTags(QStringLiteral("0001|10:05:35.1|1"));
    QSignalSpy passes(m_intake.get(), &TMidIntake::passFinished);
    m_intake->Timer1Timer();
    QCOMPARE(passes.count(), 0);
    QCOMPARE(m_intake->lastupd, 0);
    QCOMPARE(midtime(QStringLiteral("0001")), QStringLiteral("<NULL>"));
    QVERIFY(m_intake->Timer1->isActive());
    QVERIFY(m_dialogs->shown.isEmpty());
}

void TstMidIntake::pass_data()
{
    QTest::addColumn<QStringList>("setup");  // admin statements
    QTest::addColumn<QStringList>("passes"); // tags written before each change of upd
    QTest::addColumn<bool>("voice");
    QTest::addColumn<QStringList>("stored");  // zek|n|midtime|rank|difference of every mid time
    QTest::addColumn<QStringList>("chaku");   // NUM|ZEK|TIME1|LAPS
    QTest::addColumn<QStringList>("untaken"); // bibs with records left untaken
    QTest::addColumn<QStringList>("talk");
    const QStringList none;
    QTest::newRow("counts 1 and 2, 1 per lap")
        << none << QStringList{"0001|10:05:35.1|1;0001|10:11:10.2|2"} << true
        << QStringList{"0001|1|    5:35.1|1|       0.0", "0001|2|   11:10.2|1|       0.0"}
        << QStringList{"1|0001|    5:35.1|1", "2|0001|   11:10.2|2"} << none
        << QStringList{"0001ﾊﾞﾝ,5分35秒1", "0001ﾊﾞﾝ,11分10秒2"};
    QTest::newRow("2 per lap: count 1 waits, count 2 takes both")
        << none << QStringList{"0016|10:10:00.0|1", "0016|10:12:35.1|2"} << true
        << QStringList{"0016|1|    5:05.1|1|       0.0"} << QStringList{"1|0016|    5:05.1|1"} << none
        << QStringList{"0016ﾊﾞﾝ,5分05秒1"};
    QTest::newRow("mid point 6, start at or after the passing")
        << none << QStringList{"0016|11:00:00.0|12;0002|10:00:30.0|1;0003|10:00:59.9|1"} << true << none << none
        << QStringList{"0002", "0003", "0016"} << none;
    QTest::newRow("cut to tenths, hours, voice off")
        << none << QStringList{"0001|10:05:35.199|1;0031|11:38:46.999|1"} << false
        << QStringList{"0001|1|    5:35.1|1|       0.0", "0031|1| 1:23:46.9|2| 1:18:11.8"}
        << QStringList{"1|0001|    5:35.1|1", "2|0031| 1:23:46.9|1"} << none << none;
    QTest::newRow("same mid point again overwrites and re-ranks")
        << none << QStringList{"0001|10:05:35.1|1;0002|10:06:00.0|1", "0001|10:05:20.0|1"} << true
        << QStringList{"0001|1|    5:20.0|1|       0.0", "0002|1|    5:30.0|2|      10.0"}
        << QStringList{"1|0001|    5:35.1|1", "2|0002|    5:30.0|1", "3|0001|    5:20.0|1"} << none
        << QStringList{"0001ﾊﾞﾝ,5分35秒1", "0002ﾊﾞﾝ,5分30秒0", "0001ﾊﾞﾝ,5分20秒0"};
    QTest::newRow("a reading repeated with the same count in one snapshot is taken again")
        << none << QStringList{"0001|10:05:35.1|1;0001|10:05:35.4|1"} << true
        << QStringList{"0001|1|    5:35.4|1|       0.0"} << QStringList{"1|0001|    5:35.1|1", "2|0001|    5:35.4|1"}
        << none << QStringList{"0001ﾊﾞﾝ,5分35秒1", "0001ﾊﾞﾝ,5分35秒4"};
    const QString thenL1 = QStringLiteral(";0031|10:20:30.0|1");
    const QStringList l1Taken{"0031|1|    5:30.0|1|       0.0"};
    QTest::newRow("no env row of rank 1 for the class")
        << QStringList{"INSERT INTO result (tcode,zek,STARTEDTIME,class1) VALUES ('R2026A','0061','10:00:00.0','X9')"}
        << QStringList{"0061|10:05:35.1|1" + thenL1} << true << l1Taken << QStringList{"1|0031|    5:30.0|1"}
        << QStringList{"0061"} << QStringList{"0031ﾊﾞﾝ,5分30秒0"};
    QTest::newRow("0 passings per lap") << QStringList{"UPDATE env SET `1lapn`=0 WHERE class='M1'"}
                                        << QStringList{"0001|10:05:35.1|1" + thenL1} << false << l1Taken
                                        << QStringList{"1|0031|    5:30.0|1"} << QStringList{"0001"} << none;
    QTest::newRow("no result row") << none << QStringList{"0099|10:05:35.1|1" + thenL1} << false << l1Taken
                                   << QStringList{"1|0031|    5:30.0|1"} << QStringList{"0099"} << none;
    QTest::newRow("no start time") << QStringList{"UPDATE result SET STARTEDTIME='' WHERE zek='0001'",
                                                  "UPDATE result SET STARTEDTIME=NULL WHERE zek='0002'"}
                                   << QStringList{"0001|10:05:35.1|1;0002|10:05:35.1|1" + thenL1} << false << l1Taken
                                   << QStringList{"1|0031|    5:30.0|1"} << QStringList{"0001", "0002"} << none;
    // Bibs with a quote and a backslash (the latter written as bytes: a backslash from the
    // UTF-8 client would be stored as the full-width one), and two that would change the
    // statements if pasted raw.
    QTest::newRow("quotes and backslashes stay data")
        << QStringList{"INSERT INTO result (tcode,zek,STARTEDTIME,class1) VALUES ('R2026A','00''1','10:00:00.0','M1'),"
                       "('R2026A',X'30305C32','10:00:00.0','M1')",
                       "INSERT INTO tag_rec (tcode,zek,term,time,count) VALUES "
                       "('R2026A',X'30305C32','C1','10:06:35.1',1)"}
        << QStringList{"00'1|10:05:35.1|1;' OR ''='|10:07:00.0|1;0001' --|10:07:00.0|1"} << true
        << QStringList{"00'1|1|    5:35.1|1|       0.0", "00\\2|1|    6:35.1|2|    1:00.0"}
        << QStringList{"1|00'1|    5:35.1|1", "2|00\\2|    6:35.1|1"} << QStringList{"' OR ''='", "0001' --"}
        << QStringList{"00'1ﾊﾞﾝ,5分35秒1", "00\\2ﾊﾞﾝ,6分35秒1"};
}

void TstMidIntake::pass()
{
    QFETCH(QStringList, setup);
    QFETCH(QStringList, passes);
    QFETCH(bool, voice);
    for (const QString &sql : setup)
        m_db->exec(sql);
    m_intake->VoiceOn = [voice] { return voice; };
    for (const QString &tags : passes) {
        addTags(tags);
        bumpUpd();
        m_intake->Timer1Timer();
    }
    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join('\n')));
    QStringList stored;
    for (int n = 1; n <= 5; ++n)
        stored +=
            column(QStringLiteral("SELECT zek,%1,midtime%1,midjun%1,middiff%1 FROM result WHERE midtime%1 IS NOT NULL "
                                  "ORDER BY zek")
                       .arg(n));
    stored.sort();
    QTEST(stored, "stored");
    QTEST(column(QStringLiteral("SELECT NUM,ZEK,TIME1,LAPS FROM CHAKU ORDER BY NUM")), "chaku");
    QTEST(column(QStringLiteral("SELECT DISTINCT zek FROM tag_rec WHERE use_mid=0 ORDER BY zek")), "untaken");
    QTEST(m_intake->talklist, "talk");
    QCOMPARE(m_dm->qChaku->RecordCount(), m_db->value(QStringLiteral("SELECT count(*) FROM CHAKU")).toInt());
    QCOMPARE(m_intake->lastupd, int(passes.size()));
}

void TstMidIntake::waitingPassingsAreListedUntilTaken()
{
    using Decision = MidLogic::TMidDecision;
    auto waiting = [this] {
        QStringList out;
        for (const MidLogic::TWaitingPassing &w : m_intake->waiting)
            out << w.zek + QLatin1Char('|') + w.reason;
        return out;
    };
    m_db->exec(QStringLiteral("UPDATE result SET STARTEDTIME='' WHERE zek='0001'"));
    m_db->exec(
        QStringLiteral("INSERT INTO result (tcode,zek,STARTEDTIME,class1) VALUES ('R2026A','0061','10:00:00.0','X9')"));
    // In time order: a start after the passing, no start time, no course row, the first
    // passing of a 2-per-lap class (waits for its lap, not for data), mid point 6.
    addTags(QStringLiteral("0002|10:00:20.0|1;0001|10:05:35.1|1;0061|10:06:00.0|1;0017|10:10:00.0|1;"
                           "0016|11:00:00.0|12"));
    bumpUpd();
    m_intake->Timer1Timer();
    const QString tooEarly = QStringLiteral("0002|") + MidLogic::WaitingReason(Decision::NotPositive);
    const QString tooHigh = QStringLiteral("0016|") + MidLogic::WaitingReason(Decision::PointTooHigh);
    QCOMPARE(waiting(), (QStringList{tooEarly, QStringLiteral("0001|") + MidLogic::WaitingReason(Decision::NoStartTime),
                                     QStringLiteral("0061|") + MidLogic::WaitingReason(Decision::NoCourse), tooHigh}));
    QVERIFY(MidLogic::WaitingSummary(m_intake->waiting).startsWith(QStringLiteral("取込待ちの通過 4件: 0002 ")));

    // Put right, they are taken at the next pass and leave the list.
    m_db->exec(QStringLiteral("UPDATE result SET STARTEDTIME='10:00:00.0' WHERE zek='0001'"));
    m_db->exec(QStringLiteral("INSERT INTO env (tcode,class,`rank`,`1lapn`) VALUES ('R2026A','X9','1',1)"));
    bumpUpd();
    m_intake->Timer1Timer();
    QCOMPARE(waiting(), (QStringList{tooEarly, tooHigh}));
    QCOMPARE(midtime(QStringLiteral("0001")), QStringLiteral("    5:35.1"));
    QCOMPARE(midtime(QStringLiteral("0061")), QStringLiteral("    6:00.0"));
}

void TstMidIntake::passingWrittenDuringThePassWaits()
{
    // The chip-tag program writes 0001's next lap while the pass runs, after the snapshot
    // and before the taken mark: a trigger on the mid-time update plays it.
    m_db->exec(QStringLiteral(
        "CREATE TRIGGER next_lap AFTER UPDATE ON result FOR EACH ROW "
        "IF NEW.zek='0001' AND NEW.midtime1 IS NOT NULL AND OLD.midtime1 IS NULL THEN "
        "INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ('R2026A','0001','C1','10:11:10.2',2,0); "
        "END IF"));
    addTags(QStringLiteral("0001|10:05:35.1|1"));
    bumpUpd();
    m_intake->Timer1Timer();
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM tag_rec WHERE use_mid=0")), QStringLiteral("1"));
    bumpUpd(); // as the chip-tag program does after writing
    m_intake->Timer1Timer();
    QCOMPARE(midtime(QStringLiteral("0001"), 2), QStringLiteral("   11:10.2"));
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM tag_rec WHERE use_mid=0")), QStringLiteral("0"));
}

void TstMidIntake::displayFollowsTheMode_data()
{
    QTest::addColumn<int>("tagauto");
    QTest::addColumn<int>("shownPoint");
    QTest::newRow("automatic: ends on the last passing's point") << 1 << 1;
    QTest::newRow("fixed on mid point 3") << 0 << 3;
}

void TstMidIntake::displayFollowsTheMode()
{
    QFETCH(int, tagauto);
    QFETCH(int, shownPoint);
    m_intake->tagauto = tagauto;
    m_intake->midno = 3;
    m_intake->dispmidrank();
    addTags(QStringLiteral("0001|10:11:10.2|2;0002|10:11:30.0|1")); // mid point 2, then 1
    bumpUpd();
    m_intake->Timer1Timer();
    QCOMPARE(m_intake->midno, shownPoint);
    QCOMPARE(m_dm->qMidRank->SQL().first(), QStringLiteral("SELECT MIDJUN%1 AS MJ").arg(shownPoint));
    QCOMPARE(m_dm->qMidRank->RecordCount(), shownPoint == 1 ? 1 : 0);
}

void TstMidIntake::ranking_data()
{
    QTest::addColumn<QStringList>("times");    // zek|midtime2 ("<NULL>" for NULL)
    QTest::addColumn<QStringList>("expected"); // zek|rank|difference of the rows of `times`, by zek
    QTest::newRow("one competitor") << QStringList{"0005|    5:35.1"} << QStringList{"0005|1|       0.0"};
    QTest::newRow("equal times share a rank, the next rank skips")
        << QStringList{"0009|    5:35.1", "0005|    5:35.1", "0007|    5:36.0",
                       "0003|    5:35.1", "0004|    5:37.0", "0008|    5:37.0"}
        << QStringList{"0003|1|       0.0", "0004|5|       1.9", "0005|1|       0.0",
                       "0007|4|       0.9", "0008|5|       1.9", "0009|1|       0.0"};
    QTest::newRow("NULL and empty neither ranked nor touched")
        << QStringList{"0003|<NULL>", "0004|", "0006|    6:00.0"}
        << QStringList{"0003|77|old", "0004|77|old", "0006|1|       0.0"};
    QTest::newRow("an hour or more after every time under an hour")
        << QStringList{"0001| 1:00:00.0", "0002|   59:59.9", "0004|      35.1", "0005|10:00:00.0"}
        << QStringList{"0001|3|   59:24.9", "0002|2|   59:24.8", "0004|1|       0.0", "0005|4| 9:59:24.9"};
    // A blank mid time is not an empty one: it reads as 0 and leads.
    QTest::newRow("blank mid time") << QStringList{"0001|    ", "0002|    5:00.0"}
                                    << QStringList{"0001|1|       0.0", "0002|2|    5:00.0"};
    // The list of entries takes its column types from all its rows, not the first.
    QTest::newRow("a long bib after a short one")
        << QStringList{"7|    5:00.0", "0008|    5:01.0", "ABCDEFGHIJ|    5:02.0"}
        << QStringList{"0008|2|       1.0", "7|1|       0.0", "ABCDEFGHIJ|3|       2.0"};
    // The server compares bibs without letter case and trailing blanks: the rows of x1
    // and "X1 " are one competitor to every update, and keep the values of the slower.
    QTest::newRow("one bib to the server, two rows")
        << QStringList{"0005|    5:35.1", "0006|    5:40.0", "x1|    5:30.0", "X1 |    5:50.0"}
        << QStringList{"0005|2|       5.1", "0006|3|      10.0", "X1 |4|      20.0", "x1|4|      20.0"};
    // The same with the two rows in different statements of the write (over 100 ranked).
    QStringList times{"x1|    4:00.0", "X1 |    6:00.0"}, expected{"X1 |122|    2:00.0", "x1|122|    2:00.0"};
    for (int i = 0; i < 120; ++i) {
        const QString zek = QString::asprintf("%04d", 100 + i);
        times << zek + QLatin1Char('|') + MsecToMidText(300000 + 100 * i);
        expected.insert(i, zek + QStringLiteral("|%1|").arg(i + 2) + MsecToMidText(60000 + 100 * i));
    }
    QTest::newRow("one bib to the server, far apart") << times << expected;
}

void TstMidIntake::ranking()
{
    QFETCH(QStringList, times);
    m_db->exec(QStringLiteral("UPDATE result SET midjun2=77, middiff2='old'"));
    QStringList bibs;
    for (const QString &t : times) {
        const QStringList f = t.split(QLatin1Char('|'));
        bibs << quoted(f[0]);
        m_db->exec(QStringLiteral("INSERT INTO result (tcode,zek,class1) SELECT '%1',%2,'M1' FROM DUAL WHERE NOT "
                                  "EXISTS (SELECT 1 FROM result WHERE BINARY zek=%2)")
                       .arg(Event, quoted(f[0])));
        m_db->exec(QStringLiteral("UPDATE result SET midtime2=%1 WHERE BINARY zek=%2")
                       .arg(f[1] == QLatin1String("<NULL>") ? QStringLiteral("NULL") : quoted(f[1]), quoted(f[0])));
    }
    // Ranked twice: the second finds the first's values and writes only what differs.
    m_intake->setmidrank(2);
    m_intake->setmidrank(2);
    QTEST(column(QStringLiteral("SELECT zek,midjun2,middiff2 FROM result WHERE zek IN (%1) ORDER BY BINARY zek")
                     .arg(bibs.join(QLatin1Char(',')))),
          "expected");
    // Only the competitors with a mid time there are ranked.
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM result WHERE midjun2<>77 AND zek NOT IN (%1)")
                             .arg(bibs.join(QLatin1Char(',')))),
             QStringLiteral("0"));
}

void TstMidIntake::rankingMatchesTheReference_data()
{
    QTest::addColumn<int>("field");  // competitors 0001 .. with mid times at points 1 and 3
    QTest::addColumn<int>("spread"); // mid times fall in 5:00.0 + 0 .. spread tenths: ties
    QTest::newRow("12 competitors, few distinct times") << 12 << 4;
    QTest::newRow("60 competitors, empty, NULL, blank and hours") << 60 << 40;
    QTest::newRow("250 competitors, written in several statements") << 250 << 600;
}

void TstMidIntake::rankingMatchesTheReference()
{
    // Both writers rank the same mid times; the stored result tables must be the same
    // apart from the ranks of equal times.
    QFETCH(int, field);
    QFETCH(int, spread);
    quint32 seed = 17;
    for (int i = 1; i <= field; ++i)
        m_db->exec(QStringLiteral("INSERT INTO result (tcode,zek,class1) SELECT '%1','%2','M1' FROM DUAL "
                                  "WHERE NOT EXISTS (SELECT 1 FROM result WHERE zek='%2')")
                       .arg(Event, QString::asprintf("%04d", i)));
    for (int i = 1; i <= field; ++i) {
        QStringList set;
        for (int n : {1, 3}) {
            seed = seed * 1103515245u + 12345u;
            const int tenths = int((seed >> 8) % quint32(spread + 1));
            QString value = quoted(MsecToMidText(300000 * n + tenths * 100));
            if (i % 11 == 0)
                value = QStringLiteral("''");
            else if (i % 13 == 0)
                value = QStringLiteral("NULL");
            else if (field > 12 && i % 17 == 0)
                value = n == 1 ? QStringLiteral("'    '") : quoted(MsecToMidText(3600000 + tenths * 100));
            set << QStringLiteral("midtime%1=%2").arg(n).arg(value);
        }
        m_db->exec(QStringLiteral("UPDATE result SET %1 WHERE zek='%2'")
                       .arg(set.join(QLatin1Char(',')), QString::asprintf("%04d", i)));
    }
    const QString stored = RankReference::StoredRowsSql(Event);
    for (int n : {1, 3})
        RankReference::setmidrank(m_dm.get(), n, Event);
    const RankReference::TStoredRows reference = m_db->rows(stored);
    m_db->exec(QStringLiteral("UPDATE result SET middiff1=NULL,midjun1=NULL,middiff3=NULL,midjun3=NULL"));
    for (int n : {1, 3})
        m_intake->setmidrank(n);
    const QString difference =
        RankReference::FirstDifference(RankReference::UnderTheTieRule(reference), m_db->rows(stored));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The case has ties at all.
    QVERIFY(
        m_db->value(QStringLiteral("SELECT count(*) - count(DISTINCT midjun1) FROM result WHERE midjun1 IS NOT NULL"))
            .toInt() > 0);
}

void TstMidIntake::displayAndBlueRows()
{
    m_db->exec(QStringLiteral("UPDATE result SET NATION='jpn' WHERE zek='0002'"));
    for (const char *row : {"0001|    5:00.0", "0002|    5:02.0", "0005|    5:01.0", "0007|"}) {
        const QStringList f = QString::fromLatin1(row).split(QLatin1Char('|'));
        m_db->exec(QStringLiteral("UPDATE result SET midtime2='%1' WHERE zek='%2'").arg(f[1], f[0]));
    }
    m_intake->setmidrank(2);
    m_intake->midno = 2;
    m_intake->dispmidrank();
    TQuery *q = m_dm->qMidRank;
    QStringList shown;
    for (int r = 0; r < q->RecordCount(); ++r)
        shown << QStringList{q->valueOf(r, "MJ"), q->valueOf(r, "ZEK"), q->valueOf(r, "MTS"), q->valueOf(r, "MDS"),
                             q->valueOf(r, "NATION")}
                     .join(QLatin1Char('|'));
    QCOMPARE(shown, (QStringList{"1|0001|    5:00.0|       0.0|JPN", "2|0005|    5:01.0|       1.0|NOR",
                                 "3|0002|    5:02.0|       2.0|jpn"}));
    // "JPN" exactly is blue in every column; "NOR" and "jpn" keep the grid's colour.
    TDataSource *model = m_dm->dsMidRank;
    for (int c = 0; c < model->columnCount(); ++c) {
        QCOMPARE(TMidRankDelegate::TextColour(model->index(0, c)), QColor(0, 0, 255));
        QVERIFY(!TMidRankDelegate::TextColour(model->index(1, c)).isValid());
        QVERIFY(!TMidRankDelegate::TextColour(model->index(2, c)).isValid());
    }
    m_intake->midno = 5;
    m_intake->dispmidrank();
    QCOMPARE(model->rowCount(), 0);
}

void TstMidIntake::logHoldsEveryUpdateAndGrowsAcrossRuns()
{
    QCOMPARE(m_intake->midlog->FileName, QStringLiteral("VidadIva.log"));
    addTags(QStringLiteral("0001|10:05:35.1|1;0002|10:06:00.0|1"));
    bumpUpd();
    m_intake->Timer1Timer();
    m_intake = newIntake(); // a new window, as in a later run of the program
    addTags(QStringLiteral("0001|10:11:10.2|2"));
    bumpUpd();
    m_intake->Timer1Timer();
    QCOMPARE(
        readAll(m_logDir->filePath(QStringLiteral("VidadIva.log"))),
        QByteArray("update result\r\nset midtime1 = '    5:35.1'\r\nwhere tcode='R2026A'\r\nAND ZEK='0001'\r\n\r\n"
                   "update result\r\nset midtime1 = '    5:30.0'\r\nwhere tcode='R2026A'\r\nAND ZEK='0002'\r\n\r\n"
                   "update result\r\nset midtime2 = '   11:10.2'\r\nwhere tcode='R2026A'\r\nAND ZEK='0001'\r\n\r\n"));
}

void TstMidIntake::unwritableLogDoesNotStopTiming()
{
    // The log's folder is gone (a full disk looks the same to the station): the passing
    // is taken all the same, the operator is told, and the entry is written once the log
    // can be written again, before the next one.
    m_intake->midlog->Path = m_logDir->path() + QStringLiteral("/missing/");
    addTags(QStringLiteral("0001|10:05:35.1|1"));
    bumpUpd();
    m_intake->Timer1->start();
    m_intake->Timer1Timer();
    QVERIFY(m_dialogs->shown.isEmpty());
    QCOMPARE(midtime(QStringLiteral("0001")), QStringLiteral("    5:35.1"));
    QVERIFY(m_intake->Timer1->isActive());
    QCOMPARE(m_intake->Notices().size(), 1);
    QVERIFY(m_intake->Notices().first().contains(QStringLiteral("VidadIva.log")));

    QVERIFY(QDir().mkpath(m_intake->midlog->Path));
    addTags(QStringLiteral("0002|10:06:00.0|1"));
    bumpUpd();
    m_intake->Timer1Timer();
    const QByteArray log = readAll(m_intake->midlog->Path + QStringLiteral("VidadIva.log"));
    QCOMPARE(log.count("update result"), 2);
    QVERIFY(log.indexOf("ZEK='0001'") < log.indexOf("ZEK='0002'"));
    QVERIFY(m_intake->Notices().isEmpty());
}

void TstMidIntake::refusedPassingIsSetAside()
{
    // The timing system's own CHAKU keeps bibs of four characters; a strict server refuses
    // a longer one. That passing is rolled back and listed; the others are taken, in this
    // pass and the next, and it is taken too once the column is put right.
    m_db->exec(QStringLiteral("ALTER TABLE CHAKU MODIFY ZEK VARCHAR(4) NULL"));
    m_db->exec(QStringLiteral("CREATE TEMPORARY TABLE t AS SELECT * FROM result WHERE zek='0007'"));
    m_db->exec(QStringLiteral("UPDATE t SET zek='00007'"));
    m_db->exec(QStringLiteral("INSERT INTO result SELECT * FROM t"));
    addTags(QStringLiteral("0001|10:05:35.1|1;00007|10:09:00.0|1;0003|10:06:35.3|1;0004|10:07:35.4|1"));
    // Bytes the server's sjis takes but that form no character: listed, not skipped unseen.
    m_db->exec(QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) "
                              "VALUES ('R2026A',X'EB40','C1','10:08:00.0',1,0)"));
    bumpUpd();
    m_intake->Timer1->start();
    m_intake->Timer1Timer();
    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join('|')));
    QVERIFY(m_intake->Timer1->isActive());
    QCOMPARE(column(QStringLiteral("SELECT zek FROM tag_rec WHERE use_mid=0 AND zek<>X'EB40'")), QStringList{"00007"});
    QCOMPARE(midtime(QStringLiteral("00007")), QStringLiteral("<NULL>")); // rolled back whole
    QCOMPARE(m_intake->waiting.size(), 2);
    QCOMPARE(m_intake->waiting.at(0).reason, MidLogic::UnreadableReason()); // in time order
    QCOMPARE(m_intake->waiting.at(1).zek, QStringLiteral("00007"));

    addTags(QStringLiteral("0005|10:08:35.5|1"));
    bumpUpd();
    m_intake->Timer1Timer();
    QCOMPARE(column(QStringLiteral("SELECT zek FROM tag_rec WHERE use_mid=0 AND zek<>X'EB40'")), QStringList{"00007"});

    m_db->exec(QStringLiteral("ALTER TABLE CHAKU MODIFY ZEK VARCHAR(10) NULL"));
    bumpUpd();
    m_intake->Timer1Timer();
    QCOMPARE(column(QStringLiteral("SELECT zek FROM tag_rec WHERE use_mid=0 AND zek<>X'EB40'")), QStringList());
    QCOMPARE(column(QStringLiteral("SELECT ZEK FROM CHAKU ORDER BY NUM")),
             (QStringList{"0001", "0003", "0004", "0005", "00007"}));
    QCOMPARE(m_intake->waiting.size(), 1);
}

void TstMidIntake::heldTableLockDelaysThePassing()
{
    // Another program of the timing system holds result for 8 s, longer than the bound
    // on connecting, while a passing arrives.
    std::atomic<bool> locked{false};
    std::thread other([&locked] {
        MYSQL *m = mysql_init(nullptr);
        const QByteArray socket = serverSocket().toLocal8Bit();
        if (mysql_real_connect(m, "localhost", "root", "rufan", "t_midintake", 0, socket.constData(), 0) &&
            mysql_query(m, "LOCK TABLES result WRITE") == 0) {
            locked = true;
            std::this_thread::sleep_for(std::chrono::seconds(8));
            mysql_query(m, "UNLOCK TABLES");
        }
        mysql_close(m);
    });
    QTRY_VERIFY_WITH_TIMEOUT(locked, 10000);
    addTags(QStringLiteral("0001|10:05:35.1|1"));
    bumpUpd();
    m_intake->Timer1->start();
    // Taken once the lock is gone; the poll goes on, no box. (Only CHAKU is read while
    // the lock is held: a read of result would wait for it too.)
    QTRY_COMPARE_WITH_TIMEOUT(column(QStringLiteral("SELECT zek,laps FROM CHAKU")), QStringList{"0001|1"}, 30000);
    other.join();
    QCOMPARE(midtime(QStringLiteral("0001")), QStringLiteral("    5:35.1"));
    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join(QLatin1Char('\n'))));
    QTRY_VERIFY(m_intake->Timer1->isActive());
    addTags(QStringLiteral("0002|10:06:00.0|1"));
    bumpUpd();
    QTRY_COMPARE(midtime(QStringLiteral("0002")), QStringLiteral("    5:30.0"));
}

void TstMidIntake::windowOwnsTheIntake()
{
    TFmid window(m_dm.get());
    QCOMPARE(window.Timer1, window.Intake->Timer1);
    QVERIFY(!window.Timer1->isActive());
    QCOMPARE(window.Intake->midlog->Path, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QCOMPARE(window.Intake->midlog->FileName, QStringLiteral("VidadIva.log"));
}

QTEST_MAIN(TstMidIntake)
#include "tst_midintake.moc"
