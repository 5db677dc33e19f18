#include "ServerControl.h"

#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mysql.h>

TPrivateServer::TPrivateServer(const QStringList &options) : m_options(options)
{
    if (!start())
        qFatal("the private database server did not come up in %s", qPrintable(dir()));
}

TPrivateServer::~TPrivateServer()
{
    stop();
}

bool TPrivateServer::script(const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(TestSupport::sourceDir() + QStringLiteral("/scripts/dbserver"), arguments);
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok)
        qWarning("dbserver %s: %s", qPrintable(arguments.join(QLatin1Char(' '))), p.readAll().constData());
    return ok;
}

bool TPrivateServer::start()
{
    return script(QStringList{QStringLiteral("start"), dir()} + m_options);
}

bool TPrivateServer::stop()
{
    return script({QStringLiteral("stop"), dir()});
}

bool TPrivateServer::kill()
{
    const QString pidPath = dir() + QStringLiteral("/mysqld.pid");
    QFile pidFile(pidPath);
    if (!pidFile.open(QIODevice::ReadOnly)) {
        qWarning("kill: no pid file in %s", qPrintable(dir()));
        return false;
    }
    const pid_t pid = pid_t(pidFile.readAll().trimmed().toLong());
    pidFile.close();
    if (pid <= 0 || ::kill(pid, SIGKILL) != 0) {
        qWarning("kill %d: %s", int(pid), strerror(errno));
        return false;
    }
    // Gone, or a zombie nobody has reaped yet: either way it holds no file and no port.
    auto alive = [pid] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        const int paren = line.lastIndexOf(')');
        return paren >= 0 && line.mid(paren + 2, 1) != "Z" && line.mid(paren + 2, 1) != "X";
    };
    for (int i = 0; i < 200 && alive(); ++i)
        QThread::msleep(50);
    QFile::remove(pidPath);
    return !alive();
}

namespace
{

MYSQL *connectTo(const QString &socket, const QString &db, QString *error)
{
    MYSQL *m = mysql_init(nullptr);
    mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    TestSupport::UseClientSession(m);
    const QByteArray sock = socket.toLocal8Bit();
    const QByteArray name = db.toUtf8();
    if (!mysql_real_connect(m, "localhost", "root", "rufan", name.isEmpty() ? nullptr : name.constData(), 0,
                            sock.constData(), 0)) {
        if (error)
            *error = QString::fromUtf8(mysql_error(m));
        mysql_close(m);
        return nullptr;
    }
    return m;
}

} // namespace

bool TPrivateServer::exec(const QString &db, const QString &sql, QString *error)
{
    MYSQL *m = connectTo(dir() + QStringLiteral("/mysqld.sock"), db, error);
    if (!m)
        return false;
    const QByteArray bytes = sql.toUtf8();
    const bool ok = mysql_real_query(m, bytes.constData(), bytes.size()) == 0;
    if (!ok && error)
        *error = QString::fromUtf8(mysql_error(m));
    if (MYSQL_RES *res = mysql_store_result(m))
        mysql_free_result(res);
    mysql_close(m);
    return ok;
}

QList<QStringList> TPrivateServer::rows(const QString &db, const QString &sql)
{
    QList<QStringList> out;
    QString error;
    MYSQL *m = connectTo(dir() + QStringLiteral("/mysqld.sock"), db, &error);
    if (!m) {
        QTest::qFail(qPrintable(QStringLiteral("cannot connect: ") + error), __FILE__, __LINE__);
        return out;
    }
    const QByteArray bytes = sql.toUtf8();
    if (mysql_real_query(m, bytes.constData(), bytes.size()) != 0) {
        QTest::qFail(qPrintable(QStringLiteral("query failed: %1: %2").arg(sql, QString::fromUtf8(mysql_error(m)))),
                     __FILE__, __LINE__);
        mysql_close(m);
        return out;
    }
    if (MYSQL_RES *res = mysql_store_result(m)) {
        out = TestSupport::FetchRows(res);
        mysql_free_result(res);
    }
    mysql_close(m);
    return out;
}

QString TPrivateServer::value(const QString &db, const QString &sql)
{
    const QList<QStringList> r = rows(db, sql);
    return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
}

TSession::TSession(const QString &socket, const QString &db) : m_mysql(connectTo(socket, db, nullptr))
{
    if (!m_mysql)
        qFatal("cannot connect to %s", qPrintable(socket));
}

TSession::~TSession()
{
    mysql_close(m_mysql);
}

bool TSession::run(const char *sql)
{
    const bool ok = mysql_query(m_mysql, sql) == 0;
    if (MYSQL_RES *res = mysql_store_result(m_mysql))
        mysql_free_result(res);
    return ok;
}

QString TSession::value(const char *sql)
{
    QString v;
    if (mysql_query(m_mysql, sql) == 0)
        if (MYSQL_RES *res = mysql_store_result(m_mysql)) {
            if (MYSQL_ROW row = mysql_fetch_row(res); row && row[0])
                v = QString::fromUtf8(row[0]);
            mysql_free_result(res);
        }
    return v;
}
