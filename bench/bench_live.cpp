// Benchmark (not a test) of midstation-live: a crowd of 2000 browsers' event streams, each
// from an address of its own on loopback (127.0.1.1 to 127.0.8.250, so that the limits per
// address do not come into play), open for 60 s while the chip-tag intake takes a burst of
// 300 passings back to back (one pass each, field of 300, every pass ranking the whole
// field). Reports whether every client saw every passing, the time from the pass that
// writes a CHAKU row to its arrival at each client (p50, p95, max), and the program's CPU
// and resident memory.
// Run with bench/run live (starts and stops a private server).
#include "MidIntake.h"
#include "ResidentMemory.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "ProgramSettings.h"
#include "MidTimeLog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace TestSupport;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr int Clients = 2000;
constexpr int Field = 300;
constexpr int Burst = 300;
constexpr int Seconds = 60;
const QString Event = QStringLiteral("R2026A");

QString clock(qint64 ms)
{
    return QString::asprintf("%02lld:%02lld:%02lld.%lld", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms / 100 % 10);
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min<size_t>(v.size() - 1, size_t(p * double(v.size())))];
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU seconds (user + system) and resident memory (now, peak; kB) of a process.
double cpuSeconds(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    f.open(QIODevice::ReadOnly);
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// The browsers: one thread waiting on all streams at once, noting when each passing
// (CHAKU NUM) first reaches each client.
class TClients
{
public:
    explicit TClients(int port)
    {
        for (int i = 0; i < Clients; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in from{};
            from.sin_family = AF_INET;
            from.sin_addr.s_addr = htonl((127u << 24) | (unsigned(1 + i / 250) << 8) | unsigned(1 + i % 250));
            if (::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0)
                qFatal("client %d cannot take its address", i);
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_port = htons(quint16(port));
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
                qFatal("client %d cannot connect", i);
            const char request[] = "GET /events HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
            if (::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) != ssize_t(sizeof request - 1))
                qFatal("client %d cannot send", i);
            m_clients.push_back({fd, {}, {}, false, false});
        }
        m_thread = std::thread([this] { run(); });
    }
    ~TClients()
    {
        m_stop = true;
        m_thread.join();
        for (Client &c : m_clients)
            ::close(c.fd);
    }
    int online() const { return m_online; }
    int closed() const { return m_closed; }
    // Arrival of each passing at each client.
    std::vector<std::map<int, Clock::time_point>> arrivals()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::map<int, Clock::time_point>> all;
        for (const Client &c : m_clients)
            all.push_back(c.seen);
        return all;
    }

