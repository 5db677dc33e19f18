#include "LiveServer.h"

#include <QElapsedTimer>
#include <QThread>

#include <microhttpd.h>

struct TLiveServer::Stream {
    TLiveServer *server = nullptr;
    MHD_Connection *connection = nullptr;
    qint64 seen = -1; // sequence number of the last state or update queued; -1: none yet
    quint64 ping = 0;
    QList<QByteArray> pending; // shared message bytes, not copies
    qsizetype offset = 0;      // into pending.first()
};

struct TLiveCallbacks {
    static ssize_t streamRead(void *cls, uint64_t pos, char *buf, size_t max);
    static void streamFree(void *cls);
    static MHD_Result request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                              const char *version, const char *uploadData, size_t *uploadDataSize, void **context);
};

namespace
{

void addCommonHeaders(MHD_Response *response)
{
    MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Referrer-Policy", "no-referrer");
    // Everything the page needs comes from this program; nothing inline runs.
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'");
}

void freeBytes(void *cls)
{
    delete static_cast<QByteArray *>(cls);
}

MHD_Result respond(MHD_Connection *connection, unsigned status, const QByteArray &contentType, const QByteArray &body,
                   const char *allow = nullptr)
{
    auto *held = new QByteArray(body); // shares the bytes; freed with the response
    MHD_Response *response = MHD_create_response_from_buffer_with_free_callback_cls(
        size_t(held->size()), const_cast<char *>(held->constData()), &freeBytes, held);
    if (!response) {
        delete held;
        return MHD_NO;
    }
    addCommonHeaders(response);
    MHD_add_response_header(response, "Content-Type", contentType.constData());
    if (allow)
        MHD_add_response_header(response, "Allow", allow);
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

QByteArray sseMessage(qint64 seq, const char *event, const QByteArray &json)
{
    return QByteArray("id: ") + QByteArray::number(seq) + "\nevent: " + event + "\ndata: " + json + "\n\n";
}

const QByteArray PlainText = "text/plain; charset=utf-8";

} // namespace

TLiveServer::TLiveServer(const TListenAddress &address, int maxClients, QHash<QString, TStaticFile> files)
    : m_address(address), m_maxClients(maxClients), m_files(std::move(files))
{
}

TLiveServer::~TLiveServer()
{
    stop();
}

bool TLiveServer::start(QString *error)
{
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (m_address.address.ss_family == AF_INET6)
        flags |= MHD_USE_IPv6;
    m_daemon = MHD_start_daemon(flags, quint16(m_address.port), nullptr, nullptr, &TLiveCallbacks::request, this,
                                MHD_OPTION_SOCK_ADDR, reinterpret_cast<const sockaddr *>(&m_address.address),
                                MHD_OPTION_CONNECTION_LIMIT, unsigned(m_maxClients), MHD_OPTION_CONNECTION_TIMEOUT,
                                TimeoutSeconds, MHD_OPTION_END);
    if (!m_daemon) {
        *error = QStringLiteral("%1:%2 で待ち受けできません (使用中のポートか、この機械にないアドレスです)。")
                     .arg(m_address.host)
                     .arg(m_address.port);
        return false;
    }
    return true;
}

int TLiveServer::port() const
{
    if (!m_daemon)
        return 0;
    const MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? int(info->port) : 0;
}

void TLiveServer::stop()
{
    if (!m_daemon)
        return;
    {
        QMutexLocker lock(&m_mutex);
        m_closing = true;
    }
    // The library must not be stopped with suspended connections: wake them (never
    // under m_mutex, which the library's thread takes in its callbacks), let them end
    // their streams, then stop.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QList<Stream *> waiting;
        bool open = false;
        {
            QMutexLocker lock(&m_mutex);
            waiting = takeSuspended();
            open = m_openStreams > 0;
        }
        resume(waiting);
        if (!open || clock.elapsed() > 2000)
            break;
        QThread::msleep(10);
    }
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

QList<TLiveServer::Stream *> TLiveServer::takeSuspended()
{
    QList<Stream *> taken;
    taken.swap(m_suspended);
    return taken;
}

void TLiveServer::resume(const QList<Stream *> &streams)
{
    for (Stream *stream : streams)
        MHD_resume_connection(stream->connection);
}

void TLiveServer::publish(const QByteArray &stateJson, const QByteArray &updateJson)
{
    QList<Stream *> waiting;
    {
        QMutexLocker lock(&m_mutex);
        const qint64 seq = m_state.seq + 1;
        m_state = {seq, stateJson};
        if (updateJson.isEmpty()) {
            m_ring.clear(); // no update leads here: every stream takes the whole state
        } else {
            m_ring.emplace_back(seq, sseMessage(seq, "update", updateJson));
            while (m_ring.size() > size_t(RingSize))
                m_ring.pop_front();
        }
        waiting = takeSuspended();
    }
    resume(waiting);
}

void TLiveServer::heartbeat()
{
    QList<Stream *> waiting;
    {
        QMutexLocker lock(&m_mutex);
        ++m_ping;
        waiting = takeSuspended();
    }
    resume(waiting);
}

// Queues what the stream has not had yet: the updates after the one it saw, or the whole
// state when it is new or further behind than the kept updates reach.
bool TLiveServer::fillStream(Stream *stream)
{
    if (m_closing)
        return false;
    if (stream->seen < m_state.seq) {
        const bool inRing = stream->seen >= 0 && !m_ring.empty() && m_ring.front().first <= stream->seen + 1 &&
                            m_ring.back().first == m_state.seq;
        if (inRing) {
            for (const auto &[seq, message] : m_ring)
                if (seq > stream->seen)
                    stream->pending.append(message);
        } else {
            QByteArray first = stream->seen < 0 ? QByteArray("retry: 2000\n") : QByteArray();
            stream->pending.append(first + sseMessage(m_state.seq, "state", m_state.stateJson));
        }
        stream->seen = m_state.seq;
    }
    if (stream->pending.isEmpty() && stream->ping != m_ping) {
        static const QByteArray ping("event: ping\ndata: 1\n\n");
        stream->pending.append(ping);
    }
    stream->ping = m_ping;
    return true;
}

ssize_t TLiveCallbacks::streamRead(void *cls, uint64_t, char *buf, size_t max)
{
    using Stream = TLiveServer::Stream;
    auto *stream = static_cast<Stream *>(cls);
    TLiveServer *server = stream->server;
    if (stream->pending.isEmpty()) {
        QMutexLocker lock(&server->m_mutex);
        if (!server->fillStream(stream))
            return MHD_CONTENT_READER_END_OF_STREAM;
        if (stream->pending.isEmpty()) {
            // Nothing new: the connection sleeps until publish() or heartbeat() wakes it.
            // Suspending under the lock means no publish can slip in between.
            MHD_suspend_connection(stream->connection);
            server->m_suspended.append(stream);
            return 0;
        }
    }
    size_t written = 0;
    while (written < max && !stream->pending.isEmpty()) {
        const QByteArray &head = stream->pending.first();
        const size_t n = std::min(max - written, size_t(head.size() - stream->offset));
        memcpy(buf + written, head.constData() + stream->offset, n);
        written += n;
        stream->offset += qsizetype(n);
        if (stream->offset == head.size()) {
            stream->pending.removeFirst();
            stream->offset = 0;
        }
    }
    return ssize_t(written);
}

void TLiveCallbacks::streamFree(void *cls)
{
    auto *stream = static_cast<TLiveServer::Stream *>(cls);
    {
        QMutexLocker lock(&stream->server->m_mutex);
        stream->server->m_suspended.removeAll(stream);
        --stream->server->m_openStreams;
    }
    delete stream;
}

bool TLiveServer::answerStream(MHD_Connection *connection)
{
    auto *stream = new Stream;
    stream->server = this;
    stream->connection = connection;
    MHD_Response *response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024, &TLiveCallbacks::streamRead,
                                                               stream, &TLiveCallbacks::streamFree);
    if (!response) {
        delete stream;
        return false;
    }
    {
        QMutexLocker lock(&m_mutex);
        ++m_openStreams;
    }
    addCommonHeaders(response);
    MHD_add_response_header(response, "Content-Type", "text/event-stream; charset=utf-8");
    MHD_add_response_header(response, "X-Accel-Buffering", "no");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response); // the stream ends with the response (streamFree)
    return queued == MHD_YES;
}

