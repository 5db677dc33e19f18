// The race server stopped, killed or restarted in the middle of a race, and the station
// itself killed with passings waiting, with the real windows: no box stops the intake,
// the window says what waits and since when, nothing taken is lost and nothing is stored
// twice, without the operator. Runs on a private server of its own, since it kills it.
#include "CommX.h"
#include "CuteButton.h"
#include "MidIntake.h"
#include "PtyPeer.h"
#include "SpeechEngine.h"
#include "ServerControl.h"
#include "TestSupport.h"
#include "CheckWindow.h"
#include "DataModule.h"
#include "PhotocellWindow.h"
#include "ChipTagWindow.h"
#include "ProgramSettings.h"

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <mysql.h>
#include <thread>

using namespace TestSupport;

namespace
{
const QString Db = QStringLiteral("t_restart");

// The timer's frame for bib n of the demo race, passing 10 min after its start.
QByteArray frame(int bib)
{
    const int s = 600 + (bib - 1) * 30;
    return QString::asprintf(" %04d C1  %02d:%02d:%02d.%03d   1\r", bib, 10 + s / 3600, s / 60 % 60, s % 60, bib)
        .toLatin1();
}

QString journalOf(const QString &folder)
{
    QFile f(QDir(folder).filePath(
        QStringLiteral("photocell-journal-%1.txt").arg(QDate::currentDate().toString(Qt::ISODate))));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
} // namespace

class TstDbRestart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void chipTagWaitsOutTheServer();
    void serverKilledInsideAPassing_data();
    void serverKilledInsideAPassing();
    void photocellWaitsOutTheServer();
    void stationKilledWithPassingsWaiting();

private:
    std::unique_ptr<TFmid> openWindow();
    void passing(const QString &zek, const QString &time);
    QList<QStringList> taken();
    QString numbersAndRanks();
    QStringList stored(); // the bibs of midtp2, in their running numbers' order
    bool startStation(QProcess &station, const QString &folder);
    std::unique_ptr<TPrivateServer> m_server;
    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_work;
    QTemporaryDir m_capture;
};

void TstDbRestart::initTestCase()
{
    m_server = std::make_unique<TPrivateServer>();
    // The suite's database and data sources on the private server.
    qputenv("MIDSTATION_TEST_SERVER_DIR", m_server->dir().toLocal8Bit());
    m_db = std::make_unique<SuiteDatabase>(Db);
    QDir::setCurrent(m_work.path());
    Dm1 = new TDm1(this);
    ConnectDataModule(Dm1);
    Fcheck = new TFcheck(Dm1);
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = QStringLiteral("R2026A");
    ProgramSettings.Onsei = 0;
}

void TstDbRestart::cleanupTestCase()
{
    delete Fcheck;
    Fcheck = nullptr;
    m_db.reset();
    m_server.reset();
}

std::unique_ptr<TFmid> TstDbRestart::openWindow()
{
    auto w = std::make_unique<TFmid>(Dm1);
    w->St1->setCaptureDir(m_capture.path());
    w->St1->setAudioDevice(QString());
    w->show();
    return w;
}

// What the chip-tag program does for one passing: the row, then the change counter.
void TstDbRestart::passing(const QString &zek, const QString &time)
{
    QString error;
    QVERIFY2(m_server->exec(Db,
                            QStringLiteral("insert into tag_rec (tcode,zek,term,time,count,use_mid) "
                                           "values ('R2026A','%1','C1','%2',1,0)")
                                .arg(zek, time),
                            &error),
             qPrintable(error));
    QVERIFY2(m_server->exec(Db, QStringLiteral("update EXECINFO set upd=upd+1 where num=1"), &error),
             qPrintable(error));
}

// Per bib: CHAKU rows, the stored mid time 1, and whether its tag_rec row is taken.
QList<QStringList> TstDbRestart::taken()
{
    return m_server->rows(Db, QStringLiteral("select t.zek, (select count(*) from CHAKU c where c.zek=t.zek), "
                                             "r.midtime1, t.use_mid from tag_rec t join result r "
                                             "on r.tcode=t.tcode and r.zek=t.zek order by t.zek"));
}

