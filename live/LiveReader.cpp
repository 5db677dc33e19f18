#include "LiveReader.h"

#include "ChakuStatements.h"
#include "Errors.h"
#include "EventStatements.h"
#include "OdbcDsn.h"
#include "Query.h"
#include "DataModule.h"
#include "ResultStatements.h"

#include <QRegularExpression>
#include <QTime>
#include <QTimer>

TLiveReader::TLiveReader(const QString &dataSource, const QString &nameColumn, int pollMs, QObject *parent)
    : QObject(parent), m_nameColumn(nameColumn), m_timer(new QTimer(this))
{
    // The station's parameter lines with this data source. A data source that names its
    // own account (UID, PWD in odbc.ini: a read-only one, say) is used with it.
    QStringList params = TDm1::ConnectionParams();
    for (QString &line : params) {
        if (line.startsWith(QLatin1String("ODBC DSN=")))
            line = QStringLiteral("ODBC DSN=") + dataSource;
        else if (line.startsWith(QLatin1String("OPEN MODE=")))
            line = QStringLiteral("OPEN MODE=READ ONLY");
    }
    const TDsnLocation where = LookupDsn(dataSource);
    if (!where.user.isEmpty()) {
        params.replaceInStrings(QRegularExpression(QStringLiteral("^USER NAME=.*")), QStringLiteral("USER NAME="));
        params.replaceInStrings(QRegularExpression(QStringLiteral("^PASSWORD=.*")), QStringLiteral("PASSWORD="));
    }
    m_db.Params = params;
    m_db.AliasName = dataSource;
    // A server that stops answering turns the page to "接続待ち" within this bound.
    m_db.ConnectTimeout = 5;
    m_db.ReadTimeout = 10;
    m_db.ReadOnly = true; // the page only reads; the server refuses anything else
    m_timer->setInterval(pollMs);
    connect(m_timer, &QTimer::timeout, this, &TLiveReader::poll);
}

void TLiveReader::start()
{
    poll();
    m_timer->start();
}

void TLiveReader::connectServer()
{
    m_db.Open();
    // Whether result has the competitor's name: the columns of an empty read.
    m_nameInTable.clear();
    if (!m_nameColumn.isEmpty()) {
        const TResultSet columns = m_db.execute(ResultColumnsSql());
        for (const QString &name : columns.names)
            if (name.compare(m_nameColumn, Qt::CaseInsensitive) == 0)
                m_nameInTable = name;
    }
    m_sinceResult.invalidate();
    emit logLine(QStringLiteral("レースデータベース %1 に接続しました。").arg(m_db.AliasName));
    // The page only reads; an account that may write should not sit on a machine outside
    // the timing room (its session is read-only, the account is not).
    const QString writer = m_db.WritingAccount();
    if (!writer.isEmpty())
        emit logLine(QStringLiteral("このページのアカウント %1 はレースデータベースに書込めます。読むだけのアカウント"
                                    "（GRANT SELECT）をデータソースの UID と PWD に設定してください。")
                         .arg(writer));
}

TLiveState TLiveReader::read()
{
    TLiveState next = m_state;
    next.online = true;
    const TResultSet execinfo = m_db.execute(TQuery::SQLText(EventTcodeSql()));
    next.code = execinfo.values.isEmpty() ? QString() : execinfo.values.first().value(0);
    const TResultSet tiki = m_db.execute(TQuery::SQLText(EventNameSql(next.code)));
    next.name = tiki.values.isEmpty() ? QString() : tiki.values.first().value(0);

    const TResultSet chaku = m_db.execute(ChakuNewestSql(LivePassingsShown));
    next.passings = PassingsFromRows(chaku);
    next.arrived = newPassings(next.passings);

    // The rankings change with a passing (a CHAKU row) or an event change; anything else
    // (a correction in the check list) is picked up within ResultMaxAgeMs.
    const bool stale = !m_sinceResult.isValid() || m_sinceResult.elapsed() >= ResultMaxAgeMs ||
                       next.passings != m_state.passings || next.code != m_state.code;
    if (stale) {
        const TResultSet result = m_db.execute(LiveRankingsSql(m_nameInTable, next.code));
        next.names = !m_nameInTable.isEmpty();
        next.ranks = RankingsFromRows(result, m_nameInTable);
        next.competitors = CompetitorsFromRows(result, m_nameInTable);
        m_sinceResult.start();
    }
    return next;
}

// The rows that came since the last read. When every shown row is new and there is a
// gap below them, a burst wrote more rows than are shown: those are read as well, so a
// page's stream carries every passing.
QList<TLivePassing> TLiveReader::newPassings(const QList<TLivePassing> &shown)
{
    // The first read after connecting shows what is there; it has nothing to catch up.
    if (!m_state.online)
        return {};
    const int oldTop = m_state.passings.isEmpty() ? 0 : m_state.passings.first().num;
    const int fresh = CountNewer(shown, oldTop);
    if (fresh < LivePassingsShown || shown.last().num <= oldTop + 1)
        return shown.mid(0, fresh);
    return PassingsFromRows(m_db.execute(ChakuNewerSql(oldTop, MaxArrivedPerRead)));
}

void TLiveReader::poll()
{
    if (m_failed && m_sinceFailure.isValid() && m_sinceFailure.elapsed() < RetrySeconds * 1000)
        return;
    try {
        if (!m_db.Connected() || m_failed)
            connectServer();
        TLiveState next = read();
        m_failed = false;
        publish(std::move(next));
    } catch (const EDatabaseError &e) {
        if (!m_failed)
            emit logLine(QStringLiteral("レースデータベースを読めません (%1 秒ごとに接続し直します): %2")
                             .arg(RetrySeconds)
                             .arg(e.message()));
        m_failed = true;
        m_sinceFailure.start();
        m_db.Close();
        TLiveState next = m_state;
        next.online = false;
        publish(std::move(next));
    }
}

void TLiveReader::publish(TLiveState next)
{
    if (ShownDataDiffers(m_state, next) || (next.online && next.updated.isEmpty()))
        next.updated = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    const QByteArray update = UpdateJson(m_state, next);
    m_state = std::move(next);
    if (!update.isEmpty())
        emit published(StateJson(m_state), update);
}
