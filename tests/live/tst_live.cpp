// midstation-live as a process against the private server: a passing taken by the
// chip-tag intake reaches an open event stream within a second, Shift-JIS texts arrive as
// UTF-8, markup in a name stays text, the program only reads, bad requests and stalled
// clients leave the others served, a crowd on one address or in total is turned away at
// once without locking out the others, a request trickled in is cut, the page arrives
// with the current passings in it, nginx in front passes the stream on, and a race server
// that goes away and comes back is followed.
#include "LiveTestSupport.h"
#include "ServerControl.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QtTest>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace TestSupport;
using namespace LiveTest;

namespace
{

const QString Event = QStringLiteral("R2026A");

bool hasPassing(const QJsonObject &update, int num)
{
    const QJsonObject passings = update.value(QStringLiteral("passings")).toObject();
    const QJsonArray rows = passings.contains(QStringLiteral("add")) ? passings.value(QStringLiteral("add")).toArray()
                                                                     : passings.value(QStringLiteral("all")).toArray();
    for (const QJsonValue &v : rows)
        if (v.toObject().value(QStringLiteral("num")).toInt() == num)
            return true;
    return false;
}

bool isOnline(const QJsonObject &stateOrUpdate)
{
    return stateOrUpdate.value(QStringLiteral("online")).toBool();
}

void appendDataSource(const QString &name, const QString &body)
{
    QFile ini(qEnvironmentVariable("ODBCINI"));
    QVERIFY(ini.open(QIODevice::Append));
    ini.write(QStringLiteral("\n[%1]\nDriver=MariaDB\n%2\n").arg(name, body).toLocal8Bit());
}

} // namespace

class TstLive : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase() { m_shared.reset(); }
    void init();
    void cleanup();
    void optionsAreChecked_data();
    void optionsAreChecked();
    void passingReachesTheStreamWithinOneSecond();
    void burstOutrunningThePollReachesTheStream_data();
    void burstOutrunningThePollReachesTheStream();
    void textsArriveAsUtf8AndMarkupStaysText_data();
    void textsArriveAsUtf8AndMarkupStaysText();
    void resultWithoutNameColumn();
    void readsWithASelectOnlyAccount();
    void badRequestsLeaveTheOthersServed_data();
    void badRequestsLeaveTheOthersServed();
    void stalledClientsDoNotHoldUpTheOthers();
    void limitsTurnAwayOnlyTheCrowd_data();
    void limitsTurnAwayOnlyTheCrowd();
    void slowRequestsAreCut_data();
    void slowRequestsAreCut();
    void pageArrivesWithTheCurrentPassings();
    void passingReachesTheStreamThroughNginx();
    void raceServerAwayShowsWaitingAndReconnects();

private:
    int takePassing(const QString &bib, const QString &time) { return m_intake->takePassing(bib, time); }
    std::unique_ptr<SuiteDatabase> m_db;
    std::unique_ptr<ChipTagIntake> m_intake;
    std::unique_ptr<LiveProgram> m_shared;
};

void TstLive::initTestCase()
{
    m_db = std::make_unique<SuiteDatabase>(QStringLiteral("t_live"));
}

void TstLive::init()
{
    m_intake.reset();
    m_db->reload();
    m_db->exec(QStringLiteral("USE t_live"));
    m_intake = std::make_unique<ChipTagIntake>(m_db.get(), Event);
}

void TstLive::cleanup()
{
    m_intake.reset();
}

void TstLive::optionsAreChecked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1")} << 2
                             << QStringLiteral("待ち受けアドレス");
    QTest::newRow("port too large") << QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:70000")} << 2
                                    << QStringLiteral("待ち受けアドレス");
    QTest::newRow("host name") << QStringList{QStringLiteral("--listen"), QStringLiteral("example.org:80")} << 2
                               << QStringLiteral("待ち受けアドレス");
    QTest::newRow("unknown argument") << QStringList{QStringLiteral("--write")} << 2 << QStringLiteral("不明な引数");
    QTest::newRow("no pages per address") << QStringList{QStringLiteral("--max-per-address"), QStringLiteral("0")} << 2
                                          << QStringLiteral("アドレスごとのページの上限は 1 から 10000");
    QTest::newRow("request time not a number")
        << QStringList{QStringLiteral("--request-seconds"), QStringLiteral("12x")} << 2
        << QStringLiteral("要求の受け取りの上限秒数は 1 から 300");
    QTest::newRow("address not on this machine")
        << QStringList{QStringLiteral("--listen"), QStringLiteral("192.0.2.1:8080")} << 1
        << QStringLiteral("待ち受けできません");
}

