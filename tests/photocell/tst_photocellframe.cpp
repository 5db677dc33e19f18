// The photocell frame reader and the texts built from a passing, without widgets or
// database: captured timer streams replayed against their expected outcome, and the
// rules of the stored time, the bib, the mid time and the announcement.
#include "ChakuStatements.h"
#include "Midtp2Statements.h"
#include "PhotocellFrame.h"
#include "ResultStatements.h"
#include "TimeText.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace Photocell;

namespace
{

// "\r", "\n", "\\" and "\xHH" in a capture file stand for those bytes; any other
// backslash is itself.
QByteArray unescape(const QByteArray &text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char n = text.at(i + 1);
        if (n == 'r') {
            out += '\r';
            ++i;
        } else if (n == 'n') {
            out += '\n';
            ++i;
        } else if (n == '\\') {
            out += '\\';
            ++i;
        } else if (n == 'x' && i + 3 < text.size()) {
            bool ok = false;
            const int v = text.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out += char(v);
                i += 3;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}

QString escapeBytes(const QByteArray &bytes)
{
    QString out;
    for (const char c : bytes) {
        const quint8 b = quint8(c);
        if (b < 0x20 || b >= 0x7F)
            out += QString::asprintf("\\x%02x", b);
        else
            out += QLatin1Char(c);
    }
    return out;
}

// The reads of a capture file: its lines, without the comment header, up to a line
// "--- read"; "--- repeat N text" adds text N times.
QList<QByteArray> readsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> reads{QByteArray()};
    bool header = true;
    for (QByteArray line : file.readAll().split('\n')) {
        if (header && line.startsWith('#'))
            continue;
        header = false;
        if (line == "--- read") {
            reads << QByteArray();
        } else if (line.startsWith("--- repeat ")) {
            const QList<QByteArray> parts = line.mid(11).split(' ');
            reads.last() += unescape(parts.value(1)).repeated(parts.value(0).toInt());
        } else {
            reads.last() += unescape(line);
        }
    }
    return reads;
}

} // namespace

class TstPhotocellFrame : public QObject
{
    Q_OBJECT
private slots:
    void capturedStreams_data();
    void capturedStreams();
    void everyByteSplit();
    void storedTime_data();
    void storedTime();
    void lineLogs();
    void bibText_data();
    void bibText();
    void announcement_data();
    void announcement();
    void firstEmptyMid();
    void statementsKeepQuotesAsData();
};

void TstPhotocellFrame::capturedStreams_data()
{
    QTest::addColumn<QString>("log");
    const QDir dir(QFINDTESTDATA("data"));
    const QStringList logs = dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    QVERIFY2(!logs.isEmpty(), "no captured streams found");
    for (const QString &log : logs)
        QTest::newRow(qPrintable(log)) << dir.filePath(log);
}

// Each capture is fed read by read; what the reader and the frame parser make of it
// must match the expected file beside it, line for line and in full.
void TstPhotocellFrame::capturedStreams()
{
    QFETCH(QString, log);
    QString expectedPath = log;
    expectedPath.replace(QRegularExpression(QStringLiteral("\\.log$")), QStringLiteral(".chk"));
    QFile expectedFile(expectedPath);
    QVERIFY2(expectedFile.open(QIODevice::ReadOnly), qPrintable(QStringLiteral("missing ") + expectedPath));
    QStringList expected = QString::fromUtf8(expectedFile.readAll()).split(QLatin1Char('\n'));
    while (!expected.isEmpty() && expected.last().isEmpty())
        expected.removeLast();

    TFrameReader reader;
    QStringList got;
    for (const QByteArray &read : readsOf(log)) {
        for (const TFrameReader::TEvent &event : reader.Feed(read)) {
            if (event.kind == TFrameReader::TEvent::Overlong) {
                got << QStringLiteral("overlong");
                continue;
            }
            const TFrame frame = ParseFrame(event.line);
            if (!frame.accepted()) {
                got << QStringLiteral("raw [%1]").arg(escapeBytes(event.line));
                continue;
            }
            got << QStringLiteral("frame %1 zek=[%2] time=[%3] mid=[%4] %5")
                           .arg(frame.fl(), frame.zek, frame.time, frame.mid,
                                frame.recordedAutomatically() ? QStringLiteral("auto") : QStringLiteral("manual")) +
                       (frame.doubt.isEmpty() ? QString() : QStringLiteral(" doubt=[%1]").arg(frame.doubt));
        }
    }
    if (!reader.Pending().isEmpty())
        got << QStringLiteral("pending [%1]").arg(escapeBytes(reader.Pending()));
    QCOMPARE(got.join(QLatin1Char('\n')), expected.join(QLatin1Char('\n')));
}

// However the bytes are cut into reads, the same frames come out.
void TstPhotocellFrame::everyByteSplit()
{
    const QByteArray stream =
        QByteArray(" 0012 C1  10:15:30.123   1\r\n") + QByteArray(300, 'Z') + "\r" + "c0013 C1  10:15:31.12    2\r";
    for (int cut = 0; cut <= stream.size(); ++cut) {
        TFrameReader reader;
        QList<TFrameReader::TEvent> events = reader.Feed(stream.left(cut));
        events += reader.Feed(stream.mid(cut));
        QCOMPARE(events.size(), 3);
        QCOMPARE(events.at(0).line, QByteArray(" 0012 C1  10:15:30.123   1"));
        QCOMPARE(events.at(1).kind, TFrameReader::TEvent::Overlong);
        QCOMPARE(ParseFrame(events.at(2).line).time, QStringLiteral("10:15:31.120"));
        QVERIFY(reader.Pending().isEmpty());
    }
}

