// The Japanese reading front-end against readings written out by hand: every minute,
// second, hour and tenths digit of a station text, every bib 1..9999 (composed from
// hand-written place tables), whole station texts and the voice-test texts.
#include "JapaneseReading.h"

#include <QtTest>

using namespace JapaneseReading;

namespace
{

// clang-format off
// Written by hand, one reading per value, with the counters' sound changes.
const char *const kMinutes[60] = {
    "れいふん",         "いっぷん",         "にふん",           "さんぷん",         "よんぷん",
    "ごふん",           "ろっぷん",         "ななふん",         "はっぷん",         "きゅうふん",
    "じゅっぷん",       "じゅういっぷん",   "じゅうにふん",     "じゅうさんぷん",   "じゅうよんぷん",
    "じゅうごふん",     "じゅうろっぷん",   "じゅうななふん",   "じゅうはっぷん",   "じゅうきゅうふん",
    "にじゅっぷん",     "にじゅういっぷん", "にじゅうにふん",   "にじゅうさんぷん", "にじゅうよんぷん",
    "にじゅうごふん",   "にじゅうろっぷん", "にじゅうななふん", "にじゅうはっぷん", "にじゅうきゅうふん",
    "さんじゅっぷん",   "さんじゅういっぷん", "さんじゅうにふん", "さんじゅうさんぷん", "さんじゅうよんぷん",
    "さんじゅうごふん", "さんじゅうろっぷん", "さんじゅうななふん", "さんじゅうはっぷん", "さんじゅうきゅうふん",
    "よんじゅっぷん",   "よんじゅういっぷん", "よんじゅうにふん", "よんじゅうさんぷん", "よんじゅうよんぷん",
    "よんじゅうごふん", "よんじゅうろっぷん", "よんじゅうななふん", "よんじゅうはっぷん", "よんじゅうきゅうふん",
    "ごじゅっぷん",     "ごじゅういっぷん", "ごじゅうにふん",   "ごじゅうさんぷん", "ごじゅうよんぷん",
    "ごじゅうごふん",   "ごじゅうろっぷん", "ごじゅうななふん", "ごじゅうはっぷん", "ごじゅうきゅうふん",
};

const char *const kSeconds[60] = {
    "れいびょー",           "いちびょー",           "にびょー",             "さんびょー",           "よんびょー",
    "ごびょー",             "ろくびょー",           "ななびょー",           "はちびょー",           "きゅうびょー",
    "じゅうびょー",         "じゅういちびょー",     "じゅうにびょー",       "じゅうさんびょー",     "じゅうよんびょー",
    "じゅうごびょー",       "じゅうろくびょー",     "じゅうななびょー",     "じゅうはちびょー",     "じゅうきゅうびょー",
    "にじゅうびょー",       "にじゅういちびょー",   "にじゅうにびょー",     "にじゅうさんびょー",   "にじゅうよんびょー",
    "にじゅうごびょー",     "にじゅうろくびょー",   "にじゅうななびょー",   "にじゅうはちびょー",   "にじゅうきゅうびょー",
    "さんじゅうびょー",     "さんじゅういちびょー", "さんじゅうにびょー",   "さんじゅうさんびょー", "さんじゅうよんびょー",
    "さんじゅうごびょー",   "さんじゅうろくびょー", "さんじゅうななびょー", "さんじゅうはちびょー", "さんじゅうきゅうびょー",
    "よんじゅうびょー",     "よんじゅういちびょー", "よんじゅうにびょー",   "よんじゅうさんびょー", "よんじゅうよんびょー",
    "よんじゅうごびょー",   "よんじゅうろくびょー", "よんじゅうななびょー", "よんじゅうはちびょー", "よんじゅうきゅうびょー",
    "ごじゅうびょー",       "ごじゅういちびょー",   "ごじゅうにびょー",     "ごじゅうさんびょー",   "ごじゅうよんびょー",
    "ごじゅうごびょー",     "ごじゅうろくびょー",   "ごじゅうななびょー",   "ごじゅうはちびょー",   "ごじゅうきゅうびょー",
};

// Index 0 unused; hours 1..99.
const char *const kHours[100] = {
    "",
    "いちじかん", "にじかん", "さんじかん", "よじかん", "ごじかん",
    "ろくじかん", "ななじかん", "はちじかん", "くじかん", "じゅうじかん",
    "じゅういちじかん", "じゅうにじかん", "じゅうさんじかん", "じゅうよじかん", "じゅうごじかん",
    "じゅうろくじかん", "じゅうななじかん", "じゅうはちじかん", "じゅうくじかん", "にじゅうじかん",
    "にじゅういちじかん", "にじゅうにじかん", "にじゅうさんじかん", "にじゅうよじかん", "にじゅうごじかん",
    "にじゅうろくじかん", "にじゅうななじかん", "にじゅうはちじかん", "にじゅうくじかん", "さんじゅうじかん",
    "さんじゅういちじかん", "さんじゅうにじかん", "さんじゅうさんじかん", "さんじゅうよじかん", "さんじゅうごじかん",
    "さんじゅうろくじかん", "さんじゅうななじかん", "さんじゅうはちじかん", "さんじゅうくじかん", "よんじゅうじかん",
    "よんじゅういちじかん", "よんじゅうにじかん", "よんじゅうさんじかん", "よんじゅうよじかん", "よんじゅうごじかん",
    "よんじゅうろくじかん", "よんじゅうななじかん", "よんじゅうはちじかん", "よんじゅうくじかん", "ごじゅうじかん",
    "ごじゅういちじかん", "ごじゅうにじかん", "ごじゅうさんじかん", "ごじゅうよじかん", "ごじゅうごじかん",
    "ごじゅうろくじかん", "ごじゅうななじかん", "ごじゅうはちじかん", "ごじゅうくじかん", "ろくじゅうじかん",
    "ろくじゅういちじかん", "ろくじゅうにじかん", "ろくじゅうさんじかん", "ろくじゅうよじかん", "ろくじゅうごじかん",
    "ろくじゅうろくじかん", "ろくじゅうななじかん", "ろくじゅうはちじかん", "ろくじゅうくじかん", "ななじゅうじかん",
    "ななじゅういちじかん", "ななじゅうにじかん", "ななじゅうさんじかん", "ななじゅうよじかん", "ななじゅうごじかん",
    "ななじゅうろくじかん", "ななじゅうななじかん", "ななじゅうはちじかん", "ななじゅうくじかん", "はちじゅうじかん",
    "はちじゅういちじかん", "はちじゅうにじかん", "はちじゅうさんじかん", "はちじゅうよじかん", "はちじゅうごじかん",
    "はちじゅうろくじかん", "はちじゅうななじかん", "はちじゅうはちじかん", "はちじゅうくじかん", "きゅうじゅうじかん",
    "きゅうじゅういちじかん", "きゅうじゅうにじかん", "きゅうじゅうさんじかん", "きゅうじゅうよじかん", "きゅうじゅうごじかん",
    "きゅうじゅうろくじかん", "きゅうじゅうななじかん", "きゅうじゅうはちじかん", "きゅうじゅうくじかん",
};

// The tenths digit, read alone after 秒.
const char *const kTenths[10] = {"れい", "いち", "に", "さん", "よん", "ご", "ろく", "なな", "はち", "きゅう"};

// Place tables for bibs, with the sound changes of the hundreds and thousands.
const char *const kBibThousands[10] = {"", "せん", "にせん", "さんぜん", "よんせん",
                                       "ごせん", "ろくせん", "ななせん", "はっせん", "きゅうせん"};
const char *const kBibHundreds[10] = {"", "ひゃく", "にひゃく", "さんびゃく", "よんひゃく",
                                      "ごひゃく", "ろっぴゃく", "ななひゃく", "はっぴゃく", "きゅうひゃく"};
const char *const kBibTens[10] = {"", "じゅう", "にじゅう", "さんじゅう", "よんじゅう",
                                  "ごじゅう", "ろくじゅう", "ななじゅう", "はちじゅう", "きゅうじゅう"};
const char *const kBibUnits[10] = {"", "いち", "に", "さん", "よん", "ご", "ろく", "なな", "はち", "きゅう"};

// clang-format on

QString u(const char *s)
{
    return QString::fromUtf8(s);
}

// True when every character is one the voice reads as Japanese: hiragana, katakana, the
// long-vowel mark after a kana, 「、」, 「。」 and blanks.
bool isSpeakable(const QString &kana)
{
    auto isKana = [](QChar c) {
        return (c.unicode() >= 0x3041 && c.unicode() <= 0x3096) || (c.unicode() >= 0x30A1 && c.unicode() <= 0x30FA);
    };
    QChar previous;
    for (QChar c : kana) {
        const bool longMark = c.unicode() == 0x30FC;
        if (longMark && !isKana(previous) && previous.unicode() != 0x30FC)
            return false;
        if (!longMark && !isKana(c) && c != QLatin1Char(' ') && c.unicode() != 0x3001 && c.unicode() != 0x3002)
            return false;
        previous = c;
    }
    return true;
}

QString bibReading(int bib)
{
    return u(kBibThousands[bib / 1000]) + u(kBibHundreds[bib / 100 % 10]) + u(kBibTens[bib / 10 % 10]) +
           u(kBibUnits[bib % 10]) + u("ばん");
}

// The time part as the timing windows build it from a mid-time text.
QString timePart(int h, int m, int s, int d)
{
    QString t;
    if (h > 0)
        t = QString::number(h) + u("時間") + QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0'));
    else if (m > 0)
        t = QString::number(m); // " 5" trimmed; "12"
    t += u("分") + QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0')) + u("秒") + QString::number(d);
    return t;
}

} // namespace

