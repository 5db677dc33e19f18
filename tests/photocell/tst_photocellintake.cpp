// The photocell intake without its window, on the real server: what a passing becomes
// (mid time, display row and announcement agree, midnight included), the journal's lines
// and what a journal that cannot be written costs.
#include "PhotocellIntake.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "ProgramSettings.h"

#include <QSignalSpy>
#include <QtTest>

using namespace Photocell;
using namespace TestSupport;

Q_DECLARE_METATYPE(TPhotocellIntake::TRecording)

class TstPhotocellIntake : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void automaticRecording_data();
    void automaticRecording();
    void journalLines_data();
    void journalLines();
    void journalUnwritable();

private:
    TPhotocellIntake::TRecording take(const QByteArray &line);
    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<TPhotocellIntake> m_intake;
    std::unique_ptr<QTemporaryDir> m_journal;
};

void TstPhotocellIntake::initTestCase()
{
    qRegisterMetaType<TPhotocellIntake::TRecording>();
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_photocellintake"));
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
}

void TstPhotocellIntake::init()
{
    m_db->reload();
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    Dm1->PreparePhotocellQueries(ProgramSettings.CurrentTcode);
    m_journal = std::make_unique<QTemporaryDir>();
    m_intake = std::make_unique<TPhotocellIntake>(Dm1);
    m_intake->SetJournalFolder(m_journal->path());
    m_intake->Automatic = true;
}

// One frame taken in automatic mode; the recording it made (empty when none).
TPhotocellIntake::TRecording TstPhotocellIntake::take(const QByteArray &line)
{
    QSignalSpy recorded(m_intake.get(), &TPhotocellIntake::recorded);
    m_intake->Take(ParseFrame(line));
    return recorded.isEmpty() ? TPhotocellIntake::TRecording{}
                              : recorded.first().first().value<TPhotocellIntake::TRecording>();
}

void TstPhotocellIntake::automaticRecording_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("midtime"); // stored, "<NULL>" for none
    QTest::addColumn<QString>("row");     // the display row's time, "" for none
    QTest::addColumn<QString>("spoken");  // "" for none
    QTest::addColumn<QString>("notice");  // a part of the intake's notice, "" for none
    // clang-format off
    QTest::newRow("plain") << "10:05:30.0" << QByteArray(" 0012 C1  10:20:37.123   1") << "   15:07.1" << "   15:07.1" << "12ﾊﾞﾝ,15分07秒1" << "";
    QTest::newRow("after midnight") << "23:59:30.0" << QByteArray(" 0012 C1  00:00:45.300   1") << "    1:15.3" << "    1:15.3" << "12ﾊﾞﾝ,1分15秒3" << "";
    QTest::newRow("noise in the minutes") << "10:05:30.0" << QByteArray(" 0012 C1  10:1x:30.123   1") << "<NULL>" << "" << "" << "";
    QTest::newRow("bell in the time") << "10:05:30.0" << QByteArray(" 0012 C1  10:12:3\a30.456   1") << "<NULL>" << "" << "" << "";
    QTest::newRow("bib not in the event") << "10:05:30.0" << QByteArray(" 0999 C1  10:20:37.123   1") << "<NULL>" << "" << "" << "0999 自動記録できません";
    // clang-format on
}