private:
    struct Client {
        int fd;
        QByteArray buffer;
        std::map<int, Clock::time_point> seen;
        bool online;
        bool closed;
    };

    // Every "num" of a block is a passing's (the rank rows have none). Read without a
    // regular expression: the one thread reads what the program sends 2000 clients.
    static void notePassings(const QByteArray &block, Clock::time_point now, std::map<int, Clock::time_point> *seen)
    {
        static const QByteArray key = "\"num\":";
        for (qsizetype at = block.indexOf(key); at >= 0; at = block.indexOf(key, at + key.size())) {
            int num = 0;
            for (qsizetype i = at + key.size(); i < block.size() && block[i] >= '0' && block[i] <= '9'; ++i)
                num = num * 10 + (block[i] - '0');
            seen->emplace(num, now);
        }
    }

    void run()
    {
        std::vector<pollfd> fds;
        for (const Client &c : m_clients)
            fds.push_back({c.fd, POLLIN, 0});
        std::vector<char> buf(1 << 20);
        while (!m_stop) {
            if (::poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            const Clock::time_point now = Clock::now();
            for (size_t i = 0; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP)))
                    continue;
                Client &c = m_clients[i];
                const ssize_t n = ::recv(c.fd, buf.data(), buf.size(), 0);
                if (n <= 0) {
                    fds[i].fd = -1;
                    c.closed = true;
                    ++m_closed;
                    continue;
                }
                c.buffer.append(buf.data(), n);
                qsizetype end;
                while ((end = c.buffer.indexOf("\n\n")) >= 0) {
                    const QByteArray block = c.buffer.left(end);
                    c.buffer.remove(0, end + 2);
                    if (!c.online && block.contains("\"online\":true")) {
                        c.online = true;
                        ++m_online;
                    }
                    std::lock_guard<std::mutex> lock(m_mutex);
                    notePassings(block, now, &c.seen);
                }
            }
        }
    }

    std::vector<Client> m_clients;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_online{0};
    std::atomic<int> m_closed{0};
    std::mutex m_mutex;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // A socket a client: more than a desktop session's 1024 descriptors.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < rlim_t(Clients) + 256) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, rlim_t(Clients) + 256);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_live PATH/midstation-live\n");
        return 2;
    }
    SuiteDatabase db(QStringLiteral("b_live"));
    db.exec(QStringLiteral("DELETE FROM result"));
    QStringList values;
    for (int i = 1; i <= Field; ++i)
        values << QStringLiteral("('%1','%2','選手 %2','T','%3','M1','%4')")
                      .arg(Event, QString::asprintf("%04d", i), clock(36000000LL + (i - 1) * 10000LL),
                           i % 5 == 0 ? QStringLiteral("NOR") : QStringLiteral("JPN"));
    db.exec(QStringLiteral("INSERT INTO result (tcode,zek,name,status,STARTEDTIME,class1,NATION) VALUES ") +
            values.join(QLatin1Char(',')));

    QProcess live;
    live.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    live.start(QString::fromLocal8Bit(argv[1]), {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    if (!live.waitForStarted(10000) || !live.waitForReadyRead(15000))
        qFatal("midstation-live did not start");
    const QRegularExpressionMatch address =
        QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:(\\d+)/")).match(QString::fromUtf8(live.readLine()));
    if (!address.hasMatch())
        qFatal("midstation-live printed no address");
    const qint64 pid = live.processId();

    TDm1 dm;
    Dm1 = &dm;
    ConnectDataModule(&dm);
    ProgramSettings.CurrentTcode = Event;
    QTemporaryDir logs;
    TMidIntake intake(&dm);
    intake.midlog->Path = logs.path() + QLatin1Char('/');
    intake.ReadExecInfo();

    TClients clients(address.captured(1).toInt());
    const Clock::time_point t0 = Clock::now();
    while (clients.online() < Clients && Clock::now() - t0 < std::chrono::seconds(20))
        wait(50);
    if (clients.online() < Clients)
        qFatal("only %d of %d clients got the state", clients.online(), Clients);
    const double cpu0 = cpuSeconds(pid);
    const long rss0 = residentKb(QString::number(pid)).first;
    wait(5000);

    // The burst: each passing its own intake pass, back to back.
    std::map<int, Clock::time_point> passStarted;
    const Clock::time_point burstStart = Clock::now();
    const double cpuBurst0 = cpuSeconds(pid);
    for (int i = 1; i <= Burst; ++i) {
        const qint64 start = 36000000LL + (i - 1) * 10000LL;
        db.exec(
            QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ('%1','%2','C1','%3',1,0)")
                .arg(Event, QString::asprintf("%04d", i), clock(start + 300000 + (i * 7919) % 60000)));
        passStarted[i] = Clock::now(); // the CHAKU row of this passing (NUM i) is written in the pass
        intake.settagmid();
    }
    const double burstSeconds = std::chrono::duration<double>(Clock::now() - burstStart).count();
    wait(2000);
    const double cpuBurst = cpuSeconds(pid) - cpuBurst0;
    const double burstWindow = std::chrono::duration<double>(Clock::now() - burstStart).count();
    while (Clock::now() - t0 < std::chrono::seconds(Seconds))
        wait(200);
    const double cpuAll = cpuSeconds(pid) - cpu0;
    const double window = std::chrono::duration<double>(Clock::now() - t0).count();
    const QPair<long, long> rss = residentKb(QString::number(pid));

    std::vector<double> latencies;
    int complete = 0;
    for (const auto &seen : clients.arrivals()) {
        int got = 0;
        for (const auto &[num, started] : passStarted) {
            const auto it = seen.find(num);
            if (it == seen.end())
                continue;
            ++got;
            latencies.push_back(std::chrono::duration<double, std::milli>(it->second - started).count());
        }
        complete += got == Burst;
    }
    const int chaku = db.value(QStringLiteral("SELECT COUNT(*) FROM CHAKU")).toInt();
    const int closed = clients.closed();
    ::kill(pid_t(pid), SIGTERM);
    live.waitForFinished(10000);

    std::printf("Live page: %d event streams, each from an address of its own, for %.0f s, burst of %d passings "
                "(one pass each, field of %d) taken in %.1f s\n",
                Clients, window, Burst, Field, burstSeconds);
    std::printf("  clients that saw every passing: %d of %d (streams closed by the program: %d; CHAKU rows %d)\n",
                complete, Clients, closed, chaku);
    std::printf(
        "  pass start to client: median %.0f ms, p95 %.0f ms, max %.0f ms over %zu arrivals (target p95 <= 1000 ms)\n",
        percentile(latencies, 0.5), percentile(latencies, 0.95), percentile(latencies, 1.0), latencies.size());
    std::printf("  program CPU: %.1f %% of one core over the %.0f s, %.1f %% during the burst (%.0f s)\n",
                100.0 * cpuAll / window, window, 100.0 * cpuBurst / burstWindow, burstWindow);
    std::printf("  program resident memory: %ld kB at the start, %ld kB at the end, peak %ld kB\n", rss0, rss.first,
                rss.second);
    return complete == Clients && closed == 0 && chaku == Burst && percentile(latencies, 0.95) <= 1000 ? 0 : 1;
}
