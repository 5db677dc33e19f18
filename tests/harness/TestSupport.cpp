#include "TestSupport.h"

#include "DataSource.h"
#include "Query.h"
#include "DataModule.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QTableView>
#include <QTextStream>
#include <QtTest>

#include <mysql.h>
#include <netinet/in.h>
#include <odbcinst.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TestSupport
{

QString sourceDir()
{
    const QString dir = qEnvironmentVariable("MIDSTATION_SOURCE_DIR");
    if (dir.isEmpty())
        qFatal("MIDSTATION_SOURCE_DIR is not set: run the suites through ctest");
    return dir;
}

QString serverDir()
{
    const QString dir = qEnvironmentVariable("MIDSTATION_TEST_SERVER_DIR");
    if (dir.isEmpty())
        qFatal("MIDSTATION_TEST_SERVER_DIR is not set: run the suites through ctest");
    return dir;
}

int serverPort()
{
    QFile f(serverDir() + QStringLiteral("/port"));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("the private test server is not running (no port file)");
    return f.readAll().trimmed().toInt();
}

QString serverSocket()
{
    return serverDir() + QStringLiteral("/mysqld.sock");
}

void UseClientSession(st_mysql *mysql)
{
    mysql_optionsv(
        mysql, MYSQL_INIT_COMMAND,
        "SET autocommit=1, sql_mode='STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION'");
}

SuiteDatabase::SuiteDatabase(const QString &name, bool withDemo) : m_name(name)
{
    reload(withDemo);
    writeDataSources({{QStringLiteral("PlovoLocal"), target()},
                      {QStringLiteral("PlovoTest"), target()},
                      {QStringLiteral("PlovoServer"), target()}});
    connectAdmin();
}

SuiteDatabase::~SuiteDatabase()
{
    if (m_admin)
        mysql_close(m_admin);
}

DsnTarget SuiteDatabase::target() const
{
    DsnTarget t;
    t.port = serverPort();
    t.database = m_name;
    return t;
}

void SuiteDatabase::reload(bool withDemo)
{
    QStringList args{QStringLiteral("load"), serverDir(), m_name, sourceDir() + QStringLiteral("/data/sql/schema.sql")};
    if (withDemo)
        args << sourceDir() + QStringLiteral("/data/sql/demo.sql");
    QProcess p;
    p.start(sourceDir() + QStringLiteral("/scripts/dbserver"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        qFatal("cannot load the suite database: %s", p.readAllStandardError().constData());
}

void SuiteDatabase::writeDataSources(const QMap<QString, DsnTarget> &sources)
{
    const QString folder = m_odbcDir.path();
    QFile inst(folder + QStringLiteral("/odbcinst.ini"));
    inst.open(QIODevice::WriteOnly | QIODevice::Truncate);
    inst.write("[MariaDB]\nDriver=libmariadb.so.3\n");
    inst.close();
    qputenv("ODBCSYSINI", folder.toLocal8Bit());
    qputenv("ODBCINI", (folder + QStringLiteral("/odbc.ini")).toLocal8Bit());
    // Written through unixODBC's own writer, as an ODBC administrator would: it also
    // drops what the library cached of the file, so the station sees the change at once.
    SQLSetConfigMode(ODBC_USER_DSN);
    for (const char *name : {"PlovoLocal", "PlovoTest", "PlovoServer"})
        SQLWritePrivateProfileString(name, nullptr, nullptr, "odbc.ini");
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        const QByteArray section = it.key().toLatin1();
        auto put = [&](const char *key, const QString &value) {
            SQLWritePrivateProfileString(section.constData(), key, value.toLocal8Bit().constData(), "odbc.ini");
        };
        put("Driver", QStringLiteral("MariaDB"));
        put("SERVER", it->server);
        put("PORT", QString::number(it->port));
        if (!it->socket.isEmpty())
            put("SOCKET", it->socket);
        put("DATABASE", it->database);
        if (!it->uid.isEmpty()) {
            put("UID", it->uid);
            put("PWD", it->pwd);
        }
    }
    SQLSetConfigMode(ODBC_BOTH_DSN);
}

void SuiteDatabase::connectAdmin()
{
    m_admin = mysql_init(nullptr);
    mysql_optionsv(m_admin, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    UseClientSession(m_admin);
    const QByteArray sock = serverSocket().toLocal8Bit();
    const QByteArray db = m_name.toUtf8();
    if (!mysql_real_connect(m_admin, "localhost", "root", "rufan", db.constData(), 0, sock.constData(), 0))
        qFatal("cannot connect to the test server: %s", mysql_error(m_admin));
}

void SuiteDatabase::exec(const QString &sql)
{
    const QByteArray bytes = sql.toUtf8();
    if (mysql_real_query(m_admin, bytes.constData(), bytes.size()) != 0)
        QTest::qFail(qPrintable(QStringLiteral("admin statement failed: %1: %2").arg(sql, mysql_error(m_admin))),
                     __FILE__, __LINE__);
    if (MYSQL_RES *res = mysql_store_result(m_admin))
        mysql_free_result(res);
}

QList<QStringList> SuiteDatabase::rows(const QString &sql)
{
    QList<QStringList> out;
    const QByteArray bytes = sql.toUtf8();
    if (mysql_real_query(m_admin, bytes.constData(), bytes.size()) != 0) {
        QTest::qFail(qPrintable(QStringLiteral("admin query failed: %1: %2").arg(sql, mysql_error(m_admin))), __FILE__,
                     __LINE__);
        return out;
    }
    MYSQL_RES *res = mysql_store_result(m_admin);
    if (!res)
        return out;
    out = FetchRows(res);
    mysql_free_result(res);
    return out;
}

QList<QStringList> FetchRows(MYSQL_RES *result)
{
    QList<QStringList> out;
    const unsigned int n = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        unsigned long *len = mysql_fetch_lengths(result);
        QStringList r;
        for (unsigned int c = 0; c < n; ++c)
            r << (row[c] ? QString::fromUtf8(row[c], int(len[c])) : QStringLiteral("<NULL>"));
        out << r;
    }
    return out;
}

QString SuiteDatabase::value(const QString &sql)
{
    const QList<QStringList> r = rows(sql);
    return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
}

void ConnectDataModule(TDm1 *dm)
{
    dm->DB->Params = TDm1::ConnectionParams();
    dm->DB->Open();
    dm->Query1->setSQL({QStringLiteral("set names sjis")});
    dm->Query1->ExecSQL();
}

int unusedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd); // nothing listens there now
    return ntohs(addr.sin_port);
}

