#include "OdbcDsn.h"

#include <QDir>

#include <odbcinst.h>

static QString profileValue(const QByteArray &dsn, const char *key)
{
    char buffer[1024] = {0};
    SQLGetPrivateProfileString(dsn.constData(), key, "", buffer, sizeof buffer, "odbc.ini");
    return QString::fromLocal8Bit(buffer).trimmed();
}

TDsnLocation LookupDsn(const QString &dsn)
{
    TDsnLocation where;
    const QByteArray section = dsn.toLocal8Bit();
    // With no key, the reader lists the keys of the section: empty means no such source.
    char keys[4096] = {0};
    SQLGetPrivateProfileString(section.constData(), nullptr, "", keys, sizeof keys, "odbc.ini");
    if (dsn.isEmpty() || keys[0] == '\0')
        return where;
    where.found = true;
    where.server = profileValue(section, "SERVER");
    if (where.server.isEmpty())
        where.server = profileValue(section, "HOST");
    where.port = profileValue(section, "PORT").toInt();
    where.socket = profileValue(section, "SOCKET");
    where.database = profileValue(section, "DATABASE");
    where.user = profileValue(section, "UID");
    if (where.user.isEmpty())
        where.user = profileValue(section, "USER");
    where.password = profileValue(section, "PWD");
    if (where.password.isEmpty())
        where.password = profileValue(section, "PASSWORD");
    return where;
}

QStringList DsnFiles()
{
    // unixODBC's own rule for where it looks (its odbcinst configuration helpers).
    const QString systemFolder = qEnvironmentVariable("ODBCSYSINI", QStringLiteral("/etc"));
    QString userFile = qEnvironmentVariable("ODBCINI");
    if (userFile.isEmpty())
        userFile = QDir::homePath() + QStringLiteral("/.odbc.ini");
    QStringList files{QDir::cleanPath(systemFolder + QStringLiteral("/odbc.ini"))};
    if (!files.contains(QDir::cleanPath(userFile)))
        files << QDir::cleanPath(userFile);
    return files;
}

QString MissingDsnMessage(const QString &dsn)
{
    return QStringLiteral("データソース名 %1 が見つかりません（%2 を探しました）。")
        .arg(dsn, DsnFiles().join(QStringLiteral("、")));
}
