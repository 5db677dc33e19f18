// The photocell window end to end: a pseudo-terminal plays the timer, the real server
// stores passings and mid times, real speech goes to the capture folder.
#include "CommX.h"
#include "CuteButton.h"
#include "VoicePanel.h"
#include "SpeechEngine.h"
#include "RadioGroup.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "MainWindow.h"
#include "ProgramSettings.h"
#include "PtyPeer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

using namespace TestSupport;

namespace
{

QByteArray frame(const char *zek4, const char *time12, char mid, char status = ' ')
{
    QByteArray f = QByteArray(1, status) + zek4 + " C1  " + time12;
    while (f.size() < 25)
        f += ' ';
    return f + mid + '\r';
}

const QString AllResult =
    QStringLiteral("select zek,MIDTIME1,MIDTIME2,MIDTIME3,MIDTIME4,MIDTIME5 from result order by tcode,zek");

} // namespace

class TstPhotocellWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensModalOnMidOne();
    void framesStored();
    void viewsKeepTheirNewestLines();
    void badInputLosesNothing();
    void ports();
    void recording_data();
    void recording();
    void midPointFollowsTheFrames();
    void refusedRecordingsWriteNothing_data();
    void refusedRecordingsWriteNothing();
    void deleting();
    void displayRow_data();
    void displayRow();
    void announcementsInOrder();
    void voiceOffDuringUtterance();
    void automaticProcessing();
    void pauseDoesNotHoldBackIntake();
    void databaseErrorWhileStoring();
    void checkListButton();
    void mainWindowHandsOver_data();
    void mainWindowHandsOver();

private:
    void prepareQueries();
    std::unique_ptr<TFhand> openWindow();
    void send(const QByteArray &bytes, int expectedRows);
    void record(const QString &bib, const QString &passing);
    int count(const QString &sql) { return m_db->value(sql).toInt(); }
    // The mid point the window shows: the one Mid button in yellow (0 for none or several).
    int shownMid() const;

    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
    std::unique_ptr<TPtyPeer> m_pty; // the timer; the window opens its slave as COM7
    std::unique_ptr<QMainWindow> m_main;
    std::unique_ptr<DialogRecorder> m_dialogs;
    std::unique_ptr<TFhand> m_w;
    std::unique_ptr<QTemporaryDir> m_journal; // each test's own
};

void TstPhotocellWindow::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_fhand"));
    // A long burst waits in the event loop while the window reads it.
    m_pty = std::make_unique<TPtyPeer>(TPtyPeer::Writes::RunEventLoop);
    QDir::setCurrent(m_work.path());
    qputenv("XDG_DATA_HOME", m_work.filePath(QStringLiteral("share")).toLocal8Bit());
    QFile ini(m_work.filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SerialPorts]\r\nCOM7=" + m_pty->SlavePath().toLocal8Bit() + "\r\nCOM9=" +
              m_work.filePath(QStringLiteral("no-such-tty")).toLocal8Bit() + "\r\n[Talk]\r\nCaptureDir=capture\r\n");
    ini.close();

    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
    m_main = std::make_unique<QMainWindow>();
    m_main->setGeometry(50, 50, 1100, 760);
    m_main->show();
    Fcheck = new TFcheck(Dm1, m_main.get());
}

void TstPhotocellWindow::init()
{
    m_db->reload();
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    ProgramSettings.Alge = 7;
    ProgramSettings.Speed = 10; // announcements are short; their order is the point
    m_dialogs = std::make_unique<DialogRecorder>();
    m_journal = std::make_unique<QTemporaryDir>();
    prepareQueries();
    m_w = openWindow();
}

void TstPhotocellWindow::cleanup()
{
    m_w.reset();
    m_dialogs.reset();
}

// What the main window prepares before it shows the window.
void TstPhotocellWindow::prepareQueries()
{
    Dm1->PreparePhotocellQueries(QStringLiteral("R2026A"));
}

std::unique_ptr<TFhand> TstPhotocellWindow::openWindow()
{
    auto w = std::make_unique<TFhand>(Dm1, m_main.get());
    w->Intake->SetJournalFolder(m_journal->path());
    w->Edit3->setText(ProgramSettings.CurrentTcode);
    w->Label3->setText(QStringLiteral("第12回"));
    w->show();
    return w;
}

