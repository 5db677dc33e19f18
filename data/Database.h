// The station's one database connection: a data source name and a parameter list in,
// statements out. Talks to the server with MariaDB Connector/C and converts every text
// between QString and Shift-JIS itself, so that "set names sjis" really governs the
// connection.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

struct st_mysql;
class EDatabaseError;

// The rows of one statement, already decoded.
struct TResultSet {
    QStringList names;
    QVector<QVector<QString>> values;
    QVector<QVector<bool>> nulls;
    bool hasRows = false;    // the statement returned a result set (maybe empty)
    qulonglong affected = 0; // rows changed by a statement without a result set
};

class TDatabase : public QObject
{
    Q_OBJECT
public:
    explicit TDatabase(QObject *parent = nullptr);
    ~TDatabase() override;

    QString DatabaseName = QStringLiteral("DB");
    QString AliasName;
    bool LoginPrompt = false;
    QStringList Params; // "NAME=value" lines

    // Seconds. Connecting is bounded, long enough for a server that greets slowly (a
    // reverse lookup of the station's address on a course network without DNS). Once connected, a statement may wait
    // for the server as long as the server makes it wait: a lock wait ends by the session's own lock-wait timeouts
    // (LockWaitTimeout, set on every connection), which stay below ReadTimeout, the bound against a server that stopped
    // answering altogether.
    int ConnectTimeout = 15;
    int ReadTimeout = 60;
    int LockWaitTimeout = 50;
    // The lock wait the session gets: LockWaitTimeout, kept below ReadTimeout.
    int LockWaitSeconds() const { return qMax(1, qMin(LockWaitTimeout, ReadTimeout - 1)); }

    // A session that may only read (the live page's): every connection, the automatic one
    // after the server went away included, is made read-only.
    bool ReadOnly = false;

    bool Connected() const { return m_mysql != nullptr; }
    // Connects with Params and makes the session statements (SessionSql) before anything
    // else; does nothing when connected. Raises EDatabaseError.
    void Open();
    // Closes the open queries (closing() first), then the connection. A closed connection
    // stays closed: statements fail until Open connects again.
    void Close();
    // A statement that finds the server gone drops the connection; the next statement
    // (outside a transaction) connects again, with the same session statements.

    // What every connection runs before its first statement, in this order.
    QStringList SessionSql() const;
    // The sql_mode every session runs with, whatever the server's default: the quoting of
    // SqlEscape (backslash escapes, strings in single quotes) holds only under it.
    static QString SessionSqlMode();

    // The error code of a connection refused because the server does not suit the timing
    // system (it tells table names apart by letter case), and the operator's message.
    static constexpr unsigned int UnsuitableServer = 100001;
    static QString CaseSensitiveServerMessage();

    // The account of this session ("user@host" as the server matched it) when it may
    // insert, update or delete in the connected database (granted on everything, on the
    // database or on one of its tables); empty when it may only read.
    QString WritingAccount();

    // Whether an error means that the server is not there (cannot connect, the link lost
    // or cut, the server shutting down), as opposed to a statement it refused. A passing
    // that meets such an error is kept and stored once the server answers again.
    static bool ServerAway(const EDatabaseError &error);

    // Value of a parameter line, "" when the list has none.
    QString param(const QString &name) const;

    // Runs one statement; connects first after a dropped connection. Raises
    // EDatabaseError with the server's message when the server refuses it.
    TResultSet execute(const QString &sql);

    // One transaction on this connection. While it is open a lost connection is not
    // replaced: the server rolled the transaction back, and every statement fails until
    // Rollback ends it here too. Rollback does nothing on the server without a connection.
    void StartTransaction();
    void Commit();
    void Rollback();
    bool InTransaction() const { return m_inTransaction; }

signals:
    void closing();

private:
    [[noreturn]] void raiseError(const QString &context);
    void runSessionSql(st_mysql *mysql);
    void refuseUnsuitableServer(st_mysql *mysql);
    [[noreturn]] void failConnect(st_mysql *mysql, const QString &message, unsigned int code);
    st_mysql *m_mysql = nullptr;
    bool m_closed = true; // closed by Close (or never opened): no automatic reconnect
    bool m_inTransaction = false;
    QString m_lastConnectError; // why the last Open failed, for the statements after it
};
