// Benchmark (not a test): start-up of the real program, from the moment the process is
// started to a usable main window connected to the database. The main window counts as
// usable when the X server has mapped it (it takes input from then on); connected, when
// the server lists the station's connection to its database. Both are watched from
// outside, so the program runs unchanged: X events on the root window, and the server's
// process list on a connection of the benchmark's own.
//
//   bench_startup PROGRAM SERVER_DIR [RUNS]
// Run through bench/run startup (a private server with the demo race, Xvfb).
#include "ResidentMemory.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mysql.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

double nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

bool isStationWindow(Display *x, Window w)
{
    XClassHint hint{};
    if (!XGetClassHint(x, w, &hint))
        return false;
    const bool ours = hint.res_name && std::strcmp(hint.res_name, "midstation") == 0;
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return ours;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_startup PROGRAM SERVER_DIR [RUNS]\n");
        return 2;
    }
    const char *program = argv[1];
    const QByteArray socket = QByteArray(argv[2]) + "/mysqld.sock";
    const int runs = argc > 3 ? std::atoi(argv[3]) : 10;

    Display *x = XOpenDisplay(nullptr);
    if (!x) {
        std::fprintf(stderr, "bench_startup: no X display\n");
        return 2;
    }
    MYSQL *db = mysql_init(nullptr);
    if (!mysql_real_connect(db, "localhost", "root", "rufan", nullptr, 0, socket.constData(), 0)) {
        std::fprintf(stderr, "bench_startup: %s\n", mysql_error(db));
        return 2;
    }
    auto stationConnected = [db] {
        const char *q = "select count(*) from information_schema.processlist where db='plovo' and id<>connection_id()";
        if (mysql_query(db, q) != 0)
            return false;
        MYSQL_RES *r = mysql_store_result(db);
        MYSQL_ROW row = mysql_fetch_row(r);
        const bool yes = row && row[0] && std::atoi(row[0]) > 0;
        mysql_free_result(r);
        return yes;
    };

    std::vector<double> times;
    std::printf("Start-up: process start to a mapped main window connected to the database\n");
    for (int run = 1; run <= runs; ++run) {
        QTemporaryDir work;    // a fresh working folder: no settings file, first-run defaults
        QTemporaryDir runtime; // and no single-instance lock of an earlier run
        XSelectInput(x, DefaultRootWindow(x), SubstructureNotifyMask);
        XSync(x, True);
        const double t0 = nowMs();
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(work.path().toLocal8Bit().constData()) != 0)
                _exit(127);
            setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
            unsetenv("QT_QPA_PLATFORM");
            execl(program, program, static_cast<char *>(nullptr));
            _exit(127);
        }
        double mapped = 0, connected = 0;
        while ((mapped == 0 || connected == 0) && nowMs() - t0 < 15000) {
            while (XPending(x)) {
                XEvent e;
                XNextEvent(x, &e);
                if (e.type == MapNotify && mapped == 0 && isStationWindow(x, e.xmap.window))
                    mapped = nowMs();
            }
            if (connected == 0 && stationConnected())
                connected = nowMs();
            usleep(1000);
        }
        const long rss = residentKb(QString::number(pid)).first;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (mapped == 0 || connected == 0) {
            std::printf("  run %d: not usable within 15 s (mapped %s, connected %s)\n", run, mapped ? "yes" : "no",
                        connected ? "yes" : "no");
            return 1;
        }
        const double usable = std::max(mapped, connected) - t0;
        times.push_back(usable);
        std::printf("  run %2d: %6.0f ms (window mapped %6.0f ms, connected %6.0f ms), resident %ld MB\n", run, usable,
                    mapped - t0, connected - t0, rss / 1024);
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    std::printf("  first run %.0f ms; median %.0f ms, max %.0f ms over %d runs (target <= 1500 ms)\n", times.front(),
                sorted[sorted.size() / 2], sorted.back(), runs);
    mysql_close(db);
    XCloseDisplay(x);
    return 0;
}
