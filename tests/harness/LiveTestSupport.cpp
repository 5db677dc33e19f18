#include "LiveTestSupport.h"
#include "MidIntake.h"
#include "TestSupport.h"
#include "DataModule.h"
#include "ProgramSettings.h"
#include "MidTimeLog.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace LiveTest
{

LiveProgram::LiveProgram(const QStringList &arguments)
{
    m_process.setProgram(QStringLiteral(MIDSTATION_LIVE_PROGRAM));
    m_process.setArguments(QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} + arguments);
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return;
    // The first line of stdout names the address: "midstation-live: http://127.0.0.1:PORT/ ...".
    QDeadlineTimer deadline(15000);
    QByteArray out;
    while (!deadline.hasExpired() && !out.contains('\n') && m_process.state() == QProcess::Running) {
        m_process.waitForReadyRead(200);
        out += m_process.readAllStandardOutput();
    }
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/")).match(QString::fromUtf8(out));
    if (m.hasMatch())
        m_port = m.captured(1).toInt();
}

LiveProgram::~LiveProgram()
{
    stop();
}

QString LiveProgram::log()
{
    // What is in the pipe now, not only what the event loop has read of it: a line written
    // just before the answer a check waited for may not have been read yet.
    if (m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(0);
    m_log += m_process.readAllStandardError();
    return QString::fromLocal8Bit(m_log);
}

int LiveProgram::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
        return -1;
    }
    log();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

int connectTo(int port, int rcvbuf, const char *from)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (rcvbuf > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    if (from) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from, &local.sin_addr);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

namespace
{

// Reads what is there, waiting until the deadline; false at the end of the stream.
bool readSome(int fd, QByteArray *into, qint64 deadline)
{
    const qint64 left = deadline - QDateTime::currentMSecsSinceEpoch();
    if (left <= 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, int(left)) <= 0)
        return false;
    char buf[16384];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0)
        return false;
    into->append(buf, n);
    return true;
}

} // namespace

HttpReply request(int port, const QByteArray &raw, int timeoutMs, const char *from)
{
    HttpReply reply;
    const int fd = connectTo(port, 0, from);
    if (fd < 0)
        return reply;
    sendAll(fd, raw); // a server that refuses a huge request may close before all is sent
    QByteArray all;
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
    while (readSome(fd, &all, deadline)) {
        const int end = all.indexOf("\r\n\r\n");
        if (end < 0)
            continue;
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("content-length: *(\\d+)"), QRegularExpression::CaseInsensitiveOption)
                .match(QString::fromLatin1(all.left(end)));
        if (m.hasMatch() && all.size() >= end + 4 + m.captured(1).toInt())
            break;
    }
    ::close(fd);
    const int end = all.indexOf("\r\n\r\n");
    if (all.startsWith("HTTP/1.") && all.size() > 12)
        reply.status = all.mid(9, 3).toInt();
    reply.head = end < 0 ? all : all.left(end);
    reply.body = end < 0 ? QByteArray() : all.mid(end + 4);
    return reply;
}