void TstLive::optionsAreChecked()
{
    if (IsHarshCopy())
        QSKIP("the page's HTTP handling sends no statement of its own: the plain copy checks it");
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QProcess p;
    p.start(QStringLiteral(MIDSTATION_LIVE_PROGRAM), arguments);
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitCode(), exitCode);
    QVERIFY2(QString::fromLocal8Bit(p.readAllStandardError()).contains(message), qPrintable(message));
}

void TstLive::passingReachesTheStreamWithinOneSecond()
{
    LiveProgram live;
    QVERIFY(live.started());
    EventStream stream(live.port());
    QVERIFY(stream.waitFor({}, isOnline, 10000));
    for (const auto &[bib, time] : {std::pair{QStringLiteral("0001"), QStringLiteral("10:05:35.1")},
                                    std::pair{QStringLiteral("0002"), QStringLiteral("10:06:10.0")}}) {
        const int num = takePassing(bib, time); // the CHAKU row is committed when this returns
        QElapsedTimer sinceRow;
        sinceRow.start();
        const auto update = stream.waitFor(
            "update", [num](const QJsonObject &u) { return hasPassing(u, num); }, 5000);
        const qint64 ms = sinceRow.elapsed();
        QVERIFY2(update, qPrintable(bib));
        QVERIFY2(ms <= 1000, qPrintable(QStringLiteral("passing %1 reached the stream after %2 ms").arg(bib).arg(ms)));
    }
    // The ranking of mid point 1 follows: 0001 leads, 0002 second.
    const QJsonArray rank1 =
        state(live.port()).value(QStringLiteral("ranks")).toObject().value(QStringLiteral("1")).toArray();
    QCOMPARE(rank1.size(), 2);
    QCOMPARE(rank1[0].toObject().value(QStringLiteral("bib")).toString(), QStringLiteral("0001"));
    QCOMPARE(rank1[0].toObject().value(QStringLiteral("diff")).toString(), QStringLiteral("0.0"));
    QCOMPARE(rank1[1].toObject().value(QStringLiteral("rank")).toInt(), 2);
}

void TstLive::burstOutrunningThePollReachesTheStream_data()
{
    QTest::addColumn<int>("before"); // CHAKU rows already there
    QTest::newRow("into an empty table") << 0;
    QTest::newRow("after a passing") << 1;
}

// More passings between two reads than the page shows (50): every one still travels.
void TstLive::burstOutrunningThePollReachesTheStream()
{
    QFETCH(int, before);
    constexpr int Burst = 120;
    auto rows = [](int from, int to) {
        QStringList values;
        for (int num = from; num <= to; ++num)
            values << QStringLiteral("(%1,'%2','    5:%3.0',1)")
                          .arg(num)
                          .arg(num, 4, 10, QLatin1Char('0'))
                          .arg(num % 50 + 10);
        return QStringLiteral("INSERT INTO CHAKU (num,zek,time1,laps) VALUES ") + values.join(QLatin1Char(','));
    };
    if (before > 0)
        m_db->exec(rows(1, before));
    LiveProgram live;
    QVERIFY(live.started());
    EventStream stream(live.port());
    QVERIFY(stream.waitFor({}, isOnline, 10000));
    QTest::qWait(600); // the program has read the table as it is
    m_db->exec(rows(before + 1, before + Burst));
    QSet<int> seen;
    stream.waitFor(
        "update",
        [&seen, before](const QJsonObject &u) {
            for (const QJsonValue &v :
                 u.value(QStringLiteral("passings")).toObject().value(QStringLiteral("add")).toArray())
                seen.insert(v.toObject().value(QStringLiteral("num")).toInt());
            return seen.size() == Burst && !seen.contains(before);
        },
        5000);
    QCOMPARE(seen.size(), Burst);
    const QJsonArray shown =
        state(live.port()).value(QStringLiteral("passings")).toObject().value(QStringLiteral("all")).toArray();
    QCOMPARE(shown.size(), 50);
    QCOMPARE(shown.first().toObject().value(QStringLiteral("num")).toInt(), before + Burst);
}

