// The main window against the real server: the remembered database at start-up, the
// settings saved at close, the mode buttons' preparation, one running copy.
#include "CuteButton.h"
#include "ProfileFile.h"
#include "SingleInstance.h"
#include "RadioGroup.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "MainWindow.h"
#include "ProgramSettings.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensOnTheChosenDatabase();
    void serverAtStartupDeclined();
    void dataIndexBelowZeroConnectsNothing();
    void dataIndexAboveTwoSelectsServer();
    void noEventRunning();
    void photocellPreparesItsQueries();
    void databaseErrorLeavesWindowUsable();
    void doubleFailedSelectionStaysClosed();
    void closeButtonSavesSettings();
    void secondStartRaisesTheRunningCopy();
    void leftoverMarkerDoesNotBlock();
    void busyCopyIsNotJoined();
    void runningCopyListensInAPrivateFolder_data();
    void runningCopyListensInAPrivateFolder();

private:
    std::unique_ptr<TFmain> open(int dataIndex);
    QString iniValue(const char *section, const char *key);
    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
    QString m_previousDir;
    // What the last photocell window showed in its header: event code (Edit3) and name
    // (Label3), as handed over by the mode button.
    QString m_photocellCode;
    QString m_photocellName;
};

void TstMainWindow::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_mainwindow"));
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_work.path());
    Dm1 = new TDm1(this);
    // The working windows run modally; these tests look at what a mode button prepared,
    // so a working window is closed as soon as it is shown (the photocell window's header
    // noted first).
    auto *closer = new QTimer(this);
    connect(closer, &QTimer::timeout, this, [this] {
        auto *working = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!working)
            return;
        if (auto *photocell = qobject_cast<TFhand *>(working)) {
            m_photocellCode = photocell->Edit3->text();
            m_photocellName = photocell->Label3->text();
        }
        working->close();
    });
    closer->start(50);
}

void TstMainWindow::init()
{
    QFile::remove(m_work.filePath(QStringLiteral("VidadIva.ini")));
    ProgramSettings = TProgramSettings();
    Dm1->DB->Close();
    m_photocellCode.clear();
    m_photocellName.clear();
}

void TstMainWindow::cleanup()
{
    m_db->exec(QStringLiteral("delete from EXECINFO"));
    m_db->exec(QStringLiteral("insert into EXECINFO (num,tcode,upd) values (1,'R2026A',0)"));
}

std::unique_ptr<TFmain> TstMainWindow::open(int dataIndex)
{
    ProfileFile::WriteString(m_work.filePath(QStringLiteral("VidadIva.ini")), QStringLiteral("DB"),
                             QStringLiteral("DataIndex"), QString::number(dataIndex));
    auto w = std::make_unique<TFmain>(Dm1);
    w->show();
    return w;
}

QString TstMainWindow::iniValue(const char *section, const char *key)
{
    return ProfileFile::ReadString(m_work.filePath(QStringLiteral("VidadIva.ini")), QLatin1String(section),
                                   QLatin1String(key), QStringLiteral("<missing>"));
}

// The controls and their captions are in tst_forms.
void TstMainWindow::opensOnTheChosenDatabase()
{
    DialogRecorder dialogs;
    auto w = open(0);
    QCOMPARE(w->centralWidget()->size(), QSize(720, 484));
    QVERIFY(!w->Image1->pixmap().isNull());
    QCOMPARE(w->Image1->pixmap().size(), QSize(329, 129));
    const QString date = w->lUPD->text();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}$")).match(date).hasMatch(), qPrintable(date));
    QCOMPARE(date, TFmain::FileDateText(QCoreApplication::applicationFilePath()));
    // A file changed on 7 March 2026, late in the day: day first, then month, then year.
    QFile known(m_work.filePath(QStringLiteral("known-date")));
    QVERIFY(known.open(QIODevice::WriteOnly));
    QVERIFY(known.setFileTime(QDateTime(QDate(2026, 3, 7), QTime(23, 58, 9)), QFileDevice::FileModificationTime));
    known.close();
    QCOMPARE(TFmain::FileDateText(known.fileName()), QStringLiteral("07/03/2026"));
    QVERIFY(!w->CuteButton3->isVisible());
    // The crew can offer it: "TpNoSet=1" under [MainForm], read when the window is made.
    w->close();
    ProfileFile::WriteString(m_work.filePath(QStringLiteral("VidadIva.ini")), QStringLiteral("MainForm"),
                             QStringLiteral("TpNoSet"), QStringLiteral("1"));
    w = open(0);
    QVERIFY(w->CuteButton3->isVisible());
    ProfileFile::WriteString(m_work.filePath(QStringLiteral("VidadIva.ini")), QStringLiteral("MainForm"),
                             QStringLiteral("TpNoSet"), QStringLiteral("0"));
    QCOMPARE(w->RGdb->Items(), QStringList({"Local", "Test", "Server"}));
    QCOMPARE(w->RGdb->ItemIndex(), 0);
    QVERIFY(Dm1->DB->Connected());
    QVERIFY(dialogs.shown.isEmpty());
}

