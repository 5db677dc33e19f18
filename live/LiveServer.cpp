#include "LiveServer.h"

#include "LiveState.h"

#include <QElapsedTimer>
#include <QThread>
#include <chrono>
#include <initializer_list>
#include <mutex>
#include <utility>

#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>

struct TLiveServer::Stream {
    TLiveServer *server = nullptr;
    MHD_Connection *connection = nullptr;
    QByteArray address; // whose stream it is, for the per-address count
    qint64 seen = -1;   // sequence number of the last state or update queued; -1: none yet
    quint64 ping = 0;
    QList<QByteArray> pending; // shared message bytes, not copies
    qsizetype offset = 0;      // into pending.first()
};

struct TLiveServer::Client {
    QByteArray address; // the peer's address bytes, without the port
    int fd = -1;
    // When the connection began to wait for a request (its start, or the end of the
    // previous answer), in ms of the steady clock; -1 while a request is being answered.
    qint64 waitingSince = -1;
};

struct TLiveCallbacks {
    static ssize_t streamRead(void *cls, uint64_t pos, char *buf, size_t max);
    static void streamFree(void *cls);
    static MHD_Result request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                              const char *version, const char *uploadData, size_t *uploadDataSize, void **context);
    static void connectionEvent(void *cls, MHD_Connection *connection, void **socketContext,
                                MHD_ConnectionNotificationCode code);
    static void requestEnded(void *cls, MHD_Connection *connection, void **context, MHD_RequestTerminationCode code);
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

// One response from bytes, with the headers every response carries and those given.
MHD_Result respond(MHD_Connection *connection, unsigned status, const QByteArray &contentType, const QByteArray &body,
                   std::initializer_list<std::pair<const char *, QByteArray>> headers = {})
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
    for (const auto &[name, value] : headers)
        MHD_add_response_header(response, name, value.constData());
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

const QByteArray PlainText = "text/plain; charset=utf-8";

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The address part of a peer's socket address; an IPv4 peer on an IPv6 socket counts as
// the IPv4 address it is.
QByteArray addressKey(const sockaddr *peer)
{
    if (!peer)
        return QByteArray();
    if (peer->sa_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(peer);
        return QByteArray(reinterpret_cast<const char *>(&v4->sin_addr), sizeof v4->sin_addr);
    }
    if (peer->sa_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(peer);
        const QByteArray bytes(reinterpret_cast<const char *>(&v6->sin6_addr), sizeof v6->sin6_addr);
        static const QByteArray mapped("\0\0\0\0\0\0\0\0\0\0\xff\xff", 12);
        return bytes.startsWith(mapped) ? bytes.mid(12) : bytes;
    }
    return QByteArray();
}

} // namespace

// Over a limit: answered at once, and the connection closed, so the client is neither
// left waiting nor holding a place.
static MHD_Result respondBusy(MHD_Connection *connection, int retryAfterSeconds)
{
    return respond(connection, MHD_HTTP_SERVICE_UNAVAILABLE, PlainText,
                   "503 混み合っています。しばらくしてから開き直してください。\n",
                   {{"Retry-After", QByteArray::number(retryAfterSeconds)}, {"Connection", "close"}});
}

TLiveServer::TLiveServer(const TListenAddress &address, const TLiveLimits &limits, QHash<QString, TStaticFile> files)
    : m_address(address), m_limits(limits), m_files(std::move(files))
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
                                MHD_OPTION_CONNECTION_LIMIT, unsigned(m_limits.hardConnections()),
                                MHD_OPTION_PER_IP_CONNECTION_LIMIT, unsigned(m_limits.hardConnectionsPerAddress()),
                                MHD_OPTION_CONNECTION_TIMEOUT, TimeoutSeconds, MHD_OPTION_NOTIFY_CONNECTION,
                                &TLiveCallbacks::connectionEvent, this, MHD_OPTION_NOTIFY_COMPLETED,
                                &TLiveCallbacks::requestEnded, this, MHD_OPTION_END);
    if (!m_daemon) {
        *error = QStringLiteral("%1:%2 で待ち受けできません (使用中のポートか、この機械にないアドレスです)。")
                     .arg(m_address.host)
                     .arg(m_address.port);
        return false;
    }
    m_watch = std::thread([this] { watch(); });
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
    m_watchWake.notify_all();
    if (m_watch.joinable())
        m_watch.join();
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
            m_ring.emplace_back(seq, SseMessage(seq, "update", updateJson));
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
            stream->pending.append(first + SseMessage(m_state.seq, "state", m_state.stateJson));
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
        stream->server->dropStream(stream->address);
    }
    delete stream;
}

