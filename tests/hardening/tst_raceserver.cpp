// The race server as a crew brings it: the account its data source names, and a passing
// the server refuses as a conflict with another transaction (a deadlock, a lock wait
// that ran out), which the station runs again instead of stopping its intake.
#include "Errors.h"
#include "MidIntake.h"
#include "ServerControl.h"
#include "Database.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "ProgramSettings.h"
#include "MidTimeLog.h"

#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace TestSupport;

namespace
{

const QString Event = QStringLiteral("R2026A");

// Waits until the station's mid time update runs (its claim is taken by then). The
// server's lock-wait tables are a cache that a steady poll keeps from refreshing.
bool waitForMidTimeUpdate(TSession &watch)
{
    for (int i = 0; i < 600; ++i) {
        if (watch.value("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE 'update result%'") != "0")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace

class TstRaceServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void stationLogsInWithTheDataSourceAccount_data();
    void stationLogsInWithTheDataSourceAccount();
    void conflictingPassingRunsAgain_data();
    void conflictingPassingRunsAgain();

private:
    std::unique_ptr<SuiteDatabase> m_db;
    QTemporaryDir m_logDir;
};

void TstRaceServer::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_raceserver"));
    for (const char *host : {"localhost", "127.0.0.1"}) {
        m_db->exec(QStringLiteral("DROP USER IF EXISTS 'crew'@'%1'").arg(QLatin1String(host)));
        m_db->exec(QStringLiteral("CREATE USER 'crew'@'%1' IDENTIFIED BY 'crew''s pass'").arg(QLatin1String(host)));
        m_db->exec(QStringLiteral("GRANT ALL ON t_raceserver.* TO 'crew'@'%1'").arg(QLatin1String(host)));
    }
}

void TstRaceServer::init()
{
    m_db->reload();
    m_db->exec(QStringLiteral("USE t_raceserver"));
    ProgramSettings = TProgramSettings();
    ProgramSettings.CurrentTcode = Event;
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), m_db->target()}});
}

void TstRaceServer::stationLogsInWithTheDataSourceAccount_data()
{
    QTest::addColumn<QString>("uid");
    QTest::addColumn<QString>("pwd");
    QTest::addColumn<QString>("account"); // as the server matched it
    QTest::newRow("UID and PWD of the data source") << "crew"
                                                    << "crew's pass"
                                                    << "crew@127.0.0.1";
    QTest::newRow("none: root and the station's password") << ""
                                                           << ""
                                                           << "root@127.0.0.1";
}

void TstRaceServer::stationLogsInWithTheDataSourceAccount()
{
    QFETCH(QString, uid);
    QFETCH(QString, pwd);
    DsnTarget local = m_db->target();
    local.uid = uid;
    local.pwd = pwd;
    m_db->writeDataSources({{QStringLiteral("PlovoLocal"), local}});
    TDm1 dm;
    ConnectDataModule(&dm);
    QTEST(dm.DB->execute(QStringLiteral("select current_user()")).values.value(0).value(0), "account");
}

void TstRaceServer::conflictingPassingRunsAgain_data()
{
    // deadlock: the other transaction then waits for the passing's claim, a cycle the
    // server breaks by refusing the lighter transaction, the passing's. Otherwise the
    // passing's own lock wait (1 s) runs out while the other holds on for 2.5 s.
    QTest::addColumn<bool>("deadlock");
    QTest::addColumn<int>("lockWait"); // seconds, the station's
    QTest::newRow("deadlock (1213)") << true << 50;
    QTest::newRow("lock wait timeout (1205)") << false << 1;
}

void TstRaceServer::conflictingPassingRunsAgain()
{
    QFETCH(bool, deadlock);
    QFETCH(int, lockWait);
    DialogRecorder dialogs;
    TDm1 dm;
    ConnectDataModule(&dm);
    dm.DB->LockWaitTimeout = lockWait;
    dm.DB->Close();
    dm.DB->Open();
    TMidIntake intake(&dm);
    intake.midlog->Path = m_logDir.path() + QLatin1Char('/');
    intake.ReadExecInfo();
    m_db->exec(QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES "
                              "('R2026A','0001','C1','10:05:35.1',1,0)"));
    m_db->exec(QStringLiteral("UPDATE execinfo SET upd=upd+1 WHERE num=1"));
    const int deadlocksBefore =
        m_db->value(QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                   "WHERE VARIABLE_NAME='INNODB_DEADLOCKS'"))
            .toInt();

    // Another program's transaction: many rows written (it weighs more than a passing),
    // then the passing's result row held.
    TSession other(serverSocket(), m_db->name()), watch(serverSocket(), m_db->name());
    QVERIFY(other.run("START TRANSACTION"));
    QVERIFY(other.run("INSERT INTO midtp2 (zek,time,fl) VALUES ('1','1','A')"));
    for (int i = 0; i < 7; ++i)
        QVERIFY(other.run("INSERT INTO midtp2 (zek,time,fl) SELECT zek,time,fl FROM midtp2"));
    QVERIFY(other.run("SELECT zek FROM result WHERE tcode='R2026A' AND zek='0001' FOR UPDATE"));
    std::atomic<bool> sawWait{false};
    std::thread otherSide([&] {
        // The passing has claimed its tag_rec row and waits for the result row.
        sawWait = waitForMidTimeUpdate(watch);
        if (deadlock)
            other.run("UPDATE tag_rec SET use_mid=use_mid WHERE tcode='R2026A' AND zek='0001'");
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        other.run("ROLLBACK");
    });
    intake.Timer1Timer();
    otherSide.join();
    QVERIFY(sawWait);

    // Taken once, on a later attempt of the same pass; no box, the poll goes on.
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
    QVERIFY(intake.Timer1->isActive());
    QCOMPARE(m_db->value(QStringLiteral("SELECT midtime1 FROM result WHERE zek='0001'")), QStringLiteral("    5:35.1"));
    QCOMPARE(m_db->value(QStringLiteral("SELECT COUNT(*) FROM CHAKU")), QStringLiteral("1"));
    QCOMPARE(m_db->value(QStringLiteral("SELECT COUNT(*) FROM tag_rec WHERE use_mid=0")), QStringLiteral("0"));
    const int deadlocks = m_db->value(QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                                     "WHERE VARIABLE_NAME='INNODB_DEADLOCKS'"))
                              .toInt() -
                          deadlocksBefore;
    QCOMPARE(deadlocks, deadlock ? 1 : 0);
}

QTEST_MAIN(TstRaceServer)
#include "tst_raceserver.moc"