// Writes timer bytes and waits until midtp2 holds expectedRows rows.
int TstPhotocellWindow::shownMid() const
{
    const TCuteButton *mids[5] = {m_w->CuteButton1, m_w->CuteButton2, m_w->CuteButton3, m_w->CuteButton4,
                                  m_w->CuteButton5};
    int shown = 0;
    for (int i = 0; i < 5; ++i) {
        if (mids[i]->Color() != QColor(Qt::yellow))
            continue;
        if (shown)
            return 0;
        shown = i + 1;
    }
    return shown;
}

void TstPhotocellWindow::send(const QByteArray &bytes, int expectedRows)
{
    m_pty->Write(bytes);
    QTRY_COMPARE_WITH_TIMEOUT(count(QStringLiteral("select count(*) from midtp2")), expectedRows, 10000);
}

void TstPhotocellWindow::record(const QString &bib, const QString &passing)
{
    m_w->Edit1->setText(passing);
    m_w->Edit2->setText(bib);
    QTest::keyClick(m_w->Edit2, Qt::Key_Return);
}

// The controls, their captions and the window's title are in tst_forms.
void TstPhotocellWindow::opensModalOnMidOne()
{
    QVERIFY(m_w->isModal());
    QCOMPARE(m_w->RGoto->Items(), (QStringList{QStringLiteral("無し"), QStringLiteral("有り")}));
    QCOMPARE(m_w->RGoto->ItemIndex(), 0);
    QVERIFY(!m_w->Timer1->isActive());
    QCOMPARE(m_w->Timer1->interval(), 1000);
    QVERIFY(!m_w->pOnseiTest->isVisible());
    m_w->bOnseiPanel->click();
    QVERIFY(m_w->pOnseiTest->isVisible());
    // Mid point 1 is shown when the window opens.
    QCOMPARE(shownMid(), 1);
    QCOMPARE(ShownTitles(m_w->DBGrid2), (QStringList{"ZEK", "中間タイム"}));
}