bool TLiveServer::answerStream(MHD_Connection *connection, Client *client)
{
    {
        QMutexLocker lock(&m_mutex);
        if (!takeStream(client))
            return respondBusy(connection, m_limits.retryAfterSeconds) == MHD_YES;
    }
    auto *stream = new Stream;
    stream->server = this;
    stream->connection = connection;
    stream->address = client->address;
    MHD_Response *response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 16 * 1024, &TLiveCallbacks::streamRead,
                                                               stream, &TLiveCallbacks::streamFree);
    if (!response) {
        QMutexLocker lock(&m_mutex);
        dropStream(stream->address);
        delete stream;
        return false;
    }
    addCommonHeaders(response);
    MHD_add_response_header(response, "Content-Type", "text/event-stream; charset=utf-8");
    MHD_add_response_header(response, "X-Accel-Buffering", "no");
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response); // the stream ends with the response (streamFree)
    return queued == MHD_YES;
}

bool TLiveServer::answerPage(MHD_Connection *connection)
{
    QByteArray page;
    {
        QMutexLocker lock(&m_mutex);
        if (m_pageSeq != m_state.seq) {
            m_page = EmbedState(m_files.value(QStringLiteral("/index.html")).body, m_state.stateJson);
            m_pageSeq = m_state.seq;
        }
        page = m_page;
    }
    return respond(connection, MHD_HTTP_OK, "text/html; charset=utf-8", page) == MHD_YES;
}

bool TLiveServer::answer(MHD_Connection *connection, Client *client, const QByteArray &url, bool head)
{
    if (url == "/events") {
        if (head)
            return respond(connection, MHD_HTTP_OK, "text/event-stream; charset=utf-8", QByteArray()) == MHD_YES;
        return answerStream(connection, client);
    }
    if (url == "/" || url == "/index.html")
        return answerPage(connection); // the library leaves the body out for HEAD
    if (url == "/api/state") {
        QByteArray json;
        {
            QMutexLocker lock(&m_mutex);
            json = m_state.stateJson;
        }
        return respond(connection, MHD_HTTP_OK, "application/json; charset=utf-8", json) == MHD_YES;
    }
    const auto file = m_files.constFind(QString::fromLatin1(url));
    if (file == m_files.cend())
        return respond(connection, MHD_HTTP_NOT_FOUND, PlainText, "404 見つかりません。\n") == MHD_YES;
    return respond(connection, MHD_HTTP_OK, file->contentType, file->body) == MHD_YES;
}

void TLiveServer::admit(Client *client)
{
    client->waitingSince = nowMs();
    ++m_connections;
    ++m_byAddress[client->address].connections;
    m_clients.append(client);
}

void TLiveServer::release(Client *client)
{
    --m_connections;
    auto it = m_byAddress.find(client->address);
    if (it != m_byAddress.end() && --it->connections <= 0 && it->streams <= 0)
        m_byAddress.erase(it);
    m_clients.removeOne(client);
}

bool TLiveServer::overConnectionLimit(const Client *client) const
{
    return m_connections > m_limits.connections() ||
           m_byAddress.value(client->address).connections > m_limits.connectionsPerAddress();
}

