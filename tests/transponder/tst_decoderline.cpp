// The decoder's stream cut into lines and records, replayed from captured streams, and
// the reading of a queued record into its values. No window, no port, no database.
#include "DecoderLine.h"
#include "TransponderReading.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace
{

// The escapes of the capture files: \t \r \n \\ and \xHH.
QByteArray unescape(const QByteArray &text)
{
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 't')
            out += '\t';
        else if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 'x' && i + 2 < text.size()) {
            out += char(text.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else
            out += c;
    }
    return out;
}

QList<QByteArray> fileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TstDecoderLine : public QObject
{
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
    void reading_data();
    void reading();
};

void TstDecoderLine::replay_data()
{
    QTest::addColumn<QString>("capture");
    const QDir dir(QFINDTESTDATA("data"));
    const QStringList captures = dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    QVERIFY2(captures.size() >= 5, "the captured decoder streams are missing");
    for (const QString &name : captures)
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

// Each capture holds "< " lines, one receive event each; the expected file beside it lists
// for every event the lines shown and the records queued, then what stays in the buffer.
void TstDecoderLine::replay()
{
    QFETCH(QString, capture);
    QString expectedPath = capture;
    expectedPath.replace(QLatin1String(".log"), QLatin1String(".chk"));
    QVERIFY2(QFile::exists(expectedPath), qPrintable(expectedPath + " is missing"));

    TAmbDecoder decoder;
    QList<QByteArray> output;
    int batch = 0;
    for (const QByteArray &line : fileLines(capture)) {
        if (!line.startsWith("< "))
            continue;
        output << "batch " + QByteArray::number(++batch);
        for (const TAmbLine &taken : decoder.Feed(unescape(line.mid(2)))) {
            output << "shown " + taken.text.toLatin1();
            if (taken.passing)
                output << "queued " + taken.record.toLatin1();
        }
    }
    output << "buffer " + decoder.Buffer().toLatin1();
    QVERIFY(batch > 0);
    QList<QByteArray> expected;
    for (const QByteArray &line : fileLines(expectedPath))
        expected << unescape(line);
    QCOMPARE(output, expected);
}

void TstDecoderLine::reading_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("transponder");
    QTest::addColumn<int>("timeMs");
    QTest::addColumn<int>("hits");
    QTest::addColumn<int>("strength");

    QTest::newRow("strength last") << "0123456\t12.345\t5\t80" << true << "0123456" << 12345 << 5 << 80;
    QTest::newRow("further field") << "0123456\t12.345\t5\t80\tX\tY" << true << "0123456" << 12345 << 5 << 80;
    QTest::newRow("eight digits cut") << "12345678\t1\t5\t80" << true << "1234567" << 1000 << 5 << 80;
    QTest::newRow("capped") << "1\t0.5\t40000\t120" << true << "1" << 500 << 32767 << 120;
    QTest::newRow("negative kept") << "1\t-2.1\t-5\t-40000" << true << "1" << -2100 << -5 << -40000;
    QTest::newRow("blanks and sign") << "1\t 3.\t +7\t 8 " << true << "1" << 3000 << 7 << 8;
    QTest::newRow("quote kept") << "a'b\\c\t1\t2\t3" << true << "a'b\\c" << 1000 << 2 << 3;

    QTest::newRow("time not a number") << "1\tabc\t5\t80" << false << "" << 0 << 0 << 0;
    QTest::newRow("time four decimals") << "1\t12.3456\t5\t80" << false << "" << 0 << 0 << 0;
    QTest::newRow("hits not a number") << "1\t1.0\t5x\t80" << false << "" << 0 << 0 << 0;
    QTest::newRow("hits beyond 32 bits") << "1\t1.0\t2147483648\t80" << false << "" << 0 << 0 << 0;
    QTest::newRow("strength empty, field after") << "1\t1.0\t5\t\t9" << false << "" << 0 << 0 << 0;
    QTest::newRow("strength missing") << "1\t1.0\t5\t" << false << "" << 0 << 0 << 0;
    QTest::newRow("no transponder") << "\t1.0\t5\t80" << false << "" << 0 << 0 << 0;
    QTest::newRow("transponder 0") << "0\t1.0\t5\t80" << false << "" << 0 << 0 << 0;
}

void TstDecoderLine::reading()
{
    QFETCH(QString, record);
    QFETCH(bool, ok);
    TTpReading r;
    r.transponder = QStringLiteral("untouched");
    QString why;
    QCOMPARE(ParseTpReading(record, r, &why), ok);
    if (!ok) {
        QVERIFY(!why.isEmpty());
        QCOMPARE(r.transponder, QStringLiteral("untouched"));
        return;
    }
    QTEST(r.transponder, "transponder");
    QTEST(r.timeMs, "timeMs");
    QTEST(r.hits, "hits");
    QTEST(r.strength, "strength");
}

QTEST_GUILESS_MAIN(TstDecoderLine)
#include "tst_decoderline.moc"
