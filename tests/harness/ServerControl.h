// A private database server for the suites that stop and restart it (the shared test
// server must keep running for the others), and a client that connects afresh for every
// statement, so it works across a restart.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct st_mysql;

// A session of its own on a server, kept open: another program's transaction that holds
// locks while the station works. Its statements run in the suites' client session.
class TSession
{
public:
    TSession(const QString &socket, const QString &db); // fails the process when it cannot connect
    ~TSession();
    TSession(const TSession &) = delete;
    TSession &operator=(const TSession &) = delete;
    bool run(const char *sql);      // a result is read and dropped
    QString value(const char *sql); // first column of the first row, "" for none

private:
    st_mysql *m_mysql;
};

class TPrivateServer
{
public:
    // Starts it (with scripts/dbserver's start options); fails the process when it does
    // not come up.
    explicit TPrivateServer(const QStringList &options = {});
    ~TPrivateServer(); // stops it
    QString dir() const { return m_dir.path(); }
    bool start();
    bool stop();
    // Kills the server process at once (SIGKILL), as a crash would; start() recovers it.
    bool kill();

    // Runs statements in UTF-8 on a connection of its own to database db.
    bool exec(const QString &db, const QString &sql, QString *error = nullptr);
    QList<QStringList> rows(const QString &db, const QString &sql);
    QString value(const QString &db, const QString &sql);

private:
    bool script(const QStringList &arguments);
    QStringList m_options;
    QTemporaryDir m_dir;
};
