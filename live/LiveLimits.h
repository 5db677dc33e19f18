// How much midstation-live takes from whom: event streams and connections in total and
// from one address, and how long a request may take to arrive. What is over a limit is
// answered at once (503 with Retry-After), never left waiting.
#pragma once

struct TLiveLimits {
    // Event streams at once, from all addresses: one per open page (--max-clients).
    int streams = 2000;
    // Event streams from one address (--max-per-address). A finish area behind one NAT
    // may be 50 phones on one address, some with the page open twice.
    int streamsPerAddress = 100;
    // Seconds from a connection's start (or the end of its previous answer) to the end of
    // its request. A client that trickles its headers a byte at a time is cut then.
    int requestSeconds = 10;
    // What a turned-away client is told to wait before it tries again.
    int retryAfterSeconds = 10;

    // Connections besides the streams: a page being loaded, /api/state, a keep-alive
    // connection between two requests.
    int connections() const { return streams + 500; }
    int connectionsPerAddress() const { return streamsPerAddress + 50; }
    // Past these the library itself closes a connection when it is accepted (no answer,
    // but no wait either): our own counts answer 503 well before.
    int hardConnections() const { return connections() + 1000; }
    int hardConnectionsPerAddress() const { return 2 * connectionsPerAddress(); }
};
