#include "Database.h"

#include "Errors.h"
#include "OdbcDsn.h"
#include "SessionStatements.h"
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

QString TDatabase::SessionSqlMode()
{
    // Strict for the transactional tables, as MySQL 5.7, 8.0 and MariaDB 10.3+ are by
    // default; without NO_BACKSLASH_ESCAPES (under it a backslash is a plain character,
    // so an escaped quote ends the string: a syntax error, or an injection), ANSI_QUOTES
    // and the rest that change how a statement reads. Every mode named here exists on all
    // of those servers.
    return QStringLiteral("STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION");
}

QString TDatabase::CaseSensitiveServerMessage()
{
    return QStringLiteral("このデータベースサーバーは表の名前の大文字と小文字を区別します"
                          "（lower_case_table_names=0）。計時システムのプログラムは同じ表を大文字でも小文字でも"
                          "呼ぶので、このままでは使えません。サーバーの設定ファイルの [mysqld] に "
                          "lower_case_table_names=1 を入れてください（データベースを作る前に設定します）。");
}

QStringList TDatabase::SessionSql() const
{
    // Shift-JIS before anything else (the handshake speaks latin1). The sql_mode pinned,
    // whatever the server's default (see SessionSqlMode). Autocommit pinned on, whatever
    // the server's default: each statement outside a passing's transaction must take
    // effect when it completes. The lock waits stay below the read timeout, so a table or
    // row held by another program ends as the server's lock-wait error, with a clear
    // message and the connection kept, never as a lost connection.
    return QStringList{SetNamesSql()} + SessionSettingsSql(SessionSqlMode(), LockWaitSeconds(), ReadOnly);
}

bool TDatabase::ServerAway(const EDatabaseError &error)
{
    switch (error.code()) {
    case CR_CONNECTION_ERROR:     // no server on the socket
    case CR_CONN_HOST_ERROR:      // none at the address, or no answer within the connect timeout
    case CR_UNKNOWN_HOST:         // a name the course network cannot resolve just now
    case CR_SERVER_GONE_ERROR:    // the link broke before the statement
    case CR_SERVER_LOST:          // ... during it
    case CR_SERVER_LOST_EXTENDED: // ... during the greeting
    case ER_SERVER_SHUTDOWN:      // the server is stopping
    case ER_CONNECTION_KILLED:    // the session was killed (a restart, an administrator)
    case ER_CON_COUNT_ERROR:      // the server is full: it answers again when others leave
        return true;
    default:
        return false;
    }
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
        // The server went away (stopped, restarted, the network cut, or no answer within
        // the read timeout): this handle is dead for good. It is dropped so that the next
        // statement connects afresh; the failed statement itself is not repeated, since it
        // may have run before the link broke. Open queries keep the rows they hold.
        mysql_close(m_mysql);
        m_mysql = nullptr;
        if (m_inTransaction)
            text += QStringLiteral("\n書込み中だった通過データは取り消されました（まだ取込まれていません）。");
    }
    throw EDatabaseError(text, code);
}

void TDatabase::failConnect(st_mysql *mysql, const QString &message, unsigned int code)
{
    mysql_close(mysql);
    m_lastConnectError = message;
    throw EDatabaseError(message, code);
}

void TDatabase::runSessionSql(st_mysql *mysql)
{
    for (const QString &sql : SessionSql()) {
        const QByteArray bytes = Sjis::encode(sql);
        if (mysql_real_query(mysql, bytes.constData(), static_cast<unsigned long>(bytes.size())) != 0)
            failConnect(mysql, QString::fromUtf8(mysql_error(mysql)), mysql_errno(mysql));
    }
}

void TDatabase::refuseUnsuitableServer(st_mysql *mysql)
{
    // The timing system's programs name a table in upper and in lower case (execinfo and
    // EXECINFO), as Windows servers allow. A server that tells them apart fails some of
    // them with "doesn't exist", in the middle of a race; it is refused here instead,
    // with the setting it needs. (2 stores names as given and compares them in lower
    // case: that works.)
    const QByteArray query = TableNameCaseSql().toLatin1();
    if (mysql_real_query(mysql, query.constData(), static_cast<unsigned long>(query.size())) != 0)
        failConnect(mysql, QString::fromUtf8(mysql_error(mysql)), mysql_errno(mysql));
    MYSQL_RES *res = mysql_store_result(mysql);
    MYSQL_ROW row = res ? mysql_fetch_row(res) : nullptr;
    const bool caseSensitive = row && row[0] && qstrcmp(row[0], "0") == 0;
    if (res)
        mysql_free_result(res);
    if (caseSensitive)
        failConnect(mysql, CaseSensitiveServerMessage(), UnsuitableServer);
}

