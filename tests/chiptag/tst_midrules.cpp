// The rules of the chip-tag intake without a database: the lap rule, what a waiting
// passing says, the announcement text, the ranking of a mid point and values that must
// stay data in statements.
#include "ChakuStatements.h"
#include "MidRules.h"
#include "ResultStatements.h"
#include "TagStatements.h"
#include "TextFields.h"

#include <QtTest>

using namespace MidLogic;
Q_DECLARE_METATYPE(MidLogic::TMidDecision::Outcome)

class TstMidRules : public QObject
{
    Q_OBJECT
private slots:
    void lapRule_data();
    void lapRule();
    void waitingReasons_data();
    void waitingReasons();
    void waitingSummary_data();
    void waitingSummary();
    void announcement_data();
    void announcement();
    void midRanking_data();
    void midRanking();
    void quotesStayData();
    void fullWidthNumber_data();
    void fullWidthNumber();
};

void TstMidRules::lapRule_data()
{
    QTest::addColumn<int>("perLap"); // -99: no course row
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("time");
    QTest::addColumn<int>("cont");
    QTest::addColumn<TMidDecision::Outcome>("outcome");
    QTest::addColumn<int>("point");
    QTest::addColumn<QString>("text");
    using D = TMidDecision;
    QTest::newRow("1 per lap, count 2") << 1 << "10:00:00.0"
                                        << "10:11:10.2" << 2 << D::Take << 2 << "   11:10.2";
    QTest::newRow("2 per lap, count 1") << 2 << "10:00:00.0"
                                        << "10:05:35.1" << 1 << D::NotLapEnd << 0 << "";
    QTest::newRow("2 per lap, count 10") << 2 << "10:00:00.0"
                                         << "11:23:31.4" << 10 << D::Take << 5 << " 1:23:31.4";
    QTest::newRow("2 per lap, count 12") << 2 << "10:00:00.0"
                                         << "11:00:00.0" << 12 << D::PointTooHigh << 6 << " 1:00:00.0";
    QTest::newRow("count 0") << 1 << "10:00:00.0"
                             << "10:05:35.1" << 0 << D::NotLapEnd << 0 << "";
    QTest::newRow("start at the passing") << 1 << "10:05:35.1"
                                          << "10:05:35.1" << 1 << D::NotPositive << 1 << "";
    QTest::newRow("start after the passing: not the next day") << 1 << "23:59:30.0"
                                          << "00:00:45.3" << 1 << D::NotPositive << 1 << "";
    QTest::newRow("cut, not rounded") << 1 << "10:00:00.000"
                                      << "10:05:35.199" << 1 << D::Take << 1 << "    5:35.1";
    QTest::newRow("ten hours") << 1 << "00:00:01.0"
                               << "12:03:06.4" << 1 << D::Take << 1 << "12:03:05.4";
    QTest::newRow("no course row") << -99 << ""
                                   << "10:05:35.1" << 1 << D::NoCourse << 0 << "";
    QTest::newRow("0 per lap") << 0 << "10:00:00.0"
                               << "10:05:35.1" << 1 << D::NoCourse << 0 << "";
    QTest::newRow("blank start") << 1 << "   "
                                 << "10:05:35.1" << 1 << D::NoStartTime << 1 << "";
}

void TstMidRules::lapRule()
{
    QFETCH(int, perLap);
    QFETCH(QString, start);
    QFETCH(QString, time);
    QFETCH(int, cont);
    const TMidDecision d = DecidePassing(perLap != -99, perLap, start, TTagPassing{"0001", "C1", time, cont});
    QTEST(d.outcome, "outcome");
    QTEST(d.point, "point");
    QTEST(d.text, "text");
}

