// Japanese reading front-end: station texts to kana (see JapaneseReading.h for why).
#include "JapaneseReading.h"

#include <QChar>

namespace JapaneseReading
{

namespace
{

const char *const kDigit[10] = {"ぜろ", "いち", "に", "さん", "よん", "ご", "ろく", "なな", "はち", "きゅう"};

// Hundreds and thousands carry their own sound changes (さんびゃく, ろっぴゃく, はっぴゃく,
// さんぜん, はっせん), so they are spelt out rather than built.
const char *const kHundreds[10] = {"",         "ひゃく",     "にひゃく",   "さんびゃく", "よんひゃく",
                                   "ごひゃく", "ろっぴゃく", "ななひゃく", "はっぴゃく", "きゅうひゃく"};
const char *const kThousands[10] = {"",       "せん",     "にせん",   "さんぜん", "よんせん",
                                    "ごせん", "ろくせん", "ななせん", "はっせん", "きゅうせん"};

const char *const kLetters[26] = {"エー",   "ビー",       "シー",     "ディー", "イー",  "エフ",   "ジー",
                                  "エイチ", "アイ",       "ジェー",   "ケー",   "エル",  "エム",   "エヌ",
                                  "オー",   "ピー",       "キュー",   "アール", "エス",  "ティー", "ユー",
                                  "ブイ",   "ダブリュー", "エックス", "ワイ",   "ゼット"};

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// 1..9999 read by value; 0 gives the empty text (a silent group inside a larger number).
QString groupReading(int n)
{
    QString s;
    s += u(kThousands[n / 1000]);
    s += u(kHundreds[(n / 100) % 10]);
    const int tens = (n / 10) % 10;
    if (tens > 0) {
        if (tens > 1)
            s += u(kDigit[tens]);
        s += u("じゅう");
    }
    const int units = n % 10;
    if (units > 0)
        s += u(kDigit[units]);
    return s;
}

bool isHiragana(QChar c)
{
    return c.unicode() >= 0x3041 && c.unicode() <= 0x3096;
}
bool isKatakana(QChar c)
{
    return c.unicode() >= 0x30A1 && c.unicode() <= 0x30FA;
}
bool isKana(QChar c)
{
    return isHiragana(c) || isKatakana(c);
}
bool isLongMark(QChar c)
{
    return c.unicode() == 0x30FC;
}
bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}
bool isAsciiLetter(QChar c)
{
    const ushort x = c.unicode();
    return (x >= 'a' && x <= 'z') || (x >= 'A' && x <= 'Z');
}
bool isPause(QChar c)
{
    const ushort x = c.unicode();
    return x == ',' || x == 0x3001 /* 、 */ || x == ';' || x == 0x3002 /* 。 */ || x == '!' || x == '?';
}

// The counter that starts at text[pos], with its length in characters.
Counter counterAt(const QString &text, int pos, int *length)
{
    struct Entry {
        const char *spelling;
        Counter counter;
    };
    static const Entry entries[] = {
        {"時間", Counter::Hour}, {"分", Counter::Minute}, {"秒", Counter::Second},
        {"バン", Counter::Ban},  {"番", Counter::Ban},
    };
    for (const Entry &e : entries) {
        const QString spelling = u(e.spelling);
        if (text.mid(pos, spelling.size()) == spelling) {
            *length = spelling.size();
            return e.counter;
        }
    }
    *length = 0;
    return Counter::None;
}

// Plain counter words for the digit-by-digit mode.
QString counterWord(Counter c)
{
    switch (c) {
    case Counter::Ban:
        return u("ばん");
    case Counter::Hour:
        return u("じかん");
    case Counter::Minute:
        return u("ふん");
    case Counter::Second:
        return u("びょー");
    case Counter::None:
        break;
    }
    return QString();
}

// Replaces the ending `from` of s by `to` when s ends with it.
bool replaceEnding(QString &s, const char *from, const char *to)
{
    const QString f = u(from);
    if (!s.endsWith(f))
        return false;
    s.chop(f.size());
    s += u(to);
    return true;
}

// Collects words and pauses and joins them: "a、 b c".
class Writer
{
public:
    void word(const QString &w)
    {
        if (w.isEmpty())
            return;
        if (!m_out.isEmpty() && !m_out.endsWith(QLatin1Char(' ')))
            m_out += QLatin1Char(' ');
        m_out += w;
        m_inWord = false;
    }
    // Appends one kana to the running word (text already in kana).
    void kana(QChar c)
    {
        if (!m_inWord && !m_out.isEmpty() && !m_out.endsWith(QLatin1Char(' ')))
            m_out += QLatin1Char(' ');
        m_out += c;
        m_inWord = true;
    }
    bool inWord() const { return m_inWord; }
    void breakWord() { m_inWord = false; }
    void pause()
    {
        m_inWord = false;
        // No pause at the start and never two in a row.
        QString t = m_out.trimmed();
        if (t.isEmpty() || t.endsWith(QChar(0x3001)))
            return;
        m_out = t + QChar(0x3001) + QLatin1Char(' ');
    }
    QString result() const
    {
        QString t = m_out.trimmed();
        while (t.endsWith(QChar(0x3001)))
            t = t.chopped(1).trimmed();
        return t;
    }

private:
    QString m_out;
    bool m_inWord = false;
};

} // namespace

