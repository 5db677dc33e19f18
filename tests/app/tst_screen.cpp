// The working windows on a real X server (Xvfb) with a 1366 x 768 screen and no window
// manager, as on a small station laptop: each opens inside the screen wherever the main
// window stands, Escape closes none of the timing windows, and a correction typed into
// the check list reaches the database. Run through tests/harness/atspi_run.sh.
//
// With MIDSTATION_SCREENSHOT_DIR set, the screen is saved there (import -window root) at
// the moments worth looking at.
#include "CuteButton.h"
#include "SpeechEngine.h"
#include "RadioGroup.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "MainWindow.h"
#include "ChipTagWindow.h"
#include "RegistrationWindow.h"
#include "ProgramSettings.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QtTest>

using namespace TestSupport;

class TstScreen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void windowsInsideTheScreen_data();
    void windowsInsideTheScreen();
    void correctionTypedIntoTheCheckList();
    void mainWindowSavedOffTheScreen_data();
    void mainWindowSavedOffTheScreen();

private:
    void placeMain(const QString &where);
    // The window's frame lies inside the available area of its screen, and Escape pressed
    // through the window system leaves a timing window open.
    void checkInside(QWidget *w);
    void pressEscape(QWidget *w);
    void screenshot(const QString &name);
    void bumpUpd() { m_db->exec(QStringLiteral("update EXECINFO set upd=upd+1 where num=1")); }

    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<TFmain> m_main;
    QTemporaryDir m_work;
};

void TstScreen::initTestCase()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "run under Xvfb (atspi_run.sh)");
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_screen"));
    QDir::setCurrent(m_work.path());
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
    m_main = std::make_unique<TFmain>(Dm1);
    Fcheck = new TFcheck(Dm1, m_main.get());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
}

void TstScreen::init()
{
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
}

void TstScreen::cleanupTestCase()
{
    Fcheck->close();
    m_main->close();
}

void TstScreen::mainWindowSavedOffTheScreen_data()
{
    QTest::addColumn<QPoint>("saved");
    QTest::newRow("on a larger screen, bottom right") << QPoint(3000, 2000);
    QTest::newRow("on a monitor left of and above this one") << QPoint(-1900, -1000);
}

// The place a main window was closed at on another machine's screen: it opens inside this one.
void TstScreen::mainWindowSavedOffTheScreen()
{
    QFETCH(QPoint, saved);
    QFile ini(QDir(m_work.path()).filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("[MainForm]\r\nLeft=%1\r\nTop=%2\r\n").arg(saved.x()).arg(saved.y()).toLatin1());
    ini.close();
    TFmain w(Dm1);
    w.show();
    checkInside(&w);
    w.hide();
}

void TstScreen::placeMain(const QString &where)
{
    const QRect area = m_main->screen()->availableGeometry();
    const QSize size = m_main->frameGeometry().size();
    QPoint at = area.topLeft();
    if (where == QLatin1String("bottom right"))
        at = area.bottomRight() - QPoint(size.width() - 1, size.height() - 1);
    else if (where == QLatin1String("centre"))
        at = area.center() - QPoint(size.width() / 2, size.height() / 2);
    m_main->move(at);
    QTRY_COMPARE(m_main->frameGeometry().topLeft(), at);
}

void TstScreen::checkInside(QWidget *w)
{
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const QRect area = w->screen()->availableGeometry();
    QVERIFY2(area.contains(w->frameGeometry()), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 on a screen of %6x%7")
                                                               .arg(w->objectName())
                                                               .arg(w->frameGeometry().x())
                                                               .arg(w->frameGeometry().y())
                                                               .arg(w->frameGeometry().width())
                                                               .arg(w->frameGeometry().height())
                                                               .arg(area.width())
                                                               .arg(area.height())));
    // Every control of the window lies inside it (none cut off by the fit to the screen).
    for (QWidget *child : w->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (child->isVisible())
            QVERIFY2(w->rect().contains(child->geometry()), qPrintable(child->objectName()));
}

void TstScreen::pressEscape(QWidget *w)
{
    w->activateWindow();
    QTRY_VERIFY(w->isActiveWindow());
    QTest::keyClick(w->windowHandle(), Qt::Key_Escape);
    QTest::qWait(200);
    QVERIFY2(w->isVisible(), qPrintable(w->objectName() + QStringLiteral(" closed by Escape")));
}

