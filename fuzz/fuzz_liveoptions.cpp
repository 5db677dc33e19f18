// Fuzz target: midstation-live's command line and listen address. The input is the
// arguments, cut at NUL bytes (a --settings argument is dropped: the fuzzer must not make
// the program read files of its choosing), and, whole, a listen address.
//
// Checks, besides the sanitizers: options accepted have their limits in range and an
// address of the family they name; an address accepted prints as a host and port that
// parse back to the same socket address.
#include "FuzzCheck.h"
#include "LiveOptions.h"

#include <cstdint>
#include <cstring>
#include <netinet/in.h>

namespace
{

void checkAddress(const TListenAddress &a)
{
    FUZZ_CHECK(a.port >= 0 && a.port <= 65535, "port out of range");
    const sa_family_t family = a.address.ss_family;
    FUZZ_CHECK((family == AF_INET && a.length == sizeof(sockaddr_in)) ||
                   (family == AF_INET6 && a.length == sizeof(sockaddr_in6)),
               "address length does not match its family");
    TListenAddress again;
    QString error;
    const QString printed = a.host + QLatin1Char(':') + QString::number(a.port);
    FUZZ_CHECK(ParseListenAddress(printed, &again, &error), "printed address does not parse back");
    FUZZ_CHECK(again.length == a.length && std::memcmp(&again.address, &a.address, a.length) == 0,
               "printed address parses to another one");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QStringList arguments{QStringLiteral("midstation-live")};
    for (const QByteArray &part : bytes.split('\0'))
        arguments << QString::fromUtf8(part);
    for (qsizetype i = arguments.size() - 1; i > 0; --i)
        if (arguments[i] == QLatin1String("--settings"))
            arguments.remove(i, qMin<qsizetype>(2, arguments.size() - i));
    TLiveOptions options;
    options.settingsFile = QStringLiteral("/nonexistent/midstation-live.ini");
    QString message;
    if (ParseLiveOptions(arguments, &options, &message) == TOptionsOutcome::Run) {
        const TLiveLimits &l = options.limits;
        FUZZ_CHECK(l.streams >= 1 && l.streams <= 10000 && l.streamsPerAddress >= 1 && l.streamsPerAddress <= 10000 &&
                       l.requestSeconds >= 1 && l.requestSeconds <= 300,
                   "limit out of range accepted");
        FUZZ_CHECK(!options.dataSource.isEmpty(), "empty data source accepted");
        checkAddress(options.address);
    }

    TListenAddress address;
    if (ParseListenAddress(QString::fromUtf8(bytes), &address, &message))
        checkAddress(address);
    return 0;
}
