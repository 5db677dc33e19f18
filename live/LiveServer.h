// The HTTP side of midstation-live, on libmicrohttpd: the page's own files, the state as
// JSON (/api/state) and an event stream (/events, server-sent events) that carries every
// change to every open page. The library's own thread serves all connections without
// blocking on any of them; a page waiting for news is suspended and costs nothing until
// the reader publishes. The reader never waits for a client: it only swaps the shared
// messages under a short lock. Connections are counted by address (TLiveLimits): what is
// over a limit is answered 503 at once, and a request that takes too long to arrive is cut.
#pragma once

#include "LiveLimits.h"
#include "LiveOptions.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <condition_variable>
#include <deque>
#include <thread>

struct MHD_Daemon;
struct MHD_Connection;

struct TStaticFile {
    QByteArray contentType;
    QByteArray body;
};

class TLiveServer
{
public:
    // files: the page's own files by path; "/index.html" gets the current state put in.
    TLiveServer(const TListenAddress &address, const TLiveLimits &limits, QHash<QString, TStaticFile> files);
    ~TLiveServer();
    TLiveServer(const TLiveServer &) = delete;
    TLiveServer &operator=(const TLiveServer &) = delete;

    bool start(QString *error);
    void stop();
    int port() const;

    // From the reader's thread: the whole state and the update that led to it (empty
    // when there is none, as for the first state). Wakes every waiting stream.
    void publish(const QByteArray &stateJson, const QByteArray &updateJson);
    // A ping on every stream, so that a page knows the program is still there and a
    // client that went away is noticed.
    void heartbeat();

    // Updates kept for streams that are behind; one further behind gets the whole state.
    static constexpr int RingSize = 64;
    // A connection that neither sends nor takes anything for this long is closed (a page
    // that stopped reading). A request too slow to arrive is cut sooner (TLiveLimits).
    static constexpr unsigned TimeoutSeconds = 30;

    struct Stream;
    struct Client;

private:
    struct Snapshot {
        qint64 seq = 0;
        QByteArray stateJson;
    };
    struct AddressCount {
        int connections = 0;
        int streams = 0;
    };
    friend struct TLiveCallbacks; // the library's callbacks, in LiveServer.cpp
    bool answer(MHD_Connection *connection, Client *client, const QByteArray &url, bool head);
    bool answerStream(MHD_Connection *connection, Client *client);
    bool answerPage(MHD_Connection *connection);
    // Counting, all under m_mutex.
    void admit(Client *client);
    void release(Client *client);
    bool overConnectionLimit(const Client *client) const;
    bool takeStream(Client *client); // false when a limit is reached
    void dropStream(const QByteArray &address);
    void waitForRequest(Client *client);
    void cutSlowRequests(); // the watch thread, every half second
    void watch();
    bool fillStream(Stream *stream); // under m_mutex; false when the stream must end
    QList<Stream *> takeSuspended(); // under m_mutex
    static void resume(const QList<Stream *> &streams);

    TListenAddress m_address;
    TLiveLimits m_limits;
    QHash<QString, TStaticFile> m_files;
    MHD_Daemon *m_daemon = nullptr;
    std::thread m_watch;
    std::condition_variable_any m_watchWake;

    mutable QMutex m_mutex; // guards everything below
    Snapshot m_state;
    std::deque<std::pair<qint64, QByteArray>> m_ring; // (seq, SSE message)
    QByteArray m_page;                                // index.html with m_state in it
    qint64 m_pageSeq = -1;
    QList<Stream *> m_suspended;
    quint64 m_ping = 0;
    int m_openStreams = 0;
    int m_connections = 0;
    QHash<QByteArray, AddressCount> m_byAddress; // by the peer's address bytes
    QList<Client *> m_clients;
    bool m_closing = false;
};