void TstLive::textsArriveAsUtf8AndMarkupStaysText_data()
{
    QTest::addColumn<QString>("name");
    // ソ, 表 and 能 carry the backslash byte 0x5C in Shift-JIS.
    QTest::newRow("Shift-JIS with 0x5C bytes") << QStringLiteral("ソ表能 高原ー");
    QTest::newRow("script tag") << QStringLiteral("<script>alert('x')</script>");
    QTest::newRow("quotes and ampersand") << QStringLiteral("\"A&B\" 'C' &amp;");
    QTest::newRow("line break") << QStringLiteral("二行\nevent: update");
}

void TstLive::textsArriveAsUtf8AndMarkupStaysText()
{
    QFETCH(QString, name);
    m_db->exec(QStringLiteral("UPDATE result SET name='%1', MIDTIME2='    5:35.1', MIDDIFF2='       0.0', MIDJUN2=1 "
                              "WHERE zek='0003'")
                   .arg(QString(name)
                            .replace(QLatin1String("\\"), QLatin1String("\\\\"))
                            .replace(QLatin1String("'"), QLatin1String("''"))));
    m_db->exec(QStringLiteral("UPDATE tiki SET TIKIMEI='%1' WHERE TCODE='R2026A'")
                   .arg(QStringLiteral("第12回 能登・表彰ソ杯")));
    LiveProgram live;
    QVERIFY(live.started());
    HttpReply reply;
    QTRY_VERIFY_WITH_TIMEOUT((reply = get(live.port(), "/api/state")).body.contains("0003"), 10000);
    QVERIFY(reply.head.contains("application/json; charset=utf-8"));
    QVERIFY2(!reply.body.contains('<') && !reply.body.contains('>'), reply.body.constData());
    const QJsonObject s = QJsonDocument::fromJson(reply.body).object();
    QCOMPARE(s.value(QStringLiteral("event")).toObject().value(QStringLiteral("name")).toString(),
             QStringLiteral("第12回 能登・表彰ソ杯"));
    const QJsonArray rank2 = s.value(QStringLiteral("ranks")).toObject().value(QStringLiteral("2")).toArray();
    QCOMPARE(rowWithBib(rank2, QStringLiteral("0003")).value(QStringLiteral("name")).toString(), name);
    // The same bytes travel on the stream: one event, its data on one line.
    EventStream stream(live.port());
    const auto first = stream.waitFor(
        "state", [](const QJsonObject &) { return true; }, 5000);
    QVERIFY(first);
    QCOMPARE(rowWithBib(first->value(QStringLiteral("ranks")).toObject().value(QStringLiteral("2")).toArray(),
                        QStringLiteral("0003"))
                 .value(QStringLiteral("name"))
                 .toString(),
             name);
}

// A race database whose result has no name column: ranks without names, and the page is
// told so (it leaves the column out).
void TstLive::resultWithoutNameColumn()
{
    m_db->exec(QStringLiteral("ALTER TABLE result DROP COLUMN name"));
    m_db->exec(
        QStringLiteral("UPDATE result SET MIDTIME1='    5:35.1', MIDDIFF1='       0.0', MIDJUN1=1 WHERE zek='0001'"));
    LiveProgram live;
    QVERIFY(live.started());
    QJsonObject s;
    QTRY_VERIFY_WITH_TIMEOUT((s = state(live.port()))
                                     .value(QStringLiteral("ranks"))
                                     .toObject()
                                     .value(QStringLiteral("1"))
                                     .toArray()
                                     .size() == 1,
                             10000);
    QCOMPARE(s.value(QStringLiteral("event")).toObject().value(QStringLiteral("names")), QJsonValue(false));
    const QJsonObject row =
        s.value(QStringLiteral("ranks")).toObject().value(QStringLiteral("1")).toArray()[0].toObject();
    QCOMPARE(row.value(QStringLiteral("bib")).toString(), QStringLiteral("0001"));
    QCOMPARE(row.value(QStringLiteral("name")).toString(), QString());
    QVERIFY2(!live.log().contains(QStringLiteral("読めません")), qPrintable(live.log()));
    // The station's own account (root) can write: the page says so.
    QVERIFY2(live.log().contains(QStringLiteral("このページのアカウント root@")), qPrintable(live.log()));
}

