// Several stations on one race database, each a process of its own: a hot backup (two
// chip-tag windows on the same event) and a chip-tag window beside a photocell window.
// The chip-tag program writes its readings in bursts; each passing must be taken by
// exactly one station, with one display row, and the display numbers stay distinct.
// Demo race R2026A: bibs 0001..0060 start from 10:00:00.0 every 30 s; 0001-0015 and
// 0031-0045 have 1 chip-tag passing per lap.
#include "PtyPeer.h"
#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <mysql.h>

using namespace TestSupport;

namespace
{
const QString Event = QStringLiteral("R2026A");

QString clock(qint64 ms)
{
    return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

qint64 startOf(int bib)
{
    return 36000000LL + (bib - 1) * 30000LL;
}

QList<int> tagBibs()
{
    QList<int> bibs;
    for (int b = 1; b <= 15; ++b)
        bibs << b << b + 30;
    return bibs;
}

// Update entries in a station's chip-tag log (one per mid time sent), in its folder.
int logEntries(const QTemporaryDir &work)
{
    QFile f(work.filePath(QStringLiteral("VidadIva.log")));
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("update result\r\n")) : 0;
}
} // namespace

class TstStations : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_stations")); }
    void twoStations_data();
    void twoStations();

private:
    struct TPeer {
        std::unique_ptr<QProcess> process;
        QTemporaryDir work;
    };
    void startPeer(TPeer &peer, const QStringList &args);
    void tagBurst(const QList<QPair<int, int>> &readings); // (bib, count)
    std::unique_ptr<SuiteDatabase> m_db;
};

void TstStations::startPeer(TPeer &peer, const QStringList &args)
{
    peer.process = std::make_unique<QProcess>();
    peer.process->setWorkingDirectory(peer.work.path());
    peer.process->start(QStringLiteral(MIDSTATION_STATION_PEER), args);
    QVERIFY(peer.process->waitForStarted());
    QByteArray said;
    QElapsedTimer waited;
    waited.start();
    while (!said.contains("ready\n") && waited.elapsed() < 30000 && peer.process->state() == QProcess::Running)
        if (peer.process->waitForReadyRead(1000))
            said += peer.process->readAllStandardOutput();
    QVERIFY2(said.contains("ready\n"), peer.process->readAllStandardError().constData());
}

// What the chip-tag program does: the rows of a burst, then the change counter.
void TstStations::tagBurst(const QList<QPair<int, int>> &readings)
{
    QStringList rows;
    for (const auto &[bib, count] : readings)
        rows << QStringLiteral("('%1','%2','C1','%3',%4,0)")
                    .arg(Event, QString::asprintf("%04d", bib), clock(startOf(bib) + count * 300000LL + bib * 100))
                    .arg(count);
    m_db->exec(QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ") + rows.join(','));
    m_db->exec(QStringLiteral("UPDATE EXECINFO SET upd=upd+1 WHERE num=1"));
}

void TstStations::twoStations_data()
{
    QTest::addColumn<bool>("withPhotocell");
    QTest::newRow("hot backup: two chip-tag stations") << false;
    QTest::newRow("chip-tag and photocell stations") << true;
}

void TstStations::twoStations()
{
    QFETCH(bool, withPhotocell);
    m_db->reload();
    m_db->exec(QStringLiteral("USE t_stations"));

    std::unique_ptr<TPtyPeer> timer; // the photocell station's, in a process of its own
    if (withPhotocell)
        timer = std::make_unique<TPtyPeer>();
    TPeer first, second;
    startPeer(first, {QStringLiteral("chiptag"), Event});
    if (withPhotocell) {
        QFile ini(second.work.filePath(QStringLiteral("VidadIva.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[SerialPorts]\r\nCOM7=" + timer->SlavePath().toLocal8Bit() + "\r\n");
        ini.close();
        startPeer(second, {QStringLiteral("photocell"), Event, QStringLiteral("COM7")});
    } else {
        startPeer(second, {QStringLiteral("chiptag"), Event});
    }

    // Bursts of ten readings (and, beside the chip-tag window, ten timer frames for other
    // bibs at the same moment), each station working while the next burst comes.
    const QList<int> tags = tagBibs();
    QList<QPair<int, int>> readings;
    for (int count = 1; count <= (withPhotocell ? 1 : 2); ++count)
        for (int bib : tags)
            readings << qMakePair(bib, count);
    // The first burst finds the display table locked by another program: both stations
    // come to their display row at the same moment once it is free again.
    std::unique_ptr<MYSQL, void (*)(MYSQL *)> holder(mysql_init(nullptr), mysql_close);
    const QByteArray socket = serverSocket().toLocal8Bit();
    QVERIFY(mysql_real_connect(holder.get(), "localhost", "root", "rufan", "t_stations", 0, socket.constData(), 0));
    QCOMPARE(mysql_query(holder.get(), "LOCK TABLES CHAKU WRITE"), 0);
    int frameBib = 16;
    for (int k = 0; k < readings.size(); k += 10) {
        if (withPhotocell) {
            QByteArray frames;
            for (int f = 0; f < 10; ++f, frameBib = frameBib == 30 ? 46 : frameBib + 1)
                frames += " " + QByteArray::number(frameBib).rightJustified(4, '0') + " C1  " +
                          clock(startOf(frameBib) + 300000 + frameBib * 100).toLatin1() + "   1\r";
            timer->Write(frames);
        }
        tagBurst(readings.mid(k, 10));
        if (k == 0) {
            // Both wait (at the display table, or for the other station's passing).
            QTRY_VERIFY_WITH_TIMEOUT(m_db->value(QStringLiteral("SELECT count(*) FROM information_schema.processlist "
                                                                "WHERE db='t_stations' AND command='Query' "
                                                                "AND id<>connection_id()"))
                                             .toInt() >= 2,
                                     20000);
            QCOMPARE(mysql_query(holder.get(), "UNLOCK TABLES"), 0);
            holder.reset();
        }
        QTest::qWait(100);
    }
    const int passings = int(readings.size()) + (withPhotocell ? 30 : 0);

    QTRY_VERIFY_WITH_TIMEOUT(m_db->value(QStringLiteral("SELECT count(*) FROM tag_rec WHERE use_mid=0")) == "0" &&
                                 m_db->value(QStringLiteral("SELECT count(*) FROM CHAKU")).toInt() >= passings,
                             60000);
    QTest::qWait(500); // a passing taken twice would add its second row now
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM CHAKU")).toInt(), passings);
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(DISTINCT num) FROM CHAKU")).toInt(), passings);
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM (SELECT zek,laps FROM CHAKU GROUP BY zek,laps "
                                        "HAVING count(*) > 1) twice")),
             QStringLiteral("0"));
    QCOMPARE(m_db->value(QStringLiteral("SELECT count(*) FROM result WHERE midtime1<>''")).toInt(),
             withPhotocell ? 60 : 30);
    QCOMPARE(logEntries(first.work) + logEntries(second.work), int(readings.size()));

    for (TPeer *peer : {&first, &second}) {
        peer->process->closeWriteChannel();
        QVERIFY(peer->process->waitForFinished(20000));
        const QByteArray boxes = peer->process->readAllStandardError();
        QVERIFY2(boxes.isEmpty(), boxes.constData());
    }
}

QTEST_MAIN(TstStations)
#include "tst_stations.moc"