void TstPhotocellWindow::framesStored()
{
    QVERIFY(m_w->CommX1->IsOpen());
    QCOMPARE(m_w->CommX1->BitRate(), 2400);
    QCOMPARE(m_w->Cbxcomm1->itemText(0), QString());
    QCOMPARE(m_w->Cbxcomm1->currentText(), QStringLiteral("COM7"));

    send(" 0012 C1  10:15:30.123   1\r", 1);
    QCOMPARE(m_db->rows(QStringLiteral("select zek,time,fl,tpno1 from midtp2")),
             (QList<QStringList>{{"012", "10:15:30.123", "A", "1"}}));
    QCOMPARE(m_w->framemid, QStringLiteral("1"));
    QCOMPARE(m_w->curzek, QStringLiteral("012"));
    QCOMPARE(m_w->Edit1->text(), QStringLiteral("10:15:30.123")); // the only passing: the time alone
    QCOMPARE(Dm1->Qdpmid->RecordCount(), 1);

    // A frame split over two reads is completed by the second.
    m_pty->Write(" 0013 C1  10:15:");
    QTRY_VERIFY(m_w->Memo1->toPlainText().endsWith(QStringLiteral("10:15:")));
    QCOMPARE(count(QStringLiteral("select count(*) from midtp2")), 1);
    send("31.12    2\r", 2);
    QCOMPARE(m_w->Edit1->text(), QStringLiteral("10:15:31.120 013")); // two passings now: time, blank, number
    QCOMPARE(m_w->framemid, QStringLiteral("2"));

    send("c0014 C1  10:15:32.1     2\r"
         "x0015 C1  10:15:33.000   2\r"
         " 0016 C2  10:15:34.000   2\r"
         " 0017 c1  10:15:35.000   2\r"
         "?0018 C1  10:15:36.000   3\r",
         4);
    QCOMPARE(m_db->rows(QStringLiteral("select zek,time,fl,tpno1 from midtp2 order by tpno1")),
             (QList<QStringList>{{"012", "10:15:30.123", "A", "1"},
                                 {"013", "10:15:31.120", "A", "2"},
                                 {"014", "10:15:32.1  ", "B", "3"},
                                 {"018", "10:15:36.000", "B", "4"}}));
    QCOMPARE(Dm1->Qdeltime->RecordCount(), 2);
    const QString raw = m_w->Memo1->toPlainText();
    const QString accepted = m_w->Memo3->toPlainText();
    for (const char *shownOnlyRaw : {"x0015", " 0016 C2", " 0017 c1"}) {
        QVERIFY2(raw.contains(QLatin1String(shownOnlyRaw)), shownOnlyRaw);
        QVERIFY2(!accepted.contains(QLatin1String(shownOnlyRaw)), shownOnlyRaw);
    }
    QCOMPARE(accepted.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 4);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void TstPhotocellWindow::viewsKeepTheirNewestLines()
{
    QByteArray bytes;
    for (int i = 1; i <= 11; ++i)
        bytes += frame(QByteArray::number(i).rightJustified(4, '0').constData(), "10:00:00.000", '1');
    for (int i = 12; i <= 31; ++i)
        bytes += "x raw line " + QByteArray::number(i) + "\r";
    send(bytes, 11);
    QTRY_VERIFY(m_w->Memo1->toPlainText().contains(QStringLiteral("raw line 31")));
    const QStringList raw = m_w->Memo1->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(raw.size(), 30);
    QVERIFY2(raw.first().startsWith(QStringLiteral(" 0002 C1")), qPrintable(raw.first()));
    const QStringList accepted = m_w->Memo3->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(accepted.size(), 10);
    QVERIFY(accepted.first().startsWith(QStringLiteral(" 0002 C1")));
    QVERIFY(accepted.last().startsWith(QStringLiteral(" 0011 C1")));
}

void TstPhotocellWindow::badInputLosesNothing()
{
    const QList<QStringList> before = m_db->rows(AllResult);
    QByteArray noise;
    for (int i = 0; i < 2000; ++i)
        noise += char((i * 7919 + 13) % 256 == 13 ? 0x41 : (i * 7919 + 13) % 256); // no CR among them
    m_pty->Write(noise + "\r" + QByteArray(64, char(0xFF)) + "\r");
    m_pty->Write(QByteArray(10000, 'Z'));
    m_pty->Write("\r");
    send(" 0'2\\ C1  12:00:01.000   1\r"
         " 0024 C1  12:00:02.500   1\r",
         2);
    QCOMPARE(m_db->rows(QStringLiteral("select zek,time from midtp2 order by tpno1")),
             (QList<QStringList>{{"'2\\", "12:00:01.000"}, {"024", "12:00:02.500"}}));
    QCOMPARE(m_db->rows(AllResult), before);
    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join('|')));
    QVERIFY(m_w->Memo1->toPlainText().size() < 40000);
}

void TstPhotocellWindow::ports()
{
    // The blank entry closes the port.
    m_w->Cbxcomm1->setCurrentIndex(0);
    m_w->Cbxcomm1Change();
    QVERIFY(!m_w->CommX1->IsOpen());
    QCOMPARE(ProgramSettings.Alge, 0);

    // A port that cannot be opened.
    const int com9 = m_w->Cbxcomm1->findText(QStringLiteral("COM9"));
    QVERIFY(com9 > 0);
    m_w->Cbxcomm1->setCurrentIndex(com9);
    m_w->Cbxcomm1Change();
    QCOMPARE(m_dialogs->texts(), QStringList{TFhand::PortMessage()});
    QCOMPARE(m_w->Cbxcomm1->currentIndex(), 0);
    QCOMPARE(m_w->Cbxcomm1->currentText(), QString());
    QCOMPARE(ProgramSettings.Alge, 0);
    QVERIFY(!m_w->CommX1->IsOpen());

    // The chosen port is opened again by the next window.
    m_w->Cbxcomm1->setCurrentIndex(m_w->Cbxcomm1->findText(QStringLiteral("COM7")));
    m_w->Cbxcomm1Change();
    QCOMPARE(ProgramSettings.Alge, 7);
    m_w->CuteButtonClick();
    QVERIFY(!m_w->CommX1->IsOpen());
    m_w = openWindow();
    QVERIFY(m_w->CommX1->IsOpen());
    QCOMPARE(m_w->Cbxcomm1->currentText(), QStringLiteral("COM7"));
    send(frame("0001", "10:30:00.000", '1'), 1);
}