HttpReply get(int port, const QByteArray &path, int timeoutMs, const char *from)
{
    return request(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n", timeoutMs, from);
}

QJsonObject state(int port)
{
    const HttpReply reply = get(port, "/api/state");
    return reply.status == 200 ? QJsonDocument::fromJson(reply.body).object() : QJsonObject();
}

EventStream::EventStream(int port, const char *from)
{
    m_fd = connectTo(port, 0, from);
    if (m_fd >= 0 && !sendAll(m_fd, "GET /events HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n")) {
        ::close(m_fd);
        m_fd = -1;
    }
}

EventStream::~EventStream()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool EventStream::nextEvent(QByteArray *type, QByteArray *data, qint64 deadline)
{
    for (;;) {
        if (!m_headerDone) {
            const int end = m_buffer.indexOf("\r\n\r\n");
            if (end >= 0) {
                m_buffer.remove(0, end + 4);
                m_headerDone = true;
            }
        }
        const int end = m_headerDone ? m_buffer.indexOf("\n\n") : -1;
        if (end >= 0) {
            const QByteArray block = m_buffer.left(end);
            m_buffer.remove(0, end + 2);
            type->clear();
            data->clear();
            for (const QByteArray &line : block.split('\n')) {
                if (line.startsWith("event: "))
                    *type = line.mid(7);
                else if (line.startsWith("data: "))
                    *data += line.mid(6);
            }
            if (!type->isEmpty())
                return true;
            continue;
        }
        if (m_fd < 0 || !readSome(m_fd, &m_buffer, deadline))
            return false;
    }
}

std::optional<QJsonObject> EventStream::waitFor(const QByteArray &type,
                                                const std::function<bool(const QJsonObject &)> &pred, int timeoutMs)
{
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
    QByteArray t;
    QByteArray d;
    while (nextEvent(&t, &d, deadline)) {
        if (!type.isEmpty() && t != type)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(d).object();
        if (pred(o))
            return o;
    }
    return std::nullopt;
}

QJsonObject embeddedState(const QByteArray &page)
{
    static const QByteArray open = "<script type=\"application/json\" id=\"first-state\">";
    const qsizetype start = page.indexOf(open);
    const qsizetype end = start < 0 ? -1 : page.indexOf("</script>", start);
    if (end < 0)
        return QJsonObject();
    return QJsonDocument::fromJson(page.mid(start + open.size(), end - start - open.size())).object();
}

NginxProxy::NginxProxy(int livePort)
{
    QFile site(TestSupport::sourceDir() + QStringLiteral("/packaging/nginx/midstation-live"));
    if (!site.open(QIODevice::ReadOnly))
        return;
    const int port = TestSupport::unusedPort();
    QByteArray text = site.readAll();
    text.replace("listen 80;", "listen 127.0.0.1:" + QByteArray::number(port) + ';');
    text.replace("listen [::]:80;", "");
    text.replace("127.0.0.1:8080", "127.0.0.1:" + QByteArray::number(livePort));
    const QByteArray dir = m_dir.path().toLocal8Bit();
    QFile conf(m_dir.filePath(QStringLiteral("nginx.conf")));
    QFile copy(m_dir.filePath(QStringLiteral("site.conf")));
    if (!conf.open(QIODevice::WriteOnly) || !copy.open(QIODevice::WriteOnly))
        return;
    copy.write(text);
    copy.close();
    // What Debian's /etc/nginx/nginx.conf gives a site, with every file in the test's folder.
    conf.write("daemon off;\nworker_processes 1;\npid " + dir + "/nginx.pid;\nerror_log " + dir +
               "/error.log info;\nevents { worker_connections 256; }\nhttp {\n  access_log off;\n"
               "  client_body_temp_path " +
               dir + "/body;\n  proxy_temp_path " + dir +
               "/proxy;\n"
               "  fastcgi_temp_path " +
               dir + "/fastcgi;\n  uwsgi_temp_path " + dir +
               "/uwsgi;\n"
               "  scgi_temp_path " +
               dir + "/scgi;\n  include " + dir + "/site.conf;\n}\n");
    conf.close();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/sbin/nginx"),
                    {QStringLiteral("-e"), m_dir.filePath(QStringLiteral("error.log")), QStringLiteral("-p"),
                     m_dir.path(), QStringLiteral("-c"), m_dir.filePath(QStringLiteral("nginx.conf"))});
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        const int fd = connectTo(port);
        if (fd >= 0) {
            ::close(fd);
            m_port = port;
            return;
        }
        QThread::msleep(50);
    }
}

NginxProxy::~NginxProxy()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGQUIT); // nginx's graceful stop
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QString NginxProxy::log()
{
    QFile f(m_dir.filePath(QStringLiteral("error.log")));
    f.open(QIODevice::ReadOnly);
    return QString::fromLocal8Bit(m_process.readAll() + f.readAll());
}

QJsonObject rowWithBib(const QJsonArray &rows, const QString &bib)
{
    for (const QJsonValue &v : rows)
        if (v.toObject().value(QStringLiteral("bib")).toString() == bib)
            return v.toObject();
    return QJsonObject();
}

ChipTagIntake::ChipTagIntake(TestSupport::SuiteDatabase *db, const QString &event)
    : m_db(db), m_event(event), m_dm(std::make_unique<TDm1>())
{
    Dm1 = m_dm.get();
    TestSupport::ConnectDataModule(m_dm.get());
    ProgramSettings.CurrentTcode = event;
    m_intake = std::make_unique<TMidIntake>(m_dm.get());
    m_intake->midlog->Path = m_logDir.path() + QLatin1Char('/');
    m_intake->ReadExecInfo();
}

ChipTagIntake::~ChipTagIntake()
{
    m_intake.reset();
    Dm1 = nullptr;
    m_dm.reset();
}

int ChipTagIntake::takePassing(const QString &bib, const QString &time)
{
    m_db->exec(
        QStringLiteral("INSERT INTO tag_rec (tcode,zek,term,time,count,use_mid) VALUES ('%1','%2','C1','%3',1,0)")
            .arg(m_event, bib, time));
    m_db->exec(QStringLiteral("UPDATE execinfo SET upd=upd+1 WHERE num=1"));
    m_intake->settagmid();
    return m_db->value(QStringLiteral("SELECT MAX(NUM) FROM CHAKU")).toInt();
}

} // namespace LiveTest