void TstLive::readsWithASelectOnlyAccount()
{
    // An account that may only read, counted by the server's user statistics: a statement
    // that writes would be refused (ACCESS_DENIED) or counted (UPDATE_COMMANDS, ROWS_*).
    for (const char *host : {"localhost", "127.0.0.1"}) {
        m_db->exec(QStringLiteral("DROP USER IF EXISTS 'live_ro'@'%1'").arg(QLatin1String(host)));
        m_db->exec(QStringLiteral("CREATE USER 'live_ro'@'%1' IDENTIFIED BY 'ro'").arg(QLatin1String(host)));
        m_db->exec(QStringLiteral("GRANT SELECT ON t_live.* TO 'live_ro'@'%1'").arg(QLatin1String(host)));
    }
    m_db->exec(QStringLiteral("SET GLOBAL userstat=1"));
    m_db->exec(QStringLiteral("FLUSH USER_STATISTICS"));
    appendDataSource(
        QStringLiteral("PlovoLiveRO"),
        QStringLiteral("SERVER=127.0.0.1\nPORT=%1\nDATABASE=t_live\nUID=live_ro\nPWD=ro").arg(serverPort()));
    {
        LiveProgram live({QStringLiteral("--dsn"), QStringLiteral("PlovoLiveRO")});
        QVERIFY(live.started());
        EventStream stream(live.port());
        QVERIFY(stream.waitFor({}, isOnline, 10000));
        const int num = takePassing(QStringLiteral("0004"), QStringLiteral("10:07:10.0"));
        QVERIFY(stream.waitFor(
            "update", [num](const QJsonObject &u) { return hasPassing(u, num); }, 5000));
        QCOMPARE(live.stop(), 0);
        QVERIFY2(!live.log().contains(QStringLiteral("読めません")), qPrintable(live.log()));
        QVERIFY2(!live.log().contains(QStringLiteral("書込めます")), qPrintable(live.log()));
    }
    m_db->exec(QStringLiteral("SET GLOBAL userstat=0"));
    const QList<QStringList> stats =
        m_db->rows(QStringLiteral("SELECT SELECT_COMMANDS, UPDATE_COMMANDS, ROWS_INSERTED, ROWS_UPDATED, ROWS_DELETED, "
                                  "ACCESS_DENIED FROM information_schema.USER_STATISTICS WHERE USER='live_ro'"));
    QCOMPARE(stats.size(), 1);
    QVERIFY(stats[0][0].toInt() > 0);
    QCOMPARE(stats[0].mid(1), (QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                           QStringLiteral("0"), QStringLiteral("0")}));
}

void TstLive::badRequestsLeaveTheOthersServed_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("status"); // 0: the connection is closed without an answer
    const QByteArray host = "\r\nHost: 127.0.0.1\r\n\r\n";
    QTest::newRow("unknown path") << QByteArray("GET /results.php HTTP/1.1" + host) << 404;
    QTest::newRow("path traversal") << QByteArray("GET /../../../etc/passwd HTTP/1.1" + host) << 404;
    QTest::newRow("encoded traversal") << QByteArray("GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1" + host) << 404;
    QTest::newRow("page folder traversal") << QByteArray("GET /live.js/../../index.html HTTP/1.1" + host) << 404;
    QTest::newRow("POST") << QByteArray("POST /api/state HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello") << 405;
    QTest::newRow("DELETE") << QByteArray("DELETE / HTTP/1.1" + host) << 405;
    QTest::newRow("extra word in request line") << QByteArray("GET / HTTP/1.1 extra" + host) << 400;
    QTest::newRow("missing version") << QByteArray("GET /\r\n\r\n") << 400;
    QTest::newRow("bad header line") << QByteArray("GET / HTTP/1.1\r\nno colon here\r\n\r\n") << 400;
    QTest::newRow("bad content length") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: -3\r\n\r\n") << 400;
    QTest::newRow("one word") << QByteArray("GARBAGE\r\n\r\n") << 0;
    QTest::newRow("huge header") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + QByteArray(200000, 'a') +
                                               "\r\n\r\n")
                                 << 431;
    QTest::newRow("huge path") << QByteArray("GET /" + QByteArray(200000, 'a') + " HTTP/1.1" + host) << 414;
}