void TstMainWindow::serverAtStartupDeclined()
{
    DialogRecorder dialogs;
    dialogs.answer(false);
    auto w = open(2);
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown[0].title, QStringLiteral("確認してください。"));
    QCOMPARE(w->RGdb->ItemIndex(), 0);
    QCOMPARE(Dm1->DB->Params[2], QStringLiteral("ODBC DSN=PlovoLocal"));
    w->close();
    QCOMPARE(iniValue("DB", "DataIndex"), QStringLiteral("0"));
}

void TstMainWindow::dataIndexBelowZeroConnectsNothing()
{
    DialogRecorder dialogs;
    auto w = open(-3);
    QCOMPARE(w->RGdb->ItemIndex(), -1);
    QVERIFY(!Dm1->DB->Connected());
    QVERIFY(dialogs.shown.isEmpty());
    w->close();
    QCOMPARE(iniValue("DB", "DataIndex"), QStringLiteral("-3"));
}

void TstMainWindow::dataIndexAboveTwoSelectsServer()
{
    {
        DialogRecorder dialogs;
        dialogs.answer(true);
        auto w = open(5);
        QCOMPARE(w->RGdb->ItemIndex(), 2);
        QCOMPARE(w->Label16->text(), QStringLiteral("サーバーに接続中"));
        w->close();
        QCOMPARE(iniValue("DB", "DataIndex"), QStringLiteral("2"));
    }
    DialogRecorder dialogs;
    dialogs.answer(false);
    auto w = open(3);
    w->close();
    QCOMPARE(iniValue("DB", "DataIndex"), QStringLiteral("0"));
}

void TstMainWindow::noEventRunning()
{
    m_db->exec(QStringLiteral("delete from EXECINFO"));
    DialogRecorder dialogs;
    auto w = open(0);
    ProgramSettings.CurrentTcode = QStringLiteral("stale");
    w->CuteButton2->click();
    QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("大会が実行されていません。")});
    QCOMPARE(ProgramSettings.CurrentTcode, QString());

    dialogs.shown.clear();
    w->CuteButton1->click();
    QVERIFY2(dialogs.shown.isEmpty() || dialogs.texts(Dialogs::Kind::Error).isEmpty(),
             qPrintable(dialogs.texts().join('|')));
    QCOMPARE(ProgramSettings.CurrentTcode, QStringLiteral("0"));
    QCOMPARE(m_photocellCode, QStringLiteral("0"));
    QCOMPARE(m_photocellName, QStringLiteral("大会未指定"));
    QCOMPARE(Dm1->Qmidtime->SQLText(), QStringLiteral("select * from result where tcode='0' order by zek"));
    QVERIFY(Dm1->Qmidtime->Active());
    QCOMPARE(Dm1->Qmidtime->RecordCount(), 0);
}

void TstMainWindow::photocellPreparesItsQueries()
{
    DialogRecorder dialogs;
    auto w = open(0);
    w->CuteButton1->click();
    QCOMPARE(ProgramSettings.CurrentTcode, QStringLiteral("R2026A"));
    QCOMPARE(m_photocellCode, QStringLiteral("R2026A"));
    QCOMPARE(m_photocellName, m_db->value(QStringLiteral("select TIKIMEI from tiki where TCODE='R2026A'")));
    QCOMPARE(Dm1->Qsttime->SQLText(), QStringLiteral("select * from tiki where tcode='R2026A'"));
    QCOMPARE(Dm1->Qmidtime->RecordCount(), 60);
    QCOMPARE(Dm1->Qmax->SQLText(), QStringLiteral("select max(tpno1) as maxn from midtp2"));
    QVERIFY(Dm1->Qmax->Active());
    QCOMPARE(Dm1->Qdeltime->SQLText(), QStringLiteral("select * from midtp2\r\nwhere fl='B'"));
    QVERIFY(Dm1->Qdeltime->Active());
    QCOMPARE(Dm1->Qdpmid->SQLText(), QStringLiteral("select * from midtp2 where fl='A'"));
    QVERIFY(Dm1->Qdpmid->Active());
    QVERIFY(dialogs.shown.isEmpty());
}