// The CHAKU numbers and the mid-1 ranks of the passings taken, in order: "1,2,3" when
// they are numbered on without a gap or a repeat and the ranking covers the whole field.
QString TstDbRestart::numbersAndRanks()
{
    return m_server->value(Db, QStringLiteral("select group_concat(num order by num) from CHAKU")) + QLatin1Char('|') +
           m_server->value(Db, QStringLiteral("select group_concat(midjun1 order by zek) from result "
                                              "where tcode='R2026A' and midtime1<>''"));
}

QStringList TstDbRestart::stored()
{
    QStringList bibs;
    for (const QStringList &row : m_server->rows(Db, QStringLiteral("select zek from midtp2 order by tpno1")))
        bibs << row.value(0);
    return bibs;
}

void TstDbRestart::chipTagWaitsOutTheServer()
{
    DialogRecorder dialogs;
    auto w = openWindow();
    // Bibs of one passing per lap, each 5 min after its start.
    QList<int> bibs;
    for (int bib = 1; bib <= 15; ++bib)
        bibs << bib;
    bibs << 31 << 32 << 33 << 34 << 35;
    auto write = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const int s = 300 + (bibs[i] - 1) * 30;
            passing(QString::asprintf("%04d", bibs[i]),
                    QString::asprintf("%02d:%02d:%02d.%d", 10 + s / 3600, s / 60 % 60, s % 60, i % 10));
        }
    };
    write(0, 10);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->value(Db, QStringLiteral("select count(*) from CHAKU")).toInt(), 10, 20000);

    // The server dies: no box, the poll goes on, the window says since when it waits.
    QVERIFY(m_server->kill());
    QTRY_VERIFY_WITH_TIMEOUT(w->lWaiting->isVisible(), 10000);
    QVERIFY2(w->lWaiting->text().contains(QStringLiteral("データベースに接続できません")),
             qPrintable(w->lWaiting->text()));
    QTest::qWait(1500);
    QVERIFY(w->Timer1->isActive());
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));

    // Back: the other ten of the burst are taken without anybody touching the window.
    QVERIFY(m_server->start());
    write(10, 20);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->value(Db, QStringLiteral("select count(*) from CHAKU")).toInt(), 20, 20000);
    QTRY_VERIFY(!w->lWaiting->isVisible());
    QCOMPARE(m_server->value(Db, QStringLiteral("select count(*) from tag_rec where use_mid=0")), QStringLiteral("0"));
    QStringList numbers;
    for (int n = 1; n <= 20; ++n)
        numbers << QString::number(n);
    QCOMPARE(m_server->value(Db, QStringLiteral("select group_concat(num order by num) from CHAKU")),
             numbers.join(','));
    QCOMPARE(m_server->value(Db, QStringLiteral("select count(distinct zek) from CHAKU")), QStringLiteral("20"));
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    w->close();
}

void TstDbRestart::serverKilledInsideAPassing_data()
{
    // What another session holds, so that the pass waits at a statement of the test's
    // choosing, where the server is then killed.
    QTest::addColumn<QStringList>("hold");
    QTest::newRow("in the ranking") << QStringList{
        QStringLiteral("start transaction"),
        QStringLiteral("select * from result where tcode='R2026A' and zek='0001' for update")};
    QTest::newRow("at the display row") << QStringList{QStringLiteral("lock tables CHAKU write")};
}