void TstLive::badRequestsLeaveTheOthersServed()
{
    if (IsHarshCopy())
        QSKIP("the page's HTTP handling sends no statement of its own: the plain copy checks it");
    QFETCH(QByteArray, raw);
    QFETCH(int, status);
    if (!m_shared) // one program takes every row
        m_shared = std::make_unique<LiveProgram>();
    LiveProgram *live = m_shared.get();
    QVERIFY(live->started());
    const HttpReply reply = request(live->port(), raw);
    QCOMPARE(reply.status, status);
    QVERIFY2(!reply.body.contains("root:"), reply.body.constData());
    QCOMPARE(get(live->port(), "/api/state").status, 200);
    QVERIFY(live->running());
}

void TstLive::stalledClientsDoNotHoldUpTheOthers()
{
    if (IsHarshCopy())
        QSKIP("the page's HTTP handling sends no statement of its own: the plain copy checks it");
    LiveProgram live;
    QVERIFY(live.started());
    QVector<int> stalled;
    // Half a request line, never finished.
    for (int i = 0; i < 5; ++i) {
        stalled << connectTo(live.port());
        QVERIFY(sendAll(stalled.last(), "GET /api/sta"));
    }
    // Never reading: a stream, and a connection with many requests in one go whose
    // answers pile up until the kernel's buffers are full.
    stalled << connectTo(live.port(), 4096);
    QVERIFY(sendAll(stalled.last(), "GET /events HTTP/1.1\r\nHost: x\r\n\r\n"));
    QByteArray pipelined;
    for (int i = 0; i < 2000; ++i)
        pipelined += "GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n";
    stalled << connectTo(live.port(), 4096);
    QVERIFY(sendAll(stalled.last(), pipelined));

    EventStream stream(live.port());
    QVERIFY(stream.waitFor({}, isOnline, 10000));
    for (int i = 0; i < 3; ++i) {
        const int num = takePassing(QStringLiteral("000%1").arg(i + 5), QStringLiteral("10:09:%1.0").arg(10 + i));
        QElapsedTimer sinceRow;
        sinceRow.start();
        QVERIFY(stream.waitFor(
            "update", [num](const QJsonObject &u) { return hasPassing(u, num); }, 5000));
        QVERIFY2(sinceRow.elapsed() <= 1000, qPrintable(QString::number(sinceRow.elapsed())));
        QCOMPARE(get(live.port(), "/", 2000).status, 200);
    }
    QVERIFY(live.running());
    for (int fd : stalled)
        ::close(fd);
}

void TstLive::limitsTurnAwayOnlyTheCrowd_data()
{
    // The program takes 6 streams, 3 from one address, 53 connections from one address.
    QTest::addColumn<QStringList>("streamsFrom"); // one stream held from each address listed
    QTest::addColumn<int>("idleFromCrowd");       // connections from 127.0.0.2 that send nothing
    QTest::addColumn<QByteArray>("refusedPath");
    QTest::addColumn<QByteArray>("refusedFrom");
    QTest::addColumn<QByteArray>("servedPath");
    QTest::addColumn<QByteArray>("servedFrom");
    const QString crowd = QStringLiteral("127.0.0.2");
    QTest::newRow("streams of one address")
        << QStringList{crowd, crowd, crowd} << 0 << QByteArray("/events") << QByteArray("127.0.0.2")
        << QByteArray("/events") << QByteArray("127.0.0.3");
    QTest::newRow("streams in total") << QStringList{crowd,
                                                     crowd,
                                                     QStringLiteral("127.0.0.3"),
                                                     QStringLiteral("127.0.0.3"),
                                                     QStringLiteral("127.0.0.4"),
                                                     QStringLiteral("127.0.0.4")}
                                      << 0 << QByteArray("/events") << QByteArray("127.0.0.5")
                                      << QByteArray("/api/state") << QByteArray("127.0.0.5");
    QTest::newRow("connections of one address")
        << QStringList{} << 53 << QByteArray("/api/state") << QByteArray("127.0.0.2") << QByteArray("/")
        << QByteArray("127.0.0.3");
}