void TstPhotocellWindow::recording_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("start"); // "<NULL>" for none
    QTest::addColumn<QString>("passing");
    QTest::addColumn<QString>("midtime");
    // clang-format off
    QTest::newRow("12") << "12" << "10:05:30.0" << "10:20:37.123" << "   15:07.1";
    QTest::newRow("0012") << "0012" << "10:05:30.0" << "10:20:37.123" << "   15:07.1";
    QTest::newRow("over midnight") << "12" << "23:59:50.0" << "00:10:05.300" << "   10:15.3";
    QTest::newRow("start equals passing") << "12" << "10:15:30.120" << "10:15:30.120" << "       0.0";
    QTest::newRow("empty start") << "12" << "" << "10:15:30.120" << "10:15:30.1";
    QTest::newRow("no start") << "12" << "<NULL>" << "10:15:30.120" << "10:15:30.1";
    QTest::newRow("time, blank, number") << "12" << "10:05:30.0" << "10:20:37.123 012" << "   15:07.1";
    // clang-format on
}

void TstPhotocellWindow::recording()
{
    QFETCH(QString, typed);
    QFETCH(QString, start);
    QFETCH(QString, passing);
    QFETCH(QString, midtime);
    m_db->exec(start == QLatin1String("<NULL>")
                   ? QStringLiteral("update result set STARTEDTIME=NULL where zek='0012'")
                   : QStringLiteral("update result set STARTEDTIME='%1' where zek='0012'").arg(start));
    send(frame("0012", "10:20:37.123", '1'), 1);
    const QList<QStringList> before = m_db->rows(AllResult);

    record(typed, passing);
    QCOMPARE(m_db->value(QStringLiteral("select MIDTIME1 from result where tcode='R2026A' and zek='0012'")), midtime);
    QCOMPARE(m_w->curzek, QStringLiteral("0012"));
    QCOMPARE(m_w->Edit3->text(),
             QStringLiteral("update result set midtime1='%1'\r\nwhere zek ='0012' and tcode='R2026A'").arg(midtime));
    // Nothing else changed.
    QList<QStringList> after = m_db->rows(AllResult);
    for (QStringList &r : after) {
        if (r.value(0) == QLatin1String("0012"))
            r[1] = QStringLiteral("<NULL>");
    }
    QCOMPARE(after, before);
    QVERIFY(m_dialogs->shown.isEmpty());
}

void TstPhotocellWindow::midPointFollowsTheFrames()
{
    send(frame("0003", "10:11:00.500", '2'), 1);
    send(frame("0004", "10:12:00.700", '2'), 2);
    QCOMPARE(shownMid(), 1);
    // The older passing, picked in the grid with Enter.
    m_w->DBGrid1->setCurrentIndex(ShownIndex(m_w->DBGrid1, 0, 0));
    QTest::keyClick(m_w->DBGrid1, Qt::Key_Return);
    QCOMPARE(m_w->Edit1->text(), QStringLiteral("10:11:00.500"));
    QCOMPARE(m_w->Edit2->text(), QStringLiteral("003"));
    QTest::keyClick(m_w->Edit2, Qt::Key_Return);
    QCOMPARE(m_db->rows(QStringLiteral("select MIDTIME1,MIDTIME2 from result where tcode='R2026A' and zek='0003'")),
             (QList<QStringList>{{"<NULL>", "   10:00.5"}}));
    QCOMPARE(shownMid(), 2);
    QCOMPARE(m_w->CuteButton2->Color(), QColor(Qt::yellow));
    QCOMPARE(m_w->CuteButton1->Color(), QColor(Qt::white));
    QCOMPARE(ShownFields(m_w->DBGrid2).value(1).toUpper(), QStringLiteral("MIDTIME2"));
    QCOMPARE(ShownTitles(m_w->DBGrid2).value(1), QStringLiteral("中間タイム"));
    // The passing stays listed; the mid time grid shows mid point 2.
    QCOMPARE(Dm1->Qdpmid->RecordCount(), 2);
    QCOMPARE(ShownIndex(m_w->DBGrid2, 2, 1).data().toString(), QStringLiteral("   10:00.5"));

    // A passing of the unprocessed list is picked with a click; the bib box keeps its text.
    send(frame("0005", "10:13:00.000", '2', 'c'), 3);
    m_w->Edit2->setText(QStringLiteral("5"));
    const QModelIndex unprocessed = ShownIndex(m_w->DBGrid3, 0, 1);
    m_w->DBGrid3CellClick(unprocessed);
    QCOMPARE(m_w->Edit1->text(), QStringLiteral("10:13:00.000"));
    QCOMPARE(m_w->Edit2->text(), QStringLiteral("5"));
    QCOMPARE(ShownTitles(m_w->DBGrid3), (QStringList{"ID-No.", "通過時刻"}));
}