void TDatabase::Open()
{
    if (m_mysql)
        return;
    // A connection that cannot be made leaves the database closed (until the next Open).
    m_closed = true;
    const QString dsn = param(QStringLiteral("ODBC DSN"));
    const TDsnLocation where = LookupDsn(dsn);
    if (!where.found) {
        m_lastConnectError = MissingDsnMessage(dsn);
        throw EDatabaseError(m_lastConnectError);
    }

    // The account the data source names (UID, PWD) comes first: a crew gives each program
    // an account of its own there. Without one, the login of the parameter lines.
    const bool ownAccount = !where.user.isEmpty();
    const QString user = ownAccount ? where.user : param(QStringLiteral("USER NAME"));
    const QString password = ownAccount ? where.password : param(QStringLiteral("PASSWORD"));
    QString database = param(QStringLiteral("DATABASE NAME"));
    if (database.isEmpty())
        database = where.database;

    MYSQL *mysql = mysql_init(nullptr);
    if (!mysql)
        throw EDatabaseError(QStringLiteral("データベース接続を準備できません。"));
    // Connector/C takes the read and write timeouts when it connects (set afterwards they
    // do nothing). The connect timeout bounds the connect and the server's greeting.
    const unsigned int connectTimeout = unsigned(ConnectTimeout);
    const unsigned int readTimeout = unsigned(ReadTimeout);
    mysql_optionsv(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
    mysql_optionsv(mysql, MYSQL_OPT_READ_TIMEOUT, &readTimeout);
    mysql_optionsv(mysql, MYSQL_OPT_WRITE_TIMEOUT, &readTimeout);
    // The connection starts in latin1; "set names sjis" after connecting switches it.
    mysql_optionsv(mysql, MYSQL_SET_CHARSET_NAME, "latin1");

    const QByteArray host = where.server.toLocal8Bit();
    const QByteArray socket = where.socket.toLocal8Bit();
    const bool local = where.server.isEmpty() || where.server == QLatin1String("localhost");
    const QByteArray userBytes = user.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    const QByteArray databaseBytes = database.toUtf8();
    if (!mysql_real_connect(mysql, local ? "localhost" : host.constData(), userBytes.constData(),
                            passwordBytes.constData(), databaseBytes.isEmpty() ? nullptr : databaseBytes.constData(),
                            unsigned(where.port), local && !socket.isEmpty() ? socket.constData() : nullptr,
                            CLIENT_MULTI_RESULTS))
        failConnect(mysql, QString::fromUtf8(mysql_error(mysql)), mysql_errno(mysql));
    runSessionSql(mysql);
    refuseUnsuitableServer(mysql);
    m_lastConnectError.clear();
    m_mysql = mysql;
    m_closed = false;
}

QString TDatabase::WritingAccount()
{
    const TResultSet rows = execute(WritingGrantsSql());
    if (rows.values.isEmpty() || rows.values.first().value(1).toInt() == 0)
        return QString();
    return rows.values.first().value(0);
}

void TDatabase::Close()
{
    emit closing();
    m_closed = true;
    m_inTransaction = false;
    if (m_mysql) {
        mysql_close(m_mysql);
        m_mysql = nullptr;
    }
}

void TDatabase::StartTransaction()
{
    execute(StartTransactionSql());
    m_inTransaction = true;
}

void TDatabase::Commit()
{
    execute(CommitSql());
    m_inTransaction = false;
}

void TDatabase::Rollback()
{
    // Without a connection the server has rolled back already.
    const bool open = m_inTransaction && m_mysql;
    m_inTransaction = false;
    if (open)
        execute(RollbackSql());
}

TResultSet TDatabase::execute(const QString &sql)
{
    if (!m_mysql) {
        // Closed on purpose, or after a failed connect: it stays closed until a database
        // is chosen again. Dropped because the server went away: connect afresh, but not
        // in the middle of a transaction, which the server has rolled back.
        if (m_closed) {
            QString text = QStringLiteral("データベースに接続していません。データベースを選び直してください。");
            if (!m_lastConnectError.isEmpty())
                text += QLatin1Char('\n') + m_lastConnectError;
            throw EDatabaseError(text);
        }
        if (m_inTransaction)
            throw EDatabaseError(
                QStringLiteral("データベースとの接続が切れました。書込み中だった通過データは取り消されました。"),
                CR_SERVER_LOST);
        try {
            Open();
        } catch (const EDatabaseError &) {
            m_closed = false; // still only dropped: the next statement tries again
            throw;
        }
    }
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
    // Drain further results (a statement may yield more than one); keep the first.
    while (mysql_more_results(m_mysql)) {
        if (mysql_next_result(m_mysql) > 0)
            raiseError(QString());
        if (MYSQL_RES *extra = mysql_store_result(m_mysql))
            mysql_free_result(extra);
    }
    return result;
}
