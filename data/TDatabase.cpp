#include "TDatabase.h"

#include "Errors.h"
#include "OdbcDsn.h"
#include "Sjis.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

TDatabase::TDatabase(QObject *parent) : QObject(parent) {}

TDatabase::~TDatabase()
{
    if (m_mysql)
        mysql_close(m_mysql);
}

QString TDatabase::param(const QString &name) const
{
    const QString prefix = name + QLatin1Char('=');
    for (const QString &line : Params)
        if (line.startsWith(prefix, Qt::CaseInsensitive))
            return line.mid(prefix.size());
    return QString();
}

void TDatabase::raiseError(const QString &context)
{
    const unsigned int code = mysql_errno(m_mysql);
    QString text = Sjis::decode(QByteArray(mysql_error(m_mysql)));
    if (!context.isEmpty())
        text = context + QLatin1Char('\n') + text;
    // A server shutting down answers the statement with its own error first and then
    // closes the link: that handle is as dead as one that found the server gone.
    if (code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST || code == CR_SERVER_LOST_EXTENDED ||
        code == ER_SERVER_SHUTDOWN || code == ER_CONNECTION_KILLED) {
        // The server went away (stopped, restarted, the network cut): this handle is dead
        // for good. It is dropped so that the next statement connects afresh; the failed
        // statement itself is not repeated, since it may have run before the link broke.
        // Open queries keep the rows they hold.
        mysql_close(m_mysql);
        m_mysql = nullptr;
    }
    throw EDatabaseError(text, code);
}

void TDatabase::Open()
{
    if (m_mysql)
        return;
    const QString dsn = param(QStringLiteral("ODBC DSN"));
    const TDsnLocation where = LookupDsn(dsn);
    if (!where.found)
        throw EDatabaseError(MissingDsnMessage(dsn));

    QString user = param(QStringLiteral("USER NAME"));
    if (user.isEmpty())
        user = where.user;
    QString password = param(QStringLiteral("PASSWORD"));
    if (password.isEmpty())
        password = where.password;
    QString database = param(QStringLiteral("DATABASE NAME"));
    if (database.isEmpty())
        database = where.database;

    MYSQL *mysql = mysql_init(nullptr);
    if (!mysql)
        throw EDatabaseError(QStringLiteral("データベース接続を準備できません。"));
    // Bounded waits: a server that accepts and never answers must not freeze the window.
    const unsigned int connectTimeout = unsigned(ConnectTimeout);
    const unsigned int readTimeout = unsigned(ReadTimeout);
    mysql_optionsv(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    mysql_optionsv(mysql, MYSQL_OPT_READ_TIMEOUT, &connectTimeout);
    mysql_optionsv(mysql, MYSQL_OPT_WRITE_TIMEOUT, &connectTimeout);
    // The connection starts in latin1; "set names sjis" after connecting switches it.
    mysql_optionsv(mysql, MYSQL_SET_CHARSET_NAME, "latin1");

    const QByteArray host = where.server.toLocal8Bit();
    const QByteArray socket = where.socket.toLocal8Bit();
    const bool local = where.server.isEmpty() || where.server == QLatin1String("localhost");
    const QByteArray userBytes = user.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    const QByteArray databaseBytes = database.toUtf8();
    if (!mysql_real_connect(mysql, local ? "localhost" : host.constData(), userBytes.constData(),
                            passwordBytes.constData(),
                            databaseBytes.isEmpty() ? nullptr : databaseBytes.constData(),
                            unsigned(where.port), local && !socket.isEmpty() ? socket.constData() : nullptr,
                            CLIENT_MULTI_RESULTS)) {
        const QString message = QString::fromUtf8(mysql_error(mysql));
        const unsigned int code = mysql_errno(mysql);
        mysql_close(mysql);
        throw EDatabaseError(message, code);
    }
    mysql_optionsv(mysql, MYSQL_OPT_READ_TIMEOUT, &readTimeout);
    mysql_optionsv(mysql, MYSQL_OPT_WRITE_TIMEOUT, &readTimeout);
    // Connecting again after the server went away: the session settings the program made
    // on the lost connection ("set names sjis") are made again first.
    for (const QString &sql : m_sessionSql) {
        const QByteArray bytes = Sjis::encode(sql);
        if (mysql_real_query(mysql, bytes.constData(), static_cast<unsigned long>(bytes.size())) != 0) {
            const QString message = QString::fromUtf8(mysql_error(mysql));
            const unsigned int code = mysql_errno(mysql);
            mysql_close(mysql);
            throw EDatabaseError(message, code);
        }
    }
    m_mysql = mysql;
}

void TDatabase::Close()
{
    emit closing();
    m_sessionSql.clear();
    if (m_mysql) {
        mysql_close(m_mysql);
        m_mysql = nullptr;
    }
}

TResultSet TDatabase::execute(const QString &sql)
{
    Open();
    const QByteArray bytes = Sjis::encode(sql);
    TResultSet result;
    if (mysql_real_query(m_mysql, bytes.constData(), static_cast<unsigned long>(bytes.size())) != 0)
        raiseError(QString());
    MYSQL_RES *res = mysql_store_result(m_mysql);
    if (!res) {
        if (mysql_field_count(m_mysql) != 0)
            raiseError(QString());
        result.affected = mysql_affected_rows(m_mysql);
    } else {
        result.hasRows = true;
        const unsigned int columns = mysql_num_fields(res);
        MYSQL_FIELD *fields = mysql_fetch_fields(res);
        for (unsigned int c = 0; c < columns; ++c)
            result.names << Sjis::decode(fields[c].name, fields[c].name_length);
        while (MYSQL_ROW row = mysql_fetch_row(res)) {
            unsigned long *lengths = mysql_fetch_lengths(res);
            QVector<QString> values(static_cast<int>(columns));
            QVector<bool> nulls(static_cast<int>(columns));
            for (unsigned int c = 0; c < columns; ++c) {
                nulls[int(c)] = row[c] == nullptr;
                if (row[c])
                    values[int(c)] = Sjis::decode(row[c], lengths[c]);
            }
            result.values << values;
            result.nulls << nulls;
        }
        mysql_free_result(res);
    }
    if (sql.trimmed().startsWith(QLatin1String("set names"), Qt::CaseInsensitive))
        m_sessionSql = QStringList{sql};
    // Drain further results (a statement may yield more than one); keep the first.
    while (mysql_more_results(m_mysql)) {
        if (mysql_next_result(m_mysql) > 0)
            raiseError(QString());
        if (MYSQL_RES *extra = mysql_store_result(m_mysql))
            mysql_free_result(extra);
    }
    return result;
}