void TstPhotocellFrame::storedTime_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("stored");
    // clang-format off
    QTest::newRow("three decimals") << "10:15:30.123" << "10:15:30.123";
    QTest::newRow("two decimals, blank") << "10:15:30.12 " << "10:15:30.120";
    QTest::newRow("two decimals, control") << "10:15:30.12\t" << "10:15:30.120";
    QTest::newRow("two decimals, leading blank") << " 10:15:30.12" << "10:15:30.120";
    QTest::newRow("one decimal keeps blanks") << "10:15:30.1  " << "10:15:30.1  ";
    QTest::newRow("short line") << "10:15:3" << "10:15:3";
    QTest::newRow("empty") << "" << "";
    // clang-format on
}

void TstPhotocellFrame::storedTime()
{
    QFETCH(QString, field);
    QFETCH(QString, stored);
    QCOMPARE(StoredTime(field), stored);
}

void TstPhotocellFrame::lineLogs()
{
    // The raw view: the 31st line drops the oldest, as soon as its first byte arrives.
    TLineLog raw(30);
    for (int i = 1; i <= 30; ++i) {
        for (const QChar c : QStringLiteral("line %1\n").arg(i))
            raw.AppendChar(c);
    }
    QCOMPARE(raw.LineCount(), 30);
    QCOMPARE(raw.Lines().first(), QStringLiteral("line 1"));
    raw.AppendChar(QLatin1Char('x'));
    QCOMPARE(raw.LineCount(), 30);
    QCOMPARE(raw.Lines().first(), QStringLiteral("line 2"));
    QCOMPARE(raw.Lines().last(), QStringLiteral("x"));

    // The accepted frames: the 11th drops the oldest.
    TLineLog frames(10);
    for (int i = 1; i <= 11; ++i)
        frames.AppendLine(QStringLiteral("frame %1").arg(i));
    QCOMPARE(frames.LineCount(), 10);
    QCOMPARE(frames.Lines().first(), QStringLiteral("frame 2"));
    QCOMPARE(frames.Lines().last(), QStringLiteral("frame 11"));

    // A line that never ends is broken, so the view stays bounded.
    TLineLog endless(30, 100);
    for (int i = 0; i < 10000; ++i)
        endless.AppendChar(QLatin1Char('Z'));
    QCOMPARE(endless.LineCount(), 30);
    QVERIFY(endless.Text().size() <= 30 * 101);
}

void TstPhotocellFrame::bibText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("bib"); // "" when refused
    // clang-format off
    QTest::newRow("12") << "12" << "0012";
    QTest::newRow("0012") << "0012" << "0012";
    QTest::newRow("frame number 012") << "012" << "0012";
    QTest::newRow("five digits") << "12345" << "12345";
    QTest::newRow("blanks around") << " 7 " << "0007";
    QTest::newRow("letters") << "12a" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("quote") << "1'2" << "";
    // clang-format on
}

void TstPhotocellFrame::bibText()
{
    QFETCH(QString, typed);
    QFETCH(QString, bib);
    const std::optional<QString> got = BibText(typed);
    QCOMPARE(got.value_or(QString()), bib);
}

void TstPhotocellFrame::announcement_data()
{
    QTest::addColumn<QString>("zek");
    QTest::addColumn<int>("elapsed");
    QTest::addColumn<QString>("text");
    QTest::newRow("15:07.123") << "0012" << 907123 << QStringLiteral("12ﾊﾞﾝ,15分07秒1");
    QTest::newRow("1 h") << "0007" << 3723456 << QStringLiteral("7ﾊﾞﾝ,1時間02分03秒4");
    QTest::newRow("12 h") << "0100" << 43205000 << QStringLiteral("100ﾊﾞﾝ,12時間00分05秒0");
    QTest::newRow("5:35.1") << "0012" << 335100 << QStringLiteral("12ﾊﾞﾝ,5分35秒1");
    QTest::newRow("under a minute") << "0012" << 45600 << QStringLiteral("12ﾊﾞﾝ,分45秒6");
}

void TstPhotocellFrame::announcement()
{
    QFETCH(QString, zek);
    QFETCH(int, elapsed);
    QFETCH(QString, text);
    QCOMPARE(AnnouncementText(zek, MsecToTimeText(elapsed)), text);
}

void TstPhotocellFrame::firstEmptyMid()
{
    QCOMPARE(FirstEmptyMid({"   15:07.1", "", "", "", ""}), 2);
    QCOMPARE(FirstEmptyMid({"", "", "   15:07.1", "", ""}), 1);
    QCOMPARE(FirstEmptyMid({"a", "b", "c", "d", "e"}), 0);
    QCOMPARE(FirstEmptyMid({"a", "b", "c", "d", ""}), 5);
}

void TstPhotocellFrame::statementsKeepQuotesAsData()
{
    QCOMPARE(PassingInsertSql("012", "10:15:30.120", "A", "7"),
             (QStringList{"insert into midtp2 (zek,time,fl,tpno1) values (", "'012','10:15:30.120','A','7')"}));
    QCOMPARE(PassingInsertSql("'2\\", "10:15:30.120", "A", "1").at(1),
             QStringLiteral("'\\'2\\\\','10:15:30.120','A','1')"));
    QCOMPARE(PhotocellMidTimeSql("2", "   10:15.3", "0012", "R'1"),
             (QStringList{"update result set midtime2='   10:15.3'", "where zek ='0012' and tcode='R\\'1'"}));
    QCOMPARE(ChakuInsertSql(3, "0012", "   15:07.1", 2),
             (QStringList{"INSERT INTO CHAKU (num,zek,time1,laps) VALUES (", "3,", "'0012',", "'   15:07.1',", "2)"}));
}

QTEST_GUILESS_MAIN(TstPhotocellFrame)
#include "tst_photocellframe.moc"
