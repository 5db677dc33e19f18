// Debian's Chromium, headless, driven over the DevTools protocol on a pipe (fds 3 and 4,
// messages ended by NUL): open a page at a given viewport, evaluate script in it, take a
// screenshot. The page test reads what the browser really rendered through it.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QJsonObject>
#include <QJsonValue>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/types.h>

class THeadlessChromium
{
public:
    THeadlessChromium();
    ~THeadlessChromium();
    bool started() const { return m_pid > 0 && !m_session.isEmpty(); }

    // Sets the viewport (mobile: a phone's touch viewport) and loads url.
    bool open(const QString &url, const QSize &viewport, bool mobile);
    // The value of a script expression (awaited when it is a promise).
    QJsonValue evaluate(const QString &expression);
    // Evaluates until the expression is true or the deadline passes.
    bool waitUntil(const QString &expression, int timeoutMs);
    QImage screenshot();
    // Requests to addresses matching a pattern ("*/events") fail from now on; none: all pass.
    void blockRequests(const QStringList &patterns);

private:
    QJsonObject call(const QString &method, const QJsonObject &params, bool inPage = true, int timeoutMs = 20000);
    bool readMessage(QJsonObject *message, qint64 deadline);

    QTemporaryDir m_profile;
    pid_t m_pid = -1;
    int m_toBrowser = -1;
    int m_fromBrowser = -1;
    int m_nextId = 1;
    QString m_session;
    QByteArray m_buffer;
};
