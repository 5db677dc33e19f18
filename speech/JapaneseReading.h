// The station's Japanese reading front-end: turns an announcement text ("167ﾊﾞﾝ,1時間23分31秒4")
// into the kana that espeak-ng's Japanese voice reads well. Measured need: that voice says
// "Chinese letter" (in English) for 時間, 分 and 秒, reads digit strings wrongly (167 with an
// extra いち, 4 as し) and switches to English for Latin letters, so nothing but kana,
// the long-vowel mark, 「、」 and blanks may reach it. Qt Core only.
#pragma once

#include <QString>
#include <QStringList>

namespace JapaneseReading
{

// The counters of the station's texts; each has its own sound changes.
enum class Counter {
    None,   // a bare number, such as the tenths digit after 秒
    Ban,    // バン / 番 (bib): no sound change
    Hour,   // 時間: 4 よじかん, 7 ななじかん, 9 くじかん
    Minute, // 分: いっぷん, さんぷん, よんぷん, ろっぷん, はっぷん, じゅっぷん, else ふん
    Second, // 秒: written びょー for a clean long vowel
};

// Half-width katakana and full-width digits and letters folded as NFKC does
// ("ﾊﾞﾝ" to "バン", "１" to "1").
QString foldWidth(const QString &text);

// A whole number read by value in hiragana: 0 ぜろ, 167 ひゃくろくじゅうなな,
// 3000 さんぜん, 10000 いちまん. Up to 9999 9999 9999; a negative number gets まいなす.
QString numberReading(qint64 n);

// Each digit read on its own: "05" ぜろ ご (words joined by a blank).
QString digitsReading(const QString &digits);

// A number with its counter: (1, Minute) いっぷん, (4, Hour) よじかん, (31, Second)
// さんじゅういちびょー, (167, Ban) ひゃくろくじゅうななばん.
QString counterReading(qint64 n, Counter counter);

// The reading of a whole text: words of kana separated by single blanks, 「、」 where the
// text has a comma (a pause). Numbers are read by value (leading zeros dropped: "05分" ごふん)
// or, with numbersByValue false, digit by digit. A counter with no number before it (the
// blank minute of "分45秒6") is skipped. Latin letters are spelt in katakana letter names;
// any other character that is neither kana nor punctuation (kanji the front-end does not
// know, symbols) is dropped, so the result never makes the voice switch language.
QString toKana(const QString &text, bool numbersByValue = true);

// The clauses of a reading: split after each 「、」 (which stays with its clause), blanks
// around them trimmed, empty clauses dropped.
QStringList clauses(const QString &kana);

} // namespace JapaneseReading
