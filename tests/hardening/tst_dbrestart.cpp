// The database server stopped and started again during a chip-tag race, with the real
// window and its poll: the operator is told that the intake stopped and what to do,
// nothing stored before is lost, and once the window is opened again every passing
// written meanwhile is taken exactly once. Runs on a private server of its own, since it
// stops it.
#include "CuteBtn.h"
#include "MidIntake.h"
#include "SMARTALKOCXLib_TLB.h"
#include "ServerControl.h"
#include "TestSupport.h"
#include "Ucheck.h"
#include "Udm1.h"
#include "Umid.h"
#include "uComm.h"

#include <QDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <mysql.h>
#include <thread>

using namespace TestSupport;

namespace
{
const QString Db = QStringLiteral("t_restart");
}

class TstDbRestart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void serverRestartDuringRace();
    void serverKilledInsideAPassing_data();
    void serverKilledInsideAPassing();

private:
    std::unique_ptr<TFmid> openWindow();
    void passing(const QString &zek, const QString &time);
    QList<QStringList> taken();
    QString numbersAndRanks();
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

void TstDbRestart::serverRestartDuringRace()
{
    DialogRecorder dialogs;
    auto w = openWindow();
    QVERIFY(w->Timer1->isActive());

    // Three passings taken while the server runs.
    passing(QStringLiteral("0001"), QStringLiteral("10:05:00.1"));
    passing(QStringLiteral("0002"), QStringLiteral("10:05:31.2"));
    passing(QStringLiteral("0003"), QStringLiteral("10:06:02.3"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->value(Db, QStringLiteral("select count(*) from CHAKU")).toInt(), 3, 20000);
    const QList<QStringList> before = taken();
    QCOMPARE(before, (QList<QStringList>{{"0001", "1", "    5:00.1", "1"},
                                         {"0002", "1", "    5:01.2", "1"},
                                         {"0003", "1", "    5:02.3", "1"}}));

    // The server goes away: the next tick fails, the operator is told what to do, and the
    // poll stays off. The window stays usable.
    QVERIFY(m_server->stop());
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.texts(Dialogs::Kind::Error).isEmpty(), 30000);
    QCOMPARE(dialogs.texts(Dialogs::Kind::Error).size(), 1);
    const QString box = dialogs.texts(Dialogs::Kind::Error).first();
    QVERIFY2(box.endsWith(TMidIntake::PollStoppedMessage()), qPrintable(box));
    QVERIFY2(box.size() > TMidIntake::PollStoppedMessage().size() + 2, "the server's error is not shown");
    QVERIFY(!w->Timer1->isActive());
    QVERIFY(w->isVisible());
    w->b2->click();
    QCOMPARE(w->Intake->midno, 2);

    // The server is back; the chip-tag program writes passings while the poll is off.
    QVERIFY(m_server->start());
    passing(QStringLiteral("0004"), QStringLiteral("10:06:33.4"));
    passing(QStringLiteral("0005"), QStringLiteral("10:07:04.5"));
    QTest::qWait(1000); // four poll intervals: none runs
    QCOMPARE(m_server->value(Db, QStringLiteral("select count(*) from tag_rec where use_mid=0")).toInt(), 2);
    QCOMPARE(taken().mid(0, 3), before);

    // As the message says: close the window and open it again.
    w->close();
    w.reset();
    dialogs.shown.clear();
    w = openWindow();
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    QVERIFY(w->Timer1->isActive());
    QCOMPARE(w->Intake->lastupd, m_server->value(Db, QStringLiteral("select upd from EXECINFO where num=1")).toInt());

    // The next passing changes the counter; the pass takes everything that waited.
    passing(QStringLiteral("0006"), QStringLiteral("10:07:35.6"));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_server->value(Db, QStringLiteral("select count(*) from tag_rec where use_mid=0")).toInt(), 0, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->value(Db, QStringLiteral("select count(*) from CHAKU")).toInt(), 6, 20000);
    QCOMPARE(taken(), (QList<QStringList>{{"0001", "1", "    5:00.1", "1"},
                                          {"0002", "1", "    5:01.2", "1"},
                                          {"0003", "1", "    5:02.3", "1"},
                                          {"0004", "1", "    5:03.4", "1"},
                                          {"0005", "1", "    5:04.5", "1"},
                                          {"0006", "1", "    5:05.6", "1"}}));
    // Numbered on without a gap or a repeat, and the ranking covers the whole field.
    QCOMPARE(numbersAndRanks(), QStringLiteral("1,2,3,4,5,6|1,2,3,4,5,6"));
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
    QTRY_VERIFY_WITH_TIMEOUT(!dialogs.texts(Dialogs::Kind::Error).isEmpty(), 60000);
    // (The station sees the link break before the kill has seen the server gone.)
    QTRY_VERIFY2_WITH_TIMEOUT(killed, qPrintable(dialogs.texts().join(QLatin1Char('\n'))), 20000);
    QVERIFY(!w->Timer1->isActive());

    // Back after the crash: the passing is not half written, it waits untaken.
    QVERIFY(m_server->start());
    QCOMPARE(taken(), (QList<QStringList>{{"0001", "1", "    5:00.1", "1"}, {"0002", "0", "<NULL>", "0"}}));
    QCOMPARE(m_server->value(Db, QStringLiteral("select count(*) from tag_rec t where t.use_mid=1 and not exists "
                                                "(select 1 from CHAKU c where c.zek=t.zek)")),
             QStringLiteral("0"));

    // Opened again, the next passing brings it in, whole and once.
    w->close();
    w.reset();
    dialogs.shown.clear();
    w = openWindow();
    passing(QStringLiteral("0003"), QStringLiteral("10:06:02.3"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server->value(Db, QStringLiteral("select count(*) from CHAKU")).toInt(), 3, 20000);
    QCOMPARE(taken(), (QList<QStringList>{{"0001", "1", "    5:00.1", "1"},
                                          {"0002", "1", "    4:50.0", "1"},
                                          {"0003", "1", "    5:02.3", "1"}}));
    QCOMPARE(numbersAndRanks(), QStringLiteral("1,2,3|2,1,3"));
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    w->close();
}

QTEST_MAIN(TstDbRestart)
#include "tst_dbrestart.moc"