void TstDbRestart::serverKilledInsideAPassing()
{
    QFETCH(QStringList, hold);
    m_db->reload();
    DialogRecorder dialogs;
    auto w = openWindow();
    passing(QStringLiteral("0001"), QStringLiteral("10:05:00.1"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->value(Db, QStringLiteral("select count(*) from CHAKU")).toInt(), 1, 20000);

    // The holder takes its lock; once the station's statement waits for it, the server is
    // killed (this thread is then blocked in that statement).
    std::atomic<bool> holding{false};
    std::atomic<bool> killed{false};
    std::thread holder([&] {
        const QByteArray socket = (m_server->dir() + QStringLiteral("/mysqld.sock")).toLocal8Bit();
        MYSQL *h = mysql_init(nullptr);
        MYSQL *watch = mysql_init(nullptr);
        if (mysql_real_connect(h, "localhost", "root", "rufan", "t_restart", 0, socket.constData(), 0) &&
            mysql_real_connect(watch, "localhost", "root", "rufan", "t_restart", 0, socket.constData(), 0)) {
            bool ok = true;
            for (const QString &sql : hold) {
                ok = ok && mysql_query(h, sql.toUtf8().constData()) == 0;
                if (MYSQL_RES *res = mysql_store_result(h))
                    mysql_free_result(res);
            }
            holding = ok;
            // The station's statement has been running for half a second: it waits.
            const char *waiting = "select count(*) from information_schema.processlist where db='t_restart' "
                                  "and command='Query' and id<>connection_id() and time_ms > 500";
            for (int i = 0; ok && i < 1500 && !killed; ++i) {
                if (mysql_query(watch, waiting) != 0)
                    break;
                MYSQL_RES *res = mysql_store_result(watch);
                MYSQL_ROW row = res ? mysql_fetch_row(res) : nullptr;
                const bool blocked = row && row[0] && atoi(row[0]) > 0;
                mysql_free_result(res);
                if (blocked)
                    killed = m_server->kill();
                else
                    QThread::msleep(20);
            }
        }
        mysql_close(watch);
        mysql_close(h);
    });
    struct TJoin {
        std::thread &thread;
        ~TJoin() { thread.join(); }
    } joinHolder{holder};
    QTRY_VERIFY_WITH_TIMEOUT(holding, 10000);
    // 0002 leads (4:50.0): the ranking must rewrite the row of 0001, which may be held.
    passing(QStringLiteral("0002"), QStringLiteral("10:05:20.0"));
    QTRY_VERIFY_WITH_TIMEOUT(killed, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(w->lWaiting->isVisible(), 60000);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    QTRY_VERIFY(w->Timer1->isActive());

    // Back after the crash: the passing cut off in the middle is taken by itself, whole
    // and once, and so is the next.
    QVERIFY(m_server->start());
    passing(QStringLiteral("0003"), QStringLiteral("10:06:02.3"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->value(Db, QStringLiteral("select count(*) from CHAKU")).toInt(), 3, 20000);
    QCOMPARE(taken(), (QList<QStringList>{{"0001", "1", "    5:00.1", "1"},
                                          {"0002", "1", "    4:50.0", "1"},
                                          {"0003", "1", "    5:02.3", "1"}}));
    QCOMPARE(numbersAndRanks(), QStringLiteral("1,2,3|2,1,3"));
    QCOMPARE(m_server->value(Db, QStringLiteral("select count(*) from tag_rec t where t.use_mid=1 and not exists "
                                                "(select 1 from CHAKU c where c.zek=t.zek)")),
             QStringLiteral("0"));
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    w->close();
}

void TstDbRestart::photocellWaitsOutTheServer()
{
    m_db->reload();
    DialogRecorder dialogs;
    TPtyPeer timer;
    TWorkFolder work({{7, timer.SlavePath()}});
    ProgramSettings.Alge = 7;
    ProgramSettings.Automode = 1;
    Dm1->PreparePhotocellQueries(ProgramSettings.CurrentTcode);
    auto w = std::make_unique<TFhand>(Dm1);
    w->Intake->SetJournalFolder(work.Path());
    w->St1->setAudioDevice(QString());
    w->show();
    QVERIFY(w->CommX1->IsOpen());
    timer.Write(frame(1) + frame(2));
    QTRY_COMPARE_WITH_TIMEOUT(stored(), (QStringList{"001", "002"}), 10000);

    // Three frames meet a dead server: kept, listed, no box; nothing waits behind a box.
    QVERIFY(m_server->kill());
    timer.Write(frame(3) + frame(4) + frame(5));
    QTRY_COMPARE_WITH_TIMEOUT(w->Intake->WaitingCount(), 3, 10000);
    QTRY_VERIFY(w->lIntakeNotice->isVisible());
    QVERIFY2(w->Intake->Notice().contains(QStringLiteral("データベースに接続できません")),
             qPrintable(w->Intake->Notice()));
    QTest::qWait(1500);
    QCOMPARE(w->Intake->WaitingCount(), 3);

    // Back; the next frame comes while those that waited are being stored: all in order, once.
    QVERIFY(m_server->start());
    timer.Write(frame(6));
    QTRY_COMPARE_WITH_TIMEOUT(stored(), (QStringList{"001", "002", "003", "004", "005", "006"}), 20000);
    QTRY_COMPARE(m_server->value(Db, QStringLiteral("select group_concat(zek order by num) from CHAKU")),
                 QStringLiteral("0001,0002,0003,0004,0005,0006"));
    QCOMPARE(m_server->value(
                 Db, QStringLiteral("select count(*) from result where tcode='R2026A' and midtime1='   10:00.0'")),
             QStringLiteral("6"));
    QTRY_VERIFY(!w->lIntakeNotice->isVisible());
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    const QString journal = journalOf(work.Path());
    QCOMPARE(journal.count(QStringLiteral(" FRAME ")), 6);
    QCOMPARE(journal.count(QStringLiteral(" DONE ")), 6);
    w->close();
}

bool TstDbRestart::startStation(QProcess &station, const QString &folder)
{
    station.setWorkingDirectory(folder);
    station.start(QStringLiteral(MIDSTATION_STATION_PEER),
                  {QStringLiteral("photocell"), QStringLiteral("R2026A"), QStringLiteral("COM7")});
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    while (!said.contains("ready\n") && waited.elapsed() < 30000 && station.waitForReadyRead(1000))
        said += station.readAllStandardOutput();
    return said.contains("ready\n");
}

void TstDbRestart::stationKilledWithPassingsWaiting()
{
    m_db->reload();
    TPtyPeer timer;
    QTemporaryDir work;
    QFile ini(work.filePath(QStringLiteral("VidadIva.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SerialPorts]\r\nCOM7=" + timer.SlavePath().toLocal8Bit() + "\r\n");
    ini.close();

    QProcess station;
    QVERIFY(startStation(station, work.path()));
    timer.Write(frame(1));
    QTRY_COMPARE_WITH_TIMEOUT(stored(), QStringList{"001"}, 10000);
    QVERIFY(m_server->kill());
    timer.Write(frame(2) + frame(3));
    QTRY_COMPARE_WITH_TIMEOUT(journalOf(work.path()).count(QStringLiteral(" FRAME ")), 3, 10000);
    station.kill(); // the laptop's power cut
    QVERIFY(station.waitForFinished(10000));

    // As if the power went between the first passing's commit and its line in the
    // journal: it must be recognised as stored, not stored again.
    QString journal = journalOf(work.path());
    journal.remove(QRegularExpression(QStringLiteral("[^\n]* DONE 1\n")));
    QFile rewrite(
        QDir(work.path())
            .filePath(QStringLiteral("photocell-journal-%1.txt").arg(QDate::currentDate().toString(Qt::ISODate))));
    QVERIFY(rewrite.open(QIODevice::WriteOnly | QIODevice::Truncate));
    rewrite.write(journal.toUtf8());
    rewrite.close();

    QVERIFY(m_server->start());
    QProcess again;
    QVERIFY(startStation(again, work.path()));
    QTRY_COMPARE_WITH_TIMEOUT(stored(), (QStringList{"001", "002", "003"}), 20000);
    QTRY_COMPARE(m_server->value(Db, QStringLiteral("select group_concat(zek order by num) from CHAKU")),
                 QStringLiteral("0001,0002,0003"));
    QTRY_COMPARE(journalOf(work.path()).count(QStringLiteral(" DONE ")), 3);
    again.closeWriteChannel();
    QVERIFY(again.waitForFinished(20000));
    const QByteArray said = again.readAllStandardError();
    QVERIFY2(!said.contains("box:"), said.constData());
}

QTEST_MAIN(TstDbRestart)
#include "tst_dbrestart.moc"