bool TLiveServer::takeStream(Client *client)
{
    AddressCount &count = m_byAddress[client->address];
    if (m_openStreams >= m_limits.streams || count.streams >= m_limits.streamsPerAddress)
        return false;
    ++m_openStreams;
    ++count.streams;
    return true;
}

void TLiveServer::dropStream(const QByteArray &address)
{
    --m_openStreams;
    auto it = m_byAddress.find(address);
    if (it != m_byAddress.end() && --it->streams <= 0 && it->connections <= 0)
        m_byAddress.erase(it);
}

void TLiveServer::waitForRequest(Client *client)
{
    client->waitingSince = nowMs();
}

// The library's own timeout counts silence only: a client that sends a byte now and
// then keeps its connection for ever. A request not complete in time is cut here: a
// shutdown of the socket wakes the library's poll, which then closes the connection as
// one the peer closed. (The socket is only shut down, never closed here, and the client
// leaves m_clients before the library closes its socket, so the number is never another
// connection's.)
void TLiveServer::cutSlowRequests()
{
    const qint64 now = nowMs();
    const qint64 bound = qint64(m_limits.requestSeconds) * 1000;
    for (Client *client : std::as_const(m_clients)) {
        if (client->waitingSince >= 0 && now - client->waitingSince > bound) {
            ::shutdown(client->fd, SHUT_RDWR);
            client->waitingSince = -1;
        }
    }
}

void TLiveServer::watch()
{
    std::unique_lock<QMutex> lock(m_mutex);
    while (!m_closing) {
        m_watchWake.wait_for(lock, std::chrono::milliseconds(250));
        cutSlowRequests();
    }
}

void TLiveCallbacks::connectionEvent(void *cls, MHD_Connection *connection, void **socketContext,
                                     MHD_ConnectionNotificationCode code)
{
    auto *server = static_cast<TLiveServer *>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        auto *client = new TLiveServer::Client;
        const MHD_ConnectionInfo *peer = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        const MHD_ConnectionInfo *fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        client->address = addressKey(peer ? peer->client_addr : nullptr);
        client->fd = fd ? fd->connect_fd : -1;
        QMutexLocker lock(&server->m_mutex);
        server->admit(client);
        *socketContext = client;
    } else if (auto *client = static_cast<TLiveServer::Client *>(*socketContext)) {
        {
            QMutexLocker lock(&server->m_mutex);
            server->release(client);
        }
        delete client;
        *socketContext = nullptr;
    }
}

void TLiveCallbacks::requestEnded(void *cls, MHD_Connection *connection, void **, MHD_RequestTerminationCode)
{
    auto *server = static_cast<TLiveServer *>(cls);
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    if (auto *client = info ? static_cast<TLiveServer::Client *>(info->socket_context) : nullptr) {
        QMutexLocker lock(&server->m_mutex);
        server->waitForRequest(client);
    }
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
                       {{"Allow", "GET, HEAD"}});
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto *client = info ? static_cast<TLiveServer::Client *>(info->socket_context) : nullptr;
    if (!client)
        return MHD_NO;
    // The first call brings the headers only: answering after the request is complete
    // keeps the connection open for the next request. A body sent with a GET is dropped.
    // A connection over its address's count (or the total) is answered on its headers.
    static int headersSeen;
    if (*context == nullptr) {
        *context = &headersSeen;
        bool over;
        {
            QMutexLocker lock(&server->m_mutex);
            over = server->overConnectionLimit(client);
        }
        return over ? respondBusy(connection, server->m_limits.retryAfterSeconds) : MHD_YES;
    }
    if (*uploadDataSize != 0) {
        *uploadDataSize = 0;
        return MHD_YES;
    }
    {
        QMutexLocker lock(&server->m_mutex);
        client->waitingSince = -1; // the request is complete: no longer bound by the request time
    }
    const QByteArray path(url ? url : "");
    if (!path.startsWith('/'))
        return respond(connection, MHD_HTTP_BAD_REQUEST, PlainText, "400 要求が読めません。\n");
    return server->answer(connection, client, path, head) ? MHD_YES : MHD_NO;
}
