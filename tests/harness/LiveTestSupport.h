// What the live-page suites share: midstation-live as a process of its own, a raw HTTP
// client on plain sockets (so a request can be as broken as a test wants), a reader of the
// program's event stream, and the station's chip-tag intake that writes what it shows.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

class TDm1;
class TMidIntake;

namespace TestSupport
{
class SuiteDatabase;
}

namespace LiveTest
{

// midstation-live listening on a port the system chooses, with the data sources of the
// test's environment (ODBCSYSINI, ODBCINI). Stopped by SIGTERM when destroyed.
class LiveProgram
{
public:
    explicit LiveProgram(const QStringList &arguments = {});
    ~LiveProgram();
    bool started() const { return m_port > 0; }
    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Everything the program wrote to stderr so far.
    QString log();
    // Stops it (SIGTERM) and returns its exit code, -1 when it had to be killed.
    int stop();

private:
    QProcess m_process;
    QByteArray m_log;
    int m_port = 0;
};

// A connected TCP socket to the program; rcvbuf > 0 shrinks the receive buffer first.
// from: the loopback address it comes from ("127.0.0.7"), so that a test can play many
// clients of different addresses; 127.0.0.1 when null.
int connectTo(int port, int rcvbuf = 0, const char *from = nullptr);
bool sendAll(int fd, const QByteArray &bytes);

struct HttpReply {
    int status = 0; // 0: the connection closed (or timed out) without a status line
    QByteArray head;
    QByteArray body;
};
// Sends raw bytes on a connection of their own and reads the reply until the server
// closes or the deadline passes.
HttpReply request(int port, const QByteArray &raw, int timeoutMs = 5000, const char *from = nullptr);
HttpReply get(int port, const QByteArray &path, int timeoutMs = 5000, const char *from = nullptr);
// /api/state parsed; empty on any failure.
QJsonObject state(int port);

// An open /events stream (HTTP/1.0, so the events come without chunk framing).
class EventStream
{
public:
    explicit EventStream(int port, const char *from = nullptr);
    ~EventStream();
    bool connected() const { return m_fd >= 0; }
    // Events until one of type `type` (any type when empty) whose JSON data satisfies
    // pred; nothing on timeout or when the program closes the stream.
    std::optional<QJsonObject> waitFor(const QByteArray &type, const std::function<bool(const QJsonObject &)> &pred,
                                       int timeoutMs);

private:
    bool nextEvent(QByteArray *type, QByteArray *data, qint64 deadline);
    int m_fd = -1;
    QByteArray m_buffer;
    bool m_headerDone = false;
};

// The whole state the page / was delivered with (its first-state element); empty when
// there is none.
QJsonObject embeddedState(const QByteArray &page);

// nginx in front of the program, with the example site of packaging/ (only its listen
// address and the program's address changed), on a port of its own.
class NginxProxy
{
public:
    explicit NginxProxy(int livePort);
    ~NginxProxy();
    bool started() const { return m_port > 0; }
    int port() const { return m_port; }
    QString log();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};

// A rank or passing row of a JSON list with this bib, or an empty object.
QJsonObject rowWithBib(const QJsonArray &rows, const QString &bib);

// The station's chip-tag intake of an event on the suite's database (the data module is
// the global Dm1 while it lives). takePassing writes one reading at C1 and runs one intake
// pass, as the chip-tag window's poll does, and returns the NUM of the CHAKU row written.
class ChipTagIntake
{
public:
    ChipTagIntake(TestSupport::SuiteDatabase *db, const QString &event);
    ~ChipTagIntake();
    int takePassing(const QString &bib, const QString &time);

private:
    TestSupport::SuiteDatabase *m_db;
    QString m_event;
    QTemporaryDir m_logDir;
    std::unique_ptr<TDm1> m_dm;
    std::unique_ptr<TMidIntake> m_intake;
};

} // namespace LiveTest