// Mid time, display row and announcement come from one elapsed time; a frame that is not
// what the timer sends is kept for the operator and records nothing; a recording that
// changes nothing says so.
void TstPhotocellIntake::automaticRecording()
{
    QFETCH(QString, start);
    QFETCH(QByteArray, line);
    QFETCH(QString, midtime);
    QFETCH(QString, row);
    QFETCH(QString, spoken);
    QFETCH(QString, notice);
    m_db->exec(QStringLiteral("update result set STARTEDTIME='%1' where zek='0012'").arg(start));
    const TPhotocellIntake::TRecording r = take(line);
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from midtp2")), QStringLiteral("1"));
    QCOMPARE(m_db->value(QStringLiteral("select fl from midtp2")),
             midtime == QLatin1String("<NULL>") && notice.isEmpty() ? QStringLiteral("B") : QStringLiteral("A"));
    QCOMPARE(m_db->value(QStringLiteral("select MIDTIME1 from result where tcode='R2026A' and zek='0012'")), midtime);
    QCOMPARE(m_db->value(QStringLiteral("select TIME1 from CHAKU")), row.isEmpty() ? QString() : row);
    QCOMPARE(r.shown ? AnnouncementText(r.zek, *r.shown) : QString(), spoken);
    if (notice.isEmpty())
        QCOMPARE(m_intake->Notice(), QString());
    else
        QVERIFY2(m_intake->Notice().contains(notice), qPrintable(m_intake->Notice()));
}

void TstPhotocellIntake::journalLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("shown"); // the line's frame text as the journal writes it
    // clang-format off
    QTest::newRow("a frame") << QByteArray(" 0012 C1  10:20:37.123   1") << true << "\" 0012 C1  10:20:37.123   1\"";
    QTest::newRow("quote, backslash, bell") << QByteArray(" 0\"\\2 C1  10:20:3\a.123   1") << false << "\" 0\\x22\\x5C2 C1  10:20:3\\x07.123   1\"";
    QTest::newRow("bytes over 0x7F") << QByteArray("?0012 C1  10:20:37.123\xff  1") << false << "\"?0012 C1  10:20:37.123\\xFF  1\"";
    // clang-format on
}

// Every frame stands on a line of its own that gives back the bytes the timer sent, and
// a DONE line once it is stored; what is not done is found again.
void TstPhotocellIntake::journalLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, automatic);
    QFETCH(QString, shown);
    TJournalFrame frame{QString(), 0,   QDateTime(QDate(2020, 2, 29), QTime(10, 20, 37, 456)), QStringLiteral("R2026A"),
                        automatic, line};
    TPassingJournal journal(m_journal->path());
    journal.Append(frame);
    QCOMPARE(frame.number, 1);
    QFile file(journal.FileOf(QDate(2020, 2, 29)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             QStringLiteral("2020-02-29 10:20:37.456 FRAME 1 event=\"R2026A\" mode=%1 line=%2\n")
                 .arg(automatic ? QStringLiteral("auto") : QStringLiteral("manual"), shown));
    file.close();
    const std::optional<TJournalFrame> back = TPassingJournal::ParseFrameLine(TPassingJournal::FrameLine(frame));
    QVERIFY(back);
    QCOMPARE(back->line, line);
    QCOMPARE(back->automatic, automatic);
    QCOMPARE(back->event, QStringLiteral("R2026A"));

    // Today's frames: two, the first done.
    TJournalFrame first{QString(), 0, QDateTime::currentDateTime(), QStringLiteral("R2026A"), false, line};
    TJournalFrame second = first;
    journal.Append(first);
    journal.Append(second);
    journal.MarkDone(first);
    const QList<TJournalFrame> unfinished = journal.Unfinished();
    QCOMPARE(unfinished.size(), 1);
    QCOMPARE(unfinished.first().number, second.number);
    QCOMPARE(unfinished.first().line, line);
}

// A journal that cannot be written is the one case where a frame is not safe on disk:
// the operator is told which folder, and the frame still goes to the server.
void TstPhotocellIntake::journalUnwritable()
{
    const QString blocked = m_journal->filePath(QStringLiteral("not-a-folder"));
    QFile block(blocked);
    QVERIFY(block.open(QIODevice::WriteOnly));
    block.close();
    m_intake->SetJournalFolder(blocked);
    take(" 0012 C1  10:20:37.123   1");
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from CHAKU")), QStringLiteral("1"));
    QVERIFY2(m_intake->Notice().contains(blocked), qPrintable(m_intake->Notice()));
}

QTEST_MAIN(TstPhotocellIntake)
#include "tst_photocellintake.moc"