void TstPhotocellWindow::refusedRecordingsWriteNothing_data()
{
    QTest::addColumn<bool>("frameFirst");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("bib not a number") << true << "12a" << TFhand::BibMessage(QStringLiteral("12a"));
    QTest::newRow("empty bib") << true << "" << TFhand::BibMessage(QString());
    QTest::newRow("no mid point yet") << false << "12" << TFhand::NoMidPointMessage();
}

void TstPhotocellWindow::refusedRecordingsWriteNothing()
{
    QFETCH(bool, frameFirst);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    if (frameFirst)
        send(frame("0012", "10:20:37.123", '1'), 1);
    const QList<QStringList> before = m_db->rows(AllResult);
    record(typed, QStringLiteral("10:20:37.123"));
    QCOMPARE(m_dialogs->texts(), QStringList{message});
    QCOMPARE(m_db->rows(AllResult), before);
    QCOMPARE(count(QStringLiteral("select count(*) from CHAKU")), 0);
}

void TstPhotocellWindow::deleting()
{
    send(frame("0001", "10:30:00.000", '1') + frame("0002", "10:30:00.000", '1', 'c') +
             frame("0003", "10:31:00.000", '1'),
         3);
    m_w->DBGrid1->setCurrentIndex(ShownIndex(m_w->DBGrid1, 0, 0));
    m_w->N1->trigger();
    QCOMPARE(m_db->rows(QStringLiteral("select zek from midtp2")), (QList<QStringList>{{"003"}}));
    QCOMPARE(Dm1->Qdpmid->RecordCount(), 1);
    QCOMPARE(Dm1->Qdeltime->RecordCount(), 0);

    m_dialogs->answer(false);
    m_w->CuteButton7->click();
    QCOMPARE(m_dialogs->shown.size(), 1);
    QCOMPARE(m_dialogs->shown[0].title, QStringLiteral("確認してください。"));
    QCOMPARE(m_dialogs->shown[0].text, QStringLiteral("中間計測タイムを全て削除します。"));
    QCOMPARE(count(QStringLiteral("select count(*) from midtp2")), 1);
    m_dialogs->answer(true);
    m_w->CuteButton7->click();
    QCOMPARE(count(QStringLiteral("select count(*) from midtp2")), 0);
    QCOMPARE(Dm1->Qdpmid->RecordCount(), 0);
    // The first passing after emptying is number 1 again.
    send(frame("0004", "10:32:00.000", '1'), 1);
    QCOMPARE(m_db->value(QStringLiteral("select tpno1 from midtp2")), QStringLiteral("1"));
}

