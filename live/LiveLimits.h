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
    // The library's own limits, past ours. Over the one per address it closes a new
    // connection as it accepts it (no answer, but no wait either). At the one in total it
    // stops accepting: new connections wait in the kernel's queue until held ones end, at
    // the latest when their request time is up. So it lies far past our total, where only
    // many addresses holding idle connections on purpose reach it.
    int hardConnections() const { return 4 * connections(); }
    int hardConnectionsPerAddress() const { return 2 * connectionsPerAddress(); }
};