void TstScreen::screenshot(const QString &name)
{
    const QString dir = qEnvironmentVariable("MIDSTATION_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QTest::qWait(300);
    QProcess::execute(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"), QDir(dir).filePath(name + ".png")});
}

void TstScreen::windowsInsideTheScreen_data()
{
    QTest::addColumn<QString>("where");
    QTest::newRow("main window top left") << QStringLiteral("top left");
    QTest::newRow("main window bottom right") << QStringLiteral("bottom right");
    QTest::newRow("main window centred") << QStringLiteral("centre");
}

void TstScreen::windowsInsideTheScreen()
{
    QFETCH(QString, where);
    DialogRecorder dialogs;
    placeMain(where);
    const QString shot = QString(where).replace(QLatin1Char(' '), QLatin1Char('-'));

    {
        // The chip-tag window with announcements on and no audio device, and two passings
        // that wait for their data.
        ProgramSettings.Onsei = 1;
        m_db->reload();
        m_db->exec(QStringLiteral("update result set STARTEDTIME='' where zek='0002'"));
        m_db->exec(QStringLiteral("insert into tag_rec (tcode,zek,term,time,count,use_mid) values "
                                  "('R2026A','0001','C1','10:05:31.4',1,0),('R2026A','0002','C1','10:06:00.0',1,0),"
                                  "('R2026A','0099','C1','10:06:30.0',1,0)"));
        TFmid w(Dm1, m_main.get());
        w.St1->setAudioDevice(QString());
        w.show();
        checkInside(&w);
        bumpUpd();
        QTRY_VERIFY_WITH_TIMEOUT(w.lWaiting->isVisible() && w.lSpeechNotice->isVisible(), 15000);
        pressEscape(&w);
        QVERIFY(w.Timer1->isActive()); // the poll goes on (Timer2 rests while a text is spoken)
        screenshot(QStringLiteral("fmid-") + shot);
        w.CuteButton2->click(); // the check list, opened from the chip-tag window
        checkInside(Fcheck);
        screenshot(QStringLiteral("fcheck-") + shot);
        Fcheck->close();
        w.CuteButton1->click();
        QVERIFY(!w.isVisible());
    }
    {
        Dm1->PreparePhotocellQueries(ProgramSettings.CurrentTcode);
        TFhand w(Dm1, m_main.get());
        w.St1->setAudioDevice(QString());
        w.Edit3->setText(ProgramSettings.CurrentTcode);
        w.Label3->setText(QStringLiteral("第12回"));
        w.show();
        checkInside(&w);
        w.RGoto->setItemIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(w.lSpeechNotice->isVisible(), 15000);
        pressEscape(&w);
        screenshot(QStringLiteral("fhand-") + shot);
        w.CuteButton->click();
        QVERIFY(!w.isVisible());
    }
    {
        Dm1->Qmidtp->setSQL({QStringLiteral("select * from midtp order by zek")});
        Dm1->Qmidtp->Open();
        TFtpnoset w(Dm1, m_main.get());
        w.show();
        checkInside(&w);
        pressEscape(&w);
        QVERIFY(w.Timer1->isActive());
        w.CuteButton1->click();
        QVERIFY(!w.isVisible());
    }
}

void TstScreen::correctionTypedIntoTheCheckList()
{
    DialogRecorder dialogs;
    m_db->reload();
    placeMain(QStringLiteral("top left"));
    TFmid w(Dm1, m_main.get());
    w.St1->setAudioDevice(QString());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.CuteButton2->click();
    checkInside(Fcheck);
    Fcheck->activateWindow();
    QTRY_VERIFY(Fcheck->isActiveWindow());

    // A click on bib 0005's 中間２ cell, the new time typed over it, then down a row.
    TCheckGrid *grid = Fcheck->DBGck2;
    const TQuery *q = Dm1->Qcheck;
    int row = -1;
    for (int r = 0; r < q->RecordCount() && row < 0; ++r)
        if (q->valueOf(r, QStringLiteral("zek")) == QLatin1String("0005"))
            row = r;
    QVERIFY(row >= 0);
    const QModelIndex target = Dm1->DScheck->index(row, q->FieldIndex(QStringLiteral("midtime2")));
    grid->scrollTo(target);
    const QPoint at = grid->viewport()->mapTo(Fcheck, grid->visualRect(target).center());
    QTest::mouseClick(Fcheck->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QTRY_COMPARE(grid->currentIndex(), target);
    for (const QChar c : QStringLiteral("   6:12.3"))
        QTest::keyClick(Fcheck->windowHandle(), c.toLatin1());
    screenshot(QStringLiteral("fcheck-typing"));
    QTest::keyClick(Fcheck->windowHandle(), Qt::Key_Down);
    QTRY_COMPARE(m_db->value(QStringLiteral("select MIDTIME2 from result where tcode='R2026A' and zek='0005'")),
                 QStringLiteral("   6:12.3"));
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('|'))));
    Fcheck->close();
    w.CuteButton1->click();
}

QTEST_MAIN(TstScreen)
#include "tst_screen.moc"
