// Two chip-tag stations, each on a node of its own of a two-node Galera cluster (the
// suite starts it: Debian's galera-4, state transfer by rsync), on the same event. Named
// locks are local to a node there, so both may write the same passing at once; the
// cluster lets one commit and refuses the other as a conflict. Every passing must be
// taken once, neither station may stop, and either one alone takes every passing after
// the other has died.
// Demo race R2026A: bibs 0001-0015 and 0031-0045 have 1 chip-tag passing per lap.
#include "ServerControl.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace TestSupport;

namespace
{

const QString Event = QStringLiteral("R2026A");
const QString Db = QStringLiteral("t_cluster");

QString clock(qint64 ms)
{
    return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

// Whether nothing holds the port on loopback now.
bool portFree(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(quint16(port));
    const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);
    return free;
}

// The first of the ports the two nodes use (group communication, incremental and rsync
// transfers: base to base+2 and base+10 to base+12), all free, below the range the system
// picks connections' own ports from, so that no connection made meanwhile takes one.
int groupPorts()
{
    for (int attempt = 0; attempt < 500; ++attempt) {
        const int base = 20000 + int(QRandomGenerator::global()->bounded(9000));
        bool free = true;
        for (const int port : {base, base + 1, base + 2, base + 10, base + 11, base + 12})
            free = free && portFree(port);
        if (free)
            return base;
    }
    return unusedPort();
}

int portOf(const TPrivateServer &node)
{
    QFile f(node.dir() + QStringLiteral("/port"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toInt() : 0;
}

// A chip-tag station (station_peer) whose PlovoLocal is the given node.
struct TStation {
    QTemporaryDir work;
    QProcess process;
    bool start(int port)
    {
        QFile(work.filePath(QStringLiteral("odbcinst.ini"))).open(QIODevice::WriteOnly);
        QFile ini(work.filePath(QStringLiteral("odbc.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write(QStringLiteral("[PlovoLocal]\nDriver=MariaDB\nSERVER=127.0.0.1\nPORT=%1\nDATABASE=%2\n")
                      .arg(port)
                      .arg(Db)
                      .toLatin1());
        ini.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ODBCSYSINI"), work.path());
        env.insert(QStringLiteral("ODBCINI"), work.filePath(QStringLiteral("odbc.ini")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(work.path());
        process.start(QStringLiteral(MIDSTATION_STATION_PEER), {QStringLiteral("chiptag"), Event});
        return process.waitForStarted() && process.waitForReadyRead(30000) &&
               process.readAllStandardOutput().contains("ready");
    }
};

} // namespace

class TstCluster : public QObject
{
    Q_OBJECT
private slots:
    void stationsOnTwoNodes_data();
    void stationsOnTwoNodes();

private:
    // Readings of the bibs with 1 passing per lap at count `lap`, written to `node` in
    // bursts of `burst`, each followed by the change counter.
    void writeReadings(TPrivateServer &node, int lap, int from, int to);
};

void TstCluster::writeReadings(TPrivateServer &node, int lap, int from, int to)
{
    static const QList<int> bibs = [] {
        QList<int> b;
        for (int i = 1; i <= 15; ++i)
            b << i << i + 30;
        return b;
    }();
    QStringList rows;
    for (int i = from; i < to; ++i) {
        const int bib = bibs[i];
        rows << QStringLiteral("('%1','%2','C1','%3',%4,0)")
                    .arg(Event, QString::asprintf("%04d", bib),
                         clock(36000000LL + (bib - 1) * 30000LL + lap * 300000LL + bib * 100))
                    .arg(lap);
    }
    QVERIFY(node.exec(Db, QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ") +
                              rows.join(QLatin1Char(','))));
    QVERIFY(node.exec(Db, QStringLiteral("UPDATE EXECINFO SET upd=upd+1 WHERE num=1")));
}

void TstCluster::stationsOnTwoNodes_data()
{
    QTest::addColumn<int>("dies"); // the station (0 or 1) whose machine dies halfway
    QTest::newRow("the second node's station dies") << 1;
    QTest::newRow("the first node's station dies") << 0;
}

void TstCluster::stationsOnTwoNodes()
{
    QFETCH(int, dies);
    const int group = groupPorts();
    TPrivateServer first({QStringLiteral("--galera=%1").arg(group)});
    TPrivateServer second({QStringLiteral("--galera=%1").arg(group + 10), QStringLiteral("--join=%1").arg(group)});
    QCOMPARE(second.value(QString(), QStringLiteral("SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS "
                                                    "WHERE VARIABLE_NAME='WSREP_CLUSTER_SIZE'")),
             QStringLiteral("2"));
    QProcess load;
    load.start(sourceDir() + QStringLiteral("/scripts/dbserver"),
               {QStringLiteral("load"), first.dir(), Db, sourceDir() + QStringLiteral("/data/sql/schema.sql"),
                sourceDir() + QStringLiteral("/data/sql/demo.sql")});
    QVERIFY(load.waitForFinished(60000) && load.exitCode() == 0);
    QTRY_COMPARE_WITH_TIMEOUT(second.value(Db, QStringLiteral("SELECT COUNT(*) FROM EXECINFO")), QStringLiteral("1"),
                              10000);

    TPrivateServer *nodes[] = {&first, &second};
    TStation stations[2];
    QVERIFY(stations[0].start(portOf(first)));
    QVERIFY(stations[1].start(portOf(second)));

    // Both stations come to the display row of the same first passing, each on its node,
    // while another program holds CHAKU there; then both commit at once. Named locks do
    // not reach across nodes: the cluster refuses one of the two.
    {
        TSession holders[] = {{first.dir() + QStringLiteral("/mysqld.sock"), Db},
                              {second.dir() + QStringLiteral("/mysqld.sock"), Db}};
        for (TSession &holder : holders)
            QVERIFY(holder.run("START TRANSACTION") && holder.run("SELECT * FROM CHAKU FOR UPDATE"));
        writeReadings(first, 1, 0, 5);
        auto waitsForChaku = [](TPrivateServer &node) {
            return node.value(QString(), QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                                                        "WHERE INFO LIKE 'insert into CHAKU%'")) == QLatin1String("1");
        };
        QTRY_VERIFY_WITH_TIMEOUT(waitsForChaku(first) && waitsForChaku(second), 20000);
    }
    // Then side by side: the other 25 readings in bursts of 5, to the two nodes in turn.
    for (int k = 5; k < 30; k += 5) {
        writeReadings(*nodes[(k / 5) % 2], 1, k, k + 5);
        QTest::qWait(150);
    }
    auto taken = [&first](int lap) {
        return first.value(Db, QStringLiteral("SELECT COUNT(*) FROM CHAKU WHERE LAPS=%1").arg(lap)).toInt();
    };
    QTRY_COMPARE_WITH_TIMEOUT(taken(1), 30, 60000);

    // One station's machine dies; the other takes every passing by itself, from both nodes.
    stations[dies].process.kill();
    stations[dies].process.waitForFinished();
    for (int k = 0; k < 30; k += 10)
        writeReadings(*nodes[(k / 10) % 2], 2, k, k + 10);
    QTRY_COMPARE_WITH_TIMEOUT(taken(2), 30, 60000);
    QTest::qWait(500); // a passing taken twice would add its second row now

    QCOMPARE(first.value(Db, QStringLiteral("SELECT COUNT(*) FROM tag_rec WHERE use_mid=0")), QStringLiteral("0"));
    QCOMPARE(first.value(Db, QStringLiteral("SELECT COUNT(*) FROM (SELECT zek,laps FROM CHAKU GROUP BY zek,laps "
                                            "HAVING COUNT(*) > 1) twice")),
             QStringLiteral("0"));
    QCOMPARE(first.value(Db, QStringLiteral("SELECT COUNT(*) FROM result WHERE midtime2<>''")), QStringLiteral("30"));
    QCOMPARE(first.value(Db, QStringLiteral("SELECT COUNT(*) FROM result WHERE midjun1 IS NOT NULL")),
             QStringLiteral("30"));
    int conflicts = 0;
    for (TPrivateServer *node : nodes)
        conflicts += node->value(QString(), QStringLiteral("SELECT SUM(VARIABLE_VALUE) FROM information_schema."
                                                           "GLOBAL_STATUS WHERE VARIABLE_NAME IN "
                                                           "('WSREP_LOCAL_CERT_FAILURES','WSREP_LOCAL_BF_ABORTS')"))
                         .toInt();
    QVERIFY(conflicts > 0);

    // Neither station stopped or showed a box.
    TStation &survivor = stations[1 - dies];
    QCOMPARE(survivor.process.state(), QProcess::Running);
    survivor.process.closeWriteChannel();
    QVERIFY(survivor.process.waitForFinished(20000));
    for (TStation &station : stations) {
        const QByteArray boxes = station.process.readAllStandardError();
        QVERIFY2(!boxes.contains("box:"), boxes.constData());
    }
}

QTEST_MAIN(TstCluster)
#include "tst_cluster.moc"