QString foldWidth(const QString &text)
{
    return text.normalized(QString::NormalizationForm_KC);
}

QString numberReading(qint64 n)
{
    if (n < 0)
        return u("まいなす") + numberReading(-n);
    // A zero read as a value is れい, as announcers say a time: いちじかん れいふん
    // ごびょー, さんじゅうびょー れい. Digit by digit it stays ぜろ.
    if (n == 0)
        return u("れい");
    if (n > 999999999999LL)
        return digitsReading(QString::number(n)).remove(QLatin1Char(' '));
    const int oku = int(n / 100000000);
    const int man = int((n / 10000) % 10000);
    const int rest = int(n % 10000);
    QString s;
    if (oku > 0)
        s += groupReading(oku) + u("おく");
    if (man > 0)
        // 10000 is いちまん, not まん (unlike せん and ひゃく).
        s += (man == 1 ? u("いち") : groupReading(man)) + u("まん");
    s += groupReading(rest);
    return s;
}

QString digitsReading(const QString &digits)
{
    QStringList words;
    for (QChar c : digits)
        if (isAsciiDigit(c))
            words << u(kDigit[c.unicode() - '0']);
    return words.join(QLatin1Char(' '));
}

QString counterReading(qint64 n, Counter counter)
{
    QString s = numberReading(n);
    switch (counter) {
    case Counter::None:
        return s;
    case Counter::Ban:
        return s + u("ばん");
    case Counter::Second:
        return s + u("びょー");
    case Counter::Hour:
        if (n % 10 == 4 && replaceEnding(s, "よん", "よ"))
            return s + u("じかん");
        if (n % 10 == 9 && replaceEnding(s, "きゅう", "く"))
            return s + u("じかん");
        return s + u("じかん");
    case Counter::Minute:
        if (n == 0)
            return s + u("ふん");
        switch (n % 10) {
        case 1:
            replaceEnding(s, "いち", "いっ");
            return s + u("ぷん");
        case 3:
        case 4:
            return s + u("ぷん");
        case 6:
            replaceEnding(s, "ろく", "ろっ");
            return s + u("ぷん");
        case 8:
            replaceEnding(s, "はち", "はっ");
            return s + u("ぷん");
        case 0:
            // じゅっぷん, ひゃっぷん; せんぷん, まんぷん keep their ん.
            if (replaceEnding(s, "じゅう", "じゅっ") || replaceEnding(s, "ひゃく", "ひゃっ"))
                return s + u("ぷん");
            return s + u("ぷん");
        default:
            return s + u("ふん");
        }
    }
    return s;
}

QString toKana(const QString &text, bool numbersByValue)
{
    const QString t = foldWidth(text);
    Writer out;
    int i = 0;
    const int n = t.size();
    while (i < n) {
        const QChar c = t.at(i);
        if (isAsciiDigit(c)) {
            int j = i;
            while (j < n && isAsciiDigit(t.at(j)))
                ++j;
            const QString digits = t.mid(i, j - i);
            // A decimal point between digits: "31.4" さんじゅういち てん よん.
            if (j + 1 < n && t.at(j) == QLatin1Char('.') && isAsciiDigit(t.at(j + 1))) {
                int k = j + 1;
                while (k < n && isAsciiDigit(t.at(k)))
                    ++k;
                out.word(numbersByValue && digits.size() <= 12 ? numberReading(digits.toLongLong())
                                                               : digitsReading(digits));
                out.word(u("てん"));
                out.word(digitsReading(t.mid(j + 1, k - j - 1)));
                i = k;
                continue;
            }
            int length = 0;
            const Counter counter = counterAt(t, j, &length);
            if (numbersByValue && digits.size() <= 12) {
                out.word(counterReading(digits.toLongLong(), counter));
            } else {
                out.word(digitsReading(digits));
                out.word(counterWord(counter));
            }
            i = j + length;
            continue;
        }
        int length = 0;
        const Counter counter = counterAt(t, i, &length);
        if (counter != Counter::None && counter != Counter::Ban) {
            // A counter with no number before it: the blank minute of "分45秒6".
            out.breakWord();
            i += length;
            continue;
        }
        if (c.unicode() == 0x756A /* 番 without a number */) {
            out.word(u("ばん"));
        } else if (isKana(c)) {
            out.kana(c);
        } else if (isLongMark(c)) {
            // Alone the mark is read in English ("Japanese letter"): only after a kana.
            if (out.inWord())
                out.kana(c);
        } else if (isAsciiLetter(c)) {
            out.word(u(kLetters[c.toUpper().unicode() - 'A']));
        } else if (isPause(c)) {
            out.pause();
        } else {
            out.breakWord(); // blanks, symbols and unknown characters part words only
        }
        ++i;
    }
    return out.result();
}

QStringList clauses(const QString &kana)
{
    QStringList result;
    QString current;
    for (QChar c : kana) {
        current += c;
        if (c.unicode() == 0x3001 || c.unicode() == 0x3002) {
            if (!current.trimmed().isEmpty())
                result << current.trimmed();
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        result << current.trimmed();
    return result;
}

} // namespace JapaneseReading
