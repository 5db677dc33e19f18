// What midstation-live is told: where to listen, which data source to read, how many
// browsers at most. From its settings file, overridden by the command line.
#pragma once

#include "LiveLimits.h"

#include <QString>
#include <QStringList>

#include <sys/socket.h>

// An address to listen on, parsed from "ADDR:PORT" ("127.0.0.1:8080", "[::1]:8080",
// "0.0.0.0:8080", "localhost:8080"). Port 0 lets the system choose one.
struct TListenAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
    QString host; // as it is printed in the page's address
    int port = 0;
};

// Parses "ADDR:PORT"; false (with a Japanese message in *error) for anything else.
bool ParseListenAddress(const QString &text, TListenAddress *out, QString *error);

struct TLiveOptions {
    QString listen = QStringLiteral("127.0.0.1:8080");
    QString dataSource = QStringLiteral("PlovoLocal");
    QString nameColumn = QStringLiteral("name"); // competitor's name in result, when present
    TLiveLimits limits;
    int pollMs = 250;
    QString settingsFile = QStringLiteral("midstation-live.ini");
    TListenAddress address;
};

enum class TOptionsOutcome { Run, Help, Error };

// Reads the settings file named by --settings (default midstation-live.ini in the current
// folder; a missing file leaves the defaults), then the other arguments over it.
TOptionsOutcome ParseLiveOptions(const QStringList &arguments, TLiveOptions *options, QString *message);

QString LiveUsage();
