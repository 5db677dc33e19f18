// midstation-live: the live page of the mid station. Reads the race database by data
// source name and serves the latest passings and the mid rankings to browsers; never
// writes to the database and never touches a station window.
#include "LiveOptions.h"
#include "LiveReader.h"
#include "LiveServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so the server stops its streams cleanly.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QHash<QString, TStaticFile> pageFiles()
{
    auto load = [](const char *name) {
        QFile f(QStringLiteral(":/live/") + QLatin1String(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    return {{QStringLiteral("/index.html"), {"text/html; charset=utf-8", load("index.html")}},
            {QStringLiteral("/live.css"), {"text/css; charset=utf-8", load("live.css")}},
            {QStringLiteral("/live.js"), {"text/javascript; charset=utf-8", load("live.js")}}};
}

// Every connection is a file descriptor, and a desktop session's soft limit (1024) is
// below the connections a crowd needs: take what the hard limit allows.
void raiseOpenFileLimit(const TLiveLimits &limits)
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return;
    const rlim_t wanted = rlim_t(limits.hardConnections()) + 64;
    if (files.rlim_cur >= wanted)
        return;
    files.rlim_cur = files.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, files.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &files);
}

void logLine(const QString &line)
{
    const QString stamped = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + line;
    std::fprintf(stderr, "%s\n", stamped.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);

    TLiveOptions options;
    QString message;
    switch (ParseLiveOptions(app.arguments(), &options, &message)) {
    case TOptionsOutcome::Help:
        std::printf("%s", LiveUsage().toLocal8Bit().constData());
        return 0;
    case TOptionsOutcome::Error:
        std::fprintf(stderr, "midstation-live: %s\n", message.toLocal8Bit().constData());
        return 2;
    case TOptionsOutcome::Run:
        break;
    }

    raiseOpenFileLimit(options.limits);
    TLiveServer server(options.address, options.limits, pageFiles());
    server.publish(StateJson(TLiveState()), QByteArray());
    if (!server.start(&message)) {
        std::fprintf(stderr, "midstation-live: %s\n", message.toLocal8Bit().constData());
        return 1;
    }
    std::printf(
        "midstation-live: http://%s:%d/ (データソース %s、同時に %d ページ、一つのアドレスから %d ページまで)\n",
        options.address.host.toLocal8Bit().constData(), server.port(), options.dataSource.toLocal8Bit().constData(),
        options.limits.streams, options.limits.streamsPerAddress);
    std::fflush(stdout);

    TLiveReader reader(options.dataSource, options.nameColumn, options.pollMs);
    QObject::connect(&reader, &TLiveReader::published, &app,
                     [&server](const QByteArray &state, const QByteArray &update) { server.publish(state, update); });
    QObject::connect(&reader, &TLiveReader::logLine, &app, &logLine);
    QTimer heartbeat;
    heartbeat.setInterval(10000);
    QObject::connect(&heartbeat, &QTimer::timeout, &app, [&server] { server.heartbeat(); });
    heartbeat.start();
    quitOnSignals(app);
    QTimer::singleShot(0, &reader, &TLiveReader::start);

    const int rc = app.exec();
    server.stop();
    return rc;
}
