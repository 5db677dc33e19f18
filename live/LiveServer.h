// The HTTP side of midstation-live, on libmicrohttpd: the page's own files, the state as
// JSON (/api/state) and an event stream (/events, server-sent events) that carries every
// change to every open page. The library's own thread serves all connections without
// blocking on any of them; a page waiting for news is suspended and costs nothing until
// the reader publishes. The reader never waits for a client: it only swaps the shared
// messages under a short lock.
#pragma once

#include "LiveOptions.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <deque>

struct MHD_Daemon;
struct MHD_Connection;

struct TStaticFile {
    QByteArray contentType;
    QByteArray body;
};

class TLiveServer
{
public:
    TLiveServer(const TListenAddress &address, int maxClients, QHash<QString, TStaticFile> files);
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
    // A connection that neither sends nor takes anything for this long is closed (a
    // request never finished, a page that stopped reading).
    static constexpr unsigned TimeoutSeconds = 30;

    struct Stream;

private:
    struct Snapshot {
        qint64 seq = 0;
        QByteArray stateJson;
    };
    friend struct TLiveCallbacks; // the library's callbacks, in LiveServer.cpp
    bool answer(MHD_Connection *connection, const QByteArray &url, bool head);
    bool answerStream(MHD_Connection *connection);
    bool fillStream(Stream *stream); // under m_mutex; false when the stream must end
    QList<Stream *> takeSuspended(); // under m_mutex
    static void resume(const QList<Stream *> &streams);

    TListenAddress m_address;
    int m_maxClients;
    QHash<QString, TStaticFile> m_files;
    MHD_Daemon *m_daemon = nullptr;

    mutable QMutex m_mutex; // guards everything below
    Snapshot m_state;
    std::deque<std::pair<qint64, QByteArray>> m_ring; // (seq, SSE message)
    QList<Stream *> m_suspended;
    quint64 m_ping = 0;
    int m_openStreams = 0;
    bool m_closing = false;
};