void TstLive::limitsTurnAwayOnlyTheCrowd()
{
    if (IsHarshCopy())
        QSKIP("the page's HTTP handling sends no statement of its own: the plain copy checks it");
    QFETCH(QStringList, streamsFrom);
    QFETCH(int, idleFromCrowd);
    QFETCH(QByteArray, refusedPath);
    QFETCH(QByteArray, refusedFrom);
    QFETCH(QByteArray, servedPath);
    QFETCH(QByteArray, servedFrom);
    LiveProgram live({QStringLiteral("--max-clients"), QStringLiteral("6"), QStringLiteral("--max-per-address"),
                      QStringLiteral("3"), QStringLiteral("--request-seconds"), QStringLiteral("60")});
    QVERIFY2(live.started(), qPrintable(live.log()));
    std::vector<std::unique_ptr<EventStream>> held;
    for (const QString &from : streamsFrom) {
        held.push_back(std::make_unique<EventStream>(live.port(), qPrintable(from)));
        QVERIFY(held.back()->waitFor(
            "state", [](const QJsonObject &) { return true; }, 5000));
    }
    QVector<int> idle;
    for (int i = 0; i < idleFromCrowd; ++i)
        QVERIFY((idle << connectTo(live.port(), 0, "127.0.0.2")).last() >= 0);
    QTest::qWait(300);

    QElapsedTimer answered;
    answered.start();
    const HttpReply refused = get(live.port(), refusedPath, 5000, refusedFrom.constData());
    QCOMPARE(refused.status, 503);
    QVERIFY2(answered.elapsed() < 2000, qPrintable(QString::number(answered.elapsed())));
    QVERIFY2(refused.head.contains("\r\nRetry-After: 10"), refused.head.constData());
    QCOMPARE(get(live.port(), servedPath, 1500, servedFrom.constData()).status, 200);
    for (int fd : idle)
        ::close(fd);
}

void TstLive::slowRequestsAreCut_data()
{
    QTest::addColumn<QByteArray>("opening"); // sent at once, then one byte every 200 ms
    QTest::newRow("headers trickled") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nX-Slow: ");
    QTest::newRow("request line trickled") << QByteArray("GET /api/");
    QTest::newRow("body of a GET trickled") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 900\r\n\r\n");
    QTest::newRow("next request after an answer")
        << QByteArray("GET /live.css HTTP/1.1\r\nHost: x\r\n\r\nGET / HTTP/1.1\r\nHost: x\r\nX-Slow: ");
}

void TstLive::slowRequestsAreCut()
{
    if (IsHarshCopy())
        QSKIP("the page's HTTP handling sends no statement of its own: the plain copy checks it");
    QFETCH(QByteArray, opening);
    LiveProgram live({QStringLiteral("--request-seconds"), QStringLiteral("2")});
    QVERIFY(live.started());
    const int fd = connectTo(live.port());
    QVERIFY(sendAll(fd, opening));
    QElapsedTimer trickling;
    trickling.start();
    QByteArray received;
    bool cut = false;
    while (!cut && trickling.elapsed() < 15000) {
        cut = !sendAll(fd, "a");
        pollfd p{fd, POLLIN, 0};
        if (!cut && ::poll(&p, 1, 200) > 0) {
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            cut = n <= 0;
            received.append(buf, int(qMax<ssize_t>(n, 0)));
        }
    }
    ::close(fd);
    QVERIFY2(cut, "a request trickled in for 15 s was never cut");
    QVERIFY2(trickling.elapsed() < 8000, qPrintable(QString::number(trickling.elapsed())));
    QVERIFY(!received.contains("<html")); // nothing of the trickled request was answered
    QCOMPARE(get(live.port(), "/api/state").status, 200);
}