void TstPhotocellWindow::displayRow_data()
{
    QTest::addColumn<char>("mid");
    QTest::addColumn<QString>("setup"); // run before the recording
    QTest::addColumn<bool>("voiceOn");
    QTest::addColumn<QString>("row");          // "num|zek|time1|laps", "" for none
    QTest::addColumn<QString>("announcement"); // "" for none
    const QString spoken = QStringLiteral("12ﾊﾞﾝ,15分07秒1");
    QTest::newRow("first at mid 1") << '1' << "" << true << "1|0012|   15:07.1|2" << spoken;
    QTest::newRow("first at mid 3") << '3' << "" << true << "1|0012|   15:07.1|1" << spoken;
    QTest::newRow("numbered after the highest")
        << '1' << "insert into CHAKU (NUM,ZEK,LAPS,TIME1) values (7,'0001',1,'x'),(3,'0002',1,'y')" << true
        << "8|0012|   15:07.1|2" << spoken;
    QTest::newRow("last empty column")
        << '5' << "update result set MIDTIME1='a',MIDTIME2='b',MIDTIME3='c',MIDTIME4='d' where zek='0012'" << true << ""
        << "";
    QTest::newRow("status not T") << '1' << "update result set status='D' where zek='0012'" << true << ""
                                  << "";
    QTest::newRow("announcements off") << '1' << "" << false << "1|0012|   15:07.1|2"
                                       << "";
}

void TstPhotocellWindow::displayRow()
{
    QFETCH(char, mid);
    QFETCH(QString, setup);
    QFETCH(bool, voiceOn);
    QFETCH(QString, row);
    QFETCH(QString, announcement);
    if (!setup.isEmpty())
        m_db->exec(setup);
    m_w->RGoto->setItemIndex(voiceOn ? 1 : 0);
    send(frame("0012", "10:20:37.123", mid), 1);
    const int before = count(QStringLiteral("select count(*) from CHAKU"));
    record(QStringLiteral("12"), m_w->Edit1->text());
    // The mid time is written in every case.
    QCOMPARE(m_db->value(QStringLiteral("select MIDTIME%1 from result where tcode='R2026A' and zek='0012'").arg(mid)),
             QStringLiteral("   15:07.1"));
    const QList<QStringList> rows =
        m_db->rows(QStringLiteral("select NUM,ZEK,TIME1,LAPS from CHAKU order by NUM desc"));
    if (row.isEmpty())
        QCOMPARE(rows.size(), before);
    else
        QCOMPARE(rows.value(0).join(QLatin1Char('|')), row);
    QCOMPARE(m_w->talklist, announcement.isEmpty() ? QStringList() : QStringList{announcement});
}

void TstPhotocellWindow::announcementsInOrder()
{
    QSignalSpy done(m_w->St1, &TSmarTalk::UtteranceDone);
    m_w->St1->setAudioDevice(QString()); // no device: spoken in silence, kept as WAV files
    QVERIFY(!m_w->lSpeechNotice->isVisible());
    m_w->RGoto->setItemIndex(1);
    send(frame("0001", "10:10:00.000", '1') + frame("0002", "10:11:00.000", '1') + frame("0003", "10:12:00.000", '1'),
         3);
    record(QStringLiteral("1"), QStringLiteral("10:10:00.000"));
    record(QStringLiteral("2"), QStringLiteral("10:11:00.000"));
    record(QStringLiteral("3"), QStringLiteral("10:12:00.000"));
    QCOMPARE(m_w->talklist.size(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 3, 30000);
    QStringList texts;
    qint64 previousEnd = 0;
    for (const QList<QVariant> &args : done) {
        const auto r = args.at(0).value<TUtteranceReport>();
        texts << r.text;
        QVERIFY(r.error.isEmpty());
        QVERIFY(r.samples > 0);
        QVERIFY2(QFile::exists(r.capturePath), qPrintable(r.capturePath));
        QVERIFY2(r.requestedNs >= previousEnd, "an announcement started before the previous one ended");
        previousEnd = r.endedNs;
    }
    QCOMPARE(texts, (QStringList{QStringLiteral("1ﾊﾞﾝ,10分00秒0"), QStringLiteral("2ﾊﾞﾝ,10分30秒0"),
                                 QStringLiteral("3ﾊﾞﾝ,11分00秒0")}));
    QVERIFY(m_w->talklist.isEmpty());
    QTRY_VERIFY(m_w->Timer1->isActive());
    // Not heard: the window says so in a line of its own, not in a box.
    QVERIFY(m_w->lSpeechNotice->isVisible());
    QCOMPARE(m_w->lSpeechNotice->text(), TSmarTalk::NoDeviceNotice(true));
    QVERIFY(m_w->rect().contains(m_w->lSpeechNotice->geometry()));
    QVERIFY(m_dialogs->shown.isEmpty());
    m_w->RGoto->setItemIndex(0);
    QVERIFY(!m_w->Timer1->isActive());
    QVERIFY(!m_w->lSpeechNotice->isVisible());
}

void TstPhotocellWindow::voiceOffDuringUtterance()
{
    QSignalSpy ended(m_w->St1, &TSmarTalk::OnEVOUTEND);
    m_w->RGoto->setItemIndex(1);
    send(frame("0001", "10:10:00.000", '1') + frame("0002", "10:11:00.000", '1'), 2);
    record(QStringLiteral("1"), QStringLiteral("10:10:00.000"));
    record(QStringLiteral("2"), QStringLiteral("10:11:00.000"));
    QTRY_COMPARE_WITH_TIMEOUT(m_w->St1->Pending(), 1, 5000); // the first is being spoken
    m_w->RGoto->setItemIndex(0);
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 15000);
    // The end of that utterance does not start the pump again: the second text stays unspoken.
    QTest::qWait(1500);
    QVERIFY(!m_w->Timer1->isActive());
    QCOMPARE(ended.size(), 1);
    QCOMPARE(m_w->talklist.size(), 1);
}

