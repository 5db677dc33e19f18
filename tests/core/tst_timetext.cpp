// Time texts and the buffer cutters: every form the race database and the devices use.
#include "TimeText.h"
#include "TextFields.h"

#include <QtTest>

class TstTimeText : public QObject
{
    Q_OBJECT
private slots:
    void timeTextToMsec_data();
    void timeTextToMsec();
    void msecToTimeText_data();
    void msecToTimeText();
    void roundTripOfEveryForm();
    void midTextIsCutNotRounded();
    void elapsedMsec_data();
    void elapsedMsec();
    void cutLine_data();
    void cutLine();
    void cutTabFieldWalksARecord();
    void cutTabField_data();
    void cutTabField();
    void spokenTimeText_data();
    void spokenTimeText();
};

void TstTimeText::timeTextToMsec_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("msec");
    QTest::newRow("clock tenths") << "10:05:31.4" << 36331400;
    QTest::newRow("clock millis") << "10:05:31.456" << 36331456;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("mid text minutes") << "    5:35.1" << 335100;
    QTest::newRow("mid text hours") << " 1:23:31.4" << 5011400;
    QTest::newRow("mid text seconds") << "      35.1" << 35100;
    QTest::newRow("elapsed 12") << "    5:35.123" << 335123;
    QTest::newRow("no leading zero reads by position") << "9:05:31.4" << 0;
    QTest::newRow("eleven characters") << "12:00:00.50" << 43200050;
    QTest::newRow("garbage") << "ab:cd:ef.g" << 0;
    QTest::newRow("fraction not a digit") << "10:00:00.x" << 36000000;
    QTest::newRow("signed piece") << "-1:00:00.0" << -3600000;
    QTest::newRow("trailing blank is not a number") << "1 :00:00.0" << 0;
    QTest::newRow("midnight") << "00:00:00.0" << 0;
    QTest::newRow("last tenth of day") << "23:59:59.9" << 86399900;
    QTest::newRow("blank zero") << "       0.0" << 0;
}

void TstTimeText::timeTextToMsec()
{
    QFETCH(QString, text);
    QFETCH(int, msec);
    QCOMPARE(TimeTextToMsec(text), msec);
}

void TstTimeText::msecToTimeText_data()
{
    QTest::addColumn<int>("msec");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "       0.000";
    QTest::newRow("seconds") << 5123 << "       5.123";
    QTest::newRow("ten seconds") << 10000 << "      10.000";
    QTest::newRow("59.999") << 59999 << "      59.999";
    QTest::newRow("one minute") << 60000 << "    1:00.000";
    QTest::newRow("minutes") << 335123 << "    5:35.123";
    QTest::newRow("ten minutes") << 600000 << "   10:00.000";
    QTest::newRow("hour") << 3600000 << " 1:00:00.000";
    QTest::newRow("hours") << 5011400 << " 1:23:31.400";
    QTest::newRow("ten hours") << 36000000 << "10:00:00.000";
    QTest::newRow("just under 100 h") << 359999999 << "99:59:59.999";
    QTest::newRow("100 hours grows") << 360000000 << "100:00:00.000";
    QTest::newRow("negative") << -1500 << "       -1.-50";
    QTest::newRow("small fraction") << 7 << "       0.007";
}

void TstTimeText::msecToTimeText()
{
    QFETCH(int, msec);
    QFETCH(QString, text);
    QCOMPARE(MsecToTimeText(msec), text);
}

void TstTimeText::roundTripOfEveryForm()
{
    // The elapsed text keeps the clock text's positions, so the parser reads it back.
    for (int n : {0, 1, 999, 1000, 59999, 60000, 335123, 3599999, 3600000, 5011400, 86399999, 359999999})
        QCOMPARE(TimeTextToMsec(MsecToTimeText(n)), n);
    // And mid-time texts sort as text in time order.
    QStringList texts;
    const QList<int> times{95000, 35100, 335100, 5011400, 600000, 1000};
    for (int n : times)
        texts << MsecToMidText(n);
    QStringList sorted = texts;
    sorted.sort();
    QList<int> back;
    for (const QString &t : sorted)
        back << TimeTextToMsec(t);
    QList<int> expected = times;
    for (int &n : expected)
        n = n / 100 * 100;
    std::sort(expected.begin(), expected.end());
    QCOMPARE(back, expected);
}