void TstMainWindow::databaseErrorLeavesWindowUsable()
{
    DialogRecorder dialogs;
    auto w = open(0);
    m_db->exec(QStringLiteral("rename table tiki to tiki_away"));
    w->CuteButton1->click();
    m_db->exec(QStringLiteral("rename table tiki_away to tiki"));
    QCOMPARE(dialogs.texts(Dialogs::Kind::Error).size(), 1);
    QVERIFY(dialogs.texts(Dialogs::Kind::Error).first().contains(QStringLiteral("tiki"), Qt::CaseInsensitive));
    QVERIFY(w->isVisible());
    QVERIFY(w->CuteButton1->isEnabled());
    dialogs.shown.clear();
    w->CuteButton1->click();
    QVERIFY(dialogs.shown.isEmpty());
}

void TstMainWindow::doubleFailedSelectionStaysClosed()
{
    const DsnTarget live = m_db->target();
    DsnTarget dead = live;
    dead.port = unusedPort();
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), dead}, {QStringLiteral("PlovoTest"), dead}});
    DialogRecorder dialogs;
    auto w = open(1); // Test fails, then Local fails too
    QCOMPARE(dialogs.texts(Dialogs::Kind::Message).size(), 2);
    QVERIFY(!Dm1->DB->Connected());

    // The server is reachable again, but no database has been chosen since: a mode button
    // must not quietly connect (on a latin1 session) but say that it is not connected.
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), live}, {QStringLiteral("PlovoTest"), live}});
    dialogs.shown.clear();
    w->CuteButton1->click();
    QCOMPARE(dialogs.texts(Dialogs::Kind::Error).size(), 1);
    QVERIFY2(dialogs.texts(Dialogs::Kind::Error).first().startsWith(QStringLiteral("データベースに接続していません。")),
             qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    QVERIFY(!Dm1->DB->Connected());

    // Choosing a database connects it, in Shift-JIS: the event's name reads back exactly.
    dialogs.shown.clear();
    w->RGdb->setItemIndex(1);
    QVERIFY(Dm1->DB->Connected());
    w->CuteButton1->click();
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    QCOMPARE(m_photocellName, m_db->value(QStringLiteral("select TIKIMEI from tiki where TCODE='R2026A'")));
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), live},
                            {QStringLiteral("PlovoTest"), live},
                            {QStringLiteral("PlovoServer"), live}});
}

void TstMainWindow::closeButtonSavesSettings()
{
    DialogRecorder dialogs;
    auto w = open(1);
    ProgramSettings.Speed = 9;
    w->CuteButton4->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(iniValue("Talk", "Speed"), QStringLiteral("9"));
    QCOMPARE(iniValue("DB", "DataIndex"), QStringLiteral("1"));
    QCOMPARE(iniValue("AMB", "ID"), QStringLiteral("233"));
}

// The running copy, in this process, with its marker under runtimeDir.
static std::unique_ptr<TSingleInstance> firstCopy(const QString &runtimeDir)
{
    qputenv("XDG_RUNTIME_DIR", runtimeDir.toLocal8Bit());
    return std::make_unique<TSingleInstance>(QStringLiteral("midstation"));
}

// Starts the station program, offscreen, with its single-instance marker under runtimeDir
// (none: without $XDG_RUNTIME_DIR).
static void startStation(QProcess &station, const QString &runtimeDir, const QString &workDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    if (runtimeDir.isEmpty())
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    else
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    station.setProcessEnvironment(env);
    station.setWorkingDirectory(workDir);
    station.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../../app/midstation"));
}

void TstMainWindow::secondStartRaisesTheRunningCopy()
{
    QTemporaryDir runtime;
    const auto first = firstCopy(runtime.path());
    QCOMPARE(first->claim(), TSingleInstance::Start::Go);
    QSignalSpy raised(first.get(), &TSingleInstance::raiseRequested);

    QProcess second;
    startStation(second, runtime.path(), m_work.path());
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(raised.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitCode(), 0);
}

void TstMainWindow::leftoverMarkerDoesNotBlock()
{
    QTemporaryDir runtime;
    // A copy that crashes leaves its marker behind.
    QProcess crashed;
    startStation(crashed, runtime.path(), m_work.path());
    QVERIFY(crashed.waitForStarted());
    const QString lock = runtime.path() + QStringLiteral("/midstation-%1.lock").arg(getuid());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
    ::kill(pid_t(crashed.processId()), SIGKILL);
    QVERIFY(crashed.waitForFinished(5000));
    QVERIFY(QFile::exists(lock));

    QProcess next;
    startStation(next, runtime.path(), m_work.path());
    QVERIFY(next.waitForStarted());
    // It keeps running (a refused start ends at once) and holds the marker itself.
    QTest::qWait(2000);
    QCOMPARE(next.state(), QProcess::Running);
    QLockFile probe(lock);
    QVERIFY(!probe.tryLock(0));
    next.kill();
    next.waitForFinished(5000);
}

