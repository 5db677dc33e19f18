// One passing written whole or not at all, by one station at a time.
//
// The statements of one passing (chip-tag: mid time, taken mark, ranking, display row;
// photocell: mid time, display row) run in one transaction, so a pass stopped between
// them (server crash, kill, network cut) leaves nothing behind, and the passing is
// retaken whole. Several stations may work on one race database (a hot backup, other
// mid points, chip-tag and photocell windows on different machines): each passing
// transaction first takes a named lock of the server, one per database, so the passings
// of all stations are written one after the other. That keeps CHAKU numbers (highest NUM
// plus 1) distinct and lets a claim inside the transaction see every passing another
// station has committed. The lock lives in the server's session: a station that dies or
// loses its connection releases it with the session.
#pragma once

#include <QString>

class TDatabase;

class TPassingTransaction
{
public:
    // Waits for the lock (up to the connection's lock-wait timeout), then starts the
    // transaction. Raises EDatabaseError when the lock does not come.
    explicit TPassingTransaction(TDatabase *db);
    // Without Commit: rolls back and releases the lock. Never raises (it runs while an
    // error unwinds); a connection that is gone has lost both already.
    ~TPassingTransaction();
    TPassingTransaction(const TPassingTransaction &) = delete;
    TPassingTransaction &operator=(const TPassingTransaction &) = delete;

    // Makes the passing take effect, then lets the next station write.
    void Commit();

    // The statements that take and release the lock.
    static QString LockSql(int waitSeconds);
    static QString UnlockSql();
    // What the operator reads when another station holds the lock too long.
    static QString LockTimeoutMessage(int waitSeconds);

private:
    void release() noexcept;
    TDatabase *m_db;
    bool m_done = false;
};
