// The chip-tag mid window on the real server: what it shows when opened, the mode and
// mid-point buttons, clearing the passing display, the ranking grid's colours, the
// announcement queue with real speech, and the whole road from the main window.
#include "CuteButton.h"
#include "DbSelect.h"
#include "MidRankDelegate.h"
#include "VoicePanel.h"
#include "SpeechEngine.h"
#include "DataSource.h"
#include "RadioGroup.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "MainWindow.h"
#include "ChipTagWindow.h"
#include "ProgramSettings.h"

#include <QDir>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace TestSupport;

class TstChipTagWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openingShowsMidOneAutomatically();
    void openingSetsSpeedNine();
    void fixedMidPointKeepsTheRankingGrid();
    void clearingThePassingDisplay();
    void japaneseRowsAreBlue();
    void equalMidTimesShareARankListedByBib();
    void columnFonts_data();
    void columnFonts();
    void waitingPassingsShown();
    void speechNotice_data();
    void speechNotice();
    void announcementsOneAtATimeInOrder();
    void databaseErrorKeepsWindowUsable();
    void checkListFromTheWindow();
    void mainWindowToAnnouncedPassing();

private:
    std::unique_ptr<TFmid> openWindow();
    void passing(const QString &zek, const QString &time, int count);
    void bumpUpd();
    int chakuRows() { return m_db->value(QStringLiteral("select count(*) from CHAKU")).toInt(); }
    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
    QTemporaryDir m_capture;
};

void TstChipTagWindow::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_fmid"));
    QDir::setCurrent(m_work.path());
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
    Fcheck = new TFcheck(Dm1);
}

void TstChipTagWindow::init()
{
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    ProgramSettings.Onsei = 1;
}

void TstChipTagWindow::cleanup()
{
    m_db->reload();
    Dm1->DB->Close();
    Dm1->DB->Open();
    Dm1->Query1->setSQL({QStringLiteral("set names sjis")});
    Dm1->Query1->ExecSQL();
}

std::unique_ptr<TFmid> TstChipTagWindow::openWindow()
{
    auto w = std::make_unique<TFmid>(Dm1);
    w->St1->setCaptureDir(m_capture.path());
    w->St1->setAudioDevice(QString()); // the silent output: real durations, no device
    w->show();
    return w;
}

void TstChipTagWindow::passing(const QString &zek, const QString &time, int count)
{
    m_db->exec(
        QStringLiteral("insert into tag_rec (tcode,zek,term,time,count,use_mid) values ('R2026A','%1','C1','%2',%3,0)")
            .arg(zek, time)
            .arg(count));
}

void TstChipTagWindow::bumpUpd()
{
    m_db->exec(QStringLiteral("update EXECINFO set upd=upd+1 where num=1"));
}

void TstChipTagWindow::openingShowsMidOneAutomatically()
{
    DialogRecorder dialogs;
    auto w = openWindow();
    w->b3->click();
    QCOMPARE(w->Intake->midno, 3);
    w->close();
    w = openWindow();
    QCOMPARE(w->Intake->midno, 1);
    QCOMPARE(w->Intake->tagauto, 1);
    QVERIFY(Dm1->qMidRank->SQLText().contains(QStringLiteral("MIDJUN1 AS MJ")));
    QCOMPARE(w->bAuto->Color(), QColor(0, 255, 0));
    QCOMPARE(w->b3->Color(), QApplication::palette().color(QPalette::Button));
    QCOMPARE(w->windowTitle(), QStringLiteral("Fmid"));
    QCOMPARE(w->size(), QSize(1218, 864));
    QCOMPARE(w->DBGrid2->geometry(), QRect(8, 72, 545, 737));
    QCOMPARE(w->DBG3->geometry(), QRect(552, 72, 665, 737));
    QVERIFY(w->DBGrid2->isVisible() && w->DBG3->isVisible());
    QVERIFY(!w->pOnseiTest->isVisible());
    QVERIFY(w->Timer1->isActive() && w->Timer2->isActive());
    QCOMPARE(w->lTikimei->text(), m_db->value(QStringLiteral("select TIKIMEI from tiki where TCODE='R2026A'")));
    QCOMPARE(w->RGoto->ItemIndex(), 1);
    // The grids show their columns in order, the others hidden.
    QCOMPARE(ShownFields(w->DBG3), QStringList({"MJ", "ZEK", "MTS", "MDS"}));
    w->bOnseiPanel->click();
    QVERIFY(w->pOnseiTest->isVisible());
    w->CuteButton1->click();
    QVERIFY(!w->isVisible());
    QVERIFY(!w->Timer1->isActive() && !w->Timer2->isActive());
    QVERIFY(dialogs.shown.isEmpty());
}