void TstMainWindow::busyCopyIsNotJoined()
{
    QTemporaryDir runtime;
    const auto first = firstCopy(runtime.path());
    QCOMPARE(first->claim(), TSingleInstance::Start::Go);
    QSignalSpy raised(first.get(), &TSingleInstance::raiseRequested);

    // This thread stays blocked (as a window thread waiting in a statement) while a second
    // copy starts: it must refuse to start, not run beside the first.
    QProcess second;
    second.setReadChannel(QProcess::StandardError);
    startStation(second, runtime.path(), m_work.path());
    QVERIFY(second.waitForStarted());
    QByteArray said;
    QElapsedTimer blocked;
    blocked.start();
    while (!said.contains(TSingleInstance::RefusedMessage().toUtf8()) && blocked.elapsed() < 20000)
        if (second.waitForReadyRead(int(20000 - blocked.elapsed())))
            said += second.readAllStandardError();
    QVERIFY2(said.contains(TSingleInstance::RefusedMessage().toUtf8()), said.constData());
    second.kill();
    second.waitForFinished(5000);
    QCOMPARE(raised.size(), 0);

    // The first copy still answers: once it is free, a later start brings it forward.
    QProcess third;
    startStation(third, runtime.path(), m_work.path());
    QVERIFY(third.waitForStarted());
    // (The refused start's request may be read first, now that this thread runs.)
    QTRY_VERIFY_WITH_TIMEOUT(raised.size() >= 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(third.state(), QProcess::NotRunning, 10000);
    QCOMPARE(third.exitCode(), 0);
}

void TstMainWindow::runningCopyListensInAPrivateFolder_data()
{
    QTest::addColumn<int>("runtimeMode"); // mode of $XDG_RUNTIME_DIR; 0: not set
    QTest::addColumn<bool>("usesRuntime");
    QTest::newRow("runtime folder of the user") << 0700 << true;
    QTest::newRow("runtime folder others may enter") << 0755 << false;
    QTest::newRow("no runtime folder") << 0 << false;
}

// Another user's program listening at the old shared name (temporary folder, program name
// and user id) is neither removed nor asked: the copies find each other in a folder only
// the user may enter.
void TstMainWindow::runningCopyListensInAPrivateFolder()
{
    QFETCH(int, runtimeMode);
    QFETCH(bool, usesRuntime);
    QTemporaryDir temp; // the temporary folder of this test alone
    QTemporaryDir runtime;
    const QByteArray savedTmp = qgetenv("TMPDIR");
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    if (runtimeMode) {
        QVERIFY(::chmod(QFile::encodeName(runtime.path()).constData(), mode_t(runtimeMode)) == 0);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    } else {
        qunsetenv("XDG_RUNTIME_DIR");
    }
    const QString oldPlace = QDir::tempPath() + QStringLiteral("/midstation-%1").arg(getuid());
    QLocalServer stranger;
    QVERIFY(stranger.listen(oldPlace));
    int strangerAsked = 0;
    connect(&stranger, &QLocalServer::newConnection, &stranger, [&] {
        ++strangerAsked;
        QLocalSocket *peer = stranger.nextPendingConnection();
        connect(peer, &QLocalSocket::readyRead, peer, [peer] { peer->write("ok\n"); });
    });
    struct stat before {
    };
    QVERIFY(::lstat(QFile::encodeName(oldPlace).constData(), &before) == 0);

    {
        TSingleInstance first(QStringLiteral("midstation"));
        QCOMPARE(first.claim(), TSingleInstance::Start::Go);
        QSignalSpy raised(&first, &TSingleInstance::raiseRequested);
        const QFileInfo socket(first.socketPath());
        QCOMPARE(socket.absolutePath() == runtime.path(), usesRuntime);
        struct stat folder {
        };
        QVERIFY(::lstat(QFile::encodeName(socket.absolutePath()).constData(), &folder) == 0);
        QVERIFY(S_ISDIR(folder.st_mode) && folder.st_uid == getuid() && (folder.st_mode & 077) == 0);

        QProcess second; // with this process's TMPDIR
        startStation(second, qEnvironmentVariable("XDG_RUNTIME_DIR"), m_work.path());
        QVERIFY(second.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(raised.size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
        QCOMPARE(second.exitCode(), 0);
    }
    struct stat after {
    };
    QVERIFY(::lstat(QFile::encodeName(oldPlace).constData(), &after) == 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(strangerAsked, 0);
    qputenv("TMPDIR", savedTmp);
    savedRuntime.isEmpty() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