SilentServer::SilentServer()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(m_fd, 16) != 0)
        qFatal("cannot open a silent server");
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len);
    m_port = ntohs(addr.sin_port);
}

SilentServer::~SilentServer()
{
    ::close(m_fd);
}

DialogRecorder::DialogRecorder()
{
    Dialogs::setResponder([this](Dialogs::Kind kind, const QString &title, const QString &text) {
        shown << Shown{kind, title, text};
        if (kind != Dialogs::Kind::Question)
            return true;
        return m_answers.isEmpty() ? defaultAnswer : m_answers.takeFirst();
    });
}

DialogRecorder::~DialogRecorder()
{
    Dialogs::setResponder({});
}

QStringList DialogRecorder::texts() const
{
    QStringList t;
    for (const Shown &s : shown)
        t << s.text;
    return t;
}

QStringList DialogRecorder::texts(Dialogs::Kind kind) const
{
    QStringList t;
    for (const Shown &s : shown)
        if (s.kind == kind)
            t << s.text;
    return t;
}

namespace
{

QList<int> shownColumns(const QTableView *grid)
{
    const QHeaderView *header = grid->horizontalHeader();
    QList<int> columns;
    for (int v = 0; v < header->count(); ++v)
        if (!header->isSectionHidden(header->logicalIndex(v)))
            columns << header->logicalIndex(v);
    return columns;
}

} // namespace

QStringList ShownFields(const QTableView *grid)
{
    const auto *source = qobject_cast<const TDataSource *>(grid->model());
    QStringList fields;
    for (int c : shownColumns(grid))
        fields << source->DataSet()->FieldName(c);
    return fields;
}

QStringList ShownTitles(const QTableView *grid)
{
    QStringList titles;
    for (int c : shownColumns(grid))
        titles << grid->model()->headerData(c, Qt::Horizontal).toString();
    return titles;
}

QModelIndex ShownIndex(const QTableView *grid, int row, int shownColumn)
{
    return grid->model()->index(row, shownColumns(grid).value(shownColumn, -1));
}

} // namespace TestSupport
