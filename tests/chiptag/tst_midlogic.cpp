// The rules of the chip-tag intake without a database: the lap rule, the announcement
// text and values that must stay data in statements.
#include "ChakuStatements.h"
#include "MidRules.h"
#include "ResultStatements.h"
#include "TagStatements.h"
#include "TextFields.h"

#include <QtTest>

using namespace MidLogic;
Q_DECLARE_METATYPE(MidLogic::TMidDecision::Outcome)

class TstMidLogic : public QObject
{
    Q_OBJECT
private slots:
    void lapRule_data();
    void lapRule();
    void announcement_data();
    void announcement();
    void quotesStayData();
    void textsNameTheMidPoints_data();
    void textsNameTheMidPoints();
};

void TstMidLogic::lapRule_data()
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

void TstMidLogic::lapRule()
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

void TstMidLogic::announcement_data()
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

void TstMidLogic::announcement()
{
    QFETCH(QString, zek);
    QFETCH(QString, t);
    QTEST(AnnouncementText(zek, t), "expected");
}

void TstMidLogic::quotesStayData()
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
void TstMidLogic::textsNameTheMidPoints_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("point past the last") << WaitingReason(TMidDecision::PointTooHigh)
                                         << "中間６以上になります（通過回数を確かめてください）";
    QTest::newRow("two digits") << FullWidthNumber(12) << "１２";
}

void TstMidLogic::textsNameTheMidPoints()
{
    QFETCH(QString, text);
    QTEST(text, "expected");
}

QTEST_GUILESS_MAIN(TstMidLogic)
#include "tst_midlogic.moc"