void TstTimeText::midTextIsCutNotRounded()
{
    QCOMPARE(MsecToMidText(335199), QStringLiteral("    5:35.1"));
    QCOMPARE(MsecToMidText(5999), QStringLiteral("       5.9"));
    QCOMPARE(MsecToMidText(5011400).size(), 10);
}

void TstTimeText::elapsedMsec_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("pass");
    QTest::addColumn<int>("msec");
    QTest::newRow("same day") << "10:00:00.0" << "10:05:35.199" << 335199;
    QTest::newRow("start before midnight") << "23:59:30.0" << "00:00:45.300" << 75300;
    QTest::newRow("at the start") << "10:00:00.0" << "10:00:00.0" << 0;
    QTest::newRow("empty start is midnight") << "" << "00:01:02.5" << 62500;
}

void TstTimeText::elapsedMsec()
{
    QFETCH(QString, start);
    QFETCH(QString, pass);
    QFETCH(int, msec);
    QCOMPARE(ElapsedMsec(start, pass), msec);
}

void TstTimeText::cutLine_data()
{
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("rest");
    // clang-format off
    QTest::newRow("line and next") << "abc\r\ndef" << "abc" << "def";
    QTest::newRow("no CR keeps partial line") << "abc" << "" << "abc";
    QTest::newRow("leading CR drops two") << "\r\nabc\r\n" << "" << "abc\r\n";
    QTest::newRow("CR at the very end") << "abc\r" << "abc" << "";
    QTest::newRow("char after CR dropped whatever it is") << "ab\rXcd" << "ab" << "cd";
    QTest::newRow("empty") << "" << "" << "";
    // clang-format on
}

void TstTimeText::cutLine()
{
    QFETCH(QString, buffer);
    QFETCH(QString, line);
    QFETCH(QString, rest);
    QCOMPARE(CutLine(buffer), line);
    QCOMPARE(buffer, rest);
}

void TstTimeText::cutTabField_data()
{
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("rest");
    // clang-format off
    QTest::newRow("field") << "a\tb\tc" << "a" << "b\tc";
    QTest::newRow("empty first field") << "\tb" << "" << "b";
    QTest::newRow("no tab keeps buffer") << "last" << "" << "last";
    QTest::newRow("tab at end") << "a\t" << "a" << "";
    // clang-format on
}

void TstTimeText::cutTabField()
{
    QFETCH(QString, buffer);
    QFETCH(QString, field);
    QFETCH(QString, rest);
    QCOMPARE(CutTabField(buffer), field);
    QCOMPARE(buffer, rest);
}

void TstTimeText::cutTabFieldWalksARecord()
{
    // A decoder-style record: the caller stops on its own; the last field stays behind.
    QString record = QStringLiteral("@\t01\t1234567\t10:00:01.234\t12\t80");
    QStringList fields;
    for (int i = 0; i < 5; ++i)
        fields << CutTabField(record);
    QCOMPARE(fields, QStringList({"@", "01", "1234567", "10:00:01.234", "12"}));
    QCOMPARE(record, QStringLiteral("80"));
    QCOMPARE(CutTabField(record), QString());
    QCOMPARE(record, QStringLiteral("80"));
}

void TstTimeText::spokenTimeText_data()
{
    QTest::addColumn<int>("msec");
    QTest::addColumn<QString>("spoken");
    QTest::newRow("minutes") << 335100 << QStringLiteral("5分35秒1");
    QTest::newRow("leading zero of seconds kept") << 725100 << QStringLiteral("12分05秒1");
    QTest::newRow("hours") << 5011400 << QStringLiteral("1時間23分31秒4");
    QTest::newRow("ten hours") << 43505600 << QStringLiteral("12時間05分05秒6");
    QTest::newRow("under a minute keeps the inner blank") << 45600 << QStringLiteral("分45秒6");
    QTest::newRow("under ten seconds") << 5199 << QStringLiteral("分 5秒1");
}

void TstTimeText::spokenTimeText()
{
    QFETCH(int, msec);
    QFETCH(QString, spoken);
    QCOMPARE(SpokenTimeText(MsecToTimeText(msec)), spoken);
}

QTEST_APPLESS_MAIN(TstTimeText)
#include "tst_timetext.moc"