void TstLive::pageArrivesWithTheCurrentPassings()
{
    LiveProgram live;
    QVERIFY(live.started());
    const int num = takePassing(QStringLiteral("0005"), QStringLiteral("10:09:10.0"));
    QTRY_VERIFY_WITH_TIMEOUT(
        !rowWithBib(
             state(live.port()).value(QStringLiteral("passings")).toObject().value(QStringLiteral("all")).toArray(),
             QStringLiteral("0005"))
             .isEmpty(),
        5000);
    const HttpReply page = get(live.port(), "/");
    QCOMPARE(page.status, 200);
    const QJsonObject first = embeddedState(page.body);
    QVERIFY(isOnline(first));
    const QJsonArray passings =
        first.value(QStringLiteral("passings")).toObject().value(QStringLiteral("all")).toArray();
    const QJsonObject row = rowWithBib(passings, QStringLiteral("0005"));
    QCOMPARE(row.value(QStringLiteral("num")).toInt(), num);
    QVERIFY(!rowWithBib(first.value(QStringLiteral("ranks")).toObject().value(QStringLiteral("1")).toArray(),
                        QStringLiteral("0005"))
                 .isEmpty());
}

void TstLive::passingReachesTheStreamThroughNginx()
{
    LiveProgram live;
    QVERIFY(live.started());
    NginxProxy nginx(live.port());
    QVERIFY2(nginx.started(), qPrintable(nginx.log()));
    QCOMPARE(embeddedState(get(nginx.port(), "/").body).isEmpty(), false);
    EventStream stream(nginx.port());
    QVERIFY2(stream.waitFor({}, isOnline, 10000), qPrintable(nginx.log()));
    const int num = takePassing(QStringLiteral("0007"), QStringLiteral("10:09:20.0"));
    QElapsedTimer sinceRow;
    sinceRow.start();
    QVERIFY(stream.waitFor(
        "update", [num](const QJsonObject &u) { return hasPassing(u, num); }, 5000));
    // Unbuffered: the update passes the proxy as soon as the program sends it.
    QVERIFY2(sinceRow.elapsed() <= 1000, qPrintable(QString::number(sinceRow.elapsed())));
}

void TstLive::raceServerAwayShowsWaitingAndReconnects()
{
    TPrivateServer server; // the shared test server keeps running for the other suites
    QProcess load;
    load.start(sourceDir() + QStringLiteral("/scripts/dbserver"),
               {QStringLiteral("load"), server.dir(), QStringLiteral("plovo"),
                sourceDir() + QStringLiteral("/data/sql/schema.sql"),
                sourceDir() + QStringLiteral("/data/sql/demo.sql")});
    QVERIFY(load.waitForFinished(60000) && load.exitCode() == 0);
    QFile portFile(server.dir() + QStringLiteral("/port"));
    QVERIFY(portFile.open(QIODevice::ReadOnly));
    appendDataSource(QStringLiteral("PlovoAway"), QStringLiteral("SERVER=127.0.0.1\nPORT=%1\nDATABASE=plovo")
                                                      .arg(QString::fromLatin1(portFile.readAll().trimmed())));

    LiveProgram live({QStringLiteral("--dsn"), QStringLiteral("PlovoAway")});
    QVERIFY(live.started());
    EventStream stream(live.port());
    auto online = [](bool want) {
        return [want](const QJsonObject &o) { return o.value(QStringLiteral("online")).toBool() == want; };
    };
    QVERIFY(stream.waitFor({}, online(true), 10000));
    QVERIFY(server.stop());
    QVERIFY(stream.waitFor("update", online(false), 20000));
    QVERIFY(server.start());
    QVERIFY(stream.waitFor("update", online(true), 20000));
    QVERIFY(server.exec(QStringLiteral("plovo"),
                        QStringLiteral("INSERT INTO CHAKU (num,zek,time1,laps) VALUES (7,'0007','    6:01.2',1)")));
    QVERIFY(stream.waitFor(
        "update", [](const QJsonObject &u) { return hasPassing(u, 7); }, 5000));
    QVERIFY(live.running());
}

QTEST_MAIN(TstLive)
#include "tst_live.moc"