class TstReading : public QObject
{
    Q_OBJECT
private slots:
    void everyMinute();
    void everySecond();
    void everyHour();
    void everyTenth();
    void everyBib();
    void stationTexts_data();
    void stationTexts();
    void everyTimeCombinationIsSpeakable();
    void numbers_data();
    void numbers();
    void foreignCharactersNeverReachTheVoice_data();
    void foreignCharactersNeverReachTheVoice();
    void digitByDigit();
    void clauses();
};

void TstReading::everyMinute()
{
    for (int m = 0; m < 60; ++m) {
        QCOMPARE(counterReading(m, Counter::Minute), u(kMinutes[m]));
        // As written in a text, with and without the leading zero.
        QCOMPARE(toKana(QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')) + u("分")), u(kMinutes[m]));
        QCOMPARE(toKana(QString::number(m) + u("分")), u(kMinutes[m]));
    }
}

void TstReading::everySecond()
{
    for (int s = 0; s < 60; ++s) {
        QCOMPARE(toKana(QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0')) + u("秒")), u(kSeconds[s]));
        QCOMPARE(counterReading(s, Counter::Second), u(kSeconds[s]));
    }
}

void TstReading::everyHour()
{
    for (int h = 1; h < 100; ++h) {
        QCOMPARE(toKana(QString::number(h) + u("時間")), u(kHours[h]));
        if (h < 10)
            QCOMPARE(toKana(QStringLiteral("0") + QString::number(h) + u("時間")), u(kHours[h]));
    }
}

void TstReading::everyTenth()
{
    for (int d = 0; d < 10; ++d)
        QCOMPARE(toKana(u("秒") + QString::number(d)), u(kTenths[d])); // 秒 alone is skipped
}

void TstReading::everyBib()
{
    for (int bib = 1; bib <= 9999; ++bib) {
        const QString expected = bibReading(bib) + u("、");
        // The photocell window writes the bib without zeros, the chip-tag window as read.
        const QString plain = toKana(QString::number(bib) + u("ﾊﾞﾝ,") + u("5分35秒1"));
        const QString padded = toKana(QStringLiteral("%1").arg(bib, 4, 10, QLatin1Char('0')) + u("ﾊﾞﾝ,5分35秒1"));
        const QString rest = u(" ごふん さんじゅうごびょー いち");
        if (plain != expected + rest || padded != expected + rest)
            QFAIL(qPrintable(
                QStringLiteral("bib %1: %2 / %3, expected %4").arg(bib).arg(plain, padded, expected + rest)));
    }
}

void TstReading::stationTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kana");
    QTest::newRow("voice test bib") << u("167ﾊﾞﾝ ") << u("ひゃくろくじゅうななばん");
    QTest::newRow("voice test time") << u("1時間23分31秒4")
                                     << u("いちじかん にじゅうさんぷん さんじゅういちびょー よん");
    QTest::newRow("announcement with hours") << u("167ﾊﾞﾝ,1時間23分31秒4")
                                             << u("ひゃくろくじゅうななばん、 いちじかん にじゅうさんぷん "
                                                  "さんじゅういちびょー よん");
    QTest::newRow("5 min 35.1") << u("25ﾊﾞﾝ,5分35秒1") << u("にじゅうごばん、 ごふん さんじゅうごびょー いち");
    QTest::newRow("12 min 5.1 keeps zero") << u("8ﾊﾞﾝ,12分05秒1") << u("はちばん、 じゅうにふん ごびょー いち");
    QTest::newRow("bib 0012") << u("0012ﾊﾞﾝ,15分07秒1") << u("じゅうにばん、 じゅうごふん ななびょー いち");
    QTest::newRow("under a minute") << u("3ﾊﾞﾝ,分45秒6") << u("さんばん、 よんじゅうごびょー ろく");
    QTest::newRow("blank minute alone") << u("分45秒6") << u("よんじゅうごびょー ろく");
    QTest::newRow("10 hours or more") << u("12時間03分05秒4") << u("じゅうにじかん さんぷん ごびょー よん");
    QTest::newRow("1 h 2 min 3.456") << u("1時間02分03秒4") << u("いちじかん にふん さんびょー よん");
    QTest::newRow("12 h 0 min 5.0") << u("12時間00分05秒0") << u("じゅうにじかん れいふん ごびょー れい");
    QTest::newRow("empty text") << QString() << QString();
    QTest::newRow("blank only") << u("  ") << QString();
    QTest::newRow("full-width digits") << u("１６７ﾊﾞﾝ") << u("ひゃくろくじゅうななばん");
    QTest::newRow("full-width comma") << u("9ﾊﾞﾝ，分01秒0") << u("きゅうばん、 いちびょー れい");
    QTest::newRow("bib 4 and 9 hours") << u("4ﾊﾞﾝ,9時間44分44秒4")
                                       << u("よんばん、 くじかん よんじゅうよんぷん よんじゅうよんびょー よん");
}

void TstReading::stationTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, kana);
    QCOMPARE(toKana(text), kana);
    QVERIFY(isSpeakable(toKana(text)));
}

void TstReading::everyTimeCombinationIsSpeakable()
{
    // Every time part a window can build, with the pieces checked above put together.
    for (int h = 0; h < 100; h += (h < 3 ? 1 : 7))
        for (int m = 0; m < 60; ++m)
            for (int s = 0; s < 60; ++s) {
                const int d = (h + m + s) % 10;
                const QString kana = toKana(timePart(h, m, s, d));
                QString expected;
                if (h > 0)
                    expected = u(kHours[h]) + QLatin1Char(' ') + u(kMinutes[m]) + QLatin1Char(' ');
                else if (m > 0)
                    expected = u(kMinutes[m]) + QLatin1Char(' ');
                expected += u(kSeconds[s]) + QLatin1Char(' ') + u(kTenths[d]);
                if (kana != expected)
                    QFAIL(qPrintable(timePart(h, m, s, d) + QStringLiteral(": ") + kana + QStringLiteral(" != ") +
                                     expected));
            }
}

void TstReading::numbers_data()
{
    QTest::addColumn<qint64>("n");
    QTest::addColumn<QString>("kana");
    QTest::newRow("0") << qint64(0) << u("れい");
    QTest::newRow("10") << qint64(10) << u("じゅう");
    QTest::newRow("100") << qint64(100) << u("ひゃく");
    QTest::newRow("1000") << qint64(1000) << u("せん");
    QTest::newRow("10000") << qint64(10000) << u("いちまん");
    QTest::newRow("30600") << qint64(30600) << u("さんまんろっぴゃく");
    QTest::newRow("100000000") << qint64(100000000) << u("いちおく");
    QTest::newRow("negative") << qint64(-3) << u("まいなすさん");
}

void TstReading::numbers()
{
    QFETCH(qint64, n);
    QFETCH(QString, kana);
    QCOMPARE(numberReading(n), kana);
}

void TstReading::foreignCharactersNeverReachTheVoice_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kana");
    QTest::newRow("latin letters spelt") << u("AB") << u("エー ビー");
    QTest::newRow("unknown kanji dropped") << u("漢1") << u("いち");
    QTest::newRow("long mark alone dropped") << u("ー1") << u("いち");
    QTest::newRow("long mark after kana kept") << u("ラーメン") << u("ラーメン");
    QTest::newRow("symbols part words") << u("1#2") << u("いち に");
    QTest::newRow("decimal point") << u("31.4") << u("さんじゅういち てん よん");
    QTest::newRow("番 counter") << u("5番") << u("ごばん");
    QTest::newRow("leading comma dropped") << u(",1") << u("いち");
    QTest::newRow("half-width voiced mark alone") << u("ﾞ1") << u("いち");
}

void TstReading::foreignCharactersNeverReachTheVoice()
{
    QFETCH(QString, text);
    QFETCH(QString, kana);
    QCOMPARE(toKana(text), kana);
    QVERIFY(isSpeakable(kana));
}

void TstReading::digitByDigit()
{
    QCOMPARE(toKana(u("167ﾊﾞﾝ,05分"), false), u("いち ろく なな ばん、 ぜろ ご ふん"));
}

void TstReading::clauses()
{
    QCOMPARE(JapaneseReading::clauses(u("いちばん、 にふん")), QStringList({u("いちばん、"), u("にふん")}));
    QCOMPARE(JapaneseReading::clauses(u("いちばん")), QStringList({u("いちばん")}));
    QCOMPARE(JapaneseReading::clauses(QString()), QStringList());
}

QTEST_APPLESS_MAIN(TstReading)
#include "tst_reading.moc"
