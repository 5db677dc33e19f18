// What the suites share: a database of their own on the private test server, the
// unixODBC files that point the station's data sources at it, an independent client to
// check what the server really stored, and a responder that answers message boxes.
#pragma once

#include "Dialogs.h"

#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <QWidget>

class QModelIndex;
class QTableView;
struct st_mysql;
struct st_mysql_res;
class TDm1;

namespace TestSupport
{

// True in the harsh copy of a suite (NAME_harsh, on the harsh server): that copy is there
// for the statements, so what sends none, or the same ones again, may be left to the
// plain copy.
inline bool IsHarshCopy()
{
    return qEnvironmentVariableIsSet("MIDSTATION_HARSH_COPY");
}

QString sourceDir();
QString serverDir();
int serverPort();
QString serverSocket();

// Gives a client connection of the suites the session of MariaDB's defaults (autocommit,
// backslash escapes), whatever the server's settings: their own statements are not under
// test on a harsh server. Call before connecting.
void UseClientSession(st_mysql *mysql);

// Where a data source points: a database on the test server, or any host and port.
struct DsnTarget {
    QString server = QStringLiteral("127.0.0.1");
    int port = 0;
    QString socket;
    QString database;
    QString uid, pwd; // the data source's own account (UID, PWD), when given
};

// A database of the suite's own, filled with the schema (and the demo race unless told
// otherwise), and unixODBC files that make PlovoLocal, PlovoTest and PlovoServer point
// at it. The environment of the process is set so the station finds those files.
class SuiteDatabase
{
public:
    explicit SuiteDatabase(const QString &name, bool withDemo = true);
    ~SuiteDatabase();

    QString name() const { return m_name; }
    DsnTarget target() const;
    // Rewrites odbc.ini with these targets (missing names are left out).
    void writeDataSources(const QMap<QString, DsnTarget> &sources);
    // Drops every table's rows and reloads the demo race.
    void reload(bool withDemo = true);

    // Runs statements on a connection of its own in UTF-8 (not through the station).
    void exec(const QString &sql);
    QList<QStringList> rows(const QString &sql); // NULL reads as "<NULL>"
    QString value(const QString &sql);           // first column of the first row

private:
    void connectAdmin();
    QString m_name;
    QTemporaryDir m_odbcDir;
    st_mysql *m_admin = nullptr;
};

// Connects a data module as ConnectDB does for Local (the station's parameter lines,
// then "set names sjis"), on whatever PlovoLocal points at now.
void ConnectDataModule(TDm1 *dm);

// The rows of a result read on a UTF-8 client connection; NULL reads as "<NULL>".
QList<QStringList> FetchRows(st_mysql_res *result);

// A port on loopback where nothing listens.
int unusedPort();

// A server that accepts connections and never answers (a listening socket that nobody
// serves: the kernel completes the handshake, no greeting ever comes).
class SilentServer
{
public:
    SilentServer();
    ~SilentServer();
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// Answers message boxes from a script and records what was shown.
class DialogRecorder
{
public:
    struct Shown {
        Dialogs::Kind kind;
        QString title;
        QString text;
    };
    DialogRecorder();
    ~DialogRecorder();
    void answer(bool yes) { m_answers << yes; }
    QList<Shown> shown;
    QStringList texts() const;
    QStringList texts(Dialogs::Kind kind) const;
    bool defaultAnswer = true;

private:
    QList<bool> m_answers;
};

// Closes a window when the scope ends: a failing check inside a callback that runs in the
// window's modal loop returns early, and without this the loop (and the suite) would wait
// for the suite's timeout instead of failing at once.
class CloseAtExit
{
public:
    explicit CloseAtExit(QWidget *window) : m_window(window) {}
    ~CloseAtExit()
    {
        if (m_window && m_window->isVisible())
            m_window->close();
    }
    CloseAtExit(const CloseAtExit &) = delete;
    CloseAtExit &operator=(const CloseAtExit &) = delete;

private:
    QPointer<QWidget> m_window;
};

// What a grid over a data source shows, left to right: the fields of its shown columns,
// their titles, and the index of a cell in the n-th shown column.
QStringList ShownFields(const QTableView *grid);
QStringList ShownTitles(const QTableView *grid);
QModelIndex ShownIndex(const QTableView *grid, int row, int shownColumn);

} // namespace TestSupport