void TstChipTagWindow::openingSetsSpeedNine()
{
    DialogRecorder dialogs;
    ProgramSettings.Speed = 4;
    auto w = openWindow();
    QCOMPARE(w->pOnseiTest->TB1->value(), 9);
    QCOMPARE(int(w->St1->Speed()), 9);
    QCOMPARE(ProgramSettings.Speed, 9);
}

void TstChipTagWindow::fixedMidPointKeepsTheRankingGrid()
{
    DialogRecorder dialogs;
    ProgramSettings.Onsei = 0;
    auto w = openWindow();
    w->b3->click();
    QCOMPARE(w->Intake->tagauto, 0);
    QCOMPARE(w->b3->Color(), QColor(197, 254, 133));
    QCOMPARE(w->bAuto->Color(), QApplication::palette().color(QPalette::Button));
    passing(QStringLiteral("0001"), QStringLiteral("10:05:31.456"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 1, 5000);
    QCOMPARE(m_db->value(QStringLiteral("select MIDTIME1 from result where zek='0001'")), QStringLiteral("    5:31.4"));
    QCOMPARE(m_db->value(QStringLiteral("select MIDJUN1 from result where zek='0001'")), QStringLiteral("1"));
    QCOMPARE(w->Intake->midno, 3);
    QVERIFY(Dm1->qMidRank->SQLText().contains(QStringLiteral("MIDJUN3 AS MJ")));
    QCOMPARE(Dm1->dsChaku->rowCount(), 1);

    // Automatic mode changes nothing shown until the next passing.
    w->bAuto->click();
    QCOMPARE(w->Intake->midno, 3);
    QCOMPARE(w->bAuto->Color(), QColor(0, 255, 0));
    passing(QStringLiteral("0002"), QStringLiteral("10:06:00.000"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 2, 5000);
    QTRY_COMPARE(w->Intake->midno, 1);
    QVERIFY(Dm1->qMidRank->SQLText().contains(QStringLiteral("MIDJUN1 AS MJ")));
    QCOMPARE(Dm1->dsMidRank->rowCount(), 2);
    QVERIFY(w->Intake->talklist.isEmpty()); // voice off: nothing queued
}

void TstChipTagWindow::clearingThePassingDisplay()
{
    DialogRecorder dialogs;
    m_db->exec(QStringLiteral(
        "insert into CHAKU (num,zek,time1,laps) values (1,'0001','    5:31.4',1),(2,'9999','    1:00.0',1)"));
    m_db->exec(
        QStringLiteral("update result set MIDTIME1='    5:31.4', MIDDIFF1='       0.0', MIDJUN1=1 where zek='0001'"));
    auto w = openWindow();
    const QString name = w->lTikimei->text();
    QCOMPARE(Dm1->dsChaku->rowCount(), 2);
    dialogs.answer(false);
    w->bClr->click();
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown[0].title, QStringLiteral("確認"));
    QCOMPARE(dialogs.shown[0].text, QStringLiteral("データを削除します。良いですか。"));
    QCOMPARE(chakuRows(), 2);
    QCOMPARE(Dm1->dsChaku->rowCount(), 2);
    QCOMPARE(w->lTikimei->text(), name);

    dialogs.answer(true);
    w->bClr->click();
    QCOMPARE(chakuRows(), 0);
    QCOMPARE(Dm1->dsChaku->rowCount(), 0);
    QCOMPARE(m_db->rows(QStringLiteral("select MIDTIME1, MIDDIFF1, MIDJUN1 from result where zek='0001'")).first(),
             QStringList({"    5:31.4", "       0.0", "1"}));
    passing(QStringLiteral("0003"), QStringLiteral("10:07:10.000"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 1, 5000);
    QCOMPARE(m_db->value(QStringLiteral("select NUM from CHAKU")), QStringLiteral("1"));
}

void TstChipTagWindow::japaneseRowsAreBlue()
{
    DialogRecorder dialogs;
    m_db->exec(QStringLiteral(
        "update result set MIDTIME1='    5:00.0', MIDDIFF1='       0.0', MIDJUN1=1, NATION='JPN' where zek='0001'"));
    m_db->exec(QStringLiteral(
        "update result set MIDTIME1='    5:10.0', MIDDIFF1='      10.0', MIDJUN1=2, NATION='jpn' where zek='0002'"));
    auto w = openWindow();
    QCOMPARE(Dm1->dsMidRank->rowCount(), 2);
    QApplication::processEvents();
    const QImage image = w->DBG3->viewport()->grab().toImage();
    auto hasBlueInCell = [&](int row, int column) {
        const QRect cell = w->DBG3->visualRect(Dm1->dsMidRank->index(row, column));
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (image.pixelColor(x * image.width() / w->DBG3->viewport()->width(),
                                     y * image.height() / w->DBG3->viewport()->height()) == QColor(0, 0, 255))
                    return true;
        return false;
    };
    for (const char *field : {"MJ", "ZEK", "MTS", "MDS"}) {
        const int column = Dm1->dsMidRank->ColumnOf(QLatin1String(field));
        QVERIFY2(hasBlueInCell(0, column), field);
        QVERIFY2(!hasBlueInCell(1, column), field);
    }
}

void TstChipTagWindow::equalMidTimesShareARankListedByBib()
{
    DialogRecorder dialogs;
    ProgramSettings.Onsei = 0;
    // 0001's row stored after the others: the server's own order of rows would list it
    // after 0003.
    m_db->exec(QStringLiteral("create temporary table moved as select * from result where zek='0001'"));
    m_db->exec(QStringLiteral("delete from result where zek='0001'"));
    m_db->exec(QStringLiteral("insert into result select * from moved"));
    m_db->exec(QStringLiteral("drop temporary table moved"));
    auto w = openWindow();
    // The ranks and differences are the rule's (tst_midrules midRanking); here the grid
    // shows them, and lists a shared rank by bib whatever order the server keeps its rows in.
    // 0003 and 0001 both pass in 5:05.1, 0003 first; 0002 leads, 0004 follows.
    passing(QStringLiteral("0003"), QStringLiteral("10:06:05.100"), 1);
    passing(QStringLiteral("0004"), QStringLiteral("10:06:40.000"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 2, 5000);
    passing(QStringLiteral("0001"), QStringLiteral("10:05:05.100"), 1);
    passing(QStringLiteral("0002"), QStringLiteral("10:05:00.000"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 4, 5000);
    QTRY_COMPARE(Dm1->dsMidRank->rowCount(), 4);
    auto columnOf = [](const char *field) { return Dm1->dsMidRank->ColumnOf(QLatin1String(field)); };
    QStringList shown;
    for (int row = 0; row < Dm1->dsMidRank->rowCount(); ++row) {
        QStringList cells;
        for (const char *field : {"MJ", "ZEK", "MTS", "MDS"})
            cells << Dm1->dsMidRank->index(row, columnOf(field)).data().toString().trimmed();
        shown << cells.join(QLatin1Char('|'));
    }
    QCOMPARE(shown,
             (QStringList{"1|0002|4:30.0|0.0", "2|0001|5:05.1|35.1", "2|0003|5:05.1|35.1", "4|0004|5:10.0|40.0"}));
    QVERIFY(!w->DBG3->isColumnHidden(columnOf("MJ")));
}

void TstChipTagWindow::columnFonts_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("px");
    QTest::addColumn<QString>("family");
    // clang-format off
    QTest::newRow("NUM") << "DBGrid2" << "NUM" << 27 << "IPAGothic";
    QTest::newRow("ZEK of the passings") << "DBGrid2" << "ZEK" << 32 << "IPAPGothic";
    QTest::newRow("MJ") << "DBG3" << "MJ" << 27 << "IPAGothic";
    QTest::newRow("MTS") << "DBG3" << "MTS" << 32 << "IPAGothic";
    // clang-format on
}

// "ＭＳ ゴシック" and "ＭＳ Ｐゴシック" are drawn in IPA Gothic and IPA P Gothic; NUM and
// MJ have their own 27 px, the other columns the grid's 32 px.
void TstChipTagWindow::columnFonts()
{
    QFETCH(QString, grid);
    QFETCH(QString, field);
    DialogRecorder dialogs;
    m_db->exec(QStringLiteral("insert into CHAKU (num,zek,time1,laps) values (1,'0001','    5:31.4',1)"));
    m_db->exec(
        QStringLiteral("update result set MIDTIME1='    5:31.4', MIDDIFF1='       0.0', MIDJUN1=1 where zek='0001'"));
    auto w = openWindow();
    auto *view = w->findChild<QTableView *>(grid);
    QVERIFY(view);
    const int column = static_cast<TDataSource *>(view->model())->ColumnOf(field);
    QVERIFY(column >= 0 && !view->isColumnHidden(column));
    QFont font = view->font();
    if (auto *own = qobject_cast<TColumnFontDelegate *>(view->itemDelegateForColumn(column)))
        font = own->Font();
    const QFontInfo info(font);
    QTEST(info.pixelSize(), "px");
    QTEST(info.family(), "family");
}

// What a waiting passing says and the line's summary are the rule's (tst_midrules); which
// passings wait is the intake's (tst_midintake). Here: the window shows them, and the line
// goes once none waits.
void TstChipTagWindow::waitingPassingsShown()
{
    DialogRecorder dialogs;
    ProgramSettings.Onsei = 0;
    m_db->exec(QStringLiteral("update result set STARTEDTIME='' where zek='0002'"));
    auto w = openWindow();
    QVERIFY(!w->lWaiting->isVisible());
    passing(QStringLiteral("0001"), QStringLiteral("10:05:31.456"), 1);
    passing(QStringLiteral("0002"), QStringLiteral("10:06:00.000"), 1);
    passing(QStringLiteral("0099"), QStringLiteral("10:06:30.000"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 1, 5000);
    QTRY_VERIFY(w->lWaiting->isVisible());
    QVERIFY(w->lWaiting->text().startsWith(QStringLiteral("取込待ちの通過 2件: 0002 スタート時刻がありません")));
    QCOMPARE(w->lWaiting->toolTip().split(QLatin1Char('\n')).size(), 2);
    QVERIFY(w->lWaiting->toolTip().contains(QStringLiteral("0099 ")));
    QVERIFY(w->geometry().contains(w->lWaiting->geometry()));

    // The start time put right and the stray passing gone, the next change takes 0002 and
    // nothing waits.
    m_db->exec(QStringLiteral("update result set STARTEDTIME='10:00:30.0' where zek='0002'"));
    m_db->exec(QStringLiteral("delete from tag_rec where zek='0099'"));
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 2, 5000);
    QTRY_VERIFY(!w->lWaiting->isVisible());
    QVERIFY(dialogs.shown.isEmpty());
}

void TstChipTagWindow::speechNotice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("notice");
    QTest::newRow("no audio device") << QString() << true;
    QTest::newRow("ALSA null device") << QStringLiteral("null") << false;
}

// Announcements that are not heard say so in a line of the window while they are on,
// without a box and without stopping the queue; the line goes once the device works.
void TstChipTagWindow::speechNotice()
{
    QFETCH(QString, device);
    QFETCH(bool, notice);
    DialogRecorder dialogs;
    auto w = std::make_unique<TFmid>(Dm1);
    w->St1->setCaptureDir(m_capture.path());
    w->St1->setAudioDevice(device);
    w->show();
    QCOMPARE(w->RGoto->ItemIndex(), 1);
    QSignalSpy done(w->St1, &TSmarTalk::UtteranceDone);
    passing(QStringLiteral("0001"), QStringLiteral("10:05:31.456"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 15000);
    QCOMPARE(w->lSpeechNotice->isVisible(), notice);
    if (!notice) {
        QVERIFY(w->St1->OutputNotice().isEmpty());
        return;
    }
    QCOMPARE(w->lSpeechNotice->text(), TSmarTalk::NoDeviceNotice(true));
    QCOMPARE(w->lSpeechNotice->text(), QStringLiteral("音声出力装置がありません。WAVファイルのみ保存しています。"));
    QVERIFY(QFile::exists(done[0][0].value<TUtteranceReport>().capturePath));
    QVERIFY(w->Timer1->isActive() && w->Timer2->isActive());
    QVERIFY(dialogs.shown.isEmpty());
    // Announcements off: no line; on again: the line is back.
    w->RGoto->setItemIndex(0);
    QVERIFY(!w->lSpeechNotice->isVisible());
    w->RGoto->setItemIndex(1);
    QVERIFY(w->lSpeechNotice->isVisible());
    // A device that opens: the line goes without another announcement.
    w->St1->setAudioDevice(QStringLiteral("null"));
    QTRY_VERIFY_WITH_TIMEOUT(!w->lSpeechNotice->isVisible(), TSmarTalk::RecheckMs + 10000);
    QVERIFY(w->St1->OutputNotice().isEmpty());
}

void TstChipTagWindow::announcementsOneAtATimeInOrder()
{
    DialogRecorder dialogs;
    auto w = openWindow();
    QCOMPARE(w->RGoto->ItemIndex(), 1);
    QSignalSpy done(w->St1, &TSmarTalk::UtteranceDone);
    passing(QStringLiteral("0001"), QStringLiteral("10:05:31.456"), 1);
    passing(QStringLiteral("0003"), QStringLiteral("10:06:05.000"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 2, 5000);
    // Switched off after the texts were queued: they are still spoken.
    w->RGoto->setItemIndex(0);
    QCOMPARE(ProgramSettings.Onsei, 0);
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 20000);
    const auto first = done[0][0].value<TUtteranceReport>();
    const auto second = done[1][0].value<TUtteranceReport>();
    QCOMPARE(first.text, QStringLiteral("0001ﾊﾞﾝ,5分31秒4"));
    QCOMPARE(second.text, QStringLiteral("0003ﾊﾞﾝ,5分05秒0"));
    QVERIFY(first.error.isEmpty());
    QVERIFY(first.durationMs > 500 && first.peak > 1000);
    QVERIFY2(second.startedNs >= first.endedNs, "the second announcement overlapped the first");
    QVERIFY(QFile::exists(first.capturePath) && QFile::exists(second.capturePath));
    QVERIFY(QFileInfo(first.capturePath).fileName() < QFileInfo(second.capturePath).fileName());
    // Passings taken while the voice is off are not queued.
    passing(QStringLiteral("0004"), QStringLiteral("10:07:05.000"), 1);
    bumpUpd();
    QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 3, 5000);
    QVERIFY(w->Intake->talklist.isEmpty());
}

void TstChipTagWindow::databaseErrorKeepsWindowUsable()
{
    DialogRecorder dialogs;
    auto w = openWindow();
    m_db->exec(QStringLiteral("rename table CHAKU to chaku_away"));
    dialogs.answer(true);
    w->bClr->click();
    m_db->exec(QStringLiteral("rename table chaku_away to CHAKU"));
    QCOMPARE(dialogs.texts(Dialogs::Kind::Error).size(), 1);
    QVERIFY(w->isVisible());
    w->b2->click();
    QCOMPARE(w->Intake->midno, 2);
    QCOMPARE(dialogs.texts(Dialogs::Kind::Error).size(), 1);
}

void TstChipTagWindow::checkListFromTheWindow()
{
    DialogRecorder dialogs;
    auto w = openWindow();
    w->CuteButton2->click();
    QVERIFY(Fcheck->isVisible());
    QCOMPARE(Dm1->Qcheck->SQL(), QStringList({"select zek,midtime1,midtime2,midtime3,midtime4,midtime5,finishtime",
                                              "from result where tcode='R2026A'", "order by zek"}));
    QCOMPARE(Dm1->Qcheck->RecordCount(), 60);
    Fcheck->close();
    QVERIFY(dialogs.shown.isEmpty());
}

void TstChipTagWindow::mainWindowToAnnouncedPassing()
{
    DialogRecorder dialogs;
    QFile::remove(m_work.filePath(QStringLiteral("VidadIva.ini")));
    QFile ini(m_work.filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Talk]\r\nOnsei=1\r\nCaptureDir=" + m_capture.path().toLocal8Bit() + "\r\n");
    ini.close();
    const QString log = QCoreApplication::applicationDirPath() + QStringLiteral("/VidadIva.log");
    QFile::remove(log);

    TFmain main(Dm1);
    main.show();
    bool checked = false;
    QTimer::singleShot(0, this, [&] {
        auto *w = main.findChild<TFmid *>();
        QVERIFY(w && w->isVisible());
        const CloseAtExit closing(w);
        w->St1->setAudioDevice(QString());
        QSignalSpy done(w->St1, &TSmarTalk::UtteranceDone);
        passing(QStringLiteral("0016"), QStringLiteral("10:15:00.0"), 1); // M2: two per lap
        passing(QStringLiteral("0016"), QStringLiteral("10:19:30.0"), 2);
        bumpUpd();
        QTRY_COMPARE_WITH_TIMEOUT(chakuRows(), 1, 5000);
        QCOMPARE(m_db->rows(QStringLiteral("select ZEK, TIME1, LAPS, NUM from CHAKU")).first(),
                 QStringList({"0016", "   12:00.0", "1", "1"}));
        QCOMPARE(m_db->value(QStringLiteral("select MIDJUN1 from result where zek='0016'")), QStringLiteral("1"));
        QCOMPARE(m_db->value(QStringLiteral("select count(*) from tag_rec where use_mid=1")), QStringLiteral("2"));
        QCOMPARE(Dm1->dsChaku->rowCount(), 1);
        QCOMPARE(Dm1->dsMidRank->rowCount(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 15000);
        const auto report = done[0][0].value<TUtteranceReport>();
        QCOMPARE(report.text, QStringLiteral("0016ﾊﾞﾝ,12分00秒0"));
        QVERIFY(QFile::exists(report.capturePath));
        QVERIFY(QFile::exists(log));
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("midtime1"));
        checked = true;
        w->CuteButton1->click();
    });
    main.CuteButton2->click(); // runs the chip-tag window modally until the check closes it
    QVERIFY(checked);
    QVERIFY(main.findChild<TFmid *>() == nullptr); // released when its run ended
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('|'))));
    main.close();
}

QTEST_MAIN(TstChipTagWindow)
#include "tst_chiptagwindow.moc"