void TstMidRules::waitingReasons_data()
{
    QTest::addColumn<QString>("reason"); // as the rule gives it
    QTest::addColumn<QString>("expected");
    using D = TMidDecision;
    // clang-format off
    QTest::newRow("no course row") << WaitingReason(D::NoCourse) << "コース設定（クラスの1周の通過回数）か成績の行がありません";
    QTest::newRow("no start time") << WaitingReason(D::NoStartTime) << "スタート時刻がありません";
    QTest::newRow("start after the passing") << WaitingReason(D::NotPositive) << "スタート時刻が通過時刻より後です";
    QTest::newRow("mid point 6") << WaitingReason(D::PointTooHigh) << "中間６以上になります（通過回数を確かめてください）";
    QTest::newRow("taken: does not wait") << WaitingReason(D::Take) << "";
    QTest::newRow("not the end of a lap: does not wait") << WaitingReason(D::NotLapEnd) << "";
    QTest::newRow("refused, on one line") << RefusedReason("Data too long for column 'ZEK'\nat row 1") << "データベースが書込みを拒否しました（Data too long for column 'ZEK' at row 1）";
    QTest::newRow("bib not Shift-JIS") << UnreadableReason() << "ゼッケンかアンテナに Shift-JIS でない文字があります";
    // clang-format on
}

void TstMidRules::waitingReasons()
{
    QFETCH(QString, reason);
    QTEST(reason, "expected");
}

void TstMidRules::waitingSummary_data()
{
    QTest::addColumn<QStringList>("waiting"); // zek|reason, in time order
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("none") << QStringList{} << "";
    QTest::newRow("one") << QStringList{"0002|スタート時刻がありません"} << "取込待ちの通過 1件: 0002 スタート時刻がありません";
    QTest::newRow("two, as listed") << QStringList{"0099|成績の行がありません", "0002|スタート時刻がありません"}
                                    << "取込待ちの通過 2件: 0099 成績の行がありません、0002 スタート時刻がありません";
    // clang-format on
}

void TstMidRules::waitingSummary()
{
    QFETCH(QStringList, waiting);
    QList<TWaitingPassing> passings;
    for (const QString &w : waiting)
        passings << TWaitingPassing{w.section(QLatin1Char('|'), 0, 0), w.section(QLatin1Char('|'), 1)};
    QTEST(WaitingSummary(passings), "expected");
}

void TstMidRules::announcement_data()
{
    QTest::addColumn<QString>("zek");
    QTest::addColumn<QString>("t");
    QTest::addColumn<QString>("expected");
    // clang-format off
    QTest::newRow("an hour and more") << "167" << " 1:23:31.4" << "167ﾊﾞﾝ,1時間23分31秒4";
    QTest::newRow("minutes") << "0001" << "    5:35.1" << "0001ﾊﾞﾝ,5分35秒1";
    QTest::newRow("seconds keep their zero") << "0001" << "   12:05.1" << "0001ﾊﾞﾝ,12分05秒1";
    QTest::newRow("ten hours and more") << "0001" << "12:03:05.4" << "0001ﾊﾞﾝ,12時間03分05秒4";
    QTest::newRow("under a minute") << "0001" << "      35.1" << "0001ﾊﾞﾝ,分35秒1";
    QTest::newRow("under ten seconds") << "0001" << "       5.1" << "0001ﾊﾞﾝ,分 5秒1";
    // clang-format on
}

void TstMidRules::announcement()
{
    QFETCH(QString, zek);
    QFETCH(QString, t);
    QTEST(AnnouncementText(zek, t), "expected");
}