bool TLiveServer::answer(MHD_Connection *connection, const QByteArray &url, bool head)
{
    if (url == "/events") {
        if (head)
            return respond(connection, MHD_HTTP_OK, "text/event-stream; charset=utf-8", QByteArray()) == MHD_YES;
        return answerStream(connection);
    }
    if (url == "/api/state") {
        QByteArray json;
        {
            QMutexLocker lock(&m_mutex);
            json = m_state.stateJson;
        }
        return respond(connection, MHD_HTTP_OK, "application/json; charset=utf-8", json) == MHD_YES;
    }
    const QString path = url == "/" ? QStringLiteral("/index.html") : QString::fromLatin1(url);
    const auto file = m_files.constFind(path);
    if (file == m_files.cend())
        return respond(connection, MHD_HTTP_NOT_FOUND, PlainText, "404 見つかりません。\n") == MHD_YES;
    return respond(connection, MHD_HTTP_OK, file->contentType, file->body) == MHD_YES;
}

MHD_Result TLiveCallbacks::request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                                   const char *, const char *, size_t *uploadDataSize, void **context)
{
    auto *server = static_cast<TLiveServer *>(cls);
    const QByteArray verb(method ? method : "");
    const bool head = verb == MHD_HTTP_METHOD_HEAD;
    // Anything but GET is refused on its headers; the library closes the connection
    // rather than read a body nobody wants.
    if (verb != MHD_HTTP_METHOD_GET && !head)
        return respond(connection, MHD_HTTP_METHOD_NOT_ALLOWED, PlainText, "405 GET だけを受け付けます。\n",
                       "GET, HEAD");
    // The first call brings the headers only: answering after the request is complete
    // keeps the connection open for the next request. A body sent with a GET is dropped.
    static int headersSeen;
    if (*context == nullptr) {
        *context = &headersSeen;
        return MHD_YES;
    }
    if (*uploadDataSize != 0) {
        *uploadDataSize = 0;
        return MHD_YES;
    }
    const QByteArray path(url ? url : "");
    if (!path.startsWith('/'))
        return respond(connection, MHD_HTTP_BAD_REQUEST, PlainText, "400 要求が読めません。\n");
    return server->answer(connection, path, head) ? MHD_YES : MHD_NO;
}
