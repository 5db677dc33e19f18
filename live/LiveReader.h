// Reads the race database for the live page: the current event, the newest CHAKU rows
// and the event's result rows, every poll period, on a connection of its own made with
// the station's connection code (data source name, Shift-JIS, "set names sjis"). It only
// reads: besides the character set, the session is set read-only, so the server itself
// would refuse a write. A lost server marks the state offline; the reader connects again
// by itself.
#pragma once

#include "LiveState.h"
#include "Database.h"

#include <QElapsedTimer>
#include <QObject>

class QTimer;

class TLiveReader : public QObject
{
    Q_OBJECT
public:
    TLiveReader(const QString &dataSource, const QString &nameColumn, int pollMs, QObject *parent = nullptr);

    void start();
    const TLiveState &state() const { return m_state; }

    // Seconds between attempts to reach a server that went away.
    static constexpr int RetrySeconds = 2;
    // The result rows are read again at least this often, so corrections typed in the
    // check list show without a passing.
    static constexpr int ResultMaxAgeMs = 1000;
    // Rows of a burst that outran one poll, sent at most.
    static constexpr int MaxArrivedPerRead = 1000;

signals:
    // After a read that changed something: the whole state and the update from the
    // previous one (both JSON).
    void published(const QByteArray &stateJson, const QByteArray &updateJson);
    // A line for the program's log.
    void logLine(const QString &line);

private:
    void poll();
    void connectServer();
    TLiveState read();
    QList<TLivePassing> newPassings(const QList<TLivePassing> &shown);
    void publish(TLiveState next);

    TDatabase m_db;
    QString m_nameColumn;  // as configured
    QString m_nameInTable; // the configured column when result has it, else ""
    QTimer *m_timer;
    QElapsedTimer m_sinceFailure;
    QElapsedTimer m_sinceResult;
    bool m_failed = false;
    TLiveState m_state;
};