void TstMidRules::midRanking_data()
{
    QTest::addColumn<QStringList>("rows");    // zek|mid time, in the ranking query's order (time, then bib)
    QTest::addColumn<QStringList>("entries"); // zek|rank|difference to the leader
    // clang-format off
    QTest::newRow("one competitor") << QStringList{"0005|    5:35.1"} << QStringList{"0005|1|       0.0"};
    QTest::newRow("equal times share a rank, the next rank skips")
        << QStringList{"0002|    4:30.0", "0001|    5:05.1", "0003|    5:05.1", "0004|    5:10.0"}
        << QStringList{"0002|1|       0.0", "0001|2|      35.1", "0003|2|      35.1", "0004|4|      40.0"};
    QTest::newRow("a tie at the lead") << QStringList{"0009|    5:35.1", "0010|    5:35.1", "0007|    5:36.0"}
                                       << QStringList{"0009|1|       0.0", "0010|1|       0.0", "0007|3|       0.9"};
    QTest::newRow("an hour and more") << QStringList{"0004|      35.1", "0002|   59:59.9", "0001| 1:00:00.0"}
                                      << QStringList{"0004|1|       0.0", "0002|2|   59:24.8", "0001|3|   59:24.9"};
    // A blank mid time reads as 0: it leads.
    QTest::newRow("blank mid time") << QStringList{"0001|    ", "0002|    5:00.0"}
                                    << QStringList{"0001|1|       0.0", "0002|2|    5:00.0"};
    // clang-format on
}

void TstMidRules::midRanking()
{
    QFETCH(QStringList, rows);
    QList<TRankRow> ranked;
    for (const QString &r : rows)
        ranked << TRankRow{r.section(QLatin1Char('|'), 0, 0), r.section(QLatin1Char('|'), 1), {}, {}};
    QStringList entries;
    for (const TRankEntry &e : ComputeMidRanking(ranked))
        entries << QStringLiteral("%1|%2|%3").arg(e.zek).arg(e.rank).arg(e.diff);
    QTEST(entries, "entries");
}

void TstMidRules::quotesStayData()
{
    const QString bib = QStringLiteral("0'1\\");
    const QString esc = QStringLiteral("0\\'1\\\\");
    QCOMPARE(CourseSql("R'", bib).mid(1, 2),
             (QStringList{"where a.tcode='R\\'' and a.tcode = b.tcode", "and b.zek='" + esc + "' and a.rank = '1'"}));
    QCOMPARE(TagSnapshotSql("R'")[1], QStringLiteral("where tcode = 'R\\''and use_mid=0 and term = 'C1' order by time"));
    QCOMPARE(ChipTagMidTimeSql(1, "x", "R", bib)[3], "AND ZEK='" + esc + "'");
    QCOMPARE(TagTakenMarkSql("R", bib, "C'1", 1).mid(1, 2),
             (QStringList{"where tcode='R' and zek = '" + esc + "'", "and term = 'C\\'1'"}));
    QCOMPARE(ChakuInsertSql(1, bib, "x", 1)[2], "'" + esc + "',");
    const QStringList rankWrite = RankWriteSql(1, {TRankEntry{bib, "x", 1}, TRankEntry{bib, "y", 2}}, "R'").first();
    QCOMPARE(rankWrite[2], "WHEN '" + esc + "' THEN 'y'");
    QCOMPARE(rankWrite.mid(rankWrite.size() - 2),
             (QStringList{"WHERE TCODE='R\\''", "AND ZEK IN ('" + esc + "','" + esc + "')"}));
    QCOMPARE(MidRankDisplaySql(1, "R'")[6], QStringLiteral("WHERE TCODE='R\\''"));
    // Characters whose Shift-JIS form ends in byte 0x5C are not escaped.
    QCOMPARE(CourseSql("ソ表", "0001")[1], QStringLiteral("where a.tcode='ソ表' and a.tcode = b.tcode"));
}

// The operator's texts that name the first point past the last are made from the count:
// they must read as they always have.
// The operator's texts name a mid point in full-width digits; the text past the last
// point is a row of waitingReasons.
void TstMidRules::fullWidthNumber_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one digit") << 6 << "６";
    QTest::newRow("two digits") << 12 << "１２";
}

void TstMidRules::fullWidthNumber()
{
    QFETCH(int, number);
    QTEST(FullWidthNumber(number), "expected");
}

QTEST_GUILESS_MAIN(TstMidRules)
#include "tst_midrules.moc"
