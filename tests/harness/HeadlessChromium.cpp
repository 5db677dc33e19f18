#include "HeadlessChromium.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

THeadlessChromium::THeadlessChromium()
{
    int commands[2]; // we write, the browser reads on fd 3
    int replies[2];  // the browser writes on fd 4, we read
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(replies, O_CLOEXEC) != 0)
        return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, commands[0], 3);
    posix_spawn_file_actions_adddup2(&actions, replies[1], 4);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const QByteArray profile = "--user-data-dir=" + m_profile.path().toLocal8Bit();
    // As root the browser's own sandbox cannot start; the pages are the test's own.
    const char *argv[] = {"chromium",
                          "--headless",
                          "--no-sandbox",
                          "--disable-gpu",
                          "--no-first-run",
                          "--no-default-browser-check",
                          "--disable-extensions",
                          "--disable-background-networking",
                          "--disable-dev-shm-usage",
                          "--hide-scrollbars",
                          "--mute-audio",
                          "--remote-debugging-pipe",
                          profile.constData(),
                          "about:blank",
                          nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "chromium", &actions, nullptr, const_cast<char **>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(commands[0]);
    ::close(replies[1]);
    m_toBrowser = commands[1];
    m_fromBrowser = replies[0];
    if (rc != 0)
        return;
    m_pid = pid;
    const QJsonObject target =
        call(QStringLiteral("Target.createTarget"), {{QStringLiteral("url"), QStringLiteral("about:blank")}}, false);
    const QString targetId = target.value(QStringLiteral("targetId")).toString();
    if (targetId.isEmpty())
        return;
    m_session = call(QStringLiteral("Target.attachToTarget"),
                     {{QStringLiteral("targetId"), targetId}, {QStringLiteral("flatten"), true}}, false)
                    .value(QStringLiteral("sessionId"))
                    .toString();
    call(QStringLiteral("Page.enable"), {});
    call(QStringLiteral("Runtime.enable"), {});
}

THeadlessChromium::~THeadlessChromium()
{
    if (m_pid > 0) {
        call(QStringLiteral("Browser.close"), {}, false, 3000);
        for (int i = 0; i < 50 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            QThread::msleep(100);
        if (::waitpid(m_pid, nullptr, WNOHANG) == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    if (m_toBrowser >= 0)
        ::close(m_toBrowser);
    if (m_fromBrowser >= 0)
        ::close(m_fromBrowser);
}

bool THeadlessChromium::readMessage(QJsonObject *message, qint64 deadline)
{
    for (;;) {
        const int end = m_buffer.indexOf('\0');
        if (end >= 0) {
            *message = QJsonDocument::fromJson(m_buffer.left(end)).object();
            m_buffer.remove(0, end + 1);
            return true;
        }
        const qint64 left = deadline - QDateTime::currentMSecsSinceEpoch();
        pollfd p{m_fromBrowser, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, int(left)) <= 0)
            return false;
        char buf[65536];
        const ssize_t n = ::read(m_fromBrowser, buf, sizeof buf);
        if (n <= 0)
            return false;
        m_buffer.append(buf, n);
    }
}

QJsonObject THeadlessChromium::call(const QString &method, const QJsonObject &params, bool inPage, int timeoutMs)
{
    const int id = m_nextId++;
    QJsonObject command{
        {QStringLiteral("id"), id}, {QStringLiteral("method"), method}, {QStringLiteral("params"), params}};
    if (inPage)
        command.insert(QStringLiteral("sessionId"), m_session);
    const QByteArray bytes = QJsonDocument(command).toJson(QJsonDocument::Compact) + '\0';
    if (::write(m_toBrowser, bytes.constData(), size_t(bytes.size())) != bytes.size())
        return {};
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
    QJsonObject message;
    while (readMessage(&message, deadline))
        if (message.value(QStringLiteral("id")).toInt() == id)
            return message.value(QStringLiteral("result")).toObject(); // events are passed over
    return {};
}

bool THeadlessChromium::open(const QString &url, const QSize &viewport, bool mobile)
{
    call(QStringLiteral("Emulation.setDeviceMetricsOverride"), {{QStringLiteral("width"), viewport.width()},
                                                                {QStringLiteral("height"), viewport.height()},
                                                                {QStringLiteral("deviceScaleFactor"), 1},
                                                                {QStringLiteral("mobile"), mobile}});
    const QJsonObject nav = call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}});
    return nav.contains(QStringLiteral("frameId")) && !nav.contains(QStringLiteral("errorText")) &&
           waitUntil(QStringLiteral("document.readyState === 'complete'"), 15000);
}

QJsonValue THeadlessChromium::evaluate(const QString &expression)
{
    const QJsonObject result = call(QStringLiteral("Runtime.evaluate"), {{QStringLiteral("expression"), expression},
                                                                         {QStringLiteral("returnByValue"), true},
                                                                         {QStringLiteral("awaitPromise"), true}});
    return result.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
}

bool THeadlessChromium::waitUntil(const QString &expression, int timeoutMs)
{
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
    do {
        if (evaluate(expression).toBool())
            return true;
        QThread::msleep(50);
    } while (QDateTime::currentMSecsSinceEpoch() < deadline);
    return false;
}

QImage THeadlessChromium::screenshot()
{
    const QJsonObject shot =
        call(QStringLiteral("Page.captureScreenshot"), {{QStringLiteral("format"), QStringLiteral("png")}});
    return QImage::fromData(QByteArray::fromBase64(shot.value(QStringLiteral("data")).toString().toLatin1()), "PNG");
}

void THeadlessChromium::blockRequests(const QStringList &patterns)
{
    call(QStringLiteral("Network.enable"), {});
    call(QStringLiteral("Network.setBlockedURLs"), {{QStringLiteral("urls"), QJsonArray::fromStringList(patterns)}});
}
