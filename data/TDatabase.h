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

// The rows of one statement, already decoded.
struct TResultSet {
    QStringList names;
    QVector<QVector<QString>> values;
    QVector<QVector<bool>> nulls;
    bool hasRows = false;       // the statement returned a result set (maybe empty)
    qulonglong affected = 0;    // rows changed by a statement without a result set
};

class TDatabase : public QObject {
    Q_OBJECT
public:
    explicit TDatabase(QObject *parent = nullptr);
    ~TDatabase() override;

    QString DatabaseName = QStringLiteral("DB");
    QString AliasName;
    bool LoginPrompt = false;
    QStringList Params;  // "NAME=value" lines

    // Seconds to wait for the server at connecting, and for any answer afterwards.
    int ConnectTimeout = 5;
    int ReadTimeout = 60;

    bool Connected() const { return m_mysql != nullptr; }
    // Connects with Params; does nothing when connected. Raises EDatabaseError.
    void Open();
    // Closes the open queries (closing() first), then the connection.
    void Close();
    // A statement that finds the server gone drops the connection; the next statement
    // connects again and first repeats the session's "set names".

    // Value of a parameter line, "" when the list has none.
    QString param(const QString &name) const;

    // Runs one statement; connects first when needed. Raises EDatabaseError with the
    // server's message when the server refuses it.
    TResultSet execute(const QString &sql);

signals:
    void closing();

private:
    [[noreturn]] void raiseError(const QString &context);
    st_mysql *m_mysql = nullptr;
    QStringList m_sessionSql;  // "set names ..." of this session, made again at a reconnect
};