void TstPhotocellWindow::automaticProcessing()
{
    QSignalSpy done(m_w->St1, &TSmarTalk::UtteranceDone);
    m_w->CkBauto->click();
    QCOMPARE(ProgramSettings.Automode, 1);
    m_w->RGoto->setItemIndex(1);
    send(frame("0020", "10:19:40.200", '1'), 1);
    send(frame("0021", "10:25:10.900", '1', 'c'), 2);
    QCOMPARE(m_db->rows(QStringLiteral(
                 "select zek,MIDTIME1 from result where tcode='R2026A' and zek in ('0020','0021') order by zek")),
             (QList<QStringList>{{"0020", "   10:10.2"}, {"0021", "   15:10.9"}}));
    QCOMPARE(m_db->rows(QStringLiteral("select NUM,ZEK,TIME1,LAPS from CHAKU order by NUM")),
             (QList<QStringList>{{"1", "0020", "   10:10.2", "2"}, {"2", "0021", "   15:10.9", "2"}}));
    QCOMPARE(m_db->rows(QStringLiteral("select fl from midtp2 order by tpno1")), (QList<QStringList>{{"A"}, {"B"}}));
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 30000);
    QCOMPARE(done.at(1).at(0).value<TUtteranceReport>().text, QStringLiteral("21ﾊﾞﾝ,15分10秒9"));

    // A frame the timer marks as doubtful is kept among the unprocessed times but is not
    // recorded by itself.
    send(frame("0022", "10:26:00.000", '1', '?'), 3);
    QCOMPARE(m_db->value(QStringLiteral("select fl from midtp2 where zek='022'")), QStringLiteral("B"));
    QCOMPARE(m_db->value(QStringLiteral("select MIDTIME1 from result where tcode='R2026A' and zek='0022'")),
             QStringLiteral("<NULL>"));
    QCOMPARE(count(QStringLiteral("select count(*) from CHAKU")), 2);
    QCOMPARE(Dm1->Qdeltime->RecordCount(), 2);

    // The setting carries over to the next window.
    m_w = openWindow();
    QVERIFY(m_w->CkBauto->isChecked());
    m_w->CkBauto->click();
    QCOMPARE(ProgramSettings.Automode, 0);
}

