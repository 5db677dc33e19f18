#include "LiveOptions.h"

#include "ProfileFile.h"

#include <QFileInfo>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace
{

const QString Section = QStringLiteral("Live");

bool parsePort(const QString &text, int *port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (QChar c : text)
        if (!c.isDigit() || c.unicode() > '9')
            return false;
    *port = text.toInt();
    return *port <= 65535;
}

bool parseHost(const QString &host, int port, TListenAddress *out)
{
    const QString name =
        host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ? QStringLiteral("127.0.0.1") : host;
    const QByteArray bytes = name.toLatin1();
    sockaddr_storage storage{};
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    if (inet_pton(AF_INET, bytes.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(quint16(port));
        out->length = sizeof(sockaddr_in);
        out->host = name;
    } else if (inet_pton(AF_INET6, bytes.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(quint16(port));
        out->length = sizeof(sockaddr_in6);
        out->host = QLatin1Char('[') + name + QLatin1Char(']');
    } else {
        return false;
    }
    out->address = storage;
    out->port = port;
    return true;
}

} // namespace

bool ParseListenAddress(const QString &text, TListenAddress *out, QString *error)
{
    const QString value = text.trimmed();
    QString host;
    QString port;
    if (value.startsWith(QLatin1Char('['))) {
        const int close = value.indexOf(QLatin1String("]:"));
        if (close > 0) {
            host = value.mid(1, close - 1);
            port = value.mid(close + 2);
        }
    } else {
        const int colon = value.lastIndexOf(QLatin1Char(':'));
        if (colon > 0 && value.indexOf(QLatin1Char(':')) == colon) {
            host = value.left(colon);
            port = value.mid(colon + 1);
        }
    }
    int number = 0;
    if (host.isEmpty() || !parsePort(port, &number) || !parseHost(host, number, out)) {
        *error = QStringLiteral(
                     "待ち受けアドレス「%1」が読めません。「127.0.0.1:8080」や「[::1]:8080」の形で指定してください。")
                     .arg(text);
        return false;
    }
    return true;
}

QString LiveUsage()
{
    return QStringLiteral(
        "使い方: midstation-live [--listen ADDR:PORT] [--dsn NAME] [--max-clients N] [--max-per-address N]\n"
        "                        [--request-seconds S] [--settings FILE]\n"
        "レースデータベースを読み (書き込みはしません)、中間タイムのライブページを配信します。\n"
        "  --listen ADDR:PORT     待ち受けアドレス (既定 127.0.0.1:8080、ポート 0 は空きポート)\n"
        "  --dsn NAME             データソース名 (既定 PlovoLocal)\n"
        "  --max-clients N        同時に開けるページ (イベントストリーム) の上限 (既定 2000)\n"
        "  --max-per-address N    一つのアドレスから開けるページの上限 (既定 100)\n"
        "  --request-seconds S    要求を受け取り終えるまでの上限秒数 (既定 10)\n"
        "  --settings FILE        設定ファイル (既定 ./midstation-live.ini の [Live] 節:\n"
        "                         Listen, DataSource, MaxClients, MaxPerAddress, RequestSeconds, NameColumn)\n");
}

namespace
{

// The whole-number options: command line, settings key, where it goes, its range.
struct TNumberOption {
    const char *argument;
    const char *key;
    int TLiveLimits::*field;
    int low;
    int high;
    const char *what;
};

const TNumberOption NumberOptions[] = {
    {"--max-clients", "MaxClients", &TLiveLimits::streams, 1, 10000, "同時に開けるページの上限"},
    {"--max-per-address", "MaxPerAddress", &TLiveLimits::streamsPerAddress, 1, 10000, "アドレスごとのページの上限"},
    {"--request-seconds", "RequestSeconds", &TLiveLimits::requestSeconds, 1, 300, "要求の受け取りの上限秒数"},
};

const TNumberOption *numberOption(const QString &argument)
{
    for (const TNumberOption &o : NumberOptions)
        if (argument == QLatin1String(o.argument))
            return &o;
    return nullptr;
}

// A whole number in decimal, nothing else: "12x" or "1e3" is not taken as 12 or 1.
bool parseNumber(const QString &text, int *value)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok, 10);
    if (ok)
        *value = n;
    return ok;
}

} // namespace

TOptionsOutcome ParseLiveOptions(const QStringList &arguments, TLiveOptions *options, QString *message)
{
    // The settings file first, so that the command line wins.
    for (int i = 1; i + 1 < arguments.size(); ++i)
        if (arguments[i] == QLatin1String("--settings"))
            options->settingsFile = arguments[i + 1];
    const QString file = options->settingsFile;
    if (QFileInfo::exists(file)) {
        options->listen = ProfileFile::ReadString(file, Section, QStringLiteral("Listen"), options->listen);
        options->dataSource = ProfileFile::ReadString(file, Section, QStringLiteral("DataSource"), options->dataSource);
        options->nameColumn = ProfileFile::ReadString(file, Section, QStringLiteral("NameColumn"), options->nameColumn);
        for (const TNumberOption &o : NumberOptions)
            options->limits.*o.field =
                ProfileFile::ReadInteger(file, Section, QLatin1String(o.key), options->limits.*o.field);
    }

    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help"))
            return TOptionsOutcome::Help;
        const TNumberOption *number = numberOption(arg);
        const bool known = number || arg == QLatin1String("--listen") || arg == QLatin1String("--dsn") ||
                           arg == QLatin1String("--settings");
        if (!known) {
            *message = QStringLiteral("不明な引数「%1」です。\n").arg(arg) + LiveUsage();
            return TOptionsOutcome::Error;
        }
        if (i + 1 >= arguments.size()) {
            *message = QStringLiteral("%1 の値がありません。\n").arg(arg) + LiveUsage();
            return TOptionsOutcome::Error;
        }
        const QString value = arguments[++i];
        if (arg == QLatin1String("--listen"))
            options->listen = value;
        else if (arg == QLatin1String("--dsn"))
            options->dataSource = value;
        else if (number && !parseNumber(value, &(options->limits.*number->field)))
            options->limits.*number->field = number->low - 1; // refused below with its range
    }
    for (const TNumberOption &o : NumberOptions) {
        const int v = options->limits.*o.field;
        if (v < o.low || v > o.high) {
            *message = QStringLiteral("%1は %2 から %3 の間で指定してください。")
                           .arg(QString::fromUtf8(o.what))
                           .arg(o.low)
                           .arg(o.high);
            return TOptionsOutcome::Error;
        }
    }
    if (options->dataSource.isEmpty()) {
        *message = QStringLiteral("データソース名が空です。");
        return TOptionsOutcome::Error;
    }
    if (!ParseListenAddress(options->listen, &options->address, message))
        return TOptionsOutcome::Error;
    return TOptionsOutcome::Run;
}