void TstPhotocellWindow::pauseDoesNotHoldBackIntake()
{
    m_w->CkBauto->click();
    m_w->CkBMid->setChecked(true);
    // While the first pause box is open, the timer sends the next frame; it must be
    // stored and recorded before the box is acknowledged.
    bool recordedWhileOpen = false;
    int pauses = 0;
    Dialogs::setResponder([&](Dialogs::Kind, const QString &, const QString &text) {
        if (!text.isEmpty())
            return true;
        if (++pauses == 1) {
            m_pty->Write(frame("0031", "10:25:00.000", '1'));
            QDeadlineTimer deadline(10000);
            while (!deadline.hasExpired() && !recordedWhileOpen) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
                recordedWhileOpen =
                    !m_db->value(QStringLiteral("select MIDTIME1 from result where tcode='R2026A' and zek='0031'"))
                         .startsWith(QLatin1Char('<'));
            }
        }
        return true;
    });
    m_pty->Write(frame("0030", "10:24:00.000", '1'));
    QTRY_VERIFY_WITH_TIMEOUT(pauses >= 1, 10000);
    QTRY_VERIFY(recordedWhileOpen);
    QCOMPARE(count(QStringLiteral("select count(*) from midtp2")), 2);
    QTRY_COMPARE(count(QStringLiteral("select count(*) from CHAKU")), 2);
}

void TstPhotocellWindow::databaseErrorWhileStoring()
{
    // A passing the server refuses is set aside and listed, without a box; the next
    // frames do not wait for it, and once the table is back both are stored, in order.
    m_db->exec(QStringLiteral("rename table midtp2 to midtp2_away"));
    m_pty->Write(frame("0040", "10:40:00.000", '1'));
    QTRY_VERIFY_WITH_TIMEOUT(m_w->lIntakeNotice->isVisible(), 10000);
    QVERIFY2(m_w->Intake->Notice().contains(QStringLiteral("040 10:40:00.000")), qPrintable(m_w->Intake->Notice()));
    QVERIFY(m_w->Memo3->toPlainText().contains(QStringLiteral(" 0040 C1")));
    m_db->exec(QStringLiteral("rename table midtp2_away to midtp2"));
    send(frame("0041", "10:41:00.000", '1'), 1);
    QTRY_COMPARE_WITH_TIMEOUT(m_db->rows(QStringLiteral("select zek from midtp2 order by tpno1")),
                              (QList<QStringList>{{"041"}, {"040"}}), 15000);
    QTRY_VERIFY(!m_w->lIntakeNotice->isVisible());
    QVERIFY2(m_dialogs->shown.isEmpty(), qPrintable(m_dialogs->texts().join('|')));
}

void TstPhotocellWindow::checkListButton()
{
    m_w->CuteButton6->click();
    QTRY_VERIFY(Fcheck->isVisible());
    QCOMPARE(Dm1->Qcheck->SQL().value(0), TFcheck::PhotocellFirstLine);
    QCOMPARE(Dm1->Qcheck->RecordCount(), 60);
    Fcheck->close();
}

void TstPhotocellWindow::mainWindowHandsOver_data()
{
    QTest::addColumn<QString>("execinfo"); // "" for none
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("name");
    // clang-format off
    QTest::newRow("event running") << "R2026A" << "R2026A" << QStringLiteral("第12回 高原ホワイトカップ クロスカントリー大会");
    QTest::newRow("no event") << "" << "0" << QStringLiteral("大会未指定");
    // clang-format on
}

// The main window's "光電管" button hands the event to a new photocell window, shows it
// modally and releases it when it closes.
void TstPhotocellWindow::mainWindowHandsOver()
{
    QFETCH(QString, execinfo);
    QFETCH(QString, code);
    QFETCH(QString, name);
    m_w.reset();
    m_db->exec(QStringLiteral("delete from EXECINFO"));
    if (!execinfo.isEmpty())
        m_db->exec(QStringLiteral("insert into EXECINFO (num,tcode,upd) values (1,'%1',0)").arg(execinfo));
    TFmain main(Dm1);
    QPointer<TFhand> shown;
    QString shownCode;
    QString shownName;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *w = qobject_cast<TFhand *>(QApplication::activeModalWidget())) {
            shown = w;
            shownCode = w->Edit3->text();
            shownName = w->Label3->text();
            w->CuteButton->click();
        }
    });
    closer.start(20);
    main.CuteButton1->click();
    closer.stop();
    QCOMPARE(shownCode, code);
    QCOMPARE(shownName, name);
    QVERIFY(shown.isNull()); // released when it closed
    QVERIFY(m_dialogs->shown.isEmpty());
}

QTEST_MAIN(TstPhotocellWindow)
#include "tst_photocellwindow.moc"
